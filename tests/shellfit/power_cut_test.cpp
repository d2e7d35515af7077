// The power cut at every step of an update, in both install orders: after the
// next start the flash drive holds exactly the old shell or exactly the new
// one, byte for byte, and the device's own files are untouched.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>

#include "platform/environment.h"
#include "platform/processes.h"
#include "platform/text.h"
#include "platform/version_resources.h"
#include "readers/version_pe.h"
#include "shellfit/install_record.h"
#include "shellfit/shellfit.h"
#include "shellfit/shellfit_entry.h"
#include "shellfit/staging_list.h"
#include "tests/shellfit/package_files.h"
#include "tests/support/fake_system.h"
#include "tests/support/memory_registry.h"
#include "tests/support/memory_security_floor.h"
#include "tests/support/power_cut_file_system.h"
#include "tests/support/recording_dialog.h"
#include "tests/zipreader/zip_builder.h"

namespace shellfit_test {
namespace {

using test_support::MemoryNode;

class NoPrograms : public platform::ProcessTable {
 public:
  std::optional<std::vector<platform::ProcessEntry>> Snapshot() override {
    return std::vector<platform::ProcessEntry>{};
  }
  std::optional<std::u16string> ProgramPath(uint32_t) override { return std::nullopt; }
  bool Terminate(uint32_t, uint32_t) override { return false; }
};

// Every file and folder below the flash drive folder: key -> contents
// ("<folder>" for a folder).
using Tree = std::map<std::string, std::string>;

// What a tree holds in a few words: each key with its size and CRC-32.
std::string Summary(const Tree& tree) {
  std::string text;
  for (const auto& [key, bytes] : tree) {
    char line[32];
    std::snprintf(line, sizeof line, " %zu %08x\n", bytes.size(), zip_test::Crc(bytes));
    text += key + line;
  }
  return text;
}

std::string FileBytes(const std::string& name) { return ReadText(PeFixture(name)); }

const std::string kRecord = "\\Flash Disk\\.fitkit\\install.rec";

// The record with its step line changed to another known step and its check
// line kept, or cut to half its length.
std::string Damaged(std::string record, bool shorten) {
  if (shorten) return record.substr(0, record.size() / 2);
  const std::size_t at = record.find("\nstep ") + 6;
  const std::size_t end = record.find('\n', at);
  const std::string step = record.substr(at, end - at);
  return record.replace(at, end - at, step == "placed" ? "committed" : "placed");
}

std::map<std::string, MemoryNode> DeepCopy(const std::map<std::string, MemoryNode>& nodes) {
  std::map<std::string, MemoryNode> copy = nodes;
  for (auto& [key, node] : copy) node.bytes = std::make_shared<std::string>(*node.bytes);
  return copy;
}

// The install order (staged or in place), and whether the host can flush a
// whole volume at once.
class PowerCutTest : public ::testing::TestWithParam<std::tuple<bool, bool>> {
 protected:
  void SetUp() override {
    files_.volumeFlush = std::get<1>(GetParam());
    registry_.SetString(u"Ident", u"Model", u"KTR 60");
    registry_.SetString(u"System\\StorageManager\\Profiles\\FlashDrv", u"Folder", u"Flash Disk");
    if (!Staged()) registry_.SetString(u"Software\\fitkit", u"ShellInstall", u"in-place");
    system_.module = u"\\Storage Card\\shellfit.exe";
    memory_.maxFileBytes = 8 << 20;  // which the fake also reports as free
    OldShell();
    memory_.Put("\\Storage Card\\KTR 60 SHELL.ZIP", Package());
    initial_ = DeepCopy(memory_.Nodes());
  }

  bool Staged() const { return std::get<0>(GetParam()); }

  // The record a cut left on the medium, when it reads whole.
  std::optional<shellfit::InstallRecord> RecordLeft() {
    const auto found = memory_.Nodes().find("flash disk\\.fitkit\\install.rec");
    if (found == memory_.Nodes().end() || found->second.directory) return std::nullopt;
    return shellfit::ParseInstallRecord(*found->second.bytes);
  }

