// The shellfit program end to end: a device root built by the test, a real
// package made by Info-ZIP, real processes, the console dialog on stdin and
// stdout.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <random>

#include "device/device.h"
#include "package_files.h"
#include "platform/environment.h"
#include "platform/file_system.h"

namespace shellfit_test {
namespace {

using namespace std::chrono_literals;

const std::string kPackageName = "KTR 60 SHELL.ZIP";

std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

class ShellfitProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeStockDevice(root_.path());
    // The program runs from the storage card, so its module folder is there.
    fs::copy_file(FITKIT_SHELLFIT_BIN, Card("shellfit.exe"));
  }

  fs::path Flash(const std::string& relative = "") const {
    return root_.path() / "fs" / "Flash Disk" / relative;
  }
  fs::path Card(const std::string& relative) const {
    return root_.path() / "fs" / "Storage Card" / relative;
  }

  // The old shell: nested folders, read-only and hidden files, preserved
  // files at several depths and in other letter case, and a dot folder.
  void InstallOldShell() {
    WriteText(Flash("main.exe"), "old main");
    WriteText(Flash("User.HV"), "user hive");
    WriteText(Flash("boot.hv.old"), "stale copy");
    WriteText(Flash("main.exe.old"), "older main");
    WriteText(Flash("Old/readonly.dll"), "old library");
    WriteText(Flash("Old/GPSPARA2.BIN"), "gps 2");
    WriteText(Flash("Old/Deep/hidden.dat"), "old data");
    WriteText(Flash("Old/Deep/SYSTEM.hv"), "system hive");
    WriteText(Flash("Gone/a/b/c.txt"), "old text");
    WriteText(Flash(".private/settings.ini"), "kept untouched");
    fs::permissions(Flash("Old/readonly.dll"), fs::perms::owner_read | fs::perms::group_read);
    const auto device = device::Device::Open(root_.path());
    platform::ScopedEnvironment installed(device->environment());
    platform::Files().SetAttributes(
        u"\\Flash Disk\\Old\\Deep\\hidden.dat",
        platform::FILE_ATTRIBUTE_HIDDEN | platform::FILE_ATTRIBUTE_SYSTEM);
  }

  // The new shell, packed with the package password; returns its tree.
  std::map<std::string, std::string> MakePackage() {
    WriteText(Stage("main.exe"), RandomBytes(150000, 1));
    WriteText(Stage("Data/strings.txt"), "new strings\n");
    WriteText(Stage("Data/Maps/area.bin"), RandomBytes(70000, 2));
    WriteText(Stage("Data/empty.cfg"), "");
    fs::create_directories(Stage("Logs"));
    SetModTime(Stage("main.exe"), 1700000000);
    SetModTime(Stage("Data/strings.txt"), 1600000002);
    SetModTime(Stage("Data/Maps/area.bin"), 1500000004);
    SetModTime(Stage("Data/empty.cfg"), 1400000006);
    Zip(Card(kPackageName), staging_.path(), {"main.exe", "Data", "Logs"});
    return SnapshotTree(staging_.path());
  }

  fs::path Stage(const std::string& relative) const { return staging_.path() / relative; }

  RunResult Run(const std::string& commandLine, const std::string& input, bool trace = false) {
    std::map<std::string, std::string> env = {{"FITKIT_UI", "console"},
                                              {"FITKIT_DEVICE", root_.path().string()},
                                              {"FITKIT_TRACE", trace ? "1" : "0"}};
    std::vector<std::string> args;
    if (!commandLine.empty()) args.push_back(commandLine);
    return RunProgram(Card("shellfit.exe"), args, env, input);
  }

  // A copy of a small program started from the flash drive, and one started
  // from outside the device.
  std::unique_ptr<ChildProcess> StartOnFlash() {
    fs::copy_file("/bin/sleep", Flash("shell.exe"), fs::copy_options::overwrite_existing);
    return std::make_unique<ChildProcess>(Flash("shell.exe"), std::vector<std::string>{"60"});
  }
  std::unique_ptr<ChildProcess> StartOutside() {
    fs::copy_file("/bin/sleep", outside_.path() / "shell.exe");
    return std::make_unique<ChildProcess>(outside_.path() / "shell.exe",
                                          std::vector<std::string>{"60"});
  }

  TempFolder root_;
  TempFolder staging_;
  TempFolder outside_;
};

std::string LastLineStartingWith(const std::string& text, const std::string& prefix) {
  std::string found;
  std::size_t at = 0;
  while ((at = text.find("\n" + prefix, at)) != std::string::npos) {
    const std::size_t end = text.find('\n', at + 1);
    found = text.substr(at + 1, end - at - 1);
    at = end;
  }
  return found;
}

