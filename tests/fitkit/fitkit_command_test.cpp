// fitkit run as a CI job runs it: check, inspect and rehearse on real device
// roots, judged by the exit code, the closing line and the JSON it prints.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <functional>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "shellfit/install_record.h"
#include "tests/support/device_root.h"
#include "tests/support/host_files.h"
#include "tests/support/minisign_tool.h"
#include "tests/support/program_runner.h"
#include "tests/support/temp_folder.h"
#include "tests/zipreader/zip_builder.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using test_support::ReadText;
using test_support::RunProgram;
using test_support::RunResult;
using test_support::TempFolder;
using test_support::WriteText;
using namespace std::chrono_literals;

// Every command's verdict: the last line on standard error.
std::string LastLine(const std::string& text) {
  const std::size_t end = text.ends_with('\n') ? text.size() - 1 : text.size();
  const std::size_t start = text.rfind('\n', end == 0 ? 0 : end - 1);
  return text.substr(start == std::string::npos ? 0 : start + 1,
                     end - (start == std::string::npos ? 0 : start + 1));
}

std::vector<Json> JsonLines(const std::string& text) {
  std::vector<Json> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(Json::parse(line));
  return lines;
}

class FitkitCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test_support::MakeStockDevice(Root());
    fs::create_directories(Stage(""));
    fs::copy_file(fs::path(FITKIT_PE_FIXTURES) / "v123.exe", Flash("main.exe"));
    WriteText(Flash("old.dll"), "old library");
    WriteText(Flash("user.hv"), "user hive");
    fs::copy_file(fs::path(FITKIT_PE_FIXTURES) / "v124.exe", Stage("main.exe"));
    WriteText(Stage("Res/strings.txt"), std::string(3000, 's'));
  }

  fs::path Root() const { return work_.path() / "dev"; }
  fs::path Flash(const std::string& name) const { return Root() / "fs" / "Flash Disk" / name; }
  fs::path Stage(const std::string& name) const { return work_.path() / "stage" / name; }
  fs::path Work(const std::string& name) const { return work_.path() / name; }

  // The staged files as a package made with Info-ZIP.
  fs::path Package(const std::string& name, const std::string& password = ".TORVA.") {
    const fs::path archive = Work(name);
    const std::string command = "cd '" + Stage("").string() + "' && zip -q -r -P '" + password +
                                "' '" + archive.string() + "' main.exe Res";
    EXPECT_EQ(std::system(command.c_str()), 0);
    return archive;
  }

  // The same files under another password, with encryption headers that do
  // not change from run to run: Info-ZIP's are random, and a wrong password
  // passes their one-byte check about once in 256 entries.
  fs::path WrongPasswordPackage(const std::string& name) {
    zip_test::ZipBuilder builder;
    builder.password = "secret";
    builder.entries.push_back(
        {.name = "main.exe", .data = ReadText(Stage("main.exe")), .encrypt = true});
    builder.entries.push_back({.name = "Res/", .externalAttr = 0x41ED0010});
    builder.entries.push_back(
        {.name = "Res/strings.txt", .data = ReadText(Stage("Res/strings.txt")), .encrypt = true});
    WriteText(Work(name), builder.Build().bytes);
    return Work(name);
  }

  // The six images and "KTR 60.ini" in a folder of their own.
  fs::path ImageSet(const std::string& name = "set") {
    const fs::path set = Work(name);
    fs::create_directories(set);
    WriteText(set / "nboot.bin", std::string(4096, 'N'));
    WriteText(set / "eboot.nb0", std::string(8192, 'E'));
    const std::pair<const char*, const char*> bins[] = {{"drivers.bin", "0x80000000"},
                                                        {"tinynk.bin", "0x80100000"},
                                                        {"nk.bin", "0x80200000"},
                                                        {"chain.bin", "0x82200000"}};
    for (const auto& [name, start] : bins) {
      const RunResult made = RunProgram(
          FITKIT_MAKE_BIN_IMAGE, {"--start", start, "--size", "8192", (set / name).string()});
      EXPECT_EQ(made.exitCode, 0) << made.err;
    }
    WriteText(set / "KTR 60.ini", "V1.0.7\r\n");
    return set;
  }

  RunResult Fitkit(const std::vector<std::string>& args) { return RunProgram(FITKIT_BIN, args); }

  TempFolder work_;
};

