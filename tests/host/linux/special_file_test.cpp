// Only regular files open as files: a named pipe where a file is expected
// fails at once instead of blocking the kit.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "host/linux/file_system.h"
#include "tests/support/device_root.h"

namespace {

using namespace platform;
using namespace host;
using TempDeviceRoot = test_support::DeviceRoot;

TEST(SpecialFiles, NamedPipeNeverOpensNorBlocks) {
  TempDeviceRoot device;
  LinuxFileSystem files{device.root(), 0};
  ASSERT_EQ(mkfifo((device.fs() / "Pipe").c_str(), 0666), 0);
  std::filesystem::create_symlink("Pipe", device.fs() / "to-pipe");
  for (const char16_t* path : {u"\\pipe", u"\\to-pipe"}) {
    for (const auto disposition :
         {Disposition::OpenExisting, Disposition::OpenAlways, Disposition::CreateAlways}) {
      EXPECT_EQ(files.Open(path, AccessRead, disposition), nullptr);
      EXPECT_EQ(files.Open(path, AccessWrite, disposition), nullptr);
    }
  }
  // Still there and still a pipe: nothing was created over it.
  struct stat info {};
  ASSERT_EQ(lstat((device.fs() / "Pipe").c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
  EXPECT_NE(files.GetAttributes(u"\\PIPE"), kInvalidAttributes);
}

}  // namespace
