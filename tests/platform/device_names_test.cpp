// The names the device allows, and the simulated file system refusing to
// create what the device would refuse, so a rehearsal fails where the
// device would.
#include <gtest/gtest.h>

#include <filesystem>

#include "host/linux/file_system.h"
#include "platform/device_names.h"
#include "tests/support/device_root.h"

namespace platform {
namespace {

using TempDeviceRoot = test_support::DeviceRoot;

TEST(DeviceNames, ReservedCharactersAndControlCharactersAreRefused) {
  for (const char16_t* good : {u"a.txt", u"Flash Disk", u"x y (1).bin", u"\u00c4rger", u"..a"}) {
    EXPECT_TRUE(IsValidDeviceName(good)) << std::filesystem::path(good);
  }
  for (const char16_t* bad : {u"", u"a:b", u"a*", u"?", u"\"q\"", u"<x", u"x>", u"a|b", u"a\\b",
                              u"a/b", u"tab\there", u"\u001f", u"nl\n"}) {
    EXPECT_FALSE(IsValidDeviceName(bad)) << std::filesystem::path(bad);
  }
  EXPECT_FALSE(IsValidDeviceName(std::u16string(u"a\0b", 3)));
}

TEST(DeviceNames, TheFileSystemCreatesNoNameTheDeviceRefuses) {
  TempDeviceRoot device;
  host::LinuxFileSystem files(device.root(), 0);
  for (const char16_t* bad : {u"\\a:b.txt", u"\\q?", u"\\pipe|", u"\\c\u0001"}) {
    for (const Disposition how :
         {Disposition::CreateNew, Disposition::CreateAlways, Disposition::OpenAlways}) {
      EXPECT_EQ(files.Open(bad, AccessWrite, how), nullptr) << std::filesystem::path(bad);
    }
    EXPECT_FALSE(files.CreateDirectory(bad)) << std::filesystem::path(bad);
  }
  EXPECT_TRUE(std::filesystem::is_empty(device.fs()));
  EXPECT_NE(files.Open(u"\\good.txt", AccessWrite, Disposition::CreateNew), nullptr);
  EXPECT_TRUE(files.CreateDirectory(u"\\Good Folder"));
}

}  // namespace
}  // namespace platform