TEST_F(FitkitCommandTest, ChecksAndInspectsAPackageWithoutChangingAnything) {
  const fs::path good = Package("good.zip");
  const auto before = test_support::SnapshotTree(Root());

  const RunResult check = Fitkit({"check", good.string(), "--device", Root().string()});
  EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
  EXPECT_NE(check.out.find("main.exe 1.2.3 -> 1.2.4: newer"), std::string::npos) << check.out;
  EXPECT_TRUE(LastLine(check.err).starts_with("would install 2 files (5,")) << check.err;

  const RunResult inspect = Fitkit({"inspect", good.string(), "--json"});
  ASSERT_EQ(inspect.exitCode, 0) << inspect.err;
  const Json facts = Json::parse(inspect.out);
  EXPECT_EQ(facts["main_exe"], "1.2.4");
  EXPECT_EQ(facts["files"], 2);
  EXPECT_EQ(facts["entries"].size(), 3u) << "main.exe, Res/ and Res/strings.txt";
  EXPECT_EQ(facts["bytes"], fs::file_size(Stage("main.exe")) + 3000);

  // The wrong password, and a package named for another model.
  const RunResult wrong = Fitkit({"check", WrongPasswordPackage("KTR 60 SHELL.ZIP").string(),
                                  "--device", Root().string(), "--json"});
  EXPECT_EQ(wrong.exitCode, 1);
  const Json refused = Json::parse(wrong.out);
  EXPECT_FALSE(refused["would_succeed"]);
  EXPECT_NE(refused["verdict"].get<std::string>().find("not made with the device's password"),
            std::string::npos)
      << refused["verdict"];
  fs::rename(good, Work("XR 9 SHELL.ZIP"));
  const RunResult named =
      Fitkit({"check", Work("XR 9 SHELL.ZIP").string(), "--device", Root().string()});
  EXPECT_NE(named.out.find("named for another model"), std::string::npos) << named.out;
  EXPECT_EQ(test_support::SnapshotTree(Root()), before) << "a check touches nothing";
  // A name for another model is no refusal: shellfit takes the only package,
  // and rehearse places it under the model's name.
  const RunResult rehearsed =
      Fitkit({"rehearse", "--device", Root().string(), Work("XR 9 SHELL.ZIP").string()});
  EXPECT_EQ(named.exitCode, rehearsed.exitCode) << named.out << rehearsed.err;
  EXPECT_EQ(named.exitCode, 0) << named.out;
}

// Check asks shellfit's own release check: the signed manifest, the key, the
// model and the device's rollback floor decide, and check ends as rehearse.
TEST_F(FitkitCommandTest, ChecksThePackagesSignedReleaseAsShellfitDoes) {
  const fs::path package = Package("KTR 60 SHELL.ZIP");
  const test_support::MinisignKey maker(Work(""), "maker");
  const test_support::MinisignKey other(Work(""), "other");
  const std::string key = maker.publicKeyFile().string();
  RunResult run = Fitkit({"check", package.string(), "--key", key});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.out.find("is not signed: its release manifest"), std::string::npos) << run.out;

  const fs::path manifest = Work("KTR 60 SHELL.ZIP.manifest");
  ASSERT_EQ(Fitkit({"manifest", package.string(), "--security-version", "2"}).exitCode, 0);
  maker.Sign(manifest, "model=ktr 60; version=1.2.4");
  run = Fitkit({"inspect", package.string()});
  EXPECT_NE(run.out.find("trusted comment \"model=ktr 60; version=1.2.4\""), std::string::npos)
      << run.out;
  run = Fitkit({"check", package.string(), "--model", "KTR 60", "--key", key});
  EXPECT_EQ(run.exitCode, 0) << run.out;
  EXPECT_NE(run.out.find("security version 2: valid"), std::string::npos) << run.out;
  EXPECT_EQ(Fitkit({"check", package.string(), "--key", other.publicKeyFile().string()}).exitCode,
            1);
  run = Fitkit({"check", package.string(), "--model", "XR 9", "--key", key});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.out.find("signed for model ktr 60, not for this XR 9"), std::string::npos)
      << run.out;

  // A keyed device that installed security version 3: check and rehearse
  // both refuse the release of 2, in the same words.
  WriteText(Root() / "registry.reg", ReadText(Root() / "registry.reg") +
                                         "\n[HKEY_LOCAL_MACHINE\\Ident]\n\"UpdateKeys\"=\"" +
                                         maker.PublicKeyLine() + "\"\n");
  WriteText(Root() / "secure" / "security-versions", "shell 3\n");
  const std::string older = "is an older release (security version 2) than this device accepts (3)";
  run = Fitkit({"check", package.string(), "--device", Root().string()});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.out.find("KTR 60 SHELL.ZIP " + older), std::string::npos) << run.out;
  run = Fitkit({"rehearse", "--device", Root().string(), package.string()});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find(older), std::string::npos) << run.err;

  // An image set is checked through its manifest in the same way: each file
  // must be the one of its slot.
  const fs::path set = ImageSet();
  ASSERT_EQ(Fitkit({"manifest", set.string()}).exitCode, 0);
  maker.Sign(set / "release.manifest", "model=KTR 60");
  run = Fitkit({"check", set.string(), "--key", key});
  EXPECT_EQ(run.exitCode, 0) << run.out;
  fs::copy_file(set / "chain.bin", set / "nk.bin", fs::copy_options::overwrite_existing);
  run = Fitkit({"check", set.string(), "--key", key});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.out.find("nk.bin was changed after it was signed"), std::string::npos) << run.out;
}

