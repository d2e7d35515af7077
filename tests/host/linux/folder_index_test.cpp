// The case-insensitive look-up keeps its answers per folder, and folders
// looked up stay open and watched; another process changing a folder
// between two look-ups must be seen at once, with or without the watch.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>

#include "host/linux/file_system.h"
#include "platform/text.h"
#include "tests/support/device_root.h"

namespace {

namespace fs = std::filesystem;
using namespace platform;
using namespace host;
using TempDeviceRoot = test_support::DeviceRoot;

// Runs `change` in a child process and waits for it.
void InAnotherProcess(const std::function<void()>& change) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    change();
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class FolderLookUp : public ::testing::TestWithParam<FolderKeeping> {
 protected:
  TempDeviceRoot device;
  LinuxFileSystem files{device.root(), 0, GetParam()};
};

INSTANTIATE_TEST_SUITE_P(Keeping, FolderLookUp,
                         ::testing::Values(FolderKeeping::Watched, FolderKeeping::WatchedWhenBusy,
                                           FolderKeeping::None),
                         [](const auto& info) {
                           return info.param == FolderKeeping::Watched           ? "Watched"
                                  : info.param == FolderKeeping::WatchedWhenBusy ? "WhenBusy"
                                                                                 : "Walked";
                         });

int InotifyInstances() {
  int count = 0;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    if (fs::read_symlink(entry.path(), error).string() == "anon_inode:inotify") ++count;
  }
  return count;
}

// Kept only once look-ups are many: a few set up no watch at all, and the
// switch in the middle of a batch keeps its rules (own changes at once,
// another process's after the next own change).
TEST(FolderLookUpWhenBusy, WatchesOnlyManyLookUpsAndStaysRightAcrossTheSwitch) {
  TempDeviceRoot device;
  LinuxFileSystem files{device.root(), 0, FolderKeeping::WatchedWhenBusy};
  const fs::path dir = device.fs() / "Dir";
  ASSERT_TRUE(files.CreateDirectory(u"\\Dir"));
  for (int i = 0; i < 10; ++i) EXPECT_EQ(files.GetAttributes(u"\\dir\\none"), kInvalidAttributes);
  EXPECT_EQ(InotifyInstances(), 0);
  {
    const LookUpBatch batch(files);
    for (int i = 0; i < 2 * kLookUpsBeforeWatching; ++i) {
      SCOPED_TRACE(i);
      const std::u16string n = FromUtf8(std::to_string(i));
      ASSERT_NE(files.Open(u"\\dir\\own" + n, AccessWrite, Disposition::CreateNew), nullptr);
      EXPECT_EQ(files.GetAttributes(u"\\DIR\\OWN" + n), FILE_ATTRIBUTE_ARCHIVE);
      InAnotherProcess([&] { std::ofstream(dir / ("Theirs" + std::to_string(i))) << "x"; });
      ASSERT_TRUE(files.CreateDirectory(u"\\dir\\sub" + n));
      EXPECT_EQ(files.GetAttributes(u"\\dir\\THEIRS" + n), FILE_ATTRIBUTE_ARCHIVE);
    }
  }
  EXPECT_EQ(InotifyInstances(), 1);
  InAnotherProcess([&] { fs::rename(dir / "Theirs7", dir / "Moved7"); });
  EXPECT_EQ(files.GetAttributes(u"\\dir\\theirs7"), kInvalidAttributes);
  EXPECT_EQ(files.GetAttributes(u"\\dir\\MOVED7"), FILE_ATTRIBUTE_ARCHIVE);
}

TEST_P(FolderLookUp, SeesWhatAnotherProcessAddsOrRenamesBetweenLookUps) {
  const fs::path dir = device.fs() / "Dir";
  ASSERT_TRUE(files.CreateDirectory(u"\\Dir"));
  for (int i = 0; i < 200; ++i) {
    SCOPED_TRACE(i);
    const std::string n = std::to_string(i);
    // A miss that consults (and keeps) the folder's index, then at once an
    // entry of another case from outside the kit.
    ASSERT_EQ(files.Open(u"\\dir\\new" + FromUtf8(n), AccessRead, Disposition::OpenExisting),
              nullptr);
    InAnotherProcess([&] { std::ofstream(dir / ("NEW" + n)) << "theirs"; });
    EXPECT_EQ(files.GetAttributes(u"\\dir\\new" + FromUtf8(n)), FILE_ATTRIBUTE_ARCHIVE);
    // Our own creation joins the index; a rename by them right after must
    // still count, so creating in yet another case writes into their file.
    ASSERT_NE(files.Open(u"\\dir\\own" + FromUtf8(n), AccessWrite, Disposition::CreateNew),
              nullptr);
    InAnotherProcess([&] { fs::rename(dir / ("NEW" + n), dir / ("Moved" + n)); });
    EXPECT_EQ(files.GetAttributes(u"\\dir\\new" + FromUtf8(n)), kInvalidAttributes);
    auto file = files.Open(u"\\DIR\\MOVED" + FromUtf8(n), AccessWrite, Disposition::CreateAlways);
    ASSERT_NE(file, nullptr);
    ASSERT_TRUE(file->Write("ours", 4));
  }
  const auto names = Names(dir);
  EXPECT_EQ(names.size(), 400u);
  EXPECT_TRUE(std::binary_search(names.begin(), names.end(), "Moved17"));
  EXPECT_FALSE(std::binary_search(names.begin(), names.end(), "MOVED17"));
  std::ifstream moved(dir / "Moved17");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(moved), {}), "ours");
}