  void OldShell() {
    memory_.Put("\\Flash Disk\\main.exe", FileBytes("v123.exe"));
    memory_.Put("\\Flash Disk\\user.hv", "user hive");
    memory_.Put("\\Flash Disk\\Sub\\gpspara0.bin", "gps parameters");
    memory_.Put("\\Flash Disk\\.settings\\keep.dat", "a dot folder stays whole");
    for (int i = 0; i < 30; ++i) {
      memory_.Put(
          "\\Flash Disk\\Old\\" + std::to_string(i % 5) + "\\f" + std::to_string(i) + ".dat",
          "old file " + std::to_string(i));
    }
    memory_.PutWithAttributes(u"\\Flash Disk\\Old\\locked.dat",
                              platform::FILE_ATTRIBUTE_READONLY | platform::FILE_ATTRIBUTE_HIDDEN);
  }

  static std::string Package(const std::string& comment = "") {
    zip_test::ZipBuilder b;
    b.password = ".TORVA.";
    b.comment = comment;
    b.entries.push_back({.name = "main.exe", .data = FileBytes("v124.exe"), .encrypt = true});
    b.entries.push_back({.name = "Docs/", .data = "", .method = 0, .externalAttr = 0x41ED0010});
    b.entries.push_back({.name = "Docs/empty.txt", .data = "", .method = 0, .encrypt = true});
    b.entries.push_back({.name = "boot.hv", .data = "packaged boot hive", .encrypt = true});
    for (int i = 0; i < 27; ++i) {
      b.entries.push_back(
          {.name = "Lib/" + std::to_string(i % 4) + "/m" + std::to_string(i) + ".dll",
           .data = zip_test::Pseudorandom(300 + 97 * i, i),
           .encrypt = true});
    }
    return b.Build().bytes;
  }

  Tree FlashDrive() {
    Tree tree;
    for (const auto& [key, node] : memory_.Nodes()) {
      if (key.rfind("flash disk\\", 0) == 0) tree[key] = node.directory ? "<folder>" : *node.bytes;
    }
    return tree;
  }

  // One start of the updater with this command line, START pressed when the
  // dialog would show.
  bool Start(const std::u16string& commandLine) {
    platform::Environment env;
    env.files = files_used_;
    env.registry = &registry_;
    env.codePage = &codePage_;
    env.system = &system_;
    env.processes = &processes_;
    env.versions = versions_.get();
    env.floors = &floors_;
    platform::ScopedEnvironment scope(env);
    shellfit::ShellfitRun run;
    if (!run.Prepare(commandLine)) return false;
    dialog_ = std::make_unique<test_support::RecordingDialog>();
    run.AfterLayout(*dialog_);
    run.OnStart(*dialog_);
    return true;
  }

  void Reset(const std::map<std::string, MemoryNode>& nodes) {
    memory_.Nodes() = DeepCopy(nodes);
    files_.Restart(true);
  }