// A package without main.exe would leave the device with no shell: check
// and rehearse refuse it alike, in shellfit's words, and nothing changes.
TEST_F(FitkitCommandTest, APackageWithoutMainExeIsRefusedByCheckAndRehearse) {
  const fs::path package = Work("KTR 60 SHELL.ZIP");
  const std::string zip =
      "cd '" + Stage("").string() + "' && zip -q -r -P .TORVA. '" + package.string() + "' Res";
  ASSERT_EQ(std::system(zip.c_str()), 0);
  const auto before = test_support::SnapshotTree(Root());
  const std::string words =
      "it holds no main.exe, and installing it would leave the flash "
      "drive without the shell's program";
  RunResult run = Fitkit({"check", package.string(), "--device", Root().string()});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find(words), std::string::npos) << run.err;
  EXPECT_EQ(test_support::SnapshotTree(Root()), before);
  run = Fitkit({"rehearse", "--device", Root().string(), package.string()});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find(words), std::string::npos) << run.err;
  EXPECT_TRUE(fs::exists(Flash("main.exe")));
}

TEST_F(FitkitCommandTest, WritesTheReleaseManifestWhereTheProgramsLook) {
  const fs::path package = Package("KTR 60 SHELL.ZIP");
  RunResult made = Fitkit({"manifest", package.string(), "--security-version", "3"});
  ASSERT_EQ(made.exitCode, 0) << made.err;
  // The path is the last line, for scripts that sign it next.
  const fs::path manifest = Work("KTR 60 SHELL.ZIP.manifest");
  EXPECT_TRUE(made.out.ends_with("\n" + manifest.string() + "\n")) << made.out;
  const std::string text = ReadText(manifest);
  EXPECT_NE(text.find("\nkind shell-package\nmodel KTR 60\nversion 1.2.4\nsecurity-version 3\n"
                      "file package " +
                      std::to_string(fs::file_size(package)) + " "),
            std::string::npos)
      << text;
  RunResult inspect = Fitkit({"inspect", package.string(), "--json"});
  EXPECT_EQ(Json::parse(inspect.out)["manifest"]["files"][0]["state"], "as named") << inspect.out;
  WriteText(package, ReadText(package) + "x");
  inspect = Fitkit({"inspect", package.string()});
  EXPECT_NE(inspect.out.find("package: " + std::to_string(fs::file_size(package) - 1) +
                             " bytes, another size"),
            std::string::npos)
      << inspect.out;

  const fs::path set = ImageSet();
  made = Fitkit({"manifest", set.string()});
  ASSERT_EQ(made.exitCode, 0) << made.err;
  EXPECT_TRUE(made.out.ends_with((set / "release.manifest").string() + "\n")) << made.out;
  WriteText(set / "nk.bin", ReadText(set / "chain.bin"));
  inspect = Fitkit({"inspect", set.string()});
  EXPECT_NE(inspect.out.find("image-set for model KTR 60, version V1.0.7, security version 0"),
            std::string::npos)
      << inspect.out;
  EXPECT_NE(inspect.out.find("nk: 8"), std::string::npos) << inspect.out;
  EXPECT_NE(inspect.out.find("other bytes"), std::string::npos) << inspect.out;
  // A name that names no model needs --model; a security version must be a number.
  EXPECT_EQ(Fitkit({"manifest", Package("good.zip").string()}).exitCode, 2);
  EXPECT_EQ(Fitkit({"manifest", set.string(), "--security-version", "-1"}).exitCode, 2);
}

