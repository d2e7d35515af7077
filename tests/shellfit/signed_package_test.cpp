// The real shellfit on a device that holds its maker's keys: a package signed
// for its model installs, and every other package is refused with one box
// before anything on the flash drive changes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <random>

#include "package_files.h"
#include "tests/support/minisign_tool.h"

namespace shellfit_test {
namespace {

using Json = nlohmann::json;
using test_support::MinisignKey;

class SignedPackageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeStockDevice(root_.path());
    fs::copy_file(FITKIT_SHELLFIT_BIN, Card("shellfit.exe"));
    WriteText(Flash("main.exe"), "old main");
    WriteText(staging_.path() / "main.exe", std::string(300000, 'n'));
    WriteText(staging_.path() / "Data/strings.txt", "new strings");
    Zip(Package(), staging_.path(), {"main.exe", "Data"});
  }
  fs::path Flash(const std::string& relative) const {
    return root_.path() / "fs" / "Flash Disk" / relative;
  }
  fs::path Card(const std::string& relative) const {
    return root_.path() / "fs" / "Storage Card" / relative;
  }
  fs::path Package() const { return Card("KTR 60 SHELL.ZIP"); }
  fs::path Manifest() const { return Card("KTR 60 SHELL.ZIP.manifest"); }
  fs::path Signature() const { return Card("KTR 60 SHELL.ZIP.manifest.minisig"); }
  // The package's release manifest, signed by `key` with this comment.
  void SignRelease(const MinisignKey& key, const std::string& comment,
                   uint32_t securityVersion = 0) {
    key.SignRelease(Manifest(), signature::ReleaseKind::ShellPackage,
                    {{signature::FileRole::Package, Package()}}, comment, securityVersion);
  }

  // The stock registry with "UpdateKeys" holding `keys`.
  void TrustKeys(const std::string& keys) {
    WriteText(root_.path() / "registry.reg",
              std::string(test_support::kStockRegistry) +
                  "\n[HKEY_LOCAL_MACHINE\\Ident]\n\"UpdateKeys\"=\"" + keys + "\"\n");
  }
  Json Run(RunResult* run) {
    const fs::path report = staging_.path() / "report.json";
    *run = RunProgram(Card("shellfit.exe"), {"/force"},
                      {{"FITKIT_UI", "console"},
                       {"FITKIT_DEVICE", root_.path().string()},
                       {"FITKIT_REPORT", report.string()}});
    return Json::parse(ReadText(report));
  }
  // One refusing run: exit 1, one box with `words`, the flash drive as it was.
  Json ExpectRefused(const std::string& words) {
    const auto before = SnapshotTree(root_.path() / "fs" / "Flash Disk");
    RunResult run;
    const Json report = Run(&run);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(SnapshotTree(root_.path() / "fs" / "Flash Disk"), before);
    EXPECT_EQ(report["message_boxes"].size(), 1u) << run.out;
    const std::string text =
        report["message_boxes"].empty() ? "" : report["message_boxes"][0].value("text", "");
    EXPECT_NE(text.find(words), std::string::npos) << text;
    EXPECT_TRUE(text.ends_with("Nothing was changed.")) << text;
    EXPECT_EQ(report["outcome"], "refused");
    return report;
  }

  TempFolder root_;
  TempFolder staging_;
  TempFolder keys_;
  MinisignKey maker_{keys_.path(), "maker"};
  MinisignKey other_{keys_.path(), "other"};
};

