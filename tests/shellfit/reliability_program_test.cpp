// The real program against packages the device cannot take and faults during
// the run: nothing of the old shell may go unless the new one can come.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <functional>
#include <thread>

#include "shellfit_fixture.h"
#include "tests/support/minisign_tool.h"
#include "tests/zipreader/zip_builder.h"

namespace shellfit_test {
namespace {

using namespace std::chrono_literals;
using test_support::CommandOutput;
using zip_test::BuildEntry;
using zip_test::ZipBuilder;

const std::string kPackageName = "KTR 60 SHELL.ZIP";

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

uint64_t BytesBelow(const fs::path& folder) {
  uint64_t total = 0;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file() && !entry.is_symlink()) total += entry.file_size();
  }
  return total;
}

class ReliabilityProgramTest : public ::testing::Test {
 protected:
  void SetUp() override { Device(""); }

  void Device(const std::string& extraIni) {
    MakeStockDevice(root_.path(), extraIni);
    fs::copy_file(FITKIT_SHELLFIT_BIN, Card("shellfit.exe"), fs::copy_options::overwrite_existing);
  }
  fs::path Flash(const std::string& relative = "") const {
    return root_.path() / "fs" / "Flash Disk" / relative;
  }
  fs::path Card(const std::string& relative) const {
    return root_.path() / "fs" / "Storage Card" / relative;
  }
  fs::path Stage(const std::string& relative) const { return staging_.path() / relative; }

  void OldShell(int files = 3) {
    WriteText(Flash("main.exe"), "old main");
    WriteText(Flash("user.hv"), "user hive");
    for (int i = 0; i < files; ++i) {
      WriteText(Flash("Old/" + std::to_string(i % 20) + "/f" + std::to_string(i) + ".dat"),
                "old file " + std::to_string(i));
    }
  }
  void Package(const ZipBuilder& builder) { WriteText(Card(kPackageName), builder.Build().bytes); }

  std::map<std::string, std::string> Env() const {
    return {{"FITKIT_UI", "console"}, {"FITKIT_DEVICE", root_.path().string()}};
  }
  // Killed after 10 seconds (exit code 137): a run that never ends fails
  // then, not at the test's 120-second timeout.
  RunResult Force() {
    const std::string program = Card("shellfit.exe").string();
    return RunProgram("/usr/bin/timeout", {"-s", "KILL", "10", program, "/force"}, Env(), "");
  }

  // One run that refuses: nothing changed, one box with `words`, exit 1.
  void ExpectRefused(const std::string& words) {
    const auto before = SnapshotTree(Flash());
    const RunResult run = Force();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(SnapshotTree(Flash()), before);
    EXPECT_EQ(Count(run.out, "message box:"), 1u) << run.out;
    EXPECT_NE(run.out.find(words), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("status: Deleting"), std::string::npos);
  }

  TempFolder root_;
  TempFolder staging_;
  TempFolder outside_;
};

TEST_F(ReliabilityProgramTest, AFullDriveDeletesNothing) {
  OldShell();
  ZipBuilder b;
  b.entries.push_back({.name = "main.exe", .data = zip_test::Pseudorandom(300000, 1)});
  b.entries.push_back({.name = "user.hv", .data = "new hive"});
  Package(b);
  const uint64_t used = BytesBelow(root_.path() / "fs");
  Device("[fs]\ncapacity = " + std::to_string(used + 1000) + "\n");
  ExpectRefused("bytes missing). Nothing was changed.");
}

struct Hostile {
  const char* name;
  std::vector<BuildEntry> entries;
  const char* words;
};
void PrintTo(const Hostile& h, std::ostream* out) { *out << h.name; }

class RefusedNameTest : public ReliabilityProgramTest,
                        public ::testing::WithParamInterface<Hostile> {};

std::string Repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

TEST_P(RefusedNameTest, IsRefusedBeforeAnythingIsDeleted) {
  OldShell();
  WriteText(outside_.path() / "keep.txt", "outside");
  fs::create_directory_symlink(outside_.path(), Flash("Linked"));
  ZipBuilder b;
  b.entries = GetParam().entries;
  b.entries.insert(b.entries.begin(), {.name = "main.exe", .data = "new main"});
  Package(b);
  ExpectRefused(GetParam().words);
  EXPECT_EQ(SnapshotTree(outside_.path()).size(), 1u);
  EXPECT_EQ(ReadText(outside_.path() / "keep.txt"), "outside");
}