TEST_F(FitkitCommandTest, RehearsesAPackageAndStreamsItsProgress) {
  const fs::path package = Package("shell.zip");
  const RunResult run =
      Fitkit({"rehearse", "--device", Root().string(), package.string(), "--progress=json"});
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_NE(run.err.find("installed 2 files, main.exe 1.2.3 -> 1.2.4\n"), std::string::npos)
      << run.err;
  EXPECT_EQ(ReadText(Flash("Res/strings.txt")), std::string(3000, 's'));
  EXPECT_FALSE(fs::exists(Flash("old.dll")));

  const std::vector<Json> lines = JsonLines(run.out);
  ASSERT_GE(lines.size(), 4u);
  std::vector<std::string> phases;
  uint64_t lastCopied = 0;
  for (const Json& line : lines) {
    const std::string phase = line["phase"];
    if (phases.empty() || phases.back() != phase) phases.push_back(phase);
    if (phase != "copy") continue;
    EXPECT_GE(line["bytes"]["done"].get<uint64_t>(), lastCopied) << line;
    lastCopied = line["bytes"]["done"];
    EXPECT_LE(line["entries"]["done"], line["entries"]["total"]) << line;
  }
  // The device has room beside the old shell: staged, copying comes first.
  EXPECT_EQ(phases, (std::vector<std::string>{"copy", "delete", "end"}));
  const auto lastCopy = std::find_if(lines.rbegin(), lines.rend(),
                                     [](const Json& line) { return line["phase"] == "copy"; });
  ASSERT_NE(lastCopy, lines.rend());
  const Json& copied = *lastCopy;
  EXPECT_EQ(copied["entries"]["done"], 3);
  EXPECT_EQ(copied["bytes"]["done"], fs::file_size(Stage("main.exe")) + 3000);
  EXPECT_EQ(copied["bytes"]["total"], copied["bytes"]["done"]);
  EXPECT_EQ(lines.back()["outcome"], "installed");
  EXPECT_EQ(lines.back()["success"], true);
}

TEST_F(FitkitCommandTest, RefusesADamagedPackageWithTheReportSayingWhy) {
  const fs::path package = Package("shell.zip");
  {
    std::fstream file(package, std::ios::in | std::ios::out | std::ios::binary);
    // Inside main.exe's compressed data. The byte is flipped, not overwritten:
    // the encryption header is random, so any fixed value is sometimes already there.
    file.seekg(100);
    const char byte = static_cast<char>(file.get() ^ 0xFF);
    file.seekp(100);
    file.put(byte);
  }
  const auto flashBefore = test_support::SnapshotTree(Root() / "fs" / "Flash Disk");
  const RunResult run = Fitkit({"rehearse", "--device", Root().string(), package.string(), "--json",
                                "--report", Work("report.json").string()});
  EXPECT_EQ(run.exitCode, 1) << run.err;
  const Json report = Json::parse(run.out);
  EXPECT_EQ(report, Json::parse(ReadText(Work("report.json"))));
  EXPECT_EQ(report["schema_version"], 2);
  EXPECT_EQ(report["outcome"], "refused");
  EXPECT_EQ(report["success"], false);
  EXPECT_NE(report["reason"].get<std::string>().find("nothing was changed"), std::string::npos)
      << report["reason"];
  EXPECT_EQ(test_support::SnapshotTree(Root() / "fs" / "Flash Disk"), flashBefore);
}