  test_support::MemoryFileSystem memory_;
  test_support::PowerCutFileSystem files_{memory_};
  platform::FileSystem* files_used_ = &files_;
  test_support::MemoryRegistry registry_;
  test_support::Latin1CodePage codePage_;
  test_support::FakeSystem system_;
  test_support::MemorySecurityFloor floors_;
  NoPrograms processes_;
  std::unique_ptr<platform::VersionResources> versions_ = readers::CreatePeVersionResources(files_);
  std::unique_ptr<test_support::RecordingDialog> dialog_;
  std::map<std::string, MemoryNode> initial_;
};

TEST_P(PowerCutTest, EveryCutLeavesTheOldShellOrTheWholeNewOne) {
  const Tree oldShell = FlashDrive();
  ASSERT_TRUE(Start(u"/force"));
  const Tree newShell = FlashDrive();
  const int steps = files_.changes;
  ASSERT_NE(Summary(oldShell), Summary(newShell))
      << (dialog_->messageBoxes.empty() ? "" : dialog_->messageBoxes[0].text);
  EXPECT_EQ(newShell.at("flash disk\\user.hv"), "user hive");
  EXPECT_EQ(newShell.at("flash disk\\sub\\gpspara0.bin"), "gps parameters");
  EXPECT_EQ(newShell.at("flash disk\\docs\\empty.txt"), "");
  EXPECT_EQ(newShell.count("flash disk\\old"), 0u);
  EXPECT_EQ(newShell.count("flash disk\\.fitkit"), 0u);
  // Copying comes before deleting only in the staged order.
  const auto& statuses = dialog_->statuses;
  ASSERT_GE(statuses.size(), 2u);
  EXPECT_EQ(statuses[0], "Ready...");
  // The kit's own check may come first, under a status of its own.
  const auto step = std::find_if(statuses.begin() + 1, statuses.end(), [](const std::string& s) {
    return !s.starts_with("Checking...");
  });
  ASSERT_NE(step, statuses.end());
  EXPECT_EQ(step->rfind(Staged() ? "Copying..." : "Deleting...", 0), 0u) << *step;
  EXPECT_TRUE(dialog_->messageBoxes.empty());

  int upgradedToNew = 0, withoutPackageOld = 0, withoutPackageNew = 0;
  int damagedOld = 0, damagedNew = 0;
  for (int cut = 1; cut <= steps; ++cut) {
    SCOPED_TRACE("power cut at changing call " + std::to_string(cut) + " of " +
                 std::to_string(steps));
    Reset(initial_);
    files_.cutAt = cut;
    Start(u"/force");
    ASSERT_TRUE(files_.Cut());
    files_.Restart();
    const auto survived = DeepCopy(memory_.Nodes());
    // A committed record on the medium promises the whole new shell.
    const auto record = RecordLeft();
    const bool committed = record && record->mode == shellfit::InstallRecord::Mode::Staged;

    Start(u"/upgrade");
    ASSERT_EQ(Summary(FlashDrive()), Summary(newShell));
    ++upgradedToNew;

    if (!Staged()) continue;
    Reset(survived);
    memory_.Nodes().erase("storage card\\ktr 60 shell.zip");
    files_.Restart(true);
    EXPECT_FALSE(Start(u"/upgrade"));
    const Tree left = FlashDrive();
    ASSERT_TRUE(left == oldShell || left == newShell) << Summary(left);
    if (committed) {
      ASSERT_EQ(Summary(left), Summary(newShell));
      // Damaged after the cut (its step changed, the check left as it was;
      // or cut short), the record is not followed: old or new, never a mix.
      for (const bool shorten : {false, true}) {
        Reset(survived);
        memory_.Nodes().erase("storage card\\ktr 60 shell.zip");
        memory_.Put(kRecord, Damaged(memory_.Get(kRecord), shorten));
        files_.Restart(true);
        EXPECT_FALSE(Start(u"/upgrade"));
        Tree after = FlashDrive();
        // What was not followed is kept, aside, under a name that says so.
        ASSERT_EQ(after.erase("flash disk\\.fitkit.foreign-1\\install.rec"), 1u);
        after.erase("flash disk\\.fitkit.foreign-1");
        ASSERT_TRUE(after == oldShell || after == newShell)
            << (shorten ? "cut short\n" : "step changed\n") << Summary(after);
        ++(after == oldShell ? damagedOld : damagedNew);
      }
    }
    ++(left == oldShell ? withoutPackageOld : withoutPackageNew);
  }
  // The counts docs/reliability.md reports.
  std::printf(
      "%s, %s: %d cut points; with /upgrade: %d new shell; package gone: %d old, %d new; "
      "record damaged: %d old, %d new\n",
      Staged() ? "staged" : "in place", std::get<1>(GetParam()) ? "volume flush" : "file flushes",
      steps, upgradedToNew, withoutPackageOld, withoutPackageNew, damagedOld, damagedNew);
  if (Staged()) {
    EXPECT_GT(withoutPackageOld, 0);
    EXPECT_GT(withoutPackageNew, 0);
  }
}

// An in-place install cut part-way leaves a main.exe as new as the package's:
// "/upgrade" still installs that package again, and says why.
// Only the in-place order can leave a half shell.
class InterruptedInPlaceTest : public PowerCutTest {};

TEST_P(InterruptedInPlaceTest, CountsAsNewerForUpgrade) {
  ASSERT_TRUE(Start(u"/force"));
  const Tree newShell = FlashDrive();
  const int steps = files_.changes;
  Reset(initial_);
  files_.cutAt = steps - 20;  // the last entries are being unpacked
  Start(u"/force");
  // Killed rather than cut: what was written stays.
  files_.Restart(true);
  ASSERT_TRUE(memory_.Get("\\Flash Disk\\main.exe") == FileBytes("v124.exe"));
  ASSERT_NE(Summary(FlashDrive()), Summary(newShell));
  const auto halfShell = DeepCopy(memory_.Nodes());

  ASSERT_TRUE(Start(u"/upgrade"));
  EXPECT_EQ(dialog_->statuses.front(), "Ready... The last update was interrupted.");
  EXPECT_EQ(Summary(FlashDrive()), Summary(newShell));

  // Another package of the same name and size is not the one that was
  // interrupted.
  Reset(halfShell);
  std::string other = Package();
  other[other.size() - 30] ^= 1;
  memory_.Put("\\Storage Card\\KTR 60 SHELL.ZIP", other);
  files_.Restart(true);
  EXPECT_FALSE(Start(u"/upgrade"));
}

// A whole record of another install, with no staging beside it: not
// followed, the old shell untouched, and said so; a later /force installs.
class ForeignRecordTest : public PowerCutTest {};

TEST_P(ForeignRecordTest, IsNotFollowed) {
  const Tree oldShell = FlashDrive();
  shellfit::InstallRecord record;
  record.mode = shellfit::InstallRecord::Mode::Staged;
  record.step = shellfit::InstallRecord::Step::Committed;
  record.install = std::string(32, 'a');
  record.package = u"\\Storage Card\\OTHER.ZIP";
  record.packageSize = 1000;
  memory_.Put(kRecord, shellfit::FormatInstallRecord(record));
  const auto planted = DeepCopy(memory_.Nodes());
  memory_.Nodes().erase("storage card\\ktr 60 shell.zip");
  EXPECT_FALSE(Start(u"/upgrade"));
  EXPECT_EQ(Summary(FlashDrive()), Summary(oldShell));

  Reset(planted);
  ASSERT_TRUE(Start(u"/force"));
  EXPECT_EQ(dialog_->statuses.front(),
            "Ready... An install record that belongs to no install here was found and not "
            "followed; the old shell is kept.");
  EXPECT_EQ(memory_.Get("\\Flash Disk\\main.exe"), FileBytes("v124.exe"));
  EXPECT_EQ(FlashDrive().count("flash disk\\.fitkit"), 0u);
}

// The check of the new shell in place, by sizes: a file short, missing or a
// folder where a file should be does not verify.
TEST_P(ForeignRecordTest, TheShellInPlaceVerifiesByItsListedSizes) {
  platform::Environment env;
  env.files = &files_;
  platform::ScopedEnvironment scope(env);
  memory_.Put("\\Flash Disk\\Lib\\a.dll", "12345");
  shellfit::StagingList list{
      std::string(32, 'b'),
      {{u"Lib", true, 0, 0}, {u"LIB\\A.dll", false, 5, 0}, {u"user.hv", false, 9, 0}}};
  EXPECT_TRUE(
      shellfit::StagingVerifies(u"\\Flash Disk", list, shellfit::Placement::InPlace, false));
  memory_.Put("\\Flash Disk\\Lib\\a.dll", "1234");
  EXPECT_FALSE(
      shellfit::StagingVerifies(u"\\Flash Disk", list, shellfit::Placement::InPlace, false));
  memory_.Put("\\Flash Disk\\Lib\\a.dll", "12345");
  list.entries.push_back({u"Lib\\gone.dll", false, 0, 0});
  EXPECT_FALSE(
      shellfit::StagingVerifies(u"\\Flash Disk", list, shellfit::Placement::InPlace, false));
  list.entries.back() = {u"Old", false, 8, 0};  // a folder of the old shell
  EXPECT_FALSE(
      shellfit::StagingVerifies(u"\\Flash Disk", list, shellfit::Placement::InPlace, false));
}

// A list many times longer than what its writer holds at once: it reads
// back whole, with the CRC the record keeps of the file.
TEST_P(ForeignRecordTest, ABigStagingListReadsBackWhole) {
  platform::Environment env;
  env.files = &files_;
  platform::ScopedEnvironment scope(env);
  shellfit::StagingList list{std::string(32, 'c'), {{u"Lib", true, 0, 0}}};
  for (uint32_t i = 0; i < 6000; ++i) {
    list.entries.push_back({u"Lib\\file" + platform::FromUtf8(std::to_string(i)) + u".dll", false,
                            i * 7u, i * 2654435761u});
  }
  ASSERT_TRUE(files_.CreateDirectory(shellfit::InstallFolder(u"\\Flash Disk")));
  ASSERT_TRUE(files_.CreateDirectory(shellfit::StagingFolder(u"\\Flash Disk")));
  uint32_t written = 0, read = 0;
  ASSERT_TRUE(shellfit::WriteStagingList(u"\\Flash Disk", list, &written));
  const auto back = shellfit::ReadStagingList(u"\\Flash Disk", &read);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(read, written);
  EXPECT_EQ(shellfit::FormatStagingList(*back), shellfit::FormatStagingList(list));
  EXPECT_EQ(back->entries.size(), list.entries.size());
}

// Something else changes the flash drive the moment the staged files are in
// place: one of them is cut short, and with `blockOld` a file appears where
// the old shell's folder "Old" would come back.
class ChangedOnArrival : public platform::FileSystemWrapper {
 public:
  ChangedOnArrival(platform::FileSystem& files, bool blockOld)
      : FileSystemWrapper(files), files_(files), blockOld_(blockOld) {}