TEST_F(ShellfitProgramTest, ForceRunReplacesTheShell) {
  InstallOldShell();
  const auto package = MakePackage();
  auto onFlash = StartOnFlash();
  auto outside = StartOutside();

  const RunResult run = Run("/force", "");

  EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
  EXPECT_TRUE(onFlash->WaitForEnd(5s)) << "the program on the flash drive still runs";
  EXPECT_TRUE(outside->Alive()) << "a program outside the device was ended";

  auto flash = SnapshotTree(Flash());
  // Of the old tree only the preserved files and the dot folder are left.
  for (const char* kept :
       {"User.HV", "Old/GPSPARA2.BIN", "Old/Deep/SYSTEM.hv", ".private/settings.ini"}) {
    EXPECT_TRUE(flash.count(kept)) << kept;
  }
  for (const char* gone : {"main.exe.old", "boot.hv.old", "Old/readonly.dll", "Old/Deep/hidden.dat",
                           "Gone", "shell.exe"}) {
    EXPECT_FALSE(flash.count(gone)) << gone;
  }
  EXPECT_EQ(ReadText(Flash(".private/settings.ini")), "kept untouched");
  // The package tree byte for byte, with its modification times.
  for (const auto& [path, state] : package) {
    if (state.starts_with("<dir>")) {
      EXPECT_TRUE(fs::is_directory(Flash(path))) << path;
      continue;
    }
    ASSERT_TRUE(flash.count(path)) << path;
    const auto contentOf = [](const std::string& s) { return s.substr(0, s.rfind(" mode=")); };
    const auto timeOf = [](const std::string& s) { return s.substr(s.rfind(" mtime=")); };
    EXPECT_EQ(contentOf(flash[path]), contentOf(state)) << path;
    EXPECT_EQ(timeOf(flash[path]), timeOf(state)) << path;
  }
  EXPECT_NE(run.out.find("status: Deleting... readonly.dll"), std::string::npos);
  EXPECT_NE(run.out.find("status: Copying... Data\\Maps\\area.bin"), std::string::npos);
  EXPECT_EQ(LastLineStartingWith(run.out, "progress: "), "progress: 4/4");
  EXPECT_EQ(run.out.find("message box:"), std::string::npos) << run.out;
}

TEST_F(ShellfitProgramTest, UpgradeRunsOnlyForANewerPackage) {
  fs::copy_file(PeFixture("v123.exe"), Flash("main.exe"));
  fs::copy_file(PeFixture("v123.exe"), Stage("main.exe"));
  Zip(Card(kPackageName), staging_.path(), {"main.exe"});

  // Same version: silent exit 0, no dialog.
  RunResult run = Run("/upgrade", "\n");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_FALSE(fs::exists(Flash("_main.exe")));

  // Newer package: the dialog waits for START (here: Cancel).
  fs::remove(Card(kPackageName));
  fs::copy_file(PeFixture("v124.exe"), Stage("main.exe"), fs::copy_options::overwrite_existing);
  Zip(Card(kPackageName), staging_.path(), {"main.exe"});
  run = Run("/UPGRADE", "cancel\n");
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.out.find("dialog: KTR 60 SHELL UPDATE"), std::string::npos);
  EXPECT_EQ(ReadText(Flash("main.exe")), ReadText(PeFixture("v123.exe")));
  EXPECT_FALSE(fs::exists(Flash("_main.exe")));

  // START installs it.
  run = Run("/upgrade", "\n");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(ReadText(Flash("main.exe")), ReadText(PeFixture("v124.exe")));

  // An installed main.exe without a version: the dialog appears.
  fs::copy_file(PeFixture("no_resources.exe"), Flash("main.exe"),
                fs::copy_options::overwrite_existing);
  run = Run("/upgrade", "cancel\n");
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.out.find("dialog: KTR 60 SHELL UPDATE"), std::string::npos);
}

TEST_F(ShellfitProgramTest, SourceFolderOnTheCommandLine) {
  WriteText(Stage("new.txt"), "new");
  Zip(root_.path() / "fs" / "Windows" / "Update" / "KTR 60 SHELL.ZIP", staging_.path(),
      {"new.txt"});
  WriteText(Flash("old.txt"), "old");
  const RunResult run = Run("\\Windows\\Update\\", "\n");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.out.find("|\\Windows\\Update|"), std::string::npos) << run.out;
  EXPECT_EQ(ReadText(Flash("new.txt")), "new");
  EXPECT_FALSE(fs::exists(Flash("old.txt")));
}