INSTANTIATE_TEST_SUITE_P(
    Names, RefusedNameTest,
    ::testing::Values(
        Hostile{"dots", {{.name = "../../Windows/x.dll", .data = "x"}}, "\".\" or \"..\""},
        Hostile{"long_part", {{.name = std::string(260, 'n'), .data = "x"}}, "260 characters"},
        Hostile{"colon", {{.name = "a:b.txt", .data = "x"}}, "does not allow"},
        Hostile{"clash",
                {{.name = "Data", .data = "x"}, {.name = "data/y.txt", .data = "y"}},
                "both a file and a folder"},
        Hostile{"kept_file", {{.name = "user.hv/z.txt", .data = "z"}}, "stays a file"},
        Hostile{"outward_link",
                {{.name = "Linked/keep.txt", .data = "evil"}},
                "cannot be created on the device"},
        // 100 characters the device takes, 300 bytes on a host that takes 255,
        // after a new name that has the folder's names read.
        Hostile{"too_long_for_the_host",
                {{.name = "new.txt", .data = "n"},
                 {.name = Repeat("\xE2\x82\xAC", 100), .data = "x", .extraFlags = 0x0800}},
                "cannot be created on the device"},
        // Names the device's file system would write under another name.
        Hostile{"trailing_dot", {{.name = "a.txt.", .data = "x"}}, "ends with a dot or a blank"},
        Hostile{"dotted_folder", {{.name = "Res./x", .data = "x"}}, "ends with a dot or a blank"},
        Hostile{"trailing_blank", {{.name = "Res /x", .data = "x"}}, "ends with a dot or a blank"},
        Hostile{"folder_with_data",
                {{.name = "Res/", .data = "abc", .externalAttr = 0x41ED0010}},
                "a folder entry, yet it holds 3 bytes"},
        Hostile{"root_with_data",
                {{.name = "/", .data = "abc", .externalAttr = 0x41ED0010}},
                "a folder entry, yet it holds 3 bytes"},
        // Two entries, one file: both are named.
        Hostile{"same_name_twice",
                {{.name = "main.exe", .data = ""}},
                "entry \"main.exe\": it and entry \"main.exe\" would both be written to"},
        Hostile{"case_only",
                {{.name = "MAIN.EXE", .data = ""}},
                "entry \"MAIN.EXE\": it and entry \"main.exe\" would both be written to"},
        Hostile{"two_spellings",
                {{.name = "Res//a", .data = "1"}, {.name = "Res\\a", .data = "2"}},
                "entry \"Res\\a\": it and entry \"Res\\\\a\" would both be written to"},
        Hostile{"same_decoded_text",
                {{.name = "\xC3\x9C.txt", .data = "1", .extraFlags = 0x0800},
                 {.name = "\xDC.txt", .data = "2"}},
                "would both be written to \"\\Flash Disk\\\xC3\x9C.txt\""},
        // The updater's own folder, however a package spells it.
        Hostile{"kit_record",
                {{.name = ".FitKit\\install.rec", .data = "fitkit install record 2\n"}},
                "which the updater keeps for itself"},
        Hostile{"kit_folder_name", {{.name = ".fitkit", .data = "x"}}, "keeps for itself"},
        // What the reader cannot read, in words.
        Hostile{"lzma",
                {{.name = "big.bin", .data = "raw", .method = 14}},
                "entry \"big.bin\" is compressed with method 14 (LZMA); only stored and "
                "deflated entries can be installed."}),
    [](const auto& info) { return std::string(info.param.name); });

// More on the drive than its capacity allows: the excess is paid from what
// the deletion frees.
TEST_F(ReliabilityProgramTest, ADriveOverItsCapacityCountsWhatItHoldsNow) {
  OldShell();
  WriteText(Flash("Old/big.dat"), zip_test::Pseudorandom(50000, 5));
  ZipBuilder b;
  b.entries.push_back({.name = "main.exe", .data = zip_test::Pseudorandom(30000, 6)});
  Package(b);
  const uint64_t used = BytesBelow(root_.path() / "fs");
  Device("[fs]\ncapacity = " + std::to_string(used - 30000) + "\n");
  ExpectRefused("holds 30000 bytes more than its capacity now");
}

// 64 MB declared, spoiled at the end: inflating it first would end in a CRC
// error; weighing the declared size first refuses it for its size.
TEST_F(ReliabilityProgramTest, ABombIsWeighedBeforeAByteIsInflated) {
  OldShell();
  ZipBuilder b;
  b.entries.push_back({.name = "main.exe", .data = std::string(64 << 20, '\0')});
  zip_test::BuiltArchive built = b.Build();
  for (uint32_t at : {built.localOffsets[0] + 14, built.centralOffsets[0] + 16}) {
    zip_test::PutU32(built.bytes, at, 0x12345678);
  }
  WriteText(Card(kPackageName), built.bytes);
  Device("[fs]\ncapacity = " + std::to_string(BytesBelow(root_.path() / "fs") + (10 << 20)) + "\n");
  ExpectRefused("bytes missing). Nothing was changed.");
}

TEST_F(ReliabilityProgramTest, WhatTheReaderCannotReadIsSaidInWords) {
  OldShell();
  ZipBuilder folders;
  folders.entries.push_back({.name = "Res/", .externalAttr = 0x41ED0010});
  Package(folders);
  ExpectRefused("The package cannot be installed: it holds no file. Nothing was changed.");

  const std::string zip64 =
      "import zipfile\n"
      "with zipfile.ZipFile('" +
      Card(kPackageName).string() +
      "', 'w') as z:\n"
      "  with z.open('main.exe', 'w', force_zip64=True) as f:\n"
      "    f.write(b'new main')\n";
  WriteText(Stage("zip64.py"), zip64);
  ASSERT_EQ(std::system(("python3 '" + Stage("zip64.py").string() + "'").c_str()), 0);
  ExpectRefused("it uses ZIP64, which this device's reader does not read. Nothing was changed.");
}