// Within a batch the kit's own creations, renames and removals count at
// once; another process's change counts after the kit's next own change
// (creating files, after a few hundred of them), and after the batch.
TEST_P(FolderLookUp, ABatchSeesItsOwnChangesAtOnceAndOthersAfterItsNext) {
  const fs::path dir = device.fs() / "Dir";
  ASSERT_TRUE(files.CreateDirectory(u"\\Dir"));
  // A miss consults (and keeps) the folder's names.
  ASSERT_EQ(files.GetAttributes(u"\\dir\\a.txt"), kInvalidAttributes);
  {
    const LookUpBatch batch(files);
    ASSERT_NE(files.Open(u"\\dir\\a.txt", AccessWrite, Disposition::CreateNew), nullptr);
    EXPECT_EQ(files.GetAttributes(u"\\DIR\\A.TXT"), FILE_ATTRIBUTE_ARCHIVE);
    ASSERT_TRUE(files.MoveFile(u"\\dir\\a.txt", u"\\dir\\b.txt"));
    EXPECT_EQ(files.GetAttributes(u"\\DIR\\A.TXT"), kInvalidAttributes);
    EXPECT_EQ(files.GetAttributes(u"\\DIR\\B.TXT"), FILE_ATTRIBUTE_ARCHIVE);
    ASSERT_TRUE(files.CreateDirectory(u"\\dir\\Sub"));
    EXPECT_EQ(files.GetEntryKind(u"\\DIR\\SUB"), EntryKind::Folder);
    ASSERT_TRUE(files.DeleteFile(u"\\dir\\b.txt"));
    EXPECT_EQ(files.GetAttributes(u"\\DIR\\B.TXT"), kInvalidAttributes);
    InAnotherProcess([&] { std::ofstream(dir / "Theirs.txt") << "theirs"; });
    ASSERT_TRUE(files.RemoveDirectory(u"\\dir\\sub"));
    EXPECT_EQ(files.GetEntryKind(u"\\DIR\\SUB"), EntryKind::None);
    EXPECT_EQ(files.GetAttributes(u"\\dir\\THEIRS.TXT"), FILE_ATTRIBUTE_ARCHIVE);
  }
  InAnotherProcess([&] { fs::rename(dir / "Theirs.txt", dir / "Moved.txt"); });
  EXPECT_EQ(files.GetAttributes(u"\\dir\\theirs.txt"), kInvalidAttributes);
  EXPECT_EQ(files.GetAttributes(u"\\dir\\MOVED.TXT"), FILE_ATTRIBUTE_ARCHIVE);
  // A batch that only creates files learns the others' changes too, after
  // a few hundred.
  const LookUpBatch batch(files);
  EXPECT_EQ(files.GetAttributes(u"\\dir\\late.txt"), kInvalidAttributes);
  InAnotherProcess([&] { std::ofstream(dir / "Late.txt") << "theirs"; });
  for (int i = 0; i < 300; ++i) {
    ASSERT_NE(files.Open(u"\\dir\\many" + FromUtf8(std::to_string(i)), AccessWrite,
                         Disposition::CreateNew),
              nullptr);
  }
  EXPECT_EQ(files.GetAttributes(u"\\dir\\LATE.TXT"), FILE_ATTRIBUTE_ARCHIVE);
}

