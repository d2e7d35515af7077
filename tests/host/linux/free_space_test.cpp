// The free room of the simulated drive, and holding a file against writers.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "host/linux/file_system.h"
#include "tests/support/device_root.h"

namespace {

using namespace platform;
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

}  // namespace