// A drive on a file system of its own (a small tmpfs mounted by the test).
class MountedFlashTest : public ReliabilityProgramTest {
 protected:
  bool Mount(const std::string& options) {
    fs::create_directories(Flash());
    if (mount("tmpfs", Flash().c_str(), "tmpfs", 0, options.c_str()) != 0) {
      why_ = std::string("a tmpfs cannot be mounted here: ") + std::strerror(errno);
      return false;
    }
    mounted_ = true;
    return true;
  }
  void Unmount() {
    if (mounted_) umount2(Flash().c_str(), MNT_DETACH);
    mounted_ = false;
  }
  void TearDown() override { Unmount(); }

  // chattr +i: neither root nor anyone else may change or delete it.
  static bool Lock(const fs::path& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    int flags = 0;
    const bool ok = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                    (flags |= FS_IMMUTABLE_FL, ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0);
    if (fd >= 0) close(fd);
    return ok;
  }

  static void Unlock(const fs::path& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    int flags = 0;
    if (fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
      flags &= ~FS_IMMUTABLE_FL;
      ioctl(fd, FS_IOC_SETFLAGS, &flags);
    }
    if (fd >= 0) close(fd);
  }

  bool mounted_ = false;
  std::string why_;
};

// 2,501 files of 5 bytes: 12 KB of data, 10 MB in 4 KB blocks, on 8 MB.
TEST_F(MountedFlashTest, FilesTakeWholeBlocks) {
  if (!Mount("size=8m")) GTEST_SKIP() << why_;
  OldShell();
  ZipBuilder b;
  b.entries.push_back({.name = "main.exe", .data = "new main"});
  for (int i = 0; i < 2500; ++i) {
    b.entries.push_back({.name = "Data/f" + std::to_string(i) + ".txt", .data = "12345"});
  }
  Package(b);
  ExpectRefused("(in whole blocks of 4096 bytes)");
}