TEST_F(FitkitCommandTest, RehearsesAnImageSetAnsweringOnlyAsTold) {
  const fs::path set = ImageSet();
  const RunResult inspect = Fitkit({"inspect", set.string()});
  EXPECT_EQ(inspect.exitCode, 0);
  EXPECT_NE(inspect.out.find("V1.0.7 (0x03010007) from KTR 60.ini, for board revision 3"),
            std::string::npos)
      << inspect.out;
  EXPECT_EQ(LastLine(inspect.err), "an image set with version V1.0.7, all six images there");

  const RunResult run = Fitkit({"rehearse", "--device", Root().string(), set.string()});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(LastLine(run.err), "restarted, OS V0.0.0 -> V1.0.7") << "the stock registry has none";
  EXPECT_EQ(run.out, "fitkit rehearse: the image set is \\Storage Card\\Update\n");
  EXPECT_EQ(ReadText(Root() / "flash" / "version"), "0x03010007");

  // eboot fails after nboot was written: nobody said whether to go on, so the
  // rehearsal stops rather than passing over it, and ends incomplete as a No
  // would (the device holds a new nboot); told to go on, it restarts incomplete.
  std::ofstream(Root() / "device.ini", std::ios::app) << "[drivers]\nSCD1 = flash\nPWR1 = power\n"
                                                         "fail = 0x8001202C\n";
  const RunResult unanswered = Fitkit({"rehearse", "--device", Root().string(), set.string()});
  EXPECT_EQ(unanswered.exitCode, 3);
  EXPECT_NE(LastLine(unanswered.err)
                .find("the program asked \"ERROR! UpdateEBOOT() failed! "
                      "CONTINUE?\" and no answer was given (--yes, --no, --revision=yes|no, "
                      "--continue=yes|no); part of the update was already written"),
            std::string::npos)
      << unanswered.err;
  EXPECT_EQ(
      Fitkit({"rehearse", "--device", Root().string(), set.string(), "--continue=no"}).exitCode, 3);
  const RunResult passed =
      Fitkit({"rehearse", "--device", Root().string(), set.string(), "--continue=yes"});
  EXPECT_EQ(passed.exitCode, 3) << passed.err;
  EXPECT_TRUE(LastLine(passed.err).starts_with("restarted-after-errors: ")) << passed.err;
}

// check says what rehearse will do: on each image set and device below, with
// the same options, both end with the same exit status, and check leaves the
// device as it was.
TEST_F(FitkitCommandTest, CheckAndRehearseAgreeOnImageSets) {
  struct Case {
    const char* what;
    std::string deviceIni;  // added to the stock device.ini
    std::vector<std::string> options;
    std::function<void(const fs::path& set, const fs::path& root)> change;
    int exit;             // what both end with
    const char* finding;  // in check's findings
  };
  const auto none = [](const fs::path&, const fs::path&) {};
  const Case cases[] = {
      {"a sound set", "", {}, none, 0, "would program V1.0.7"},
      {"the board is revision 4",
       "[board]\nrevision = 4\n",
       {},
       none,
       1,
       "imagefit would ask \"Are you sure you want to update the REV-C image"},
      {"revision 4, answered yes",
       "[board]\nrevision = 4\n",
       {"--revision=yes"},
       none,
       0,
       "answered yes"},
      {"revision 4, answered no",
       "[board]\nrevision = 4\n",
       {"--revision=no"},
       none,
       1,
       "the update would be declined"},
      {"no external power", "[power]\nac_line = 0\n", {}, none, 1, "not on external power"},
      {"no power driver", "[drivers]\nSCD1 = flash\n", {}, none, 3, "no power driver (PWR1)"},
      {"no flash driver",
       "[drivers]\nPWR1 = power\n",
       {},
       none,
       1,
       "no flash update driver (SCD1)"},
      {"the power undetermined (255)",
       "[power]\nac_line = 255\n",
       {},
       none,
       0,
       "would program V1.0.7"},
      {"nboot.bin empty",
       "",
       {},
       [](const fs::path& set, const fs::path&) { WriteText(set / "nboot.bin", ""); },
       1,
       "nboot.bin cannot be used: it is empty"},
      {"tinynk.bin with other sync bytes",
       "",
       {},
       [](const fs::path& set, const fs::path&) {
         std::string bytes = ReadText(set / "tinynk.bin");
         bytes.replace(0, 7, "N000FF\n");
         WriteText(set / "tinynk.bin", bytes);
       },
       0,
       "every image reads through"},
      {"no chain.bin",
       "",
       {},
       [](const fs::path& set, const fs::path&) { fs::remove(set / "chain.bin"); },
       4,
       "the image set lacks chain.bin"},
      // imagefit is made for one model and reads none from an unkeyed device.
      {"a device without a model",
       "",
       {},
       [](const fs::path&, const fs::path& root) {
         WriteText(root / "registry.reg", "REGEDIT4\n");
       },
       0,
       "would program V1.0.7"},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path root = Work("dev" + std::to_string(index));
    const fs::path set = ImageSet("set" + std::to_string(index++));
    test_support::MakeStockDevice(root, c.deviceIni);
    c.change(set, root);
    const auto before = test_support::SnapshotTree(root);
    std::vector<std::string> words = {set.string(), "--device", root.string()};
    words.insert(words.end(), c.options.begin(), c.options.end());
    words.insert(words.begin(), "check");
    const RunResult check = Fitkit(words);
    EXPECT_EQ(test_support::SnapshotTree(root), before) << "a check writes nothing";
    words.front() = "rehearse";
    const RunResult rehearse = Fitkit(words);
    EXPECT_EQ(rehearse.exitCode, c.exit) << rehearse.err;
    EXPECT_EQ(check.exitCode, rehearse.exitCode) << check.out << check.err << rehearse.err;
    EXPECT_NE((check.out + check.err).find(c.finding), std::string::npos) << check.out;
  }
}

