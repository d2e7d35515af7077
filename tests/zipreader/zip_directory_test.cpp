// Finding the end record and reading the central directory.
#include <gtest/gtest.h>

#include "tests/zipreader/fake_device.h"
#include "tests/zipreader/zip_builder.h"
#include "tests/zipreader/zip_test_util.h"

namespace {

using namespace zip_test;

ZipBuilder TwoFiles() {
  ZipBuilder b;
  b.entries.push_back({.name = "a.txt", .data = "alpha alpha alpha"});
  b.entries.push_back({.name = "sub/b.bin", .data = Pseudorandom(5000, 2), .method = 0});
  return b;
}

int OpenCode(FakeDevice& device, const std::string& bytes) {
  device.files.Put("\\t.zip", bytes);
  CZipReader reader;
  return ErrorCode([&] { reader.OpenArchive(u"\\t.zip", 1, 0); });
}

TEST(ZipDirectory, ReadsEntriesWithCommentAndConvertsNames) {
  FakeDevice device;
  ZipBuilder b = TwoFiles();
  b.comment = std::string(100, 'c');
  device.files.Put("\\t.zip", b.Build().bytes);
  CZipReader reader;
  reader.OpenArchive(u"\\t.zip", 1, 0);
  EXPECT_EQ(reader.Directory().GetCount(), 2);
  EXPECT_EQ(reader.Directory().Comment().Size(), 100u);
  CZipEntryHeader header;
  ASSERT_TRUE(reader.GetEntryInfo(header, 1));
  EXPECT_EQ(header.GetEntryName(), u"sub\\b.bin");
  EXPECT_EQ(header.uncompressedSize, 5000u);
  ASSERT_TRUE(reader.GetEntryInfo(header, 65536)) << "only the low 16 bits count";
  EXPECT_EQ(header.GetEntryName(), u"a.txt");
  header.crc32 = 77;
  EXPECT_FALSE(reader.GetEntryInfo(header, 2));
  EXPECT_EQ(header.crc32, 77u) << "a failed look-up leaves the header alone";
}

TEST(ZipDirectory, MissingOrUnfindableEndRecord) {
  FakeDevice device;
  EXPECT_EQ(OpenCode(device, ""), ErrNoEndRecord);
  EXPECT_EQ(OpenCode(device, "0123456789"), ErrNoEndRecord);
  EXPECT_EQ(OpenCode(device, "PK\x05"), ErrNoEndRecord);
  // A signature further back than 22 + 65535 bytes from the end is not seen.
  std::string bytes = TwoFiles().Build().bytes;
  EXPECT_EQ(OpenCode(device, bytes + std::string(65536, 'z')), ErrNoEndRecord);
  EXPECT_EQ(OpenCode(device, bytes + std::string(65535 - 22 + 22, 'z')), 0)
      << "a record whose comment area is full length is still found";
}

TEST(ZipDirectory, SignatureCutByABlockEdgeIsFound) {
  FakeDevice device;
  std::string bytes = TwoFiles().Build().bytes;
  // Trailing bytes put the end record's signature across the edge of the
  // last 32768-byte block (blocks overlap by three bytes).
  for (size_t shift = 32765; shift <= 32768; ++shift) {
    std::string padded = bytes + std::string(shift - 22 + 4, 'z');
    PutU16(padded, bytes.size() - 2, static_cast<uint16_t>(padded.size() - bytes.size()));
    SCOPED_TRACE(shift);
    EXPECT_EQ(OpenCode(device, padded), 0);
  }
}

TEST(ZipDirectory, LastSignatureWinsEvenInsideTheComment) {
  FakeDevice device;
  ZipBuilder b = TwoFiles();
  b.comment = std::string("xxPK\x05\x06", 6) + std::string(30, '\0');
  device.files.Put("\\t.zip", b.Build().bytes);
  CZipReader reader;
  reader.OpenArchive(u"\\t.zip", 1, 0);
  EXPECT_EQ(reader.Directory().GetCount(), 0) << "the fake record inside the comment is read";
}

TEST(ZipDirectory, ArchiveBehindAPrefix) {
  FakeDevice device;
  ZipBuilder b = TwoFiles();
  b.prefix = Pseudorandom(1000, 9);
  device.files.Put("\\t.zip", b.Build().bytes);
  CZipReader reader;
  reader.OpenArchive(u"\\t.zip", 1, 0);
  EXPECT_EQ(reader.Directory().EndRecord().bytesBeforeArchive, 1000u);
  EXPECT_TRUE(reader.ExtractEntry(1, u"\\out", true, nullptr, 65536));
  EXPECT_EQ(device.files.Get("\\out\\sub\\b.bin"), b.entries[1].data);
}

TEST(ZipDirectory, InconsistentEndRecords) {
  FakeDevice device;
  BuiltArchive a = TwoFiles().Build();
  std::string bytes = a.bytes;
  PutU16(bytes, a.endOffset + 10, 0);  // no entries, but a directory size
  EXPECT_EQ(OpenCode(device, bytes), ErrBadArchive);
  bytes = a.bytes;
  PutU32(bytes, a.endOffset + 16, a.directoryOffset + 1);  // ends after the record
  EXPECT_EQ(OpenCode(device, bytes), ErrBadArchive);
  bytes = a.bytes;
  PutU32(bytes, a.endOffset + 16, 0xFFFFFFF0);  // offset + size wraps past 4 GiB
  EXPECT_EQ(OpenCode(device, bytes), ErrBadArchive);
  bytes = a.bytes;
  PutU16(bytes, a.endOffset + 6, 3);  // directory on a disk a single file lacks
  EXPECT_EQ(OpenCode(device, bytes), ErrBadArchive);
  bytes = a.bytes;
  bytes.resize(bytes.size() - 2);
  bytes += std::string("\x10\x00", 2);  // comment longer than the file
  EXPECT_EQ(OpenCode(device, bytes), ErrBadArchive);
  ZipBuilder empty;
  device.files.Put("\\e.zip", empty.Build().bytes);
  CZipReader reader;
  reader.OpenArchive(u"\\e.zip", 1, 0);
  EXPECT_EQ(reader.Directory().GetCount(), 0);
}

TEST(ZipDirectory, TruncatedOrDamagedDirectory) {
  FakeDevice device;
  BuiltArchive a = TwoFiles().Build();
  std::string bytes = a.bytes;
  PutU16(bytes, a.endOffset + 10, 3);  // one header more than there is
  std::u16string name;
  device.files.Put("\\t.zip", bytes);
  CZipReader reader;
  EXPECT_EQ(ErrorCode([&] { reader.OpenArchive(u"\\t.zip", 1, 0); }, &name), ErrBadArchive);
  EXPECT_EQ(name, u"\\t.zip");
  bytes = a.bytes;
  bytes[a.centralOffsets[1] + 2] = 9;  // spoilt central signature
  EXPECT_EQ(OpenCode(device, bytes), ErrBadArchive);
}

TEST(ZipDirectory, SortsByLocalHeaderAndRefusesDuplicates) {
  FakeDevice device;
  ZipBuilder b = TwoFiles();
  b.reverseCentral = true;
  BuiltArchive a = b.Build();
  device.files.Put("\\t.zip", a.bytes);
  {
    CZipReader reader;
    reader.OpenArchive(u"\\t.zip", 1, 0);
    CZipEntryHeader header;
    ASSERT_TRUE(reader.GetEntryInfo(header, 0));
    EXPECT_EQ(header.GetEntryName(), u"a.txt");
  }
  std::string bytes = a.bytes;
  PutU32(bytes, a.centralOffsets[1] + 42, 0);  // both name the first local header
  device.files.Put("\\t.zip", bytes);
  CZipReader reader;
  std::u16string name = u"x";
  EXPECT_EQ(ErrorCode([&] { reader.OpenArchive(u"\\t.zip", 1, 0); }, &name), ErrBadArchive);
  EXPECT_TRUE(name.empty());
}

TEST(ZipReader, OpenArchiveTwiceAndPasswordReset) {
  FakeDevice device;
  device.files.Put("\\t.zip", TwoFiles().Build().bytes);
  ZipBuilder other;
  other.entries.push_back({.name = "only"});
  device.files.Put("\\u.zip", other.Build().bytes);
  CZipReader reader;
  CZipEntryHeader header;
  EXPECT_FALSE(reader.GetEntryInfo(header, 0)) << "closed archive";
  EXPECT_TRUE(reader.SetPassword(u"secret"));
  reader.OpenArchive(u"\\t.zip", 1, 0);
  EXPECT_TRUE(reader.Password().IsEmpty()) << "opening clears the password";
  reader.OpenArchive(u"\\u.zip", 1, 0);
  EXPECT_EQ(reader.Directory().GetCount(), 2) << "the first archive stays open";
  EXPECT_TRUE(reader.SetPassword(u""));
  EXPECT_TRUE(reader.Password().IsEmpty());
  EXPECT_FALSE(reader.SetPassword(u"\u20AC")) << "not in the code page";
}

}  // namespace