TEST_F(MountedFlashTest, AReadOnlyOrLockedDriveIsRefusedBeforeAnythingEnds) {
  const std::pair<std::string, std::string> cases[] = {
      {"read-only mount", "\"\\Flash Disk\" is read-only: its old files cannot be deleted."},
      {"locked main.exe", "\"\\Flash Disk\\main.exe\" cannot be deleted: it is locked"},
      {"locked folder", "\"\\Flash Disk\\Old\\0\" is read-only: its old files cannot"},
      {"locked kept folder", "\"\\Flash Disk\\.cfg\" is read-only: nothing can be written"}};
  for (const auto& [kind, words] : cases) {
    SCOPED_TRACE(kind);
    if (!Mount("size=8m")) GTEST_SKIP() << why_;
    OldShell();
    fs::create_directories(Flash(".cfg"));
    ZipBuilder b;
    b.entries.push_back({.name = "main.exe", .data = "new main"});
    b.entries.push_back({.name = ".cfg/new.txt", .data = "new"});
    Package(b);
    bool ready = true;
    if (kind == "read-only mount") {
      ready = mount("tmpfs", Flash().c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=8m") == 0;
    } else if (kind == "locked main.exe") {
      ready = Lock(Flash("main.exe"));
    } else if (kind == "locked folder") {
      ready = Lock(Flash("Old/0"));
    } else {
      ready = Lock(Flash(".cfg"));
    }
    if (!ready) GTEST_SKIP() << kind << " cannot be made here: " << std::strerror(errno);
    ExpectRefused(words);
    Unmount();
  }
}

// A file locked after the check, while the old shell is deleted: one box
// names it, the new shell is unpacked around it. The drive turned read-only
// after the check fails every entry: the extraction ends after two boxes.
TEST_F(MountedFlashTest, FaultsAfterTheCheckAreSaidOnce) {
  if (!Mount("size=8m")) GTEST_SKIP() << why_;
  OldShell(1000);
  WriteText(Flash("Zz/last.dat"), "old");
  ZipBuilder b;
  b.entries.push_back({.name = "main.exe", .data = "new main"});
  Package(b);
  BackgroundRun run(Card("shellfit.exe"), {"/force"}, Env(), Stage("locked.out"));
  ASSERT_TRUE(run.WaitForOutput("status: Deleting"));
  // Set aside by now, or about to be: locked either way, it cannot go.
  if (!Lock(Flash("Zz/last.dat")) && !Lock(Flash(".fitkit/old/Zz/last.dat"))) {
    GTEST_SKIP() << "chattr +i fails here, or the file moved between the two tries";
  }
  EXPECT_EQ(run.Finish(), 1);
  const std::string text = run.Output();
  EXPECT_EQ(Count(text, "message box:"), 1u) << text;
  EXPECT_NE(text.find("1 old files could not be deleted, the first of them "
                      "\\Flash Disk\\Zz\\last.dat."),
            std::string::npos)
      << text;
  EXPECT_EQ(ReadText(Flash("main.exe")), "new main");
  Unmount();
}

class ReadOnlyAfterAllTest : public ShellfitTest {};

TEST_F(ReadOnlyAfterAllTest, EndsTheExtractionWithTwoBoxes) {
  ZipBuilder b;
  for (int i = 0; i < 5; ++i) b.entries.push_back({.name = "f" + std::to_string(i) + ".bin"});
  WriteText(Fs("Storage Card/KTR 60 SHELL.ZIP"), b.Build().bytes);
  const fs::path flash = Fs("Flash Disk");
  if (mount("tmpfs", flash.c_str(), "tmpfs", MS_RDONLY, "size=1m") != 0) {
    GTEST_SKIP() << "a tmpfs cannot be mounted here: " << std::strerror(errno);
  }
  OpenDevice("");
  EXPECT_EQ(shellfit::ExtractPackage(dialog_, u"\\Storage Card\\KTR 60 SHELL.ZIP", u"\\Flash Disk"),
            0);
  umount2(flash.c_str(), MNT_DETACH);
  ASSERT_EQ(dialog_.messageBoxes.size(), 2u);
  EXPECT_EQ(dialog_.messageBoxes[0].text, "f0.bin CRC error!");
  EXPECT_NE(dialog_.messageBoxes[1].text.find("cannot be written any more"), std::string::npos)
      << dialog_.messageBoxes[1].text;
}

// Damaged in ways only the new checks see: each is refused as a ZIP error.
TEST_F(ReliabilityProgramTest, StoredSizeLieAndShortEndRecordAreDamaged) {
  OldShell();
  ZipBuilder b;
  b.entries.push_back({.name = "main.exe", .data = zip_test::Pseudorandom(65536, 2), .method = 0});
  b.entries.push_back({.name = "rest.bin", .data = zip_test::Pseudorandom(140000, 3), .method = 0});
  zip_test::BuiltArchive built = b.Build();
  for (uint32_t at : {built.localOffsets[0] + 18, built.centralOffsets[0] + 20}) {
    zip_test::PutU32(built.bytes, at, 65536 + 65536 + 10);
  }
  WriteText(Card(kPackageName), built.bytes);
  ExpectRefused("ZIP error 101!");  // ends at once instead of copying nothing for ever

  built = b.Build();
  zip_test::PutU16(built.bytes, built.endOffset + 8, 1);
  zip_test::PutU16(built.bytes, built.endOffset + 10, 1);
  WriteText(Card(kPackageName), built.bytes);
  ExpectRefused("ZIP error 101!");
}

TEST_F(ReliabilityProgramTest, UnixFolderEntriesAndUtf8NamesInstall) {
  OldShell();
  // 7-Zip marks non-ASCII names as UTF-8; one of them is beyond the code page.
  WriteText(Stage("main.exe"), "new main");
  WriteText(Stage("Überblick.txt"), "overview");
  WriteText(Stage("日本/地図.bin"), "map");
  const std::string command = "cd '" + staging_.path().string() +
                              "' && 7zz a -tzip -mem=ZipCrypto -p.TORVA. '" +
                              Card(kPackageName).string() + "' . >/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  RunResult run = Force();
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(ReadText(Flash("Überblick.txt")), "overview");
  EXPECT_EQ(ReadText(Flash("日本/地図.bin")), "map");
  EXPECT_EQ(run.out.find("message box:"), std::string::npos) << run.out;

  // Made on Unix with only the DOS folder bit, and a file below it.
  ZipBuilder b;
  b.entries.push_back({.name = "main.exe", .data = "new main"});
  b.entries.push_back({.name = "Maps/", .externalAttr = 0x10});
  b.entries.push_back({.name = "Maps/area.bin", .data = "area"});
  Package(b);
  run = Force();
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(fs::is_directory(Flash("Maps")));
  EXPECT_EQ(ReadText(Flash("Maps/area.bin")), "area");
  EXPECT_EQ(run.out.find("message box:"), std::string::npos) << run.out;
}

// The package replaced, cut short or removed on the card while the old shell
// is being deleted: the shell that was checked is installed in full.
TEST_F(ReliabilityProgramTest, PackageChangedDuringTheDeletionInstallsTheCheckedOne) {
  ZipBuilder good;
  good.entries.push_back({.name = "main.exe", .data = zip_test::Pseudorandom(200000, 4)});
  good.entries.push_back({.name = "Data/strings.txt", .data = "new strings"});
  ZipBuilder other;
  other.entries.push_back({.name = "main.exe", .data = "junk"});
  const std::string junk = other.Build().bytes;
  // Last, on a device that requires signatures: the package and its
  // signature replaced by another package its maker signed.
  test_support::MinisignKey maker(outside_.path(), "maker");
  const fs::path signedJunk = Stage("signed-junk") / kPackageName;
  fs::create_directories(signedJunk.parent_path());
  WriteText(signedJunk, junk);
  const auto signRelease = [&](const fs::path& package) {
    maker.SignRelease(package.string() + ".manifest", signature::ReleaseKind::ShellPackage,
                      {{signature::FileRole::Package, package}}, "model=KTR 60");
  };
  signRelease(signedJunk);
  for (const std::string change : {"swap", "cut", "remove", "signed swap"}) {
    SCOPED_TRACE(change);
    fs::remove_all(Flash());
    OldShell(1000);
    Package(good);
    if (change == "signed swap") {
      WriteText(root_.path() / "registry.reg",
                std::string(test_support::kStockRegistry) +
                    "[HKEY_LOCAL_MACHINE\\Ident]\n\"UpdateKeys\"=\"" + maker.PublicKeyLine() +
                    "\"\n");
      signRelease(Card(kPackageName));
    }
    BackgroundRun run(Card("shellfit.exe"), {"/force"}, Env(), staging_.path() / (change + ".out"));
    run.WaitForOutput("status: Deleting");
    if (change == "swap") {
      WriteText(Stage("junk.zip"), junk);
      fs::rename(Stage("junk.zip"), Card(kPackageName));
    } else if (change == "signed swap") {
      for (const std::string beside : {".manifest.minisig", ".manifest", ""}) {
        fs::rename(signedJunk.string() + beside, Card(kPackageName + beside));
      }
    } else if (change == "cut") {
      fs::resize_file(Card(kPackageName), 1000);  // waits while the package is held
    } else {
      fs::remove(Card(kPackageName));
    }
    EXPECT_EQ(run.Finish(), 1);
    const std::string text = run.Output();
    EXPECT_EQ(ReadText(Flash("main.exe")), good.entries[0].data);
    EXPECT_EQ(ReadText(Flash("Data/strings.txt")), "new strings");
    EXPECT_FALSE(fs::exists(Flash("Old")));
    EXPECT_EQ(text.find("message box:"), std::string::npos) << text.substr(text.size() - 300);
  }
}

// A stop while the old shell is deleted waits for the new shell: SIGINT and
// SIGTERM end the program once it is installed, a closed output pipe
// changes nothing. Outside the change a stop ends the program at once.
TEST_F(ReliabilityProgramTest, AStopDuringTheDeletionWaitsForTheNewShell) {
  ZipBuilder good;
  good.entries.push_back({.name = "main.exe", .data = zip_test::Pseudorandom(200000, 7)});
  good.entries.push_back({.name = "Data/strings.txt", .data = "new strings"});
  const std::pair<std::string, int> stops[] = {
      {"SIGINT", SIGINT}, {"SIGTERM", SIGTERM}, {"pipe", 0}};
  Package(good);
  for (const auto& [stop, signal] : stops) {
    SCOPED_TRACE(stop);
    fs::remove_all(Flash());
    OldShell(1000);
    const fs::path report = Stage(stop + ".json");
    auto env = Env();
    env["FITKIT_REPORT"] = report.string();
    if (signal != 0) {
      BackgroundRun run(Card("shellfit.exe"), {"/force"}, env, Stage(stop + ".out"));
      ASSERT_TRUE(run.WaitForOutput("status: Deleting"));
      run.Signal(signal);
      EXPECT_EQ(run.Finish(), 128 + signal);
      EXPECT_NE(ReadText(report).find("\"held_signal\": \"" + stop + "\""), std::string::npos);
    } else {
      // grep leaves at the first deletion and closes the pipe.
      WriteText(Stage("pipe.sh"), "FITKIT_UI=console FITKIT_DEVICE='" + root_.path().string() +
                                      "' FITKIT_REPORT='" + report.string() + "' '" +
                                      Card("shellfit.exe").string() +
                                      "' /force </dev/null | grep -m1 -q Deleting\n"
                                      "echo ${PIPESTATUS[0]}\n");
      EXPECT_EQ(CommandOutput("bash '" + Stage("pipe.sh").string() + "'"), "1\n");
    }
    EXPECT_EQ(ReadText(Flash("main.exe")), good.entries[0].data);
    EXPECT_EQ(ReadText(Flash("Data/strings.txt")), "new strings");
    EXPECT_FALSE(fs::exists(Flash("Old")));
    EXPECT_NE(ReadText(report).find("\"outcome\": \"installed\""), std::string::npos)
        << ReadText(report);
  }

  // Waiting for START: ended at once, the report says so.
  fs::remove_all(Flash());
  OldShell();
  const fs::path report = Stage("waiting.json");
  const std::string out = Stage("waiting.out").string();
  WriteText(Stage("waiting.sh"), "(sleep 29.5 | FITKIT_UI=console FITKIT_TRACE=1 FITKIT_DEVICE='" +
                                     root_.path().string() + "' FITKIT_REPORT='" + report.string() +
                                     "' '" + Card("shellfit.exe").string() + "' >/dev/null 2>'" +
                                     out +
                                     "') &\n"
                                     "until [ -s '" +
                                     out +
                                     "' ]; do sleep 0.05; done\n"
                                     "pkill -TERM -f -x \"" +
                                     Card("shellfit.exe").string() +
                                     "\"\n"
                                     "until [ -e '" +
                                     report.string() +
                                     "' ]; do sleep 0.05; done\n"
                                     "pkill -f -x 'sleep 29.5'\n");
  CommandOutput("timeout 30 bash '" + Stage("waiting.sh").string() + "'");
  EXPECT_NE(ReadText(report).find("\"outcome\": \"interrupted\""), std::string::npos)
      << ReadText(report);
  EXPECT_NE(ReadText(report).find("\"exit_code\": 143"), std::string::npos);
  EXPECT_EQ(ReadText(Flash("main.exe")), "old main");
}

// What the program cannot use is said on stderr, and nothing is made or
// replaced where it does not belong.
TEST_F(ReliabilityProgramTest, WhatCannotBeUsedIsSaidAndLeftAlone) {
  // A model name longer than the device's buffer.
  WriteText(root_.path() / "registry.reg",
            "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Ident]\n\"Model\"=\"" + std::string(300, 'M') + "\"\n");
  RunResult run = Force();
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.err.find("has 300 characters; it must have fewer than 260"), std::string::npos)
      << run.err;
  Device("");

  // A folder without device.ini is no device root: nothing is made in it.
  const fs::path empty = Stage("empty");
  fs::create_directories(empty);
  run = RunProgram(Card("shellfit.exe"), {"/force"},
                   {{"FITKIT_UI", "console"}, {"FITKIT_DEVICE", empty.string()}}, "");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.err.find("is no device root"), std::string::npos) << run.err;
  EXPECT_TRUE(fs::is_empty(empty));

  // The report: into an existing file with its mode kept, to stdout for "-",
  // through a link to /dev/null and into a named pipe without replacing them.
  auto env = Env();
  const fs::path file = Stage("kept.json");
  WriteText(file, "old");
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
  env["FITKIT_REPORT"] = file.string();
  RunProgram(Card("shellfit.exe"), {"/force"}, env, "");
  EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_NE(ReadText(file).find("\"program\": \"shellfit\""), std::string::npos);

  env["FITKIT_REPORT"] = "-";
  run = RunProgram(Card("shellfit.exe"), {"/force"}, env, "");
  EXPECT_NE(run.out.find("\"program\": \"shellfit\""), std::string::npos) << run.out;

  const fs::path link = Stage("null.json");
  fs::create_symlink("/dev/null", link);
  env["FITKIT_REPORT"] = link.string();
  run = RunProgram(Card("shellfit.exe"), {"/force"}, env, "");
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  EXPECT_EQ(run.err.find("cannot write the report"), std::string::npos) << run.err;

  const fs::path fifo = Stage("pipe.json");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  env["FITKIT_REPORT"] = fifo.string();
  RunProgram(Card("shellfit.exe"), {"/force"}, env, "");
  char bytes[65536];
  const ssize_t got = read(reader, bytes, sizeof bytes);
  close(reader);
  EXPECT_TRUE(fs::is_fifo(fifo));
  ASSERT_GT(got, 0);
  EXPECT_NE(std::string(bytes, std::size_t(got)).find("\"program\": \"shellfit\""),
            std::string::npos);
}

