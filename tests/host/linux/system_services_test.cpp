#include "host/linux/system_services.h"

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/text.h"
#include "tests/support/device_root.h"

namespace {

using namespace platform;
using namespace host;
using TempDeviceRoot = test_support::DeviceRoot;

// Runs CreateNamedMutex in a child process and returns what it got.
MutexResult CreateInChild(const std::filesystem::path& root, std::u16string_view name) {
  const pid_t child = fork();
  if (child == 0) {
    LinuxSystemServices services(root);
    _exit(static_cast<int>(services.CreateNamedMutex(name)));
  }
  int status = 0;
  waitpid(child, &status, 0);
  return static_cast<MutexResult>(WEXITSTATUS(status));
}

TEST(LinuxSystemServices, SecondAcquisitionFromAnotherProcessFails) {
  TempDeviceRoot device;
  EXPECT_EQ(CreateInChild(device.root(), u"VKMORAN3_SHELLFIT"), MutexResult::Created);
  {
    LinuxSystemServices services(device.root());
    ASSERT_EQ(services.CreateNamedMutex(u"VKMORAN3_SHELLFIT"), MutexResult::Created);
    EXPECT_TRUE(std::filesystem::exists(device.root() / ".locks" / "VKMORAN3_SHELLFIT"));
    EXPECT_EQ(CreateInChild(device.root(), u"VKMORAN3_SHELLFIT"), MutexResult::AlreadyExists);
    EXPECT_EQ(CreateInChild(device.root(), u"VKMORAN3_IMAGEFIT"), MutexResult::Created);
    // Within the process a second creation also finds it taken.
    EXPECT_EQ(services.CreateNamedMutex(u"VKMORAN3_SHELLFIT"), MutexResult::AlreadyExists);
  }
  // The holder is gone, and so is its lock.
  EXPECT_EQ(CreateInChild(device.root(), u"VKMORAN3_SHELLFIT"), MutexResult::Created);
}

TEST(LinuxSystemServices, MutexNamesStayInsideTheLockFolder) {
  TempDeviceRoot device;
  LinuxSystemServices services(device.root());
  EXPECT_EQ(services.LockPath(u"../a/b%"), device.root() / ".locks" / "..%2Fa%2Fb%25");
  EXPECT_EQ(services.CreateNamedMutex(u"../escape"), MutexResult::Created);
  EXPECT_FALSE(std::filesystem::exists(device.root() / "escape"));
}

TEST(LinuxSystemServices, NoLocksOutsideAMissingRoot) {
  TempDeviceRoot parent;
  const auto missing = parent.root() / "missing";
  LinuxSystemServices services(missing);
  EXPECT_EQ(services.CreateNamedMutex(u"X"), MutexResult::Failed);
  EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST(LinuxSystemServices, ModulePathOnlyForProgramsOnTheDevice) {
  TempDeviceRoot device;
  LinuxSystemServices services(device.root());
  EXPECT_EQ(services.ModuleFileName(), std::nullopt);  // the test runs from the build tree

  // A device root whose file system is the folder this program runs from.
  const auto self = std::filesystem::read_symlink("/proc/self/exe");
  TempDeviceRoot around;
  std::filesystem::remove(around.fs());
  std::filesystem::create_directory_symlink(self.parent_path(), around.fs());
  LinuxSystemServices onDevice(around.root());
  EXPECT_EQ(onDevice.ModuleFileName(), u"\\" + platform::FromUtf8(self.filename().string()));
}

}  // namespace
