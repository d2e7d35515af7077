// Names and attributes written by archivers other than Info-ZIP on DOS, read
// the way their writers meant. (Records that lie about sizes and counts are
// tried with the real program in tests/shellfit/reliability_program_test.cpp.)
#include <gtest/gtest.h>

#include "tests/zipreader/fake_device.h"
#include "tests/zipreader/zip_builder.h"
#include "tests/zipreader/zip_test_util.h"

namespace {

using namespace zip_test;

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
    ASSERT_TRUE(reader.ExtractEntry(static_cast<uint16_t>(i), u"\\out", true, nullptr, 65536)) << i;
  }
  EXPECT_TRUE(device.files.Node("\\out\\dir")->directory);
  EXPECT_EQ(device.files.Node("\\out\\dir")->attributes, platform::FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_TRUE(device.files.Node("\\out\\other")->directory);
  EXPECT_EQ(device.files.Get("\\out\\dir\\f.txt"), "below");
  EXPECT_EQ(device.files.Node("\\out\\dir\\f.txt")->attributes, platform::FILE_ATTRIBUTE_ARCHIVE);
}

}  // namespace