// A drive that fills up during the extraction after all: two boxes, and no
// file that failed stays behind under its name.
class FullAfterAllTest : public ShellfitTest {};

TEST_F(FullAfterAllTest, EndsTheExtractionWithTwoBoxes) {
  ZipBuilder b;
  for (int i = 0; i < 5; ++i) {
    b.entries.push_back({.name = std::string("f").append(std::to_string(i)) + ".bin",
                         .data = zip_test::Pseudorandom(40000, i)});
  }
  WriteText(Fs("Storage Card/KTR 60 SHELL.ZIP"), b.Build().bytes);
  OpenDevice("[fs]\ncapacity = " + std::to_string(BytesBelow(root_.path() / "fs") + 90000) + "\n");

  EXPECT_EQ(shellfit::ExtractPackage(dialog_, u"\\Storage Card\\KTR 60 SHELL.ZIP", u"\\Flash Disk"),
            2);

  ASSERT_EQ(dialog_.messageBoxes.size(), 2u);
  EXPECT_EQ(dialog_.messageBoxes[0].text, "f2.bin CRC error!");
  EXPECT_NE(dialog_.messageBoxes[1].text.find("The flash drive is full"), std::string::npos);
  EXPECT_FALSE(fs::exists(Fs("Flash Disk/f2.bin")));
  EXPECT_FALSE(fs::exists(Fs("Flash Disk/f3.bin")));
  EXPECT_NE(dialog_.messageBoxes[1].text.find("the new shell is incomplete."), std::string::npos);

  // Unpacking into the staging folder, the old shell is still whole.
  dialog_.messageBoxes.clear();
  fs::create_directories(Fs("Flash Disk/.fitkit/staging"));
  shellfit::ExtractPackage(dialog_, u"\\Storage Card\\KTR 60 SHELL.ZIP",
                           u"\\Flash Disk\\.fitkit\\staging");
  ASSERT_FALSE(dialog_.messageBoxes.empty());
  EXPECT_NE(dialog_.messageBoxes.back().text.find("the old shell is kept."), std::string::npos)
      << dialog_.messageBoxes.back().text;
}

}  // namespace
}  // namespace shellfit_test