TEST_F(FitkitCommandTest, GivesEachWayOfFailingItsOwnExitCode) {
  const fs::path package = Package("shell.zip");
  const RunResult unknown = Fitkit({"check", package.string(), "--frobnicate"});
  EXPECT_EQ(unknown.exitCode, 2);
  EXPECT_NE(unknown.err.find("unknown option '--frobnicate'"), std::string::npos) << unknown.err;
  EXPECT_EQ(Fitkit({"rehearse", package.string()}).exitCode, 2) << "no --device";
  EXPECT_EQ(Fitkit({"rehearse", "--device", Work("none").string(), package.string()}).exitCode, 5);
  EXPECT_EQ(Fitkit({"rehearse", "--device", Root().string(), Work("none.zip").string()}).exitCode,
            4);
  const fs::path set = ImageSet();
  fs::remove(set / "chain.bin");
  EXPECT_EQ(Fitkit({"check", set.string(), "--device", Root().string()}).exitCode, 4);
  test_support::MakeStockDevice(Work("nameless"));
  std::ofstream(Work("nameless") / "registry.reg") << "REGEDIT4\n";
  const RunResult nameless =
      Fitkit({"check", package.string(), "--device", Work("nameless").string()});
  EXPECT_EQ(nameless.exitCode, 5) << nameless.err;
  EXPECT_EQ(LastLine(nameless.err),
            "would not start: the device has no model name (Ident\\Model) in its registry");
  // A sparse signature of 100 GB is refused before a byte of it is copied.
  const fs::path huge = Work("shell.zip.minisig");
  { std::ofstream make(huge); }
  fs::resize_file(huge, uint64_t(100) << 30);
  const RunResult hugeRun = Fitkit({"rehearse", "--device", Root().string(), package.string()});
  fs::remove(huge);
  EXPECT_EQ(hugeRun.exitCode, 7) << hugeRun.err;
  EXPECT_NE(hugeRun.err.find("larger than any signature"), std::string::npos) << hugeRun.err;
  EXPECT_FALSE(fs::exists(Root() / "fs" / "Storage Card" / "KTR 60 SHELL.ZIP.minisig"));
  // Another shellfit holds the device's mutex (this test's process, here).
  fs::create_directories(Root() / ".locks");
  const int held =
      ::open((Root() / ".locks" / "VKMORAN3_SHELLFIT").c_str(), O_RDWR | O_CREAT, 0644);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
  const RunResult busy = Fitkit({"rehearse", "--device", Root().string(), package.string()});
  EXPECT_EQ(busy.exitCode, 6) << busy.err;
  EXPECT_EQ(LastLine(busy.err), "already-running: another shellfit runs on this device");
  ::close(held);
}

