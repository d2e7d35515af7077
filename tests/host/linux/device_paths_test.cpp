#include "host/linux/device_paths.h"

#include <gtest/gtest.h>

#include "platform/text.h"
#include "tests/support/device_root.h"

namespace {

namespace fs = std::filesystem;
using host::DevicePaths;
using TempDeviceRoot = test_support::DeviceRoot;

class DevicePathsTest : public ::testing::Test {
 protected:
  TempDeviceRoot device;
  TempDeviceRoot outside;  // a folder that is not part of the device
  host::DevicePaths paths{device.root()};
};

TEST_F(DevicePathsTest, MatchesLetterCaseLooselyAndExactMatchWins) {
  device.Write("fs/Flash Disk/Readme.TXT", "x");
  device.Write("fs/Flash Disk/readme.txt", "y");
  device.Write("fs/Flash Disk/Only.Me", "z");
  EXPECT_EQ(paths.ResolveExisting(u"\\flash disk\\readme.txt"),
            device.fs() / "Flash Disk" / "readme.txt");
  EXPECT_EQ(paths.ResolveExisting(u"\\FLASH DISK\\Readme.TXT"),
            device.fs() / "Flash Disk" / "Readme.TXT");
  EXPECT_EQ(paths.ResolveExisting(u"/FLASH DISK/only.me"), device.fs() / "Flash Disk" / "Only.Me");
  // Without a leading separator the path still starts at the root.
  EXPECT_EQ(paths.ResolveExisting(u"Flash Disk\\ONLY.ME"), device.fs() / "Flash Disk" / "Only.Me");
  EXPECT_FALSE(paths.ResolveExisting(u"\\Flash Disk\\missing"));
}

TEST_F(DevicePathsTest, NonAsciiNamesFoldCasePerUnit) {
  device.Write("fs/\xC3\x84rger.txt", "x");  // "Ärger.txt"
  EXPECT_EQ(paths.ResolveExisting(u"\\\u00E4RGER.TXT"), device.fs() / "\xC3\x84rger.txt");
}

TEST_F(DevicePathsTest, NewLastComponentKeepsTheCaseGiven) {
  device.Write("fs/Storage Card/x", "");
  EXPECT_EQ(paths.ResolveForCreate(u"\\storage card\\New File.BIN"),
            device.fs() / "Storage Card" / "New File.BIN");
  EXPECT_EQ(paths.ResolveForCreate(u"\\STORAGE CARD\\X"), device.fs() / "Storage Card" / "x");
  EXPECT_FALSE(paths.ResolveForCreate(u"\\No Folder\\a.txt"));
  EXPECT_FALSE(paths.ResolveForCreate(u"\\"));
}

TEST_F(DevicePathsTest, DotComponentsNeverResolve) {
  device.Write("fs/A/b.txt", "x");
  device.Write("secret.txt", "outside fs, inside the root");
  for (const char16_t* path : {u"\\A\\..\\A\\b.txt", u"\\..\\secret.txt", u"\\A\\.\\b.txt",
                               u"\\A\\..", u"\\.", u"..\\device.ini"}) {
    EXPECT_FALSE(paths.ResolveExisting(path)) << platform::ToUtf8(path);
    EXPECT_FALSE(paths.ResolveForCreate(path));
  }
}

TEST_F(DevicePathsTest, LinksLeavingTheFileSystemNeverResolve) {
  outside.Write("target/file.txt", "x");
  device.Write("fs/inside/ok.txt", "y");
  fs::create_directory_symlink(outside.root() / "target", device.fs() / "out");
  fs::create_symlink(outside.root() / "target" / "file.txt", device.fs() / "outfile");
  fs::create_symlink(outside.root() / "new.txt", device.fs() / "dangling");
  fs::create_directory_symlink("inside", device.fs() / "alias");
  EXPECT_FALSE(paths.ResolveExisting(u"\\out\\file.txt"));
  EXPECT_FALSE(paths.ResolveForCreate(u"\\out\\created.txt"));
  EXPECT_FALSE(paths.ResolveExisting(u"\\outfile"));
  EXPECT_FALSE(paths.ResolveForCreate(u"\\OUTFILE"));
  // A dangling link counts by where it points: creating through it would
  // create outside.
  EXPECT_FALSE(paths.ResolveForCreate(u"\\dangling"));
  EXPECT_EQ(paths.ResolveExisting(u"\\alias\\ok.txt"), device.fs() / "alias" / "ok.txt");
  EXPECT_FALSE(fs::exists(outside.root() / "new.txt"));
}

TEST_F(DevicePathsTest, LinksInsideResolveWhereverTheyLead) {
  outside.Write("target/file.txt", "x");
  device.Write("fs/inside/ok.txt", "y");
  device.Write("fs/plain.txt", "z");
  fs::create_directory_symlink("inside", device.fs() / "alias");
  fs::create_directory_symlink("alias", device.fs() / "chain");  // a link to a link
  fs::create_directory_symlink(outside.root() / "target", device.fs() / "inside" / "out");
  fs::create_symlink("plain.txt", device.fs() / "filelink");
  fs::create_symlink("inside/missing.txt", device.fs() / "dangling");
  fs::create_symlink("loop2", device.fs() / "loop1");
  fs::create_symlink("loop1", device.fs() / "loop2");

  EXPECT_EQ(paths.ResolveExisting(u"\\CHAIN\\ok.txt"), device.fs() / "chain" / "ok.txt");
  EXPECT_EQ(paths.ResolveExisting(u"\\filelink"), device.fs() / "filelink");
  // A link inside a linked folder that leads out is still refused.
  EXPECT_FALSE(paths.ResolveExisting(u"\\alias\\out\\file.txt"));
  EXPECT_FALSE(paths.ResolveForCreate(u"\\chain\\out\\new.txt"));
  EXPECT_FALSE(paths.ResolveExisting(u"\\alias\\out"));
  // A link to a file is no folder.
  EXPECT_FALSE(paths.ResolveExisting(u"\\filelink\\x"));
  EXPECT_FALSE(paths.ResolveForCreate(u"\\plain.txt\\x"));
  // A link that dangles inside names nothing yet, but may be created through.
  EXPECT_FALSE(paths.ResolveExisting(u"\\dangling"));
  EXPECT_EQ(paths.ResolveForCreate(u"\\DANGLING"), device.fs() / "dangling");
  // A loop of links leads nowhere.
  EXPECT_FALSE(paths.ResolveExisting(u"\\loop1"));
  EXPECT_FALSE(paths.ResolveForCreate(u"\\loop1"));
  EXPECT_FALSE(paths.ResolveExisting(u"\\loop2\\x"));
}

TEST_F(DevicePathsTest, HostPathsMapBackToDevicePaths) {
  device.Write("fs/Storage Card/shellfit", "x");
  outside.Write("tool", "y");
  EXPECT_EQ(paths.ToDevicePath(device.fs() / "Storage Card" / "shellfit"),
            u"\\Storage Card\\shellfit");
  EXPECT_EQ(paths.ToDevicePath(device.fs()), u"\\");
  EXPECT_FALSE(paths.ToDevicePath(outside.root() / "tool"));
  EXPECT_FALSE(paths.ToDevicePath(device.root() / "device.ini"));
  EXPECT_FALSE(paths.ToDevicePath(device.fs() / ".." / "device.ini"));
}

}  // namespace