namespace shellfit_test {
namespace {

// Every file's bytes and permissions, every folder's name.
std::map<std::string, std::string> Contents(const fs::path& folder) {
  std::map<std::string, std::string> tree;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string relative = entry.path().lexically_relative(folder).string();
    tree[relative] = entry.is_directory()
                         ? "<dir>"
                         : ReadText(entry.path()) + " mode=" +
                               std::to_string(static_cast<unsigned>(entry.status().permissions()));
  }
  return tree;
}

// Waits until `text` shows in the growing file `path`, reading only what
// was added since the last look (the run's transcript grows to many lines).
bool WaitForText(const fs::path& path, const std::string& text) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  std::string seen;
  std::ifstream in(path, std::ios::binary);
  while (std::chrono::steady_clock::now() < until) {
    char chunk[65536];
    in.clear();
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) seen.append(chunk, in.gcount());
    if (seen.find(text, seen.size() > 65536 + text.size() ? seen.size() - 65536 - text.size()
                                                          : 0) != std::string::npos) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

// The real program killed (SIGKILL) at 20 points of a /force run, each time
// followed by a start with /upgrade: the flash drive holds the new shell,
// byte for byte, whether the kill came while the entries were staged, while
// the old files went or while the new ones moved into place.
TEST_F(ReliabilityProgramTest, KilledAnywhereTheNextUpgradeLeavesTheNewShell) {
  OldShell(400);
  fs::copy_file(PeFixture("v123.exe"), Flash("main.exe"), fs::copy_options::overwrite_existing);
  ZipBuilder b;
  b.password = ".TORVA.";
  b.entries.push_back(
      {.name = "main.exe", .data = ReadText(PeFixture("v124.exe")), .encrypt = true});
  for (int i = 0; i < 2000; ++i) {
    b.entries.push_back(
        {.name = "App/" + std::to_string(i % 40) + "/f" + std::to_string(i) + ".bin",
         .data = zip_test::Pseudorandom(64 + i % 900, i),
         .encrypt = true});
  }
  Package(b);
  // The runs take place on tmpfs where there is one: each run flushes the
  // whole file system it works on, which on a shared disk costs seconds.
  std::string shm = "/dev/shm/fitkit-kill-XXXXXX";
  const fs::path place = ::mkdtemp(shm.data()) != nullptr ? fs::path(shm) : outside_.path();
  struct Remove {
    fs::path path;
    ~Remove() {
      if (path.string().starts_with("/dev/shm/")) fs::remove_all(path);
    }
  } removeLater{place};
  const fs::path device = place / "device";
  const auto flash = [&] { return device / "fs" / "Flash Disk"; };
  const fs::path program = device / "fs" / "Storage Card" / "shellfit.exe";
  const std::map<std::string, std::string> env = {{"FITKIT_UI", "console"},
                                                  {"FITKIT_DEVICE", device.string()}};
  const auto fresh = [&] {
    fs::remove_all(device);
    fs::copy(root_.path(), device, fs::copy_options::recursive);
  };

  fresh();
  const RunResult whole = RunProgram(program, {"/force"}, env, "");
  ASSERT_EQ(whole.exitCode, 1);
  const auto newShell = Contents(flash());
  ASSERT_EQ(ReadText(flash() / "main.exe"), ReadText(PeFixture("v124.exe")));
  std::vector<std::string> statuses;
  for (std::size_t at = whole.out.find("status: "); at != std::string::npos;
       at = whole.out.find("status: ", at + 1)) {
    statuses.push_back(whole.out.substr(at, whole.out.find('\n', at) + 1 - at));
  }
  ASSERT_GT(statuses.size(), 2000u);

  for (int point = 1; point <= 20; ++point) {
    const std::string& killedAt = statuses[point * (statuses.size() - 1) / 21];
    SCOPED_TRACE("killed after " + killedAt);
    fresh();
    {
      BackgroundRun run(program, {"/force"}, env, place / "run.out");
      ASSERT_TRUE(WaitForText(place / "run.out", killedAt));
    }  // SIGKILL
    const RunResult again = RunProgram(program, {"/upgrade"}, env, "start\n");
    ASSERT_TRUE(Contents(flash()) == newShell) << again.out.substr(0, 600);
  }
}

}  // namespace
}  // namespace shellfit_test

