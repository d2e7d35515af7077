// The reader's small building blocks: errors, buffers, path splitting,
// attribute conversion and target paths.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/zipreader/fake_device.h"
#include "zipreader/zip_reader.h"

namespace {

TEST(ZipException, RaiseCarriesCodeAndNameAndCopies) {
  try {
    RaiseZipError(ErrBadArchive, static_cast<const char16_t*>(nullptr));
    FAIL() << "RaiseZipError returned";
  } catch (const CZipException& e) {
    EXPECT_EQ(e.code, 101);
    EXPECT_TRUE(e.fileName.empty());
  }
  try {
    RaiseZipError(ErrBadCrc, u"\\a.zip");
  } catch (const CZipException& e) {
    CZipException copy(e);
    EXPECT_EQ(copy.code, 102);
    EXPECT_EQ(copy.fileName, u"\\a.zip");
    EXPECT_STREQ(copy.what(), std::exception().what());
  }
}

TEST(ZipException, MapInflateErrorTable) {
  EXPECT_EQ(MapInflateError(-3), 504);
  EXPECT_EQ(MapInflateError(-6), 507);
  EXPECT_EQ(MapInflateError(1), 500);
  EXPECT_EQ(MapInflateError(-7), 100);
  EXPECT_EQ(MapInflateError(3), 100);
  EXPECT_EQ(MapInflateError(0), 100);
}

TEST(ZipByteBuffer, AllocateKeepsSameSizeAndEmptiesOnZero) {
  CZipByteBuffer buffer(8, false);
  uint8_t* first = buffer.Data();
  first[3] = 7;
  EXPECT_EQ(buffer.Allocate(8, true), first);
  EXPECT_EQ(first[3], 0);
  EXPECT_EQ(buffer.Allocate(0, false), nullptr);
  EXPECT_TRUE(buffer.IsEmpty());
  EXPECT_EQ(buffer.Data(), nullptr);
}

TEST(ZipByteBuffer, CopiesAreDeepAndEmptySourceEmptiesTarget) {
  CZipByteBuffer a(3, true);
  a.Data()[1] = 9;
  CZipByteBuffer b(a);
  b.Data()[1] = 1;
  EXPECT_EQ(a.Data()[1], 9);
  CZipByteBuffer empty;
  b = empty;
  EXPECT_TRUE(b.IsEmpty());
  const CZipByteBuffer& self = a;  // assigned to itself, through a second name
  a = self;
  EXPECT_EQ(a.Data()[1], 9);
}

struct SplitCase {
  std::u16string path, prefix, directory, title, extension, directoryPath, fullPath, withoutPrefix;
};

TEST(ZipPathParts, SplitsAndRebuilds) {
  const SplitCase cases[] = {
      {u"\\Storage Card\\Update\\main.exe", u"", u"Storage Card\\Update", u"main", u"exe",
       u"Storage Card\\Update", u"Storage Card\\Update\\main.exe",
       u"Storage Card\\Update\\main.exe"},
      {u"\\\\server\\share\\a.b.txt", u"\\\\", u"server\\share", u"a.b", u"txt",
       u"\\\\server\\share", u"\\\\server\\share\\a.b.txt", u"server\\share\\a.b.txt"},
      {u"readme", u"", u"", u"readme", u"", u"", u"\\readme", u"readme"},
      {u"\\\\?\\UNC\\host\\x.txt", u"\\\\?\\UNC\\", u"host", u"x", u"txt", u"\\\\?\\UNC\\host",
       u"\\\\?\\UNC\\host\\x.txt", u"host\\x.txt"},
      {u"\\\\?\\", u"\\\\?\\", u"", u"", u"", u"\\\\?\\", u"\\\\?\\", u""},
      {u"\\\\?abc", u"", u"", u"?abc", u"", u"", u"\\?abc", u"?abc"},
      {u"\\\\?\\unx\\a", u"", u"?\\unx", u"a", u"", u"?\\unx", u"?\\unx\\a", u"?\\unx\\a"},
      {u"archive.tar.gz", u"", u"", u"archive.tar", u"gz", u"", u"\\archive.tar.gz",
       u"archive.tar.gz"},
      {u"dir\\name.", u"", u"dir", u"name", u"", u"dir", u"dir\\name", u"dir\\name"},
      {u"\\\\\\", u"\\\\", u"", u"", u"", u"\\\\", u"\\\\", u""},
  };
  for (const SplitCase& c : cases) {
    CZipPathParts parts(c.path);
    SCOPED_TRACE(std::string(c.path.begin(), c.path.end()));
    EXPECT_EQ(parts.GetPrefix(), c.prefix);
    EXPECT_EQ(parts.GetDirectory(), c.directory);
    EXPECT_EQ(parts.GetTitle(), c.title);
    EXPECT_EQ(parts.GetExtension(), c.extension);
    EXPECT_EQ(parts.DirectoryPath(), c.directoryPath);
    EXPECT_EQ(parts.FullPath(), c.fullPath);
    EXPECT_EQ(parts.PathWithoutPrefix(), c.withoutPrefix);
  }
  CZipPathParts parts(u"a.zip");
  parts.SetExtension(u"..z01");
  EXPECT_EQ(parts.FileName(), u"a.z01");
}

TEST(ZipEntryHeader, AttributeConversionBetweenHosts) {
  EXPECT_EQ(CZipEntryHeader::ConvertAttr(0x81A40000, 3, 0), 0x20u);
  EXPECT_EQ(CZipEntryHeader::ConvertAttr(0x81240000, 3, 0), 0x21u);  // r--r--r--
  EXPECT_EQ(CZipEntryHeader::ConvertAttr(0x41ED0000, 3, 0), 0x10u);  // drwxr-xr-x
  EXPECT_EQ(CZipEntryHeader::ConvertAttr(0x00010000, 3, 0), 0x23u);
  EXPECT_EQ(CZipEntryHeader::ConvertAttr(0x21, 0, 3), 0x81240000u);
  EXPECT_EQ(CZipEntryHeader::ConvertAttr(0x10, 0, 3), 0x41B40010u);
  EXPECT_EQ(CZipEntryHeader::ConvertAttr(0xFF, 7, 0), 0x11u);
  EXPECT_EQ(CZipEntryHeader::ConvertAttr(0xABCD, 5, 5), 0xABCDu);
  EXPECT_EQ(CZipEntryHeader::ConvertAttr(0xABCD, 11, 0), 0xABCDu);
  try {
    CZipEntryHeader::ConvertAttr(0x20, 1, 0);
    FAIL() << "no converter for host 1";
  } catch (const CZipException& e) {
    EXPECT_EQ(e.code, ErrHostUnsupported);
    EXPECT_TRUE(e.fileName.empty());
  }
}

CZipEntryHeader Header(uint16_t versionMadeBy, uint32_t externalAttr, const char* name) {
  CZipEntryHeader header;
  header.versionMadeBy = versionMadeBy;
  header.externalAttr = externalAttr;
  header.name.Allocate(static_cast<uint32_t>(std::strlen(name)), false);
  std::memcpy(header.name.Data(), name, header.name.Size());
  header.ConvertName(true, true);
  return header;
}

TEST(ZipEntryHeader, SystemAttributesAndNames) {
  zip_test::FakeDevice device;
  EXPECT_EQ(Header(0x0314, 0x81A40000, "a/b/c.txt").GetEntryName(), u"a\\b\\c.txt");
  EXPECT_EQ(Header(0x0314, 0x81A40000, "f").GetSystemAttr(), 0x20u);
  EXPECT_TRUE(Header(0x0014, 0, "dir/").IsDirectory());
  EXPECT_EQ(Header(0x0014, 0, "file").GetSystemAttr(), 0u);
  EXPECT_FALSE(Header(0x0014, 0, "file").IsDirectory());
  EXPECT_EQ(Header(0x0114, 0x12345678, "d/").GetSystemAttr(), 0x41FF0010u);
  EXPECT_EQ(Header(0x0114, 0x12345678, "f").GetSystemAttr(), 0x81A40020u);
  EXPECT_EQ(Header(0x0714, 0xFF, "f").GetSystemAttr(), 0x11u);
  CZipEntryHeader back = Header(0x0014, 0, "x/y");
  back.ConvertName(false, true);
  EXPECT_EQ(back.GetEntryName(), u"x/y");
  // Fields that form no date still give a time the file can take.
  CZipEntryHeader undated;
  EXPECT_EQ(undated.GetTime().value, 119600064000000000u);
}

TEST(ZipReader, BuildTargetPathJoinsFolderAndName) {
  EXPECT_EQ(CZipReader::BuildTargetPath(u"x\\y.txt", u"\\A", true, nullptr), u"\\A\\x\\y.txt");
  EXPECT_EQ(CZipReader::BuildTargetPath(u"x\\y.txt", u"\\A", false, nullptr), u"\\A\\y.txt");
  EXPECT_EQ(CZipReader::BuildTargetPath(u"x\\y.txt", u"\\A\\", true, nullptr), u"\\A\\\\x\\y.txt");
  // A caller's full path comes back without its leading separator.
  EXPECT_EQ(CZipReader::BuildTargetPath(u"main.exe", nullptr, true, u"\\Flash Disk\\m.tmp"),
            u"Flash Disk\\m.tmp");
  EXPECT_EQ(CZipReader::BuildTargetPath(u"", u"\\A", true, nullptr), u"\\A");
  EXPECT_EQ(CZipReader::BuildTargetPath(u"x", u"\\A", true, u""), u"\\A");
}

TEST(ZipReader, BuildTargetPathKeepsArchiveNamesInsideTheFolder) {
  EXPECT_EQ(CZipReader::BuildTargetPath(u"..\\..\\etc\\passwd", u"\\A", true, nullptr),
            u"\\A\\etc\\passwd");
  EXPECT_EQ(CZipReader::BuildTargetPath(u"\\etc\\passwd", u"\\A", true, nullptr),
            u"\\A\\etc\\passwd");
  EXPECT_EQ(CZipReader::BuildTargetPath(u"a\\.\\..\\b/../c", u"\\A", true, nullptr),
            u"\\A\\a\\b\\c");
  EXPECT_EQ(CZipReader::BuildTargetPath(u"\\\\?\\UNC\\h\\..\\x", u"\\A", true, nullptr),
            u"\\A\\h\\x");
  EXPECT_EQ(
      CZipReader::BuildTargetPath(std::u16string(u"ok\0..\\..\\x", 11), u"\\A", true, nullptr),
      u"\\A\\ok");
  EXPECT_EQ(CZipReader::BuildTargetPath(u"..", u"\\A", false, nullptr), u"\\A\\");
}

}  // namespace