TEST_F(ShellfitProgramTest, SwitchWithABlankOrMoreTextIsASourceFolder) {
  WriteText(Stage("new.txt"), "new");
  Zip(Card(kPackageName), staging_.path(), {"new.txt"});
  for (const std::string commandLine : {" /force", "/force now", "/upgrade2"}) {
    SCOPED_TRACE(commandLine);
    // Not a switch: the dialog waits for the user and names the text as source.
    const RunResult run = Run(commandLine, "cancel\n");
    EXPECT_EQ(run.exitCode, 2) << run.out << run.err;
    EXPECT_NE(run.out.find("|" + commandLine + "|"), std::string::npos) << run.out;
  }
  EXPECT_FALSE(fs::exists(Flash("new.txt")));
}

TEST_F(ShellfitProgramTest, NoPackageAtStartChangesNothing) {
  InstallOldShell();
  const auto before = SnapshotTree(Flash());
  const RunResult run = Run("/force", "");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(SnapshotTree(Flash()), before);
}

struct Damage {
  const char* name;
  int32_t code;  // 0: any ZIP error
};
void PrintTo(const Damage& damage, std::ostream* out) { *out << damage.name; }

// Neither a path through ".." nor a link that leads out of the device reaches
// what lies outside the device root, whatever the program is told.
TEST_F(ShellfitProgramTest, NothingOutsideTheRootIsReachedThroughDotsOrLinks) {
  MakePackage();
  WriteText(outside_.path() / "victim" / "main.exe", "outside main");
  WriteText(outside_.path() / "victim" / "Data" / "keep.txt", "outside data");
  fs::copy_file(Card(kPackageName), outside_.path() / kPackageName);
  const auto before = SnapshotTree(outside_.path());

  // The source folder reached through "..": no package is found there.
  std::string up = fs::relative(outside_.path(), root_.path() / "fs").string();
  std::replace(up.begin(), up.end(), '/', '\\');
  fs::remove(Card(kPackageName));
  InstallOldShell();
  const auto flashBefore = SnapshotTree(Flash());
  RunResult run = Run("\\" + up, "\n");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(SnapshotTree(Flash()), flashBefore) << "a package outside the device was used";

  // The flash drive folder a link to a folder outside: nothing there changes.
  fs::copy_file(outside_.path() / kPackageName, Card(kPackageName));
  fs::remove_all(Flash());
  fs::create_directory_symlink(outside_.path() / "victim", root_.path() / "fs" / "Flash Disk");
  run = Run("/force", "");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(SnapshotTree(outside_.path()), before);
}

class DamagedPackageTest : public ShellfitProgramTest,
                           public ::testing::WithParamInterface<Damage> {
 protected:
  void Damage(const std::string& kind) {
    const fs::path zip = Card(kPackageName);
    std::string bytes = ReadText(zip);
    if (kind == "truncated") {
      WriteText(zip, bytes.substr(0, bytes.size() - 300));
    } else if (kind == "wrong_password") {
      fs::remove(zip);
      ZipFixedHeaders(zip, staging_.path(), {"main.exe", "Data"}, ".TORVA!");
    } else if (kind == "flipped_byte") {
      bytes[FirstEntryDataOffset(zip) + 12 + 5000] ^= 0x20;
      WriteText(zip, bytes);
    } else if (kind == "no_files") {
      WriteText(zip, std::string("PK\x05\x06", 4) + std::string(18, '\0'));
    } else {
      WriteText(zip, RandomBytes(4000, 3));
    }
  }
};

TEST_P(DamagedPackageTest, LeavesTheFlashDriveUntouched) {
  InstallOldShell();
  MakePackage();
  Damage(GetParam().name);
  auto onFlash = StartOnFlash();
  const auto before = SnapshotTree(Flash());

  const RunResult run = Run("/force", "", true);

  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(SnapshotTree(Flash()), before);
  EXPECT_TRUE(onFlash->Alive()) << "a program was ended for a package that cannot be unpacked";
  // A package without files is no damaged one: the box says what it lacks.
  const std::string box = GetParam().name == std::string("no_files")
                              ? "The package cannot be installed: it holds no file."
                              : "\\Storage Card\\KTR 60 SHELL.ZIP ZIP error ";
  EXPECT_NE(run.out.find("message box: KTR 60 SHELL UPDATE\n" + box), std::string::npos) << run.out;
  if (GetParam().code != 0) {
    EXPECT_NE(run.out.find("ZIP error " + std::to_string(GetParam().code) + "!"), std::string::npos)
        << run.out;
  }
  // One box, OK button, information icon, top-most.
  EXPECT_NE(run.err.find(", 0x40040)"), std::string::npos);
  EXPECT_EQ(run.out.find("message box:"), run.out.rfind("message box:"));
  EXPECT_EQ(run.out.find("status: Deleting"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Kinds, DamagedPackageTest,
                         ::testing::Values(Damage{"truncated", 116}, Damage{"wrong_password", 110},
                                           Damage{"flipped_byte", 0}, Damage{"not_a_zip", 116},
                                           Damage{"no_files", 0}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace shellfit_test
