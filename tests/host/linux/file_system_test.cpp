#include "host/linux/file_system.h"

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/file_system_wrapper.h"
#include "platform/text.h"
#include "platform/trace.h"
#include "platform/traced_file_system.h"
#include "tests/support/device_root.h"
#include "tests/support/host_files.h"

namespace {

namespace fs = std::filesystem;
using namespace platform;
using namespace host;
using TempDeviceRoot = test_support::DeviceRoot;

std::string ReadAll(File& file) {
  std::string out;
  char chunk[7];
  uint32_t got = 0;
  while (file.Read(chunk, sizeof chunk, &got) && got > 0) out.append(chunk, got);
  return out;
}

bool HostHasXattrs(const fs::path& folder) {
  return setxattr(folder.c_str(), "user.fitkit.probe", "1", 1, 0) == 0;
}

class FileSystemTest : public ::testing::Test {
 protected:
  TempDeviceRoot device;
  LinuxFileSystem files{device.root(), 0};

  void WriteDevice(std::u16string_view path, const std::string& content) {
    auto file = files.Open(path, AccessWrite, Disposition::CreateAlways);
    ASSERT_NE(file, nullptr);
    ASSERT_TRUE(file->Write(content.data(), static_cast<uint32_t>(content.size())));
  }
};

TEST_F(FileSystemTest, DispositionsCreateOpenAndTruncate) {
  EXPECT_EQ(files.Open(u"\\a.txt", AccessRead, Disposition::OpenExisting), nullptr);
  WriteDevice(u"\\a.txt", "hello world");
  EXPECT_EQ(files.Open(u"\\A.TXT", AccessWrite, Disposition::CreateNew), nullptr);

  auto existing = files.Open(u"\\A.TXT", AccessRead, Disposition::OpenAlways);
  ASSERT_NE(existing, nullptr);
  EXPECT_EQ(ReadAll(*existing), "hello world");
  existing.reset();

  auto truncated = files.Open(u"\\a.txt", AccessRead | AccessWrite, Disposition::CreateAlways);
  ASSERT_NE(truncated, nullptr);
  uint64_t size = 99;
  ASSERT_TRUE(truncated->GetSize(&size));
  EXPECT_EQ(size, 0u);

  EXPECT_NE(files.Open(u"\\b.txt", AccessWrite, Disposition::OpenAlways), nullptr);
  EXPECT_TRUE(fs::exists(device.fs() / "b.txt"));
  // Folders are no files.
  ASSERT_TRUE(files.CreateDirectory(u"\\Dir"));
  EXPECT_EQ(files.Open(u"\\dir", AccessRead, Disposition::OpenExisting), nullptr);
  EXPECT_EQ(files.Open(u"\\", AccessRead, Disposition::OpenExisting), nullptr);
}

TEST_F(FileSystemTest, AccessLimitsReadAndWrite) {
  WriteDevice(u"\\a.txt", "abc");
  auto reader = files.Open(u"\\a.txt", AccessRead, Disposition::OpenExisting);
  ASSERT_NE(reader, nullptr);
  EXPECT_FALSE(reader->Write("x", 1));
  auto writer = files.Open(u"\\a.txt", AccessWrite, Disposition::OpenExisting);
  ASSERT_NE(writer, nullptr);
  char byte = 0;
  uint32_t got = 7;
  EXPECT_FALSE(writer->Read(&byte, 1, &got));
  EXPECT_EQ(got, 0u);
}

TEST_F(FileSystemTest, SeekSetEndAndSize) {
  WriteDevice(u"\\f.bin", "0123456789");
  auto file = files.Open(u"\\f.bin", AccessRead | AccessWrite, Disposition::OpenExisting);
  ASSERT_NE(file, nullptr);
  uint64_t position = 0;
  ASSERT_TRUE(file->Seek(-3, SeekOrigin::End, &position));
  EXPECT_EQ(position, 7u);
  ASSERT_TRUE(file->Seek(-2, SeekOrigin::Current, &position));
  EXPECT_EQ(position, 5u);
  EXPECT_FALSE(file->Seek(-1, SeekOrigin::Begin, &position));
  ASSERT_TRUE(file->SetEnd());
  uint64_t size = 0;
  ASSERT_TRUE(file->GetSize(&size));
  EXPECT_EQ(size, 5u);
  ASSERT_TRUE(file->Seek(8, SeekOrigin::Begin, &position));
  ASSERT_TRUE(file->SetEnd());
  ASSERT_TRUE(file->GetSize(&size));
  EXPECT_EQ(size, 8u);
  ASSERT_TRUE(file->Seek(0, SeekOrigin::Begin, nullptr));
  EXPECT_EQ(ReadAll(*file), std::string("01234\0\0\0", 8));
  EXPECT_TRUE(file->Flush());

  // A read at an offset leaves the position alone and stops at the end.
  ASSERT_TRUE(file->Seek(2, SeekOrigin::Begin, nullptr));
  char bytes[4] = {};
  uint32_t got = 0;
  ASSERT_TRUE(file->ReadAt(3, bytes, 4, &got));
  EXPECT_EQ(std::string(bytes, got), std::string("34\0\0", 4));
  ASSERT_TRUE(file->ReadAt(6, bytes, 4, &got));
  EXPECT_EQ(got, 2u);
  EXPECT_EQ(ReadAll(*file), std::string("234\0\0\0", 6));
  auto writer = files.Open(u"\\f.bin", AccessWrite, Disposition::OpenExisting);
  EXPECT_FALSE(writer->ReadAt(0, bytes, 1, &got));
}

TEST_F(FileSystemTest, ReadOnlyFilesRefuseChangesLikeTheDevice) {
  WriteDevice(u"\\ro.txt", "keep");
  ASSERT_TRUE(files.SetAttributes(u"\\RO.TXT", FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(fs::status(device.fs() / "ro.txt").permissions() & fs::perms::all &
                (fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write),
            fs::perms::none);
  EXPECT_NE(files.GetAttributes(u"\\ro.txt") & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_EQ(files.Open(u"\\ro.txt", AccessWrite, Disposition::OpenExisting), nullptr);
  EXPECT_EQ(files.Open(u"\\ro.txt", AccessRead, Disposition::CreateAlways), nullptr);
  EXPECT_FALSE(files.DeleteFile(u"\\ro.txt"));
  auto reader = files.Open(u"\\ro.txt", AccessRead, Disposition::OpenExisting);
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(ReadAll(*reader), "keep");

  ASSERT_TRUE(files.SetAttributes(u"\\ro.txt", FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(files.GetAttributes(u"\\ro.txt") & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_TRUE(files.DeleteFile(u"\\ro.txt"));
  EXPECT_EQ(files.GetAttributes(u"\\ro.txt"), kInvalidAttributes);
}

TEST_F(FileSystemTest, AttributesOfFilesAndFolders) {
  WriteDevice(u"\\plain.txt", "x");
  ASSERT_TRUE(files.CreateDirectory(u"\\Folder"));
  EXPECT_EQ(files.GetAttributes(u"\\plain.txt"), FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(files.GetAttributes(u"\\folder"), FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(files.GetAttributes(u"\\"), FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(files.GetAttributes(u"\\nothing"), kInvalidAttributes);
  EXPECT_FALSE(files.SetAttributes(u"\\nothing", FILE_ATTRIBUTE_NORMAL));

  // A folder's read-only bit never stops files being created in it.
  ASSERT_TRUE(files.SetAttributes(u"\\Folder", FILE_ATTRIBUTE_READONLY));
  EXPECT_NE(files.Open(u"\\Folder\\new.txt", AccessWrite, Disposition::CreateNew), nullptr);
  EXPECT_NE(fs::status(device.fs() / "Folder").permissions() & fs::perms::owner_write,
            fs::perms::none);

  if (!HostHasXattrs(device.fs())) GTEST_SKIP() << "no extended attributes on this host";
  ASSERT_TRUE(files.SetAttributes(
      u"\\plain.txt", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(files.GetAttributes(u"\\plain.txt"),
            FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(files.SetAttributes(u"\\plain.txt", FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(files.GetAttributes(u"\\plain.txt"), FILE_ATTRIBUTE_NORMAL);
  ASSERT_TRUE(files.SetAttributes(u"\\plain.txt", 0xA0));  // normal + archive
  EXPECT_EQ(files.GetAttributes(u"\\plain.txt"), FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(files.GetAttributes(u"\\folder"), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY);

  // Through a handle that writes, as through the path; a reading one takes none.
  auto file = files.Open(u"\\written.dat", AccessWrite, Disposition::CreateNew);
  ASSERT_NE(file, nullptr);
  const uint32_t bits = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY;
  ASSERT_TRUE(file->SetAttributes(bits));
  EXPECT_TRUE(file->Write("x", 1));
  file.reset();
  EXPECT_EQ(files.GetAttributes(u"\\written.dat"), bits);
  file = files.Open(u"\\written.dat", AccessRead, Disposition::OpenExisting);
  ASSERT_NE(file, nullptr);
  EXPECT_FALSE(file->SetAttributes(FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(files.GetAttributes(u"\\written.dat"), bits);
}

// A handle that created its file clears bits stored on it since, by the
// path or by the handle itself, as a handle that opened it does.
TEST_F(FileSystemTest, AttributesSetThroughANewFileReplaceBitsStoredSince) {
  if (!HostHasXattrs(device.fs())) GTEST_SKIP() << "no extended attributes on this host";
  auto file = files.Open(u"\\new.dat", AccessWrite, Disposition::CreateNew);
  ASSERT_NE(file, nullptr);
  ASSERT_TRUE(files.SetAttributes(u"\\new.dat", FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(file->SetAttributes(FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(files.GetAttributes(u"\\new.dat"), FILE_ATTRIBUTE_ARCHIVE) << "stored by the path";
  ASSERT_TRUE(file->SetAttributes(FILE_ATTRIBUTE_SYSTEM));
  ASSERT_TRUE(file->SetAttributes(FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(files.GetAttributes(u"\\new.dat"), FILE_ATTRIBUTE_ARCHIVE) << "stored by the handle";
}

// Attributes set through the handle that created the file leave it the
// mode any new file gets, or take its write bits; a mode changed by the
// path since then counts.
TEST_F(FileSystemTest, ModesSetThroughANewFile) {
  std::ofstream(device.fs() / "made here.dat") << "";
  const fs::perms fresh = fs::status(device.fs() / "made here.dat").permissions();
  const auto modeOf = [&](const char* name) {
    return fs::status(device.fs() / name).permissions();
  };
  auto normal = files.Open(u"\\normal.dat", AccessWrite, Disposition::CreateNew);
  auto locked = files.Open(u"\\locked.dat", AccessWrite, Disposition::CreateNew);
  auto unlocked = files.Open(u"\\unlocked.dat", AccessWrite, Disposition::CreateNew);
  ASSERT_TRUE(normal && locked && unlocked);
  ASSERT_TRUE(normal->SetAttributes(FILE_ATTRIBUTE_ARCHIVE));
  ASSERT_TRUE(locked->SetAttributes(FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(files.SetAttributes(u"\\unlocked.dat", FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(unlocked->SetAttributes(FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(modeOf("normal.dat"), fresh);
  const fs::perms writes =
      fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  EXPECT_EQ(modeOf("locked.dat"), fresh & ~writes);
  EXPECT_NE(modeOf("unlocked.dat") & fs::perms::owner_write, fs::perms::none);
}

TEST_F(FileSystemTest, DirectoriesAndDeletion) {
  EXPECT_TRUE(files.CreateDirectory(u"\\A"));
  EXPECT_FALSE(files.CreateDirectory(u"\\a"));     // exists in another case
  EXPECT_FALSE(files.CreateDirectory(u"\\x\\y"));  // no parent
  EXPECT_TRUE(files.CreateDirectory(u"\\a\\Sub"));
  EXPECT_TRUE(fs::is_directory(device.fs() / "A" / "Sub"));
  WriteDevice(u"\\a\\sub\\f.txt", "x");
  EXPECT_FALSE(files.RemoveDirectory(u"\\A\\SUB"));  // not empty
  EXPECT_FALSE(files.DeleteFile(u"\\A\\SUB"));       // a folder is no file
  EXPECT_TRUE(files.DeleteFile(u"\\A\\SUB\\F.TXT"));
  EXPECT_FALSE(files.DeleteFile(u"\\A\\SUB\\F.TXT"));
  EXPECT_TRUE(files.RemoveDirectory(u"\\A\\SUB"));
  EXPECT_FALSE(files.RemoveDirectory(u"\\"));
  EXPECT_TRUE(fs::is_directory(device.fs()));
}

// Whatever its bits and letter case, a file goes; a folder, a file outside
// the root and a name that matches nothing stay as they are.
TEST_F(FileSystemTest, DeleteFileAnywayClearsWhatStandsInTheWay) {
  WriteDevice(u"\\ro.txt", "x");
  ASSERT_TRUE(files.SetAttributes(u"\\ro.txt", FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(files.DeleteFileAnyway(u"\\ro.txt"));
  WriteDevice(u"\\Mixed.TXT", "x");
  EXPECT_TRUE(files.DeleteFileAnyway(u"\\mixed.txt"));
  EXPECT_FALSE(fs::exists(device.fs() / "ro.txt"));
  EXPECT_FALSE(fs::exists(device.fs() / "Mixed.TXT"));

  ASSERT_TRUE(files.CreateDirectory(u"\\Folder"));
  EXPECT_FALSE(files.DeleteFileAnyway(u"\\Folder"));
  EXPECT_FALSE(files.DeleteFileAnyway(u"\\Folder\\."));
  EXPECT_FALSE(files.DeleteFileAnyway(u"\\Folder\\..\\Folder"));
  EXPECT_FALSE(files.DeleteFileAnyway(u"\\nothing\\x.txt"));
  EXPECT_FALSE(files.DeleteFileAnyway(u"\\nothing.txt"));
  EXPECT_TRUE(fs::is_directory(device.fs() / "Folder"));
  device.Write("outside.txt", "kept");
  EXPECT_FALSE(files.DeleteFileAnyway(u"\\..\\outside.txt"));
  EXPECT_TRUE(fs::exists(device.root() / "outside.txt"));
}

// A folder held open works by names in it: in another letter case too, and
// on the folder it opened when that is renamed meanwhile. A name that is not
// one entry of it, or a link that leads out, reaches nothing.
TEST_F(FileSystemTest, HeldFolderWorksOnTheFolderItOpened) {
  ASSERT_TRUE(files.CreateDirectory(u"\\Old"));
  ASSERT_TRUE(files.CreateDirectory(u"\\Old\\Sub"));
  WriteDevice(u"\\Old\\a.txt", "a");
  ASSERT_TRUE(files.SetAttributes(u"\\Old\\a.txt", FILE_ATTRIBUTE_READONLY));
  WriteDevice(u"\\Old\\Sub\\B.TXT", "b");
  WriteDevice(u"\\Old\\Sub\\c.txt", "c");
  fs::create_directory_symlink(device.root(), device.fs() / "Old" / "out");
  device.Write("outside.txt", "kept");
  EXPECT_EQ(files.OpenFolder(u"\\old\\a.txt"), nullptr);
  EXPECT_EQ(files.OpenFolder(u"\\none"), nullptr);
  const auto held = files.OpenFolder(u"\\old\\");
  ASSERT_NE(held, nullptr);
  const auto sub = held->OpenFolder(u"SUB");
  ASSERT_NE(sub, nullptr);
  EXPECT_TRUE(sub->DeleteFileAnyway(u"b.txt"));
  EXPECT_EQ(held->OpenFolder(u"out"), nullptr);

  fs::rename(device.fs() / "Old", device.fs() / "Moved");
  const auto listed = held->List(FindDetail::Kinds);
  ASSERT_EQ(listed.size(), 2u);  // the link out is not listed
  EXPECT_EQ(listed[0].name, u"Sub");
  EXPECT_TRUE(held->DeleteFileAnyway(u"a.txt"));  // read-only
  EXPECT_FALSE(held->RemoveFolder(u"Sub"));       // not empty
  EXPECT_TRUE(sub->DeleteFileAnyway(u"c.txt"));
  EXPECT_TRUE(held->RemoveFolder(u"Sub"));
  EXPECT_EQ(fs::directory_iterator(device.fs() / "Moved")->path().filename(), "out");
  for (const char16_t* name : {u"", u".", u"..", u"..\\outside.txt", u"out/../outside.txt"}) {
    EXPECT_FALSE(held->DeleteFileAnyway(name)) << platform::ToUtf8(name);
    EXPECT_EQ(held->OpenFolder(name), nullptr) << platform::ToUtf8(name);
  }
  EXPECT_TRUE(fs::exists(device.root() / "outside.txt"));
}

// Renames move a file between folders and replace a file in one step, in any
// letter case; folders are neither moved nor replaced; flushes reach files,
// folders and the whole file system, and fail for what is not there.
TEST_F(FileSystemTest, MovesAndFlushes) {
  ASSERT_TRUE(files.CreateDirectory(u"\\Stage"));
  ASSERT_TRUE(files.CreateDirectory(u"\\Dest"));
  WriteDevice(u"\\stage\\a.bin", "new");
  WriteDevice(u"\\dest\\A.BIN", "old");
  EXPECT_TRUE(files.Flush(u"\\STAGE\\A.BIN"));
  EXPECT_TRUE(files.Flush(u"\\stage"));
  EXPECT_TRUE(files.Flush(u"\\"));
  EXPECT_FALSE(files.Flush(u"\\stage\\missing"));
  EXPECT_TRUE(files.MoveFile(u"\\STAGE\\a.bin", u"\\dest\\a.bin"));
  EXPECT_FALSE(fs::exists(device.fs() / "Stage" / "a.bin"));
  EXPECT_EQ(test_support::ReadText(device.fs() / "Dest" / "A.BIN"), "new");
  EXPECT_EQ(fs::directory_iterator(device.fs() / "Dest")->path().filename(), "A.BIN");
  EXPECT_TRUE(files.MoveFile(u"\\dest\\a.bin", u"\\stage\\b.bin"));
  EXPECT_FALSE(files.MoveFile(u"\\stage\\b.bin", u"\\dest"));  // a folder stays
  EXPECT_FALSE(files.MoveFile(u"\\dest", u"\\moved"));         // and is not moved
  EXPECT_FALSE(files.MoveFile(u"\\stage\\none", u"\\x.bin"));
  EXPECT_FALSE(files.MoveFile(u"\\stage\\b.bin", u"\\stage\\b?.bin"));
  EXPECT_TRUE(files.FlushVolume(u"\\dest"));
}

// A reader for another thread reads, in any letter case, what this file
// system wrote, while this one goes on creating files in the same folder;
// a traced file system gives it traced, a wrapper gives none.
TEST_F(FileSystemTest, AReaderOnAnotherThreadReadsWhatWasWritten) {
  ASSERT_TRUE(files.CreateDirectory(u"\\Dir"));
  const LookUpBatch batch(files);
  for (int i = 0; i < 40; ++i) WriteDevice(u"\\dir\\a" + FromUtf8(std::to_string(i)), "a");
  const auto reader = files.ReaderForAnotherThread();
  ASSERT_NE(reader, nullptr);
  std::string read;
  std::thread other([&] {
    for (int i = 0; i < 40; ++i) {
      auto file = reader->Open(u"\\DIR\\A" + FromUtf8(std::to_string(i)), AccessRead,
                               Disposition::OpenExisting);
      read += file != nullptr ? ReadAll(*file) : "-";
    }
  });
  for (int i = 0; i < 40; ++i) WriteDevice(u"\\dir\\b" + FromUtf8(std::to_string(i)), "b");
  other.join();
  EXPECT_EQ(read, std::string(40, 'a'));

  TracedFileSystem traced(files, FailureReasons{});
  const auto tracedReader = traced.ReaderForAnotherThread();
  ASSERT_NE(tracedReader, nullptr);
  SetTraceEnabled(true);
  testing::internal::CaptureStderr();
  tracedReader->Open(u"\\dir\\b7", AccessRead, Disposition::OpenExisting);
  SetTraceEnabled(false);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("b7"), std::string::npos);
  FileSystemWrapper wrapper(files);
  EXPECT_EQ(wrapper.ReaderForAnotherThread(), nullptr);
}

// A folder moves whole, and only where nothing is in the way: never over a
// file or a folder, never a file, never into itself.
TEST_F(FileSystemTest, MovesAFolderWholeOnlyOntoAFreeName) {
  for (const char16_t* folder :
       {u"\\Stage", u"\\Stage\\Data", u"\\Stage\\Data\\Deep", u"\\Taken"}) {
    ASSERT_TRUE(files.CreateDirectory(folder));
  }
  WriteDevice(u"\\Stage\\Data\\Deep\\a.bin", "new");
  WriteDevice(u"\\file.bin", "x");
  EXPECT_FALSE(files.MoveFolder(u"\\stage\\data", u"\\TAKEN"));
  EXPECT_FALSE(files.MoveFolder(u"\\stage\\data", u"\\file.bin"));
  EXPECT_FALSE(files.MoveFolder(u"\\file.bin", u"\\moved.bin"));
  EXPECT_FALSE(files.MoveFolder(u"\\stage", u"\\stage\\data\\inner"));
  EXPECT_FALSE(files.MoveFolder(u"\\stage\\none", u"\\Data"));
  EXPECT_EQ(test_support::ReadText(device.fs() / "file.bin"), "x");
  EXPECT_TRUE(files.MoveFolder(u"\\STAGE\\data", u"\\Data"));
  EXPECT_EQ(test_support::ReadText(device.fs() / "Data" / "Deep" / "a.bin"), "new");
  EXPECT_FALSE(fs::exists(device.fs() / "Stage" / "Data"));
  // The moved folder is found at once, in any letter case.
  EXPECT_EQ(files.GetAttributes(u"\\data\\deep\\A.BIN"), FILE_ATTRIBUTE_ARCHIVE);
}

TEST_F(FileSystemTest, NothingIsCreatedOrDeletedOutsideTheRoot) {
  TempDeviceRoot outside;
  outside.Write("victim.txt", "x");
  fs::create_directory_symlink(outside.root(), device.fs() / "escape");
  fs::create_symlink(outside.root() / "victim.txt", device.fs() / "victim");
  EXPECT_EQ(files.Open(u"\\escape\\new.txt", AccessWrite, Disposition::CreateAlways), nullptr);
  EXPECT_EQ(files.Open(u"\\victim", AccessWrite, Disposition::OpenExisting), nullptr);
  EXPECT_FALSE(files.DeleteFile(u"\\escape\\victim.txt"));
  EXPECT_FALSE(files.CreateDirectory(u"\\escape\\dir"));
  EXPECT_FALSE(files.CreateDirectory(u"\\..\\dir"));
  EXPECT_EQ(files.Open(u"\\..\\made.txt", AccessWrite, Disposition::CreateAlways), nullptr);
  EXPECT_TRUE(files.Find(u"\\escape\\*").empty());
  // Links that stay inside are listed, those leading out are not.
  fs::create_directory(device.fs() / "real");
  fs::create_directory_symlink("real", device.fs() / "alias");
  std::vector<std::u16string> listed;
  for (const auto& entry : files.Find(u"\\*")) listed.push_back(entry.name);
  EXPECT_EQ(listed, (std::vector<std::u16string>{u"alias", u"real"}));
  EXPECT_EQ(files.GetAttributes(u"\\victim"), kInvalidAttributes);
  EXPECT_EQ(fs::directory_entry(outside.root() / "victim.txt").file_size(), 1u);
  // fs/, device.ini and victim.txt: nothing more.
  EXPECT_EQ(std::distance(fs::directory_iterator(outside.root()), fs::directory_iterator()), 3);
  EXPECT_FALSE(fs::exists(device.root() / "made.txt"));
}

TEST_F(FileSystemTest, FindMatchesPatternsInByteOrder) {
  for (const char16_t* name :
       {u"\\b.ZIP", u"\\a.zip", u"\\B SHELL.ZIP", u"\\readme", u"\\c.zipx", u"\\\u00C4.zip"}) {
    WriteDevice(name, "12345");
  }
  ASSERT_TRUE(files.CreateDirectory(u"\\Sub"));
  const auto names = [&](std::u16string_view pattern) {
    std::vector<std::string> out;
    for (const auto& entry : files.Find(pattern)) out.push_back(ToUtf8(entry.name));
    return out;
  };
  using V = std::vector<std::string>;
  EXPECT_EQ(names(u"\\*.zip"), (V{"B SHELL.ZIP", "a.zip", "b.ZIP", "\xC3\x84.zip"}));
  EXPECT_EQ(names(u"\\*"),
            (V{"B SHELL.ZIP", "Sub", "a.zip", "b.ZIP", "c.zipx", "readme", "\xC3\x84.zip"}));
  EXPECT_EQ(names(u"\\*.*"), names(u"\\*"));
  EXPECT_EQ(names(u"\\?.zip"), (V{"a.zip", "b.ZIP", "\xC3\x84.zip"}));
  EXPECT_EQ(names(u"\\*shell.zip"), (V{"B SHELL.ZIP"}));
  EXPECT_EQ(names(u"\\README"), (V{"readme"}));
  EXPECT_EQ(names(u"\\\u00E4*"), (V{"\xC3\x84.zip"}));
  EXPECT_TRUE(names(u"\\nothing\\*").empty());
  EXPECT_TRUE(names(u"\\*.txt").empty());

  const auto sub = files.Find(u"\\s?B");
  ASSERT_EQ(sub.size(), 1u);
  EXPECT_EQ(sub[0].attributes, FILE_ATTRIBUTE_DIRECTORY);
  const auto zip = files.Find(u"\\A.ZIP");
  ASSERT_EQ(zip.size(), 1u);
  EXPECT_EQ(zip[0].size, 5u);
  EXPECT_EQ(zip[0].attributes, FILE_ATTRIBUTE_ARCHIVE);
}

// The leaner listings give Find's entries with their part of each: a link
// that stays inside is listed and never as a folder, one leading out is not.
TEST_F(FileSystemTest, LeanerListingsTellTheirPartAsFindDoes) {
  TempDeviceRoot outside;
  WriteDevice(u"\\plain.txt", "12345");
  WriteDevice(u"\\locked.txt", "xy");
  ASSERT_TRUE(files.SetAttributes(u"\\locked.txt", FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(files.CreateDirectory(u"\\real"));
  fs::create_directory_symlink("real", device.fs() / "alias");
  fs::create_directory_symlink(outside.root(), device.fs() / "escape");
  const auto full = files.Find(u"\\*");
  ASSERT_EQ(full.size(), 4u);
  for (FindDetail detail : {FindDetail::NoStored, FindDetail::Kinds}) {
    const auto lean = files.FindEntries(u"\\*", detail);
    ASSERT_EQ(lean.size(), full.size());
    for (std::size_t i = 0; i < full.size(); ++i) {
      SCOPED_TRACE(ToUtf8(full[i].name));
      EXPECT_EQ(lean[i].name, full[i].name);
      EXPECT_EQ(lean[i].attributes & FILE_ATTRIBUTE_DIRECTORY,
                full[i].attributes & FILE_ATTRIBUTE_DIRECTORY);
      if (detail == FindDetail::Kinds) continue;
      EXPECT_EQ(lean[i].size, full[i].size);
      EXPECT_EQ(lean[i].attributes & FILE_ATTRIBUTE_READONLY,
                full[i].attributes & FILE_ATTRIBUTE_READONLY);
    }
  }
}

// A folder too big to describe on one thread: every entry with its own
// size, in byte order, a link in its second half as in a small one.
TEST_F(FileSystemTest, ABigFolderIsListedWhole) {
  TempDeviceRoot outside;
  const fs::path big = device.fs() / "big";
  fs::create_directory(big);
  constexpr int kFiles = 3000;
  for (int i = 0; i < kFiles; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "f%04d", i);
    std::ofstream(big / name) << std::string(i % 97, 'x');
  }
  fs::create_symlink("f0003", big / "f2000a");
  fs::create_directory_symlink(outside.root(), big / "f2500a");
  const auto listed = files.FindEntries(u"\\big\\*", FindDetail::NoStored);
  ASSERT_EQ(listed.size(), kFiles + 1u);
  for (std::size_t i = 0, file = 0; i < listed.size(); ++i, ++file) {
    if (listed[i].name == u"f2000a") {
      EXPECT_EQ(listed[i].size, 3u);
      --file;
      continue;
    }
    char name[16];
    std::snprintf(name, sizeof name, "f%04zu", file);
    ASSERT_EQ(ToUtf8(listed[i].name), name);
    EXPECT_EQ(listed[i].size, file % 97) << name;
  }
}

TEST_F(FileSystemTest, TimesRoundTripThroughTheHost) {
  WriteDevice(u"\\t.txt", "x");
  auto file = files.Open(u"\\t.txt", AccessRead | AccessWrite, Disposition::OpenExisting);
  ASSERT_NE(file, nullptr);
  SystemTime when;
  when.year = 2009;
  when.month = 7;
  when.day = 14;
  when.hour = 13;
  when.minute = 5;
  when.second = 42;
  when.milliseconds = 250;
  FileTime written, accessed{129000000000000000ULL};
  ASSERT_TRUE(SystemTimeToFileTime(when, &written));
  ASSERT_TRUE(file->SetTimes(nullptr, &accessed, &written));
  FileTime creation, access, write;
  ASSERT_TRUE(file->GetTimes(&creation, &access, &write));
  EXPECT_EQ(write, written);
  EXPECT_EQ(access, accessed);
  EXPECT_NE(creation.value, 0u);

  // Taken as UTC: the host's mtime is the same instant.
  struct stat info {};
  ASSERT_EQ(stat((device.fs() / "t.txt").c_str(), &info), 0);
  EXPECT_EQ(info.st_mtim.tv_sec, 1247576742);
  EXPECT_EQ(info.st_mtim.tv_nsec, 250000000);

  // A null time leaves that time alone.
  FileTime later{written.value + 10000000};
  ASSERT_TRUE(file->SetTimes(nullptr, nullptr, &later));
  ASSERT_TRUE(file->GetTimes(nullptr, &access, &write));
  EXPECT_EQ(access, accessed);
  EXPECT_EQ(write, later);
  EXPECT_EQ(files.Find(u"\\t.txt").at(0).writeTime, later);

  if (!HostHasXattrs(device.fs())) GTEST_SKIP() << "no extended attributes on this host";
  FileTime created{125000000000000000ULL};
  ASSERT_TRUE(file->SetTimes(&created, nullptr, nullptr));
  ASSERT_TRUE(file->GetTimes(&creation, nullptr, nullptr));
  EXPECT_EQ(creation, created);
}

TEST_F(FileSystemTest, NowIsTheCurrentUtcTime) {
  const std::time_t before = std::time(nullptr);
  const SystemTime now = files.Now();
  std::tm utc{};
  gmtime_r(&before, &utc);
  EXPECT_EQ(now.year, utc.tm_year + 1900);
  EXPECT_EQ(now.month, utc.tm_mon + 1);
  EXPECT_EQ(now.dayOfWeek, utc.tm_wday);
  FileTime value;
  EXPECT_TRUE(SystemTimeToFileTime(now, &value));
}

class CapacityTest : public ::testing::Test {
 protected:
  TempDeviceRoot device;
  LinuxFileSystem files{device.root(), 100};
};

TEST_F(CapacityTest, AFileReplacedByARenameGivesItsRoomBack) {
  device.Write("fs/twin.bin", std::string(10, 't'));
  device.Write("fs/replaced.bin", std::string(30, 'r'));
  uint64_t before = 0, after = 0;
  ASSERT_TRUE(files.GetFreeBytes(u"\\", &before));
  ASSERT_TRUE(files.MoveFile(u"\\twin.bin", u"\\replaced.bin"));
  ASSERT_TRUE(files.GetFreeBytes(u"\\", &after));
  EXPECT_EQ(before, 60u);
  EXPECT_EQ(after, 90u);
}

TEST_F(CapacityTest, WritesPastTheCapacityFailWhole) {
  device.Write("fs/existing.bin", std::string(40, 'e'));
  auto file = files.Open(u"\\new.bin", AccessWrite, Disposition::CreateNew);
  ASSERT_NE(file, nullptr);
  const std::string chunk(30, 'x');
  EXPECT_TRUE(file->Write(chunk.data(), 30));  // 70 used
  EXPECT_TRUE(file->Write(chunk.data(), 30));  // 100 used: exactly full
  EXPECT_FALSE(file->Write(chunk.data(), 1));  // a full drive
  EXPECT_EQ(fs::file_size(device.fs() / "new.bin"), 60u);
  // Overwriting in place needs no room.
  ASSERT_TRUE(file->Seek(0, SeekOrigin::Begin, nullptr));
  EXPECT_TRUE(file->Write(chunk.data(), 30));
  // Extending with SetEnd is held to the capacity too.
  ASSERT_TRUE(file->Seek(61, SeekOrigin::Begin, nullptr));
  EXPECT_FALSE(file->SetEnd());
  file.reset();

  // Room comes back when files shrink or go, however they are deleted.
  EXPECT_TRUE(files.DeleteFileAnyway(u"\\existing.bin"));
  auto again = files.Open(u"\\new.bin", AccessWrite, Disposition::OpenExisting);
  ASSERT_NE(again, nullptr);
  ASSERT_TRUE(again->Seek(0, SeekOrigin::End, nullptr));
  EXPECT_TRUE(again->Write(chunk.data(), 30));
  auto truncated = files.Open(u"\\more.bin", AccessWrite, Disposition::CreateAlways);
  ASSERT_NE(truncated, nullptr);
  EXPECT_FALSE(truncated->Write(chunk.data(), 30));  // 90 used
  again.reset();
  auto replaced = files.Open(u"\\new.bin", AccessWrite, Disposition::CreateAlways);
  ASSERT_NE(replaced, nullptr);
  EXPECT_TRUE(truncated->Write(chunk.data(), 30));
}

}  // namespace

namespace {

// The flash drive on an ext4 volume of its own (a loop mount of an image in
// memory): what the volume barrier puts on the medium is read back from the
// image itself, so a barrier that flushes another volume leaves it unseen.
TEST(FlushVolumeTest, FlushesTheVolumeThatHoldsThePath) {
  if (::geteuid() != 0) GTEST_SKIP() << "a loop mount needs root";
  TempDeviceRoot device;
  const fs::path flash = device.fs() / "Flash Disk";
  const fs::path image = device.root() / "flash.img";
  fs::create_directories(flash);
  const std::string make = "truncate -s 32M '" + image.string() + "' && mkfs.ext4 -q -F '" +
                           image.string() + "' 2>/dev/null && mount -o loop '" + image.string() +
                           "' '" + flash.string() + "' 2>/dev/null";
  if (std::system(make.c_str()) != 0) GTEST_SKIP() << "no ext4 loop mount here";
  struct Unmount {
    fs::path at;
    ~Unmount() { std::system(("umount '" + at.string() + "'").c_str()); }
  } unmount{flash};

  std::string marker;
  for (uint32_t x = 12345; marker.size() < 200000;) {
    x = x * 1103515245u + 12345u;
    marker += char(x >> 24);
  }
  LinuxFileSystem files{device.root(), 0};
  {
    auto file = files.Open(u"\\Flash Disk\\marker.bin", AccessWrite, Disposition::CreateAlways);
    ASSERT_NE(file, nullptr);
    ASSERT_TRUE(file->Write(marker.data(), static_cast<uint32_t>(marker.size())));
  }
  const std::string probe = marker.substr(100000, 64);
  if (test_support::ReadText(image).find(probe) != std::string::npos) {
    GTEST_SKIP() << "the host wrote the file back before the barrier";
  }
  ASSERT_TRUE(files.FlushVolume(u"\\Flash Disk"));
  EXPECT_NE(test_support::ReadText(image).find(probe), std::string::npos);
}

}  // namespace
