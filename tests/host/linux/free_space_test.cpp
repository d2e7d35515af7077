// The free room of the simulated drive, holding a file against writers, and
// telling an open file from another of the same name.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "host/linux/file_system.h"
#include "tests/support/device_root.h"

namespace {

using namespace platform;
using namespace host;
using TempDeviceRoot = test_support::DeviceRoot;

TEST(FreeSpace, CapacityLessWhatTheFilesHoldElseTheHostsRoom) {
  TempDeviceRoot device;
  device.Write("fs/Card/a.bin", std::string(300, 'a'));
  LinuxFileSystem limited{device.root(), 1000};
  uint64_t free = 0;
  ASSERT_TRUE(limited.GetFreeBytes(u"\\card", &free));
  EXPECT_EQ(free, 700u);
  // Files written outside the kit count as soon as the room is asked for.
  device.Write("fs/b.bin", std::string(200, 'b'));
  ASSERT_TRUE(limited.GetFreeBytes(u"\\", &free));
  EXPECT_EQ(free, 500u);
  EXPECT_FALSE(limited.GetFreeBytes(u"\\missing", &free));

  LinuxFileSystem host{device.root(), 0};
  ASSERT_TRUE(host.GetFreeBytes(u"\\Card", &free));
  EXPECT_GT(free, 0u);
}

TEST(FreeSpace, AFileHeldForReadingKeepsWritersWaiting) {
  TempDeviceRoot device;
  device.Write("fs/p.zip", "package");
  LinuxFileSystem files{device.root(), 0};
  auto held = files.Open(u"\\p.zip", AccessRead, Disposition::OpenExisting);
  ASSERT_NE(held, nullptr);
  ASSERT_TRUE(held->DenyWriters());
  // A writer that will not wait is turned away, as a sharing violation is.
  const int fd = open((device.fs() / "p.zip").c_str(), O_WRONLY | O_NONBLOCK);
  EXPECT_EQ(fd, -1);
  held.reset();
  const int after = open((device.fs() / "p.zip").c_str(), O_WRONLY | O_NONBLOCK);
  EXPECT_GE(after, 0) << "closing the handle lets writers in";
  if (after >= 0) close(after);
}

// A second open of a package is of the same file only while no other file
// was renamed over its name.
TEST(FreeSpace, OpenFilesTellWhetherTheyAreTheSameFile) {
  TempDeviceRoot device;
  device.Write("fs/Card/p.zip", "first");
  device.Write("fs/Card/other.zip", "other");
  LinuxFileSystem files{device.root(), 0};
  auto held = files.Open(u"\\Card\\P.ZIP", AccessRead, Disposition::OpenExisting);
  auto again = files.Open(u"\\Card\\p.zip", AccessRead, Disposition::OpenExisting);
  ASSERT_TRUE(held && again);
  FileIdentity a, b, c;
  ASSERT_TRUE(held->GetIdentity(&a) && again->GetIdentity(&b));
  EXPECT_EQ(a, b);
  std::filesystem::rename(device.fs() / "Card" / "other.zip", device.fs() / "Card" / "p.zip");
  auto replaced = files.Open(u"\\Card\\p.zip", AccessRead, Disposition::OpenExisting);
  ASSERT_TRUE(replaced && replaced->GetIdentity(&c));
  EXPECT_FALSE(a == c);
}

}  // namespace