TEST_F(SignedPackageTest, InstallsWhatOneOfItsKeysSignedForItsModel) {
  RunResult run;
  // No key on the device: installed as ever, and the report says so; a
  // writer that holds the package open keeps the lease away, and that is said.
  const int writer = ::open(Package().c_str(), O_WRONLY);
  Json report = Run(&run);
  ::close(writer);
  EXPECT_EQ(report["outcome"], "installed") << run.out;
  EXPECT_EQ(report["signature"]["required"], false);
  EXPECT_EQ(report["lease"]["held"], false);
  EXPECT_NE(report["lease"].value("words", "").find("could not be held against writers"),
            std::string::npos);

  WriteText(Flash("main.exe"), "old main");
  // Two keys on the device, put there as a maker would.
  const std::string made = test_support::CommandOutput(
      "bash " + test_support::Quote(FITKIT_SOURCE_DIR "/tools/fitkit-device.sh") + " create " +
      test_support::Quote(root_.path().string()) + " --force --update-key " +
      test_support::Quote(other_.publicKeyFile().string()) + " --update-key " +
      test_support::Quote(maker_.publicKeyFile().string()) + " 2>&1");
  EXPECT_NE(made.find("made the device root"), std::string::npos) << made;
  SignRelease(maker_, "model=ktr 60; batch=7");
  report = Run(&run);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(report["outcome"], "installed") << run.out;
  EXPECT_EQ(ReadText(Flash("main.exe")), std::string(300000, 'n'));
  EXPECT_EQ(report["signature"]["result"], "valid");
  EXPECT_EQ(report["signature"]["model"], "ktr 60");
  EXPECT_NE(maker_.PublicKeyText().find(report["signature"].value("key_id", "?")),
            std::string::npos);

  // A key that borrows the maker's id, listed first, does not hide the
  // maker's own; and a comment line ending in carriage returns reads as
  // minisign reads it.
  WriteText(Flash("main.exe"), "old main");
  const std::string borrowed = test_support::CommandOutput(
      "{ echo " + maker_.PublicKeyLine() + " | base64 -d | head -c 10; echo " +
      other_.PublicKeyLine() + " | base64 -d | tail -c 32; } | base64 -w0");
  TrustKeys(borrowed + " " + maker_.PublicKeyLine());
  SignRelease(maker_, "model=KTR 60");
  std::string text = ReadText(Signature());
  text.replace(text.find("KTR 60\n"), 7, "KTR 60\r\r\n");
  WriteText(Signature(), text);
  report = Run(&run);
  EXPECT_EQ(report["outcome"], "installed") << run.out;
  EXPECT_EQ(ReadText(Flash("main.exe")), std::string(300000, 'n'));
}

// No rollback, /force or not: once security version 3 is installed, a
// release of 2 is refused, and one of 3 may replace another both ways.
TEST_F(SignedPackageTest, AReleaseOlderThanTheDeviceFloorIsRefused) {
  TrustKeys(maker_.PublicKeyLine());
  const fs::path floor = root_.path() / "secure" / "security-versions";
  SignRelease(maker_, "model=KTR 60", 3);
  RunResult run;
  EXPECT_EQ(Run(&run)["outcome"], "installed") << run.out;
  EXPECT_EQ(ReadText(floor), "shell 3\n");
  WriteText(Flash("main.exe"), "old main");
  SignRelease(maker_, "model=KTR 60", 2);
  const Json report = ExpectRefused(
      "\\Storage Card\\KTR 60 SHELL.ZIP is an older release (security version 2) than this "
      "device accepts (3). Nothing was changed.");
  EXPECT_EQ(report["signature"]["result"], "older-release");
  SignRelease(maker_, "model=KTR 60", 3);
  EXPECT_EQ(Run(&run)["outcome"], "installed") << run.out;
  EXPECT_EQ(ReadText(floor), "shell 3\n");
}

