// The folder that took the last extracted file is not looked up again for the
// next one: a folder that went away between two entries is made again.
#include <gtest/gtest.h>

#include "tests/zipreader/fake_device.h"
#include "tests/zipreader/zip_builder.h"
#include "tests/zipreader/zip_test_util.h"

namespace {

using namespace zip_test;

TEST(ExtractFolder, AFolderRemovedBetweenTwoEntriesIsMadeAgain) {
  FakeDevice device;
  ZipBuilder b;
  for (const char* name : {"d/a.txt", "d/b.txt", "d/c.txt", "e/f.txt"}) {
    b.entries.push_back({.name = name, .data = name});
  }
  device.files.Put("\\t.zip", b.Build().bytes);
  CZipReader reader;
  reader.OpenArchive(u"\\t.zip", 1, 0);
  EXPECT_TRUE(reader.ExtractEntry(0, u"\\o", true, nullptr, 65536));
  EXPECT_TRUE(reader.ExtractEntry(1, u"\\o", true, nullptr, 65536));
  EXPECT_EQ(device.files.createdDirectories.size(), 2u) << "\\o and \\o\\d, once each";

  ASSERT_TRUE(device.files.DeleteFile(u"\\o\\d\\a.txt"));
  ASSERT_TRUE(device.files.DeleteFile(u"\\o\\d\\b.txt"));
  ASSERT_TRUE(device.files.RemoveDirectory(u"\\o\\d"));
  EXPECT_TRUE(reader.ExtractEntry(2, u"\\o", true, nullptr, 65536));
  EXPECT_EQ(device.files.Get("\\o\\d\\c.txt"), "d/c.txt");
  ASSERT_EQ(device.files.createdDirectories.size(), 3u);
  EXPECT_EQ(device.files.createdDirectories[2], "o\\d");

  EXPECT_TRUE(reader.ExtractEntry(3, u"\\o", true, nullptr, 65536));
  EXPECT_EQ(device.files.Get("\\o\\e\\f.txt"), "e/f.txt");
}

}  // namespace
