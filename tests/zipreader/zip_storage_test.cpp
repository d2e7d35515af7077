// Disk files, platform functions and the volume store over the in-memory
// file system.
#include <gtest/gtest.h>

#include "tests/zipreader/fake_device.h"
#include "zipreader/zip_reader.h"

namespace {

using zip_test::FakeDevice;

int CodeOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const CZipException& e) {
    return e.code;
  }
  return 0;
}

TEST(ZipDiskFile, MissingFileWithAndWithoutRaiseFlag) {
  FakeDevice device;
  CZipDiskFile file;
  EXPECT_FALSE(file.Open(u"\\missing.zip", 0x45, false));
  EXPECT_TRUE(file.IsClosed());
  EXPECT_TRUE(file.GetFilePath().empty());
  char byte;
  EXPECT_EQ(file.Read(&byte, 1), 0u);
  EXPECT_EQ(file.GetLength(), 0xFFFFFFFFu);
  EXPECT_TRUE(file.Open(u"\\missing.zip", 0x45, true));
  EXPECT_TRUE(file.IsClosed());
  EXPECT_EQ(file.GetFilePath(), u"\\missing.zip");
  EXPECT_FALSE(device.files.Has("\\missing.zip")) << "FileKeep alone must not create";
}

TEST(ZipDiskFile, LengthKeepsPositionAndCreateTruncates) {
  FakeDevice device;
  device.files.Put("\\f.bin", "0123456789");
  CZipDiskFile file(u"\\f.bin", 0x45);
  EXPECT_EQ(file.Seek(4, SeekBegin), 4u);
  EXPECT_EQ(file.GetLength(), 10u);
  EXPECT_EQ(file.GetPosition(), 4u);
  char bytes[3];
  EXPECT_EQ(file.Read(bytes, 3), 3u);
  EXPECT_EQ(std::string(bytes, 3), "456");
  EXPECT_EQ(file.Seek(-2, SeekEnd), 8u);
  EXPECT_EQ(file.SeekToBegin(), 0u);
  EXPECT_EQ(file.Seek(-1, SeekCurrent), 0xFFFFFFFFu);
  file.Close();
  CZipDiskFile out(u"\\f.bin", 0x26);
  EXPECT_TRUE(out.Write("ab", 2));
  EXPECT_TRUE(out.SetLength(1));
  out.Close();
  EXPECT_EQ(device.files.Get("\\f.bin"), "a");
}

TEST(ZipHost, FileKindAndForceDirectory) {
  FakeDevice device;
  device.files.Put("\\d\\f.txt", "x");
  EXPECT_EQ(ZipHost::GetFileKind(u"\\d"), -1);
  EXPECT_EQ(ZipHost::GetFileKind(u"\\d\\f.txt"), 1);
  EXPECT_EQ(ZipHost::GetFileKind(u"\\nothing"), 0);
  EXPECT_TRUE(ZipHost::ForceDirectory(u"\\A\\B\\C\\"));
  ASSERT_EQ(device.files.createdDirectories.size(), 3u);
  EXPECT_EQ(device.files.createdDirectories[0], "a");
  EXPECT_EQ(device.files.createdDirectories[1], "a\\b");
  EXPECT_EQ(device.files.createdDirectories[2], "a\\b\\c");
  EXPECT_TRUE(ZipHost::ForceDirectory(u"\\A\\B\\C"));
  EXPECT_EQ(device.files.createdDirectories.size(), 3u);
  EXPECT_FALSE(ZipHost::ForceDirectory(u"\\d\\f.txt\\sub")) << "a file blocks the chain";
}

TEST(ZipHost, ModTimeAndCodePage) {
  FakeDevice device;
  device.files.Put("\\f", "x");
  EXPECT_TRUE(ZipHost::SetFileModTime(u"\\f", platform::FileTime{123456789}));
  EXPECT_EQ(device.files.Node("\\f")->write.value, 123456789u);
  EXPECT_TRUE(ZipHost::SetFileModTime(u"\\f", kZipCurrentTime));
  platform::FileTime now;
  ASSERT_TRUE(platform::SystemTimeToFileTime(device.files.now, &now));
  EXPECT_EQ(device.files.Node("\\f")->write, now);
  EXPECT_FALSE(ZipHost::SetFileModTime(u"\\none", kZipCurrentTime));

  CZipByteBuffer bytes(4, false);
  EXPECT_EQ(ZipHost::WideToMultiByte(u"", bytes, true), 0);
  EXPECT_TRUE(bytes.IsEmpty());
  EXPECT_EQ(ZipHost::WideToMultiByte(u"\u00E4b", bytes, true), 2);
  EXPECT_EQ(bytes.Data()[0], 0xE4);
  EXPECT_EQ(ZipHost::WideToMultiByte(u"\u20AC", bytes, true), -1);  // not in the fake page
  EXPECT_TRUE(bytes.IsEmpty());
  EXPECT_EQ(ZipHost::WideToMultiByte(u"\u00E4", bytes, false), 2);  // UTF-8
  std::u16string text;
  EXPECT_EQ(ZipHost::MultiByteToWide(bytes, text, false), 1);
  EXPECT_EQ(text, u"\u00E4");
}