namespace shellfit_test {
namespace {

// What stands where the kit keeps its folder or its record, made by anyone
// but the kit: moved aside under a name that says so and said, never
// followed, and the install goes on.
TEST_F(ReliabilityProgramTest, WhatTheKitDidNotMakeInItsFolderIsSetAside) {
  const std::vector<std::pair<std::string, std::function<void()>>> found = {
      {"a file named .fitkit", [&] { WriteText(Flash(".fitkit"), "x"); }},
      {"a folder for the record", [&] { fs::create_directories(Flash(".fitkit/install.rec/x")); }},
      {"a FIFO for the record",
       [&] {
         fs::create_directories(Flash(".fitkit"));
         ASSERT_EQ(::mkfifo(Flash(".fitkit/install.rec").c_str(), 0644), 0);
       }},
  };
  ZipBuilder b;
  b.entries.push_back({.name = "main.exe", .data = "new main"});
  Package(b);
  for (const auto& [what, make] : found) {
    SCOPED_TRACE(what);
    fs::remove_all(Flash());
    OldShell();
    make();
    const RunResult run = Force();
    EXPECT_NE(run.out.find("did not make was found in its folder and moved aside"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(ReadText(Flash("main.exe")), "new main") << run.out;
    EXPECT_EQ(std::distance(fs::directory_iterator(Flash(".fitkit.foreign-1")), {}), 1);
    EXPECT_FALSE(fs::exists(Flash(".fitkit")));
  }
}

// .fitkit a link to the card: nothing is followed through it, nothing on the
// card goes, and a later /force installs and says so truthfully.
TEST_F(ReliabilityProgramTest, AKitFolderThatIsALinkIsNeverFollowed) {
  OldShell();
  WriteText(Card("staging/photos/p.jpg"), "a photo");
  WriteText(Card("install.rec"), "not a record");
  fs::create_directory_symlink(Card(""), Flash(".fitkit"));
  // A start that goes no further than its look at the flash drive.
  const RunResult plain = RunProgram(Card("shellfit.exe"), {"/upgrade"}, Env(), "");
  EXPECT_EQ(ReadText(Card("staging/photos/p.jpg")), "a photo") << plain.out;
  EXPECT_TRUE(fs::is_symlink(Flash(".fitkit.foreign-1/.fitkit")));
  EXPECT_EQ(ReadText(Flash("main.exe")), "old main");

  ZipBuilder b;
  b.entries.push_back({.name = "main.exe", .data = "new main"});
  Package(b);
  const RunResult run = Force();
  EXPECT_EQ(ReadText(Flash("main.exe")), "new main") << run.out;
  EXPECT_EQ(ReadText(Card("staging/photos/p.jpg")), "a photo");
}

// The packaged main.exe of a version check that was killed goes at the next
// start.
TEST_F(ReliabilityProgramTest, AVersionChecksLeftoverGoesAtTheNextStart) {
  OldShell();
  WriteText(Flash("_main.exe"), "left by a killed check");
  RunProgram(Card("shellfit.exe"), {"/upgrade"}, Env(), "");
  EXPECT_FALSE(fs::exists(Flash("_main.exe")));
  EXPECT_EQ(ReadText(Flash("main.exe")), "old main");
}

}  // namespace
}  // namespace shellfit_test

namespace shellfit_test {
namespace {

// A staged file that cannot move into place (its folder, kept for a
// preserved file, locked): the old shell stays aside, the report and the box
// say so and never "installed"; once the lock is lifted a start finishes.
TEST_F(MountedFlashTest, AnInstallThatCannotFinishSaysTheOldShellIsKept) {
  if (!Mount("size=8m")) GTEST_SKIP() << why_;
  OldShell();
  WriteText(Flash("Sub/gpspara0.bin"), "gps parameters");
  ZipBuilder b;
  b.entries.push_back({.name = "main.exe", .data = "new main"});
  b.entries.push_back({.name = "Sub/new.dll", .data = "new library"});
  for (int i = 0; i < 2000; ++i) {
    b.entries.push_back({.name = "App/f" + std::to_string(i), .data = std::to_string(i)});
  }
  Package(b);
  std::map<std::string, std::string> env = Env();
  env["FITKIT_REPORT"] = "-";
  RunResult run;
  {
    // Locked once the check has passed, while the entries are staged.
    BackgroundRun background(Card("shellfit.exe"), {"/force"}, env, Stage("locked.out"));
    ASSERT_TRUE(background.WaitForOutput("status: Copying"));
    if (!Lock(Flash("Sub"))) GTEST_SKIP() << "chattr +i fails here";
    background.Finish();
    run.out = background.Output();
  }
  Unlock(Flash("Sub"));
  EXPECT_NE(run.out.find("the old one is kept aside until it is"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\"outcome\": \"incomplete\""), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("the old shell is kept aside"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\"success\": false"), std::string::npos) << run.out;

  const RunResult next = RunProgram(Card("shellfit.exe"), {"/upgrade"}, env, "");
  EXPECT_NE(next.out.find("The last update was finished; the new shell verified in place."),
            std::string::npos)
      << next.out;
  EXPECT_EQ(ReadText(Flash("main.exe")), "new main");
  EXPECT_EQ(ReadText(Flash("Sub/new.dll")), "new library");
  EXPECT_FALSE(fs::exists(Flash(".fitkit")));
}

}  // namespace
}  // namespace shellfit_test