// Several entries that differ only in case: the exact one wins, else the
// first in byte order, also after the folder changed under the index.
TEST_P(FolderLookUp, FirstMatchInByteOrderAfterChanges) {
  device.Write("fs/d/b.TXT", "1");
  device.Write("fs/d/B.txt", "2");
  auto read = [&](std::u16string_view path) {
    auto file = files.Open(path, AccessRead, Disposition::OpenExisting);
    char text[8] = {};
    uint32_t got = 0;
    if (!file || !file->Read(text, sizeof text, &got)) return std::string("-");
    return std::string(text, got);
  };
  EXPECT_EQ(read(u"\\d\\b.txt"), "2");  // "B.txt" < "b.TXT"
  EXPECT_EQ(read(u"\\d\\b.TXT"), "1");
  InAnotherProcess([&] { std::ofstream(device.fs() / "d" / "B.TXT") << "3"; });
  EXPECT_EQ(read(u"\\d\\b.txt"), "3");
  InAnotherProcess([&] { fs::remove(device.fs() / "d" / "B.TXT"); });
  EXPECT_EQ(read(u"\\d\\b.txt"), "2");
}

// A folder looked up before and then moved away, out of the device or
// within it, with a link to outside put in its place: nothing reaches the
// outside, and the names now there count.
TEST_P(FolderLookUp, FolderMovedAwayOrSwappedForALinkIsNotUsedAgain) {
  TempDeviceRoot outside;
  device.Write("fs/A/B/old.txt", "old");
  outside.Write("B/old.txt", "outside");
  const fs::path b = device.fs() / "A" / "B";
  ASSERT_EQ(files.GetAttributes(u"\\a\\b\\old.txt"), FILE_ATTRIBUTE_ARCHIVE);
  InAnotherProcess([&] {
    fs::rename(device.fs() / "A", outside.root() / "A");
    fs::create_directory_symlink(outside.root(), device.fs() / "A");
  });
  EXPECT_EQ(files.GetAttributes(u"\\a\\b\\old.txt"), kInvalidAttributes);
  EXPECT_EQ(files.Open(u"\\A\\B\\new.txt", AccessWrite, Disposition::CreateNew), nullptr);
  EXPECT_FALSE(files.DeleteFile(u"\\A\\B\\old.txt"));
  EXPECT_FALSE(fs::exists(outside.root() / "B" / "new.txt"));
  EXPECT_FALSE(fs::exists(outside.root() / "A" / "B" / "new.txt"));
  EXPECT_TRUE(fs::exists(outside.root() / "B" / "old.txt"));

  // A sub-folder exchanged with a sibling: each name leads where it leads now.
  device.Write("fs/C/one/which.txt", "one");
  device.Write("fs/C/two/which.txt", "two");
  ASSERT_EQ(files.GetAttributes(u"\\C\\one\\which.txt"), FILE_ATTRIBUTE_ARCHIVE);
  ASSERT_EQ(files.GetAttributes(u"\\C\\two\\which.txt"), FILE_ATTRIBUTE_ARCHIVE);
  InAnotherProcess([&] {
    fs::rename(device.fs() / "C" / "one", device.fs() / "C" / "three");
    fs::rename(device.fs() / "C" / "two", device.fs() / "C" / "one");
  });
  auto file = files.Open(u"\\c\\ONE\\which.txt", AccessRead, Disposition::OpenExisting);
  ASSERT_NE(file, nullptr);
  char text[4] = {};
  uint32_t got = 0;
  ASSERT_TRUE(file->Read(text, sizeof text, &got));
  EXPECT_EQ(std::string(text, got), "two");
  EXPECT_EQ(files.GetAttributes(u"\\C\\two\\which.txt"), kInvalidAttributes);
}

// More folders than are kept open at once, nested and side by side: the
// ones let go are found again, and changes to them still count.
TEST_P(FolderLookUp, ManyFoldersStayRightWhenSomeAreLetGo) {
  std::string deep = "fs/Deep";
  for (int i = 0; i < 150; ++i) {
    device.Write("fs/Wide/d" + std::to_string(i) + "/f.txt", "x");
    deep += "/n";
  }
  device.Write(deep + "/f.txt", "x");
  const std::u16string deepPath = FromUtf8(deep.substr(2)) + u"/F.TXT";
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(files.GetAttributes(deepPath), FILE_ATTRIBUTE_ARCHIVE);
    for (int i = 0; i < 150; ++i) {
      const std::u16string path = u"\\WIDE\\D" + FromUtf8(std::to_string(i)) + u"\\f.txt";
      ASSERT_EQ(files.GetAttributes(path), FILE_ATTRIBUTE_ARCHIVE) << i;
    }
  }
  InAnotherProcess([&] {
    fs::remove_all(device.fs() / "Wide" / "d149");
    fs::rename(device.fs() / "Deep", device.fs() / "Gone");
  });
  EXPECT_EQ(files.GetAttributes(u"\\Wide\\d149\\f.txt"), kInvalidAttributes);
  EXPECT_EQ(files.GetAttributes(deepPath), kInvalidAttributes);
  EXPECT_EQ(files.GetAttributes(u"\\Wide\\d0\\f.txt"), FILE_ATTRIBUTE_ARCHIVE);
}

}  // namespace