TEST_F(SignedPackageTest, RefusesEveryOtherPackageBeforeAnythingChanges) {
  TrustKeys(maker_.PublicKeyLine());
  Json report = ExpectRefused("is not signed");
  EXPECT_EQ(report["signature"]["result"], "no-signature");

  // A signature of the package alone, as devices took before: a manifest is needed.
  maker_.Sign(Package(), "model=KTR 60");
  EXPECT_EQ(ExpectRefused("a signed release manifest is needed")["signature"]["result"],
            "no-signature");
  // The signed manifest of an image set beside the package.
  std::vector<std::pair<signature::FileRole, fs::path>> set;
  for (auto role : signature::kImageSetRoles) set.emplace_back(role, Package());
  maker_.SignRelease(Manifest(), signature::ReleaseKind::ImageSet, set, "model=KTR 60");
  EXPECT_EQ(ExpectRefused("is not the release manifest of a shell package")["signature"]["result"],
            "not-in-manifest");

  SignRelease(other_, "model=KTR 60");
  report = ExpectRefused("signed by a key this device does not trust");
  EXPECT_EQ(report["signature"]["result"], "untrusted-key");
  EXPECT_NE(other_.PublicKeyText().find(report["signature"].value("key_id", "?")),
            std::string::npos);

  SignRelease(maker_, "model=KTR 61");
  EXPECT_EQ(ExpectRefused("signed for model KTR 61, not for this KTR 60")["signature"]["result"],
            "other-model");
  SignRelease(maker_, "batch=7");
  ExpectRefused("without naming the model");
  // The model is the device's exactly: no longer name, no look-alike letter
  // (the Kelvin sign, an overlong "K"); odd bytes are shown as bytes.
  for (const std::string model : {"KTR 600", "\u212ATR 60", "\xC1\x8BTR 60"}) {
    SignRelease(maker_, "model=" + model);
    report = ExpectRefused(", not for this KTR 60");
  }
  EXPECT_EQ(report["signature"]["model"], "\\xC1\\x8BTR 60");
  // The trusted comment edited after signing.
  SignRelease(maker_, "model=KTR 61");
  std::string text = ReadText(Signature());
  text.replace(text.find("KTR 61"), 6, "KTR 60");
  WriteText(Signature(), text);
  EXPECT_EQ(ExpectRefused("The signature of")["signature"]["result"], "signature-changed");

  // One byte of the package changed after signing.
  SignRelease(maker_, "model=KTR 60");
  std::string bytes = ReadText(Package());
  bytes[bytes.size() / 2] ^= 0x20;
  WriteText(Package(), bytes);
  report = ExpectRefused("was changed after it was signed");
  EXPECT_EQ(report["signature"]["result"], "file-changed");
  EXPECT_FALSE(report["signature"].value("key_id", "").empty());

  // One signature cannot cover a package split into volumes.
  std::mt19937 random(7);
  std::string noise(200000, '\0');
  for (char& c : noise) c = char(random());
  WriteText(staging_.path() / "Data/noise.bin", noise);
  fs::remove(Package());
  test_support::CommandOutput("cd " + test_support::Quote(staging_.path().string()) +
                              " && zip -q -r -s 64k -P .TORVA. " +
                              test_support::Quote(Package().string()) + " main.exe Data");
  ASSERT_TRUE(fs::exists(Card("KTR 60 SHELL.z01")));
  SignRelease(maker_, "model=KTR 60");
  ExpectRefused("is split into several files");
}

// "/upgrade" unpacks nothing of an unsigned package to compare versions: the
// dialog comes up and START refuses it.
TEST_F(SignedPackageTest, UpgradeUnpacksNothingOfAnUnsignedPackage) {
  TrustKeys(maker_.PublicKeyLine());
  fs::copy_file(PeFixture("v123.exe"), Flash("main.exe"), fs::copy_options::overwrite_existing);
  const RunResult run = RunProgram(
      Card("shellfit.exe"), {"/upgrade"},
      {{"FITKIT_UI", "console"}, {"FITKIT_DEVICE", root_.path().string()}, {"FITKIT_TRACE", "1"}},
      "\n");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err.find("_main.exe"), std::string::npos);
  EXPECT_NE(run.out.find("is not signed"), std::string::npos) << run.out;
}

TEST_F(SignedPackageTest, ASignatureFileThatIsNoSignatureIsRefused) {
  TrustKeys(maker_.PublicKeyLine());
  SignRelease(maker_, "model=KTR 60");
  for (const std::string kind : {"garbage", "huge", "folder", "pipe"}) {
    SCOPED_TRACE(kind);
    fs::remove_all(Signature());
    if (kind == "garbage") WriteText(Signature(), "untrusted comment: x\nnot base64\n");
    if (kind == "huge") WriteText(Signature(), std::string(50 << 20, 'A'));
    if (kind == "folder") fs::create_directory(Signature());
    if (kind == "pipe") {
      ASSERT_EQ(mkfifo(Signature().c_str(), 0600), 0);
    }
    EXPECT_EQ(ExpectRefused("is not a signature this device can read")["signature"]["result"],
              "unreadable");
  }
}

}  // namespace
}  // namespace shellfit_test