// What a newcomer types first: help where asked, a word about each mistake,
// and a device that says what it runs.
TEST_F(FitkitCommandTest, AnswersANewUsersFirstCommandsInWords) {
  const RunResult help = Fitkit({"device", "create", "--help"});
  EXPECT_EQ(help.exitCode, 0) << help.err;
  EXPECT_NE(help.out.find("Usage: fitkit-device create DIR"), std::string::npos) << help.out;
  const RunResult noValue = Fitkit({"rehearse", "--device", "--yes", Work("x.zip").string()});
  EXPECT_EQ(noValue.exitCode, 2);
  EXPECT_NE(noValue.err.find("--device needs a value, and the next word is the option --yes"),
            std::string::npos)
      << noValue.err;
  const RunResult createNoValue = Fitkit({"device", "create", Work("d").string(), "--model"});
  EXPECT_EQ(createNoValue.exitCode, 2);
  EXPECT_NE(createNoValue.err.find("--model needs a value"), std::string::npos)
      << createNoValue.err;

  const fs::path set = ImageSet();
  ASSERT_EQ(Fitkit({"rehearse", "--device", Root().string(), set.string()}).exitCode, 0);
  shellfit::InstallRecord record;
  record.package = u"\\Storage Card\\KTR 60 SHELL.ZIP";
  WriteText(Flash(".fitkit/install.rec"), shellfit::FormatInstallRecord(record));
  WriteText(Root() / "fs" / "Storage Card" / "notes.txt", std::string(5000, 'n'));
  const RunResult show = Fitkit({"device", "show", Root().string()});
  EXPECT_EQ(show.exitCode, 0) << show.err;
  for (const char* line :
       {"OS version      V1.0.7, programmed for board revision 3", "main.exe        1.2.3\n",
        "interrupted     the install of \\Storage Card\\KTR 60 SHELL.ZIP stopped part-way",
        "notes.txt  5,000 bytes"}) {
    EXPECT_NE(show.out.find(line), std::string::npos) << line << "\n" << show.out;
  }
  EXPECT_EQ(LastLine(show.err), "a device root: KTR 60, OS V1.0.7, an update interrupted");
}

// The options a --help text names ("--revision=yes|no" as "--revision").
std::set<std::string> OptionsIn(const std::string& text) {
  std::set<std::string> options;
  const std::regex option("--[a-z][a-z-]*");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), option);
       it != std::sregex_iterator(); ++it) {
    options.insert(it->str());
  }
  options.erase("--version");  // the kit's, not a command's
  return options;
}

// What bash completion offers after "fitkit WORDS --".
std::set<std::string> Completed(const std::string& words) {
  const std::string script = "source '" FITKIT_SOURCE_DIR
                             "/fitkit/fitkit.bash-completion'; COMP_WORDS=(fitkit " +
                             words + " --); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _fitkit; " +
                             "printf '%s\\n' \"${COMPREPLY[@]}\"";
  return OptionsIn(test_support::CommandOutput("bash -c " + test_support::Quote(script)));
}

TEST_F(FitkitCommandTest, CompletionOffersEachCommandsOwnOptions) {
  const std::pair<const char*, std::vector<std::string>> commands[] = {
      {"check x", {"check", "--help"}},
      {"inspect x", {"inspect", "--help"}},
      {"rehearse x", {"rehearse", "--help"}},
      {"device show x", {"device", "show", "--help"}},
      {"device create x", {"device", "create", "--help"}}};
  for (const auto& [words, help] : commands) {
    const RunResult shown = Fitkit(help);
    ASSERT_EQ(shown.exitCode, 0) << words;
    std::set<std::string> named = OptionsIn(shown.out);
    named.insert("--help");
    EXPECT_EQ(Completed(words), named) << words;
  }
}

// shellfit itself, killed while its dialog waits for input: the report says so.
TEST_F(FitkitCommandTest, AnInterruptedProgramStillLeavesItsReport) {
  int input[2];
  ASSERT_EQ(::pipe(input), 0);
  std::vector<std::string> env;
  for (char** at = environ; *at != nullptr; ++at) env.emplace_back(*at);
  env.push_back("FITKIT_UI=console");
  env.push_back("FITKIT_DEVICE=" + Root().string());
  env.push_back("FITKIT_REPORT=" + Work("report.json").string());
  std::vector<char*> envp;
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
  posix_spawn_file_actions_addclose(&actions, input[1]);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, Work("out").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, Work("err").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::string program = FITKIT_SHELLFIT_BIN;
  std::string source = "\\Storage Card";
  char* argv[] = {program.data(), source.data(), nullptr};
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data()), 0);
  posix_spawn_file_actions_destroy(&actions);
  ::close(input[0]);
  for (int i = 0; i < 400 && ReadText(Work("out")).find("> ") == std::string::npos; ++i) {
    std::this_thread::sleep_for(25ms);
  }
  ::kill(pid, SIGTERM);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::close(input[1]);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
  const Json written = Json::parse(ReadText(Work("report.json")));
  EXPECT_EQ(written["outcome"], "interrupted");
  EXPECT_EQ(written["success"], false);
  EXPECT_EQ(written["exit_code"], 128 + SIGTERM);
  EXPECT_EQ(written["reason"], "stopped by SIGTERM before the run ended");
  EXPECT_NE(ReadText(Work("err")).find("shellfit: interrupted by SIGTERM"), std::string::npos)
      << ReadText(Work("err"));
}

}  // namespace
