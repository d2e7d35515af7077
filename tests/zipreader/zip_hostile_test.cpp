// Archives whose records lie to the reader, and names and attributes written by
// archivers other than Info-ZIP on DOS: each is refused as damaged or read the
// way its writer meant.
#include <gtest/gtest.h>

#include "tests/zipreader/fake_file_system.h"
#include "tests/zipreader/zip_builder.h"
#include "tests/zipreader/zip_test_util.h"

namespace {

using namespace zip_test;

TEST(ZipHostile, StoredEntryWhoseSizesDisagreeIsDamaged) {
  FakeDevice device;
  ZipBuilder b;
  // A whole buffer of data, then more than a buffer that the archive does
  // hold (the entries after it): the copy loop used to wait there for ever.
  b.entries.push_back({.name = "a.bin", .data = Pseudorandom(65536, 1), .method = 0});
  b.entries.push_back({.name = "e.bin", .data = "x", .method = 0, .encrypt = true});
  b.entries.push_back({.name = "z.bin", .data = Pseudorandom(140000, 2), .method = 0});
  b.password = ".TORVA.";
  BuiltArchive built = b.Build();
  // The compressed size of the first entry, one buffer and more too large, in
  // both headers; and an encrypted one whose 12-byte header is not counted.
  for (uint32_t at : {built.localOffsets[0] + 18, built.centralOffsets[0] + 20}) {
    PutU32(built.bytes, at, 65536 + 65536 + 10);
  }
  for (uint32_t at : {built.localOffsets[1] + 18, built.centralOffsets[1] + 20}) {
    PutU32(built.bytes, at, 1);
  }
  device.files.Put("\\t.zip", built.bytes);
  CZipReader reader;
  reader.OpenArchive(u"\\t.zip", 1, 0);
  reader.SetPassword(u".TORVA.");
  for (uint16_t index : {0, 1}) {
    EXPECT_EQ(ErrorCode([&] { reader.ExtractEntry(index, u"\\out", true, nullptr, 65536); }),
              ErrBadArchive);
    reader.CloseEntry(nullptr, true);
  }
}

TEST(ZipHostile, EndRecordCountingFewerEntriesThanTheDirectoryHolds) {
  FakeDevice device;
  ZipBuilder b;
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) b.entries.push_back({.name = name});
  BuiltArchive built = b.Build();
  PutU16(built.bytes, built.endOffset + 8, 1);
  PutU16(built.bytes, built.endOffset + 10, 1);
  device.files.Put("\\t.zip", built.bytes);
  CZipReader reader;
  EXPECT_EQ(ErrorCode([&] { reader.OpenArchive(u"\\t.zip", 1, 0); }), ErrBadArchive);

}

TEST(ZipHostile, Utf8NamesAndUnixFolderEntries) {
  FakeDevice device;
  ZipBuilder b;
  // "Ä.txt" in UTF-8 with bit 11, and the same bytes without it (code page).
  b.entries.push_back({.name = "\xC3\x84.txt", .extraFlags = 0x0800});
  b.entries.push_back({.name = "\xC3\x84.bin"});
  // Made on Unix without a mode: only the DOS folder bit; and a folder name
  // whose attributes claim a regular file.
  b.entries.push_back({.name = "dir/", .externalAttr = 0x10});
  b.entries.push_back({.name = "other/", .externalAttr = 0x81A40000});
  b.entries.push_back({.name = "dir/f.txt", .data = "below", .externalAttr = 0x20});
  device.files.Put("\\t.zip", b.Build().bytes);
  CZipReader reader;
  reader.OpenArchive(u"\\t.zip", 1, 0);
  CZipEntryHeader header;
  ASSERT_TRUE(reader.GetEntryInfo(header, 0));
  EXPECT_EQ(header.GetEntryName(), u"\u00C4.txt");
  ASSERT_TRUE(reader.GetEntryInfo(header, 1));
  EXPECT_EQ(header.GetEntryName(), u"\u00C3\u0084.bin");
  for (unsigned i = 0; i < 5; ++i) {
    ASSERT_TRUE(reader.ExtractEntry(static_cast<uint16_t>(i), u"\\out", true, nullptr, 65536))
        << i;
  }
  EXPECT_TRUE(device.files.Node("\\out\\dir")->directory);
  EXPECT_EQ(device.files.Node("\\out\\dir")->attributes, platform::FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_TRUE(device.files.Node("\\out\\other")->directory);
  EXPECT_EQ(device.files.Get("\\out\\dir\\f.txt"), "below");
  EXPECT_EQ(device.files.Node("\\out\\dir\\f.txt")->attributes, platform::FILE_ATTRIBUTE_ARCHIVE);
}

}  // namespace
