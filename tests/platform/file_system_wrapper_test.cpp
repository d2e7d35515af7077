// The pass-through wrappers, seen through the power-cut file system built on
// them: what was flushed survives a cut, what was not is lost, and nothing
// works between the cut and the restart.
#include <gtest/gtest.h>

#include "tests/support/power_cut_file_system.h"

namespace {

using namespace platform;
using test_support::MemoryFileSystem;
using test_support::PowerCutFileSystem;

bool WriteFile(FileSystem& files, std::u16string_view path, const std::string& text, bool flush) {
  auto file = files.Open(path, AccessWrite, Disposition::CreateAlways);
  return file != nullptr && file->Write(text.data(), static_cast<uint32_t>(text.size())) &&
         (!flush || file->Flush());
}

TEST(PowerCutFileSystem, KeepsWhatWasFlushedAndLosesTheRest) {
  MemoryFileSystem memory;
  memory.Put("\\Disk\\old.txt", "old");
  memory.Put("\\Disk\\gone.txt", "gone");
  PowerCutFileSystem files(memory);

  ASSERT_TRUE(files.CreateDirectory(u"\\Disk\\New"));
  ASSERT_TRUE(WriteFile(files, u"\\Disk\\New\\kept.txt", "kept", true));
  ASSERT_TRUE(files.Flush(u"\\Disk\\New"));
  ASSERT_TRUE(files.Flush(u"\\Disk"));  // New itself is on the medium
  ASSERT_TRUE(WriteFile(files, u"\\Disk\\New\\lost.txt", "lost", true));  // entry unflushed
  ASSERT_TRUE(WriteFile(files, u"\\Disk\\old.txt", "rewritten", false));  // data unflushed
  ASSERT_TRUE(files.MoveFile(u"\\Disk\\gone.txt", u"\\Disk\\New\\moved.txt"));
  ASSERT_TRUE(files.CreateDirectory(u"\\Disk\\Later"));
  ASSERT_TRUE(WriteFile(files, u"\\Disk\\Later\\x.txt", "x", true));
  ASSERT_TRUE(files.Flush(u"\\Disk\\Later"));  // but Later is not in Disk
  files.Restart();

  EXPECT_EQ(memory.Get("\\Disk\\New\\kept.txt"), "kept");
  EXPECT_FALSE(memory.Has("\\Disk\\New\\lost.txt"));
  EXPECT_EQ(memory.Get("\\Disk\\old.txt"), "old");
  EXPECT_EQ(memory.Get("\\Disk\\gone.txt"), "gone");  // the rename undone
  EXPECT_FALSE(memory.Has("\\Disk\\New\\moved.txt"));
  EXPECT_FALSE(memory.Has("\\Disk\\Later"));
  EXPECT_FALSE(memory.Has("\\Disk\\Later\\x.txt"));

  // A flushed folder keeps a new entry whose data never was: an empty file.
  ASSERT_TRUE(WriteFile(files, u"\\Disk\\empty.txt", "unsynced", false));
  ASSERT_TRUE(files.Flush(u"\\Disk"));
  ASSERT_TRUE(files.DeleteFile(u"\\Disk\\old.txt"));
  files.Restart();
  EXPECT_EQ(memory.Get("\\Disk\\empty.txt"), "");
  EXPECT_EQ(memory.Get("\\Disk\\old.txt"), "old");

  ASSERT_TRUE(WriteFile(files, u"\\Disk\\all.txt", "all", false));
  ASSERT_TRUE(files.FlushVolume(u"\\Disk"));
  files.Restart();
  EXPECT_EQ(memory.Get("\\Disk\\all.txt"), "all");
}

// A renamed folder takes what it holds along, flushed or not there; the
// rename itself is on the medium once both folders it changed are.
TEST(PowerCutFileSystem, AFolderRenameNeedsBothParentsFlushed) {
  MemoryFileSystem memory;
  memory.Put("\\Disk\\Stage\\App\\a.txt", "a");
  memory.Put("\\Disk\\App.txt", "a name that sorts between App and its files");
  PowerCutFileSystem files(memory);
  ASSERT_TRUE(WriteFile(files, u"\\Disk\\Stage\\App\\b.txt", "b", true));
  ASSERT_TRUE(files.Flush(u"\\Disk\\Stage\\App"));
  EXPECT_FALSE(files.MoveFolder(u"\\Disk\\Stage", u"\\Disk\\Stage\\App\\Inside"));
  ASSERT_TRUE(files.MoveFolder(u"\\Disk\\Stage\\App", u"\\Disk\\App"));
  EXPECT_FALSE(memory.Has("\\Disk\\Stage\\App"));
  EXPECT_EQ(memory.Get("\\Disk\\App\\b.txt"), "b");
  files.Restart();  // neither parent flushed: still staged
  EXPECT_EQ(memory.Get("\\Disk\\Stage\\App\\b.txt"), "b");
  EXPECT_FALSE(memory.Has("\\Disk\\App"));

  ASSERT_TRUE(files.MoveFolder(u"\\Disk\\Stage\\App", u"\\Disk\\App"));
  ASSERT_TRUE(files.Flush(u"\\Disk"));
  files.Restart();  // only the new parent flushed: in both places
  EXPECT_EQ(memory.Get("\\Disk\\App\\a.txt"), "a");
  EXPECT_EQ(memory.Get("\\Disk\\Stage\\App\\a.txt"), "a");

  ASSERT_TRUE(files.DeleteFile(u"\\Disk\\App\\a.txt"));
  ASSERT_TRUE(files.DeleteFile(u"\\Disk\\App\\b.txt"));
  ASSERT_TRUE(files.RemoveDirectory(u"\\Disk\\App"));
  ASSERT_TRUE(files.MoveFolder(u"\\Disk\\Stage\\App", u"\\Disk\\App"));
  ASSERT_TRUE(files.Flush(u"\\Disk\\Stage"));
  ASSERT_TRUE(files.Flush(u"\\Disk"));
  files.Restart();  // both flushed: moved, with everything in it
  EXPECT_EQ(memory.Get("\\Disk\\App\\a.txt"), "a");
  EXPECT_EQ(memory.Get("\\Disk\\App\\b.txt"), "b");
  EXPECT_FALSE(memory.Has("\\Disk\\Stage\\App"));
  EXPECT_EQ(memory.Get("\\Disk\\App.txt"), "a name that sorts between App and its files");
}

TEST(PowerCutFileSystem, FromTheCutOnEveryCallFails) {
  MemoryFileSystem memory;
  memory.Put("\\Disk\\a.txt", "a");
  PowerCutFileSystem files(memory);
  files.cutAt = 3;
  auto file = files.Open(u"\\Disk\\b.txt", AccessWrite, Disposition::CreateNew);  // 1
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(file->Write("b", 1));                                          // 2
  EXPECT_EQ(files.GetAttributes(u"\\Disk\\a.txt"), FILE_ATTRIBUTE_ARCHIVE);  // reads don't count
  EXPECT_FALSE(file->Flush());                                               // 3: the cut
  EXPECT_TRUE(files.Cut());
  EXPECT_FALSE(files.CreateDirectory(u"\\Disk\\c"));
  EXPECT_EQ(files.GetAttributes(u"\\Disk\\a.txt"), kInvalidAttributes);
  EXPECT_TRUE(files.Find(u"\\Disk\\*.*").empty());
  EXPECT_TRUE(files.FindEntries(u"\\Disk\\*.*", FindDetail::Kinds).empty());
  VolumeRoom room;
  EXPECT_FALSE(files.GetVolumeRoom(u"\\Disk", &room));
  EXPECT_FALSE(files.CanChangeFolder(u"\\Disk"));
  EXPECT_EQ(files.Open(u"\\Disk\\a.txt", AccessRead, Disposition::OpenExisting), nullptr);
  EXPECT_EQ(files.changes, 3);
  file.reset();
  files.Restart();
  EXPECT_FALSE(memory.Has("\\Disk\\b.txt"));
  EXPECT_TRUE(files.CreateDirectory(u"\\Disk\\c"));
}

}  // namespace
