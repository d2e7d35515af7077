// The real program against packages the device cannot take and faults during
// the run: nothing of the old shell may go unless the new one can come.
#include <gtest/gtest.h>


#include <thread>

#include "shellfit_fixture.h"
#include "tests/zipreader/zip_builder.h"

namespace shellfit_test {
namespace {

using namespace std::chrono_literals;
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
  RunResult Force() { return RunProgram(Card("shellfit.exe"), {"/force"}, Env(), ""); }

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
        Hostile{"clash", {{.name = "Data", .data = "x"}, {.name = "data/y.txt", .data = "y"}},
                "both a file and a folder"},
        Hostile{"kept_file", {{.name = "user.hv/z.txt", .data = "z"}}, "stays a file"},
        Hostile{"outward_link", {{.name = "Linked/keep.txt", .data = "evil"}},
                "cannot be created on the device"},
        // 100 characters the device takes, 300 bytes on a host that takes 255,
        // after a new name that has the folder's names read.
        Hostile{"too_long_for_the_host",
                {{.name = "new.txt", .data = "n"},
                 {.name = Repeat("\xE2\x82\xAC", 100), .data = "x", .extraFlags = 0x0800}},
                "cannot be created on the device"}),
    [](const auto& info) { return std::string(info.param.name); });

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
  for (const std::string change : {"swap", "cut", "remove"}) {
    SCOPED_TRACE(change);
    fs::remove_all(Flash());
    OldShell(1000);
    Package(good);
    BackgroundRun run(Card("shellfit.exe"), {"/force"}, Env(), staging_.path() / (change + ".out"));
    run.WaitForOutput("status: Deleting");
    if (change == "swap") {
      WriteText(Stage("junk.zip"), junk);
      fs::rename(Stage("junk.zip"), Card(kPackageName));
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

// A drive that fills up during the extraction after all: two boxes, and no
// file that failed stays behind under its name.
class FullAfterAllTest : public ShellfitTest {};

TEST_F(FullAfterAllTest, EndsTheExtractionWithTwoBoxes) {
  ZipBuilder b;
  for (int i = 0; i < 5; ++i) {
    b.entries.push_back(
        {.name = "f" + std::to_string(i) + ".bin", .data = zip_test::Pseudorandom(40000, i)});
  }
  WriteText(Fs("Storage Card/KTR 60 SHELL.ZIP"), b.Build().bytes);
  OpenDevice("[fs]\ncapacity = " + std::to_string(BytesBelow(root_.path() / "fs") + 90000) +
             "\n");

  EXPECT_EQ(shellfit::ExtractPackage(dialog_, u"\\Storage Card\\KTR 60 SHELL.ZIP",
                                     u"\\Flash Disk"),
            2);

  ASSERT_EQ(dialog_.messageBoxes.size(), 2u);
  EXPECT_EQ(dialog_.messageBoxes[0].text, "f2.bin CRC error!");
  EXPECT_NE(dialog_.messageBoxes[1].text.find("The flash drive is full"), std::string::npos);
  EXPECT_FALSE(fs::exists(Fs("Flash Disk/f2.bin")));
  EXPECT_FALSE(fs::exists(Fs("Flash Disk/f3.bin")));
}

}  // namespace
}  // namespace shellfit_test