// Volumes a.z01 (10 bytes), a.z02 (10 bytes) and a.zip (6 bytes) of a split
// archive whose end record names disk 2.
class SplitStore : public ::testing::Test {
 protected:
  void SetUp() override {
    device.files.Put("\\s\\a.z01", "AAAAAAAAAA");
    device.files.Put("\\s\\a.z02", "BBBBBBBBBB");
    device.files.Put("\\s\\a.zip", "CCCCCC");
    store.OpenStore(u"\\s\\a.zip", 1, 0);
    store.UpdateVolumeInfo(2);
  }
  FakeDevice device;
  CZipVolumeStore store;
};

TEST_F(SplitStore, NamesAndWalksTheVolumes) {
  EXPECT_EQ(store.Mode(), Split);
  EXPECT_EQ(store.CurrentVolume(), 2);
  store.ChangeVolume(0);
  EXPECT_EQ(store.File()->GetFilePath(), u"s\\a.z01");
  store.File()->Seek(6, SeekBegin);
  char bytes[16] = {};
  EXPECT_EQ(store.ReadBytes(bytes, 8, false), 8u);
  EXPECT_EQ(std::string(bytes, 8), "AAAABBBB");
  EXPECT_EQ(store.CurrentVolume(), 1);
  store.ChangeVolume(2);
  EXPECT_EQ(store.File()->GetFilePath(), u"s\\a.zip");
  store.ChangeVolume(2);  // same number: the open file stays
  EXPECT_EQ(store.File()->GetPosition(), 0u);
}

TEST_F(SplitStore, AtOnceReadMayStartOnNextVolumeButNeverStraddles) {
  store.ChangeVolume(0);
  store.File()->Seek(6, SeekBegin);
  char bytes[16];
  EXPECT_EQ(CodeOf([&] { store.ReadBytes(bytes, 8, true); }), ErrBadArchive);
  store.ChangeVolume(1);
  store.ChangeVolume(0);
  store.File()->Seek(10, SeekBegin);
  EXPECT_EQ(store.ReadBytes(bytes, 4, true), 4u);
  EXPECT_EQ(store.CurrentVolume(), 1);
}

TEST_F(SplitStore, WalkEndsAtTheLastVolume) {
  store.File()->Seek(4, SeekBegin);
  char bytes[8];
  try {
    store.ReadBytes(bytes, 4, false);
    FAIL() << "read past the last volume";
  } catch (const CZipException& e) {
    EXPECT_EQ(e.code, ErrBadArchive);
    EXPECT_EQ(e.fileName, u"\\s\\a.zip");
  }
}

TEST_F(SplitStore, MissingVolumeIsAnErrorNotASkip) {
  device.files.DeleteFile(u"\\s\\a.z02");
  store.ChangeVolume(0);
  store.File()->Seek(8, SeekBegin);
  char bytes[8];
  try {
    store.ReadBytes(bytes, 4, false);
    FAIL() << "read went on past a missing volume";
  } catch (const CZipException& e) {
    EXPECT_EQ(e.code, ErrBadArchive);
    EXPECT_EQ(e.fileName, u"s\\a.z02");
  }
  EXPECT_EQ(CodeOf([&] { store.ChangeVolume(3); }), ErrBadArchive);
  device.files.DeleteFile(u"\\s\\a.z01");
  CZipVolumeStore again;
  again.OpenStore(u"\\s\\a.zip", 1, 0);
  again.UpdateVolumeInfo(2);
  again.ChangeVolume(0);
  EXPECT_EQ(CodeOf([&] { again.ReadBytes(bytes, 4, true); }), ErrBadArchive)
      << "reading from a missing volume must not go on to the next one";
}

TEST(ZipVolumeStore, SingleFileReadsAndVolumeNames) {
  FakeDevice device;
  device.files.Put("\\one.zip", "12345");
  CZipVolumeStore store;
  EXPECT_TRUE(store.IsClosed(true));
  store.OpenStore(u"\\one.zip", 1, 0);
  EXPECT_EQ(store.Mode(), ExistingUnknown);
  store.UpdateVolumeInfo(0);
  EXPECT_EQ(store.Mode(), SingleFile);
  char bytes[8];
  EXPECT_EQ(CodeOf([&] { store.ReadBytes(bytes, 8, false); }), ErrBadArchive);
  EXPECT_EQ(CodeOf([&] { store.ChangeVolume(1); }), ErrBadArchive)
      << "a single file has no other volume";
  CZipVolumeStore named;
  named.OpenStore(u"\\p\\name.zip", 1, 0);
  named.UpdateVolumeInfo(200);
  named.ChangeVolume(98);
  EXPECT_EQ(named.File()->GetFilePath(), u"p\\name.z99");
  named.ChangeVolume(99);
  EXPECT_EQ(named.File()->GetFilePath(), u"p\\name.z00100");
}

}  // namespace