  bool MoveFolder(std::u16string_view from, std::u16string_view to) override {
    if (!FileSystemWrapper::MoveFolder(from, to)) return false;
    if (to == u"\\Flash Disk\\Lib") {
      files_.Open(u"\\Flash Disk\\Lib\\0\\m0.dll", platform::AccessWrite,
                  platform::Disposition::CreateAlways);
      if (blockOld_) {
        files_.Open(u"\\Flash Disk\\Old", platform::AccessWrite, platform::Disposition::CreateNew);
      }
    }
    return true;
  }

 private:
  platform::FileSystem& files_;
  bool blockOld_;
};

// The new shell that does not verify in place gives way to the old one, and
// the message says whether all of it came back.
TEST_P(ForeignRecordTest, ANewShellThatDoesNotVerifyInPlaceGivesWayToTheOldOne) {
  const Tree oldShell = FlashDrive();
  ChangedOnArrival changed(files_, false);
  files_used_ = &changed;
  ASSERT_TRUE(Start(u"/force"));
  ASSERT_EQ(dialog_->messageBoxes.size(), 1u);
  EXPECT_EQ(dialog_->messageBoxes[0].text,
            "The new shell did not verify in place: the old one was put back. Nothing was "
            "changed.");
  EXPECT_EQ(Summary(FlashDrive()), Summary(oldShell));

  Reset(initial_);
  ChangedOnArrival blocked(files_, true);
  files_used_ = &blocked;
  Start(u"/force");
  ASSERT_EQ(dialog_->messageBoxes.size(), 1u);
  EXPECT_EQ(dialog_->messageBoxes[0].text,
            "The new shell did not verify in place, and not all of the old one could be put "
            "back: what could not is kept in \\Flash Disk\\.fitkit\\old.");
  Tree left = FlashDrive();
  EXPECT_EQ(left.at("flash disk\\.fitkit\\old\\old\\3\\f8.dat"), "old file 8");
  EXPECT_EQ(left.at("flash disk\\main.exe"), FileBytes("v123.exe"));
  EXPECT_EQ(left.count("flash disk\\lib"), 0u);
}

INSTANTIATE_TEST_SUITE_P(Staged, ForeignRecordTest, ::testing::Values(std::make_tuple(true, true)));

// A signed release cut once its staging was committed: the start that
// finishes the install raises the device's rollback floor to the security
// version its record carries, not the one that was cut.
class SignedRecordTest : public PowerCutTest {};

TEST_P(SignedRecordTest, TheStartThatFinishesTheInstallRaisesTheFloor) {
  std::optional<shellfit::InstallRecord> record;
  for (int cut = 1; !record || record->mode != shellfit::InstallRecord::Mode::Staged; ++cut) {
    ASSERT_LT(cut, 500) << "no cut left a committed record";
    Reset(initial_);
    files_.cutAt = cut;
    Start(u"/force");
    ASSERT_TRUE(files_.Cut());
    files_.Restart();
    record = RecordLeft();
  }
  record->securityVersion = 4;
  memory_.Put(kRecord, shellfit::FormatInstallRecord(*record));
  EXPECT_EQ(shellfit::ParseInstallRecord(shellfit::FormatInstallRecord(*record))->securityVersion,
            4u);
  EXPECT_EQ(floors_.floors[platform::ReleaseLine::kShell], 0u);
  files_.Restart(true);
  EXPECT_FALSE(Start(u"/upgrade"));  // the same package: nothing newer after the recovery
  EXPECT_EQ(memory_.Get("\\Flash Disk\\main.exe"), FileBytes("v124.exe"));
  EXPECT_EQ(floors_.floors[platform::ReleaseLine::kShell], 4u);
}

INSTANTIATE_TEST_SUITE_P(Staged, SignedRecordTest, ::testing::Values(std::make_tuple(true, true)));
INSTANTIATE_TEST_SUITE_P(Orders, PowerCutTest,
                         ::testing::Combine(::testing::Bool(), ::testing::Bool()),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param) ? "staged" : "in_place") +
                                  (std::get<1>(info.param) ? "" : "_file_flushes");
                         });
INSTANTIATE_TEST_SUITE_P(InPlace, InterruptedInPlaceTest,
                         ::testing::Values(std::make_tuple(false, true)));

}  // namespace
}  // namespace shellfit_test
