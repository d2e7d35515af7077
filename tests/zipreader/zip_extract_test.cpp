// Reading and extracting entries: methods, encryption, descriptors, damage.
#include <gtest/gtest.h>

#include "tests/zipreader/fake_device.h"
#include "tests/zipreader/zip_builder.h"
#include "tests/zipreader/zip_test_util.h"

namespace {

using namespace zip_test;

class Extract : public ::testing::Test {
 protected:
  BuiltArchive Put(const ZipBuilder& b) {
    BuiltArchive a = b.Build();
    device.files.Put("\\t.zip", a.bytes);
    return a;
  }
  void Open(const std::string& password = "") {
    reader.OpenArchive(u"\\t.zip", 1, 0);
    if (!password.empty()) reader.SetPassword(Wide(password));
  }
  FakeDevice device;
  CZipReader reader;
};

TEST_F(Extract, StoredDeflatedAndBufferMultiples) {
  ZipBuilder b;
  b.entries.push_back({.name = "d/one.txt", .data = std::string(3 * 65536, 'q')});
  b.entries.push_back({.name = "two.bin", .data = Pseudorandom(65536, 1), .method = 0});
  b.entries.push_back({.name = "empty", .data = ""});
  b.entries.push_back({.name = "empty0", .data = "", .method = 0});
  Put(b);
  Open();
  for (uint16_t i = 0; i < 4; ++i) {
    EXPECT_TRUE(reader.ExtractEntry(i, u"\\o", true, nullptr, 65536)) << i;
    EXPECT_EQ(reader.TrackedBlockCount(), 0u) << "inflateEnd gave every block back";
  }
  EXPECT_EQ(device.files.Get("\\o\\d\\one.txt"), b.entries[0].data);
  EXPECT_EQ(device.files.Get("\\o\\two.bin"), b.entries[1].data);
  EXPECT_TRUE(device.files.Has("\\o\\empty"));
  EXPECT_EQ(device.files.Get("\\o\\empty"), "");
  EXPECT_TRUE(device.files.Has("\\o\\empty0"));
  EXPECT_TRUE(reader.ExtractEntry(0, nullptr, true, u"\\copy.txt", 1000));
  EXPECT_EQ(device.files.Get("\\copy.txt"), b.entries[0].data);
}

TEST_F(Extract, TimeAndAttributesFollowTheHeader) {
  ZipBuilder b;
  b.entries.push_back({.name = "ro.txt", .data = "read only", .externalAttr = 0x81240000});
  b.entries.push_back({.name = "dir/", .data = "", .versionMadeBy = 0x0014, .externalAttr = 0});
  Put(b);
  Open();
  EXPECT_TRUE(reader.ExtractEntry(0, u"\\o", true, nullptr, 65536));
  const FakeNode* node = device.files.Node("\\o\\ro.txt");
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->attributes, 0x21u);
  platform::FileTime expected;
  ASSERT_TRUE(platform::SystemTimeToFileTime({2024, 5, 0, 17, 12, 0, 0, 0}, &expected));
  EXPECT_EQ(node->write, expected);
  CZipEntryHeader header;
  reader.GetEntryInfo(header, 1);
  EXPECT_TRUE(header.IsDirectory());
  EXPECT_TRUE(reader.ExtractEntry(1, u"\\o", true, nullptr, 65536));
  EXPECT_EQ(device.files.GetAttributes(u"\\o\\dir"), platform::FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_FALSE(reader.IsEntryOpen());
}

TEST_F(Extract, AttributesThatCannotBeSetGiveMinusTwo) {
  ZipBuilder b;
  b.entries.push_back({.name = "f", .data = "x"});
  Put(b);
  Open();
  device.files.failSetAttributes = true;
  EXPECT_FALSE(reader.ExtractEntry(0, u"\\o", true, nullptr, 65536));
  EXPECT_EQ(device.files.Get("\\o\\f"), "x");
  device.files.failSetAttributes = false;
  device.files.failSetTimes = true;
  ASSERT_TRUE(reader.OpenEntry(0));
  char byte;
  EXPECT_EQ(reader.ReadEntry(&byte, 1), 1u);
  EXPECT_EQ(reader.CloseEntry(u"\\o\\f", false), -2);
  EXPECT_EQ(reader.CloseEntry(nullptr, false), 0) << "nothing open any more";
  device.files.failSetTimes = false;
  ASSERT_TRUE(reader.OpenEntry(0));
  EXPECT_EQ(reader.ReadEntry(&byte, 1), 1u);
  CZipDiskFile unnamed;
  EXPECT_EQ(reader.CloseExtractedFile(unnamed), -2) << "a file without a path takes no time";
  EXPECT_FALSE(reader.IsEntryOpen());
}

// A full drive: the file cannot take the whole entry, so the extraction is
// no success, though the time and attributes could still be set.
TEST_F(Extract, WriteThatFailsIsNoSuccess) {
  ZipBuilder b;
  b.entries.push_back({.name = "big", .data = Pseudorandom(100000, 6)});
  b.entries.push_back({.name = "small", .data = "fits"});
  Put(b);
  Open();
  device.files.maxFileBytes = 50000;
  EXPECT_FALSE(reader.ExtractEntry(0, u"\\o", true, nullptr, 65536));
  EXPECT_LT(device.files.Get("\\o\\big").size(), 100000u);
  EXPECT_FALSE(reader.IsEntryOpen()) << "the entry is still read to its end and closed";
  EXPECT_TRUE(reader.ExtractEntry(1, u"\\o", true, nullptr, 65536));
  device.files.Put("\\o\\sub", "a file where a folder should be");
  EXPECT_FALSE(reader.ExtractEntry(1, u"\\o\\sub", true, nullptr, 65536))
      << "the target cannot be created";
}

TEST_F(Extract, PartialReadGivesMinusOne) {
  ZipBuilder b;
  b.entries.push_back({.name = "f", .data = std::string(1000, 'x')});
  Put(b);
  Open();
  ASSERT_TRUE(reader.OpenEntry(0));
  EXPECT_FALSE(reader.OpenEntry(0)) << "one entry at a time";
  EXPECT_FALSE(reader.SetPassword(u"pw")) << "no password change while reading";
  char bytes[10];
  EXPECT_EQ(reader.ReadEntry(bytes, 10), 10u);
  EXPECT_EQ(reader.CloseEntry(nullptr, false), -1);
  EXPECT_FALSE(reader.OpenEntry(1));
}

TEST_F(Extract, EncryptedEntriesAndPasswords) {
  ZipBuilder b;
  b.password = ".TORVA.";
  b.entries.push_back(
      {.name = "s.bin", .data = Pseudorandom(777, 3), .method = 0, .encrypt = true});
  b.entries.push_back(
      {.name = "d.txt", .data = std::string(70000, 'k'), .encrypt = true, .descriptor = true});
  BuiltArchive a = Put(b);
  Open();
  std::u16string name;
  EXPECT_EQ(ErrorCode([&] { reader.ExtractEntry(0, u"\\o", true, nullptr, 65536); }, &name),
            ErrBadPassword);
  EXPECT_EQ(name, u"\\t.zip");
  reader.SetPassword(u"wrong");
  EXPECT_EQ(ErrorCode([&] { reader.OpenEntry(0); }), ErrBadPassword);
  reader.SetPassword(u".TORVA.");
  CZipEntryHeader header;
  reader.GetEntryInfo(header, 0);
  EXPECT_EQ(header.compressedSize, 777u + 12u);
  EXPECT_TRUE(reader.ExtractEntry(0, u"\\o", true, nullptr, 65536));
  EXPECT_TRUE(reader.ExtractEntry(1, u"\\o", true, nullptr, 4096));
  EXPECT_EQ(device.files.Get("\\o\\s.bin"), b.entries[0].data);
  EXPECT_EQ(device.files.Get("\\o\\d.txt"), b.entries[1].data);
}

TEST_F(Extract, EncryptedEntryShorterThanItsHeaderIsRefused) {
  ZipBuilder b;
  b.password = "pw";
  b.entries.push_back({.name = "s", .data = "abc", .method = 0, .encrypt = true});
  b.entries.push_back({.name = "t", .data = Pseudorandom(100000, 4), .method = 0});
  BuiltArchive a = Put(b);
  std::string bytes = a.bytes;
  PutU32(bytes, a.localOffsets[0] + 18, 5);
  PutU32(bytes, a.centralOffsets[0] + 20, 5);
  device.files.Put("\\t.zip", bytes);
  Open("pw");
  EXPECT_EQ(ErrorCode([&] { reader.ExtractEntry(0, u"\\o", true, nullptr, 65536); }),
            ErrBadArchive);
}

TEST_F(Extract, DescriptorsWithAndWithoutSignature) {
  ZipBuilder b;
  b.entries.push_back({.name = "a", .data = "first", .descriptor = true});
  b.entries.push_back({.name = "b",
                       .data = "second",
                       .method = 0,
                       .descriptor = true,
                       .descriptorSignature = false});
  // Empty but deflated: its two bytes of data must be drained before the
  // descriptor that follows them can be read.
  b.entries.push_back({.name = "e", .data = "", .descriptor = true});
  BuiltArchive a = Put(b);
  Open();
  EXPECT_TRUE(reader.ExtractEntry(0, u"\\o", true, nullptr, 65536));
  EXPECT_TRUE(reader.ExtractEntry(1, u"\\o", true, nullptr, 65536));
  EXPECT_EQ(device.files.Get("\\o\\b"), "second");
  EXPECT_TRUE(reader.ExtractEntry(2, u"\\o", true, nullptr, 65536));
  EXPECT_TRUE(device.files.Has("\\o\\e"));

  std::string bytes = a.bytes;
  PutU32(bytes, a.localOffsets[2] - 4, 0x1234);  // descriptor's uncompressed size of "b"
  device.files.Put("\\t.zip", bytes);
  CZipReader second;
  second.OpenArchive(u"\\t.zip", 1, 0);
  EXPECT_EQ(ErrorCode([&] { second.ExtractEntry(1, u"\\p", true, nullptr, 65536); }),
            ErrBadArchive);
}

TEST_F(Extract, LocalHeaderMustAgreeWithCentral) {
  ZipBuilder b;
  b.entries.push_back({.name = "a", .data = "text", .method = 0});
  BuiltArchive a = Put(b);
  std::string bytes = a.bytes;
  PutU32(bytes, a.localOffsets[0] + 14, 1);  // local CRC differs
  device.files.Put("\\t.zip", bytes);
  Open();
  EXPECT_EQ(ErrorCode([&] { reader.OpenEntry(0); }), ErrBadArchive);
  CZipReader other;
  bytes = a.bytes;
  PutU16(bytes, a.localOffsets[0] + 8, 12);
  PutU16(bytes, a.centralOffsets[0] + 10, 12);
  device.files.Put("\\t.zip", bytes);
  other.OpenArchive(u"\\t.zip", 1, 0);
  EXPECT_EQ(ErrorCode([&] { other.OpenEntry(0); }), ErrBadArchive) << "method 12";
}

TEST_F(Extract, FlagsTakenFromLocalHeaderOnlyForLowBits) {
  ZipBuilder b;
  b.entries.push_back({.name = "a", .data = "text", .method = 0, .extraFlags = 0x0800});
  BuiltArchive a = Put(b);
  std::string bytes = a.bytes;
  PutU16(bytes, a.localOffsets[0] + 6, 0);  // differs in bit 11 only
  device.files.Put("\\t.zip", bytes);
  Open();
  ASSERT_TRUE(reader.OpenEntry(0));
  EXPECT_EQ(reader.Directory().CurrentHeader()->flags, 0x0800);
  reader.CloseEntry(nullptr, true);
}

TEST_F(Extract, CrcMismatchRaisesAfterTheFileIsWritten) {
  ZipBuilder b;
  b.entries.push_back({.name = "a", .data = std::string(5000, 'r')});
  b.entries.push_back({.name = "s", .data = Pseudorandom(5000, 6), .method = 0});
  BuiltArchive a = Put(b);
  std::string bytes = a.bytes;
  for (int i : {0, 1}) {
    PutU32(bytes, a.localOffsets[i] + 14, 0xDEAD);
    PutU32(bytes, a.centralOffsets[i] + 16, 0xDEAD);
  }
  device.files.Put("\\t.zip", bytes);
  Open();
  EXPECT_EQ(ErrorCode([&] { reader.ExtractEntry(0, u"\\o", true, nullptr, 65536); }), ErrBadCrc);
  EXPECT_EQ(device.files.Get("\\o\\a"), b.entries[0].data);
  EXPECT_TRUE(reader.IsEntryOpen());
  EXPECT_GT(reader.TrackedBlockCount(), 0u) << "the stream is not ended after the error";
  EXPECT_EQ(reader.CloseEntry(nullptr, true), 1);
  EXPECT_FALSE(reader.IsEntryOpen());
  EXPECT_EQ(reader.TrackedBlockCount(), 0u) << "inflate's memory freed without inflateEnd";
  EXPECT_EQ(ErrorCode([&] { reader.ExtractEntry(1, u"\\o", true, nullptr, 65536); }), ErrBadCrc)
      << "stored data";
  EXPECT_EQ(reader.CloseEntry(nullptr, true), 1);
}

// The entry stays open after the error; the fixture's reader is destroyed
// with inflate's memory still held, which leak checkers must see returned.
TEST_F(Extract, DamagedDeflateData) {
  ZipBuilder b;
  b.entries.push_back({.name = "a", .data = Pseudorandom(3000, 5) + std::string(3000, 'a')});
  BuiltArchive a = Put(b);
  std::string bytes = a.bytes;
  for (int i = 0; i < 8; ++i) bytes[a.dataOffsets[0] + i] = static_cast<char>(0xFF);
  device.files.Put("\\t.zip", bytes);
  Open();
  EXPECT_EQ(ErrorCode([&] { reader.ExtractEntry(0, u"\\o", true, nullptr, 65536); }),
            ErrInflateData);
}

// Sizes that claim more than the data holds: inflate gets one extra byte and
// then an error, and a stored entry is not padded with what follows it.
TEST_F(Extract, DataShorterThanItsSizesIsNotReadPast) {
  ZipBuilder b;
  b.entries.push_back({.name = "a", .data = Pseudorandom(4000, 8)});
  b.entries.push_back({.name = "b", .data = "stored data", .method = 0});
  b.entries.push_back({.name = "c", .data = Pseudorandom(100000, 9), .method = 0});
  BuiltArchive a = Put(b);
  std::string bytes = a.bytes;
  // Deflate data cut short: the central and local sizes say so.
  uint32_t compressed = a.localOffsets[1] - a.dataOffsets[0];
  PutU32(bytes, a.localOffsets[0] + 18, compressed - 100);
  PutU32(bytes, a.centralOffsets[0] + 20, compressed - 100);
  // Stored entry claiming more uncompressed bytes than its compressed size.
  PutU32(bytes, a.localOffsets[1] + 22, 20);
  PutU32(bytes, a.centralOffsets[1] + 24, 20);
  device.files.Put("\\t.zip", bytes);
  Open();
  // The rest of the deflate data follows in the archive: it must not be read.
  EXPECT_EQ(ErrorCode([&] { reader.ExtractEntry(0, u"\\o", true, nullptr, 65536); }),
            ErrBadArchive);
  reader.CloseEntry(nullptr, true);
  EXPECT_EQ(ErrorCode([&] { reader.ExtractEntry(1, u"\\o", true, nullptr, 65536); }),
            ErrBadArchive);
}

TEST_F(Extract, BufferSizeZeroAndUnusableNames) {
  ZipBuilder b;
  b.entries.push_back({.name = "../../escape", .data = "x"});
  b.entries.push_back({.name = "..", .data = "y"});
  b.entries.push_back({.name = std::string(300, 'n'), .data = "z"});
  Put(b);
  Open();
  EXPECT_FALSE(reader.ExtractEntry(0, nullptr, true, nullptr, 0));
  EXPECT_FALSE(reader.ExtractEntry(0, u"\\o", true, nullptr, 0));
  EXPECT_FALSE(reader.IsEntryOpen());
  EXPECT_TRUE(reader.ExtractEntry(0, u"\\o\\in", true, nullptr, 65536));
  EXPECT_EQ(device.files.Get("\\o\\in\\escape"), "x");
  EXPECT_FALSE(device.files.Has("\\escape"));
  EXPECT_FALSE(reader.ExtractEntry(1, u"\\o\\in", true, nullptr, 65536));
  EXPECT_FALSE(reader.ExtractEntry(2, u"\\o", true, nullptr, 65536)) << "past the path limit";
  EXPECT_EQ(device.files.FileCount(), 2u);  // the archive and "escape"
  EXPECT_FALSE(reader.ExtractEntry(7, u"\\o", true, nullptr, 65536)) << "no such entry";
}

// A folder entry with nothing left below the target folder stands for the
// folder itself: made when missing, true, its attributes untouched.
TEST_F(Extract, FolderEntryWithoutPathIsTheFolderItself) {
  ZipBuilder b;
  b.entries.push_back({.name = "dir/", .data = "", .versionMadeBy = 0x0014, .externalAttr = 0});
  b.entries.push_back({.name = "../",
                       .data = "",
                       .versionMadeBy = 0x0314,
                       .externalAttr = 0x416D0010});  // dr-xr-xr-x
  Put(b);
  Open();
  EXPECT_TRUE(reader.ExtractEntry(0, u"\\flat", false, nullptr, 65536));
  EXPECT_EQ(device.files.GetAttributes(u"\\flat"), platform::FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_FALSE(device.files.Has("\\flat\\dir")) << "the path was not asked for";
  EXPECT_TRUE(reader.ExtractEntry(0, nullptr, false, nullptr, 65536));
  EXPECT_TRUE(reader.ExtractEntry(1, u"\\in", true, nullptr, 65536));
  EXPECT_EQ(device.files.GetAttributes(u"\\in"), platform::FILE_ATTRIBUTE_DIRECTORY)
      << "the archive does not make the caller's folder read-only";
  EXPECT_EQ(device.files.Keys(), (std::vector<std::string>{"flat", "in", "t.zip"}));
}

TEST_F(Extract, AbandonedEntryIsReleasedByTheDestructor) {
  ZipBuilder b;
  b.entries.push_back({.name = "a", .data = std::string(200000, 'w')});
  Put(b);
  auto abandoned = std::make_unique<CZipReader>();
  abandoned->OpenArchive(u"\\t.zip", 1, 0);
  ASSERT_TRUE(abandoned->OpenEntry(0));
  char bytes[100];
  EXPECT_EQ(abandoned->ReadEntry(bytes, 100), 100u);
  EXPECT_GT(abandoned->TrackedBlockCount(), 0u);
  abandoned.reset();  // leak checkers see inflate's memory come back
}

}  // namespace
