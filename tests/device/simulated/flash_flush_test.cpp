// The simulated driver's stores reach the medium before it answers. The test
// binary is linked with fsync and renameat wrapped, so every call is noted in
// order with the name it concerned.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "device/simulated/flash.h"
#include "platform/flash_protocol.h"
#include "tests/support/bin_images.h"
#include "tests/support/temp_folder.h"

namespace {

std::vector<std::string>& Calls() {
  static std::vector<std::string> calls;
  return calls;
}

std::string NameOf(int fd) {
  std::error_code error;
  const auto path = std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), error);
  return error ? "?" : path.filename().string();
}

}  // namespace

extern "C" {
int __real_fsync(int fd);
int __real_renameat(int fromFolder, const char* from, int toFolder, const char* to);

int __wrap_fsync(int fd) {
  Calls().push_back("fsync " + NameOf(fd));
  return __real_fsync(fd);
}

int __wrap_renameat(int fromFolder, const char* from, int toFolder, const char* to) {
  Calls().push_back(std::string("rename ") + from + " " + to);
  return __real_renameat(fromFolder, from, toFolder, to);
}
}

namespace simulated_test {
namespace {

using namespace platform::protocol;
using namespace test_support;

// The staged file flushed, renamed over its name, then the folder flushed.
std::vector<std::string> DurableStore(const std::string& name) {
  const std::string staged = "." + name + ".new-" + std::to_string(::getpid());
  return {"fsync " + staged, "rename " + staged + " " + name, "fsync flash"};
}

TEST(SimulatedFlashDurability, EveryStoreIsFlushedBeforeAndAfterItsRename) {
  TempFolder folder;
  device::SimulatedFlash flash(folder.path() / "flash", 5);
  const auto send = [&flash](uint32_t code, const Bytes& input) {
    return flash.Control(code, input.data(), uint32_t(input.size()), nullptr, 0);
  };
  const std::vector<std::pair<uint32_t, uint32_t>> regions = {
      {0x1000, 64}, {0x2000, 64}, {0x3000, 64}, {0x4000, 64}};
  Calls().clear();
  ASSERT_TRUE(send(SCD_IOCTL_WRITE_NBOOT, Pattern(77, 3)));
  ASSERT_TRUE(send(SCD_IOCTL_KERNEL_OPEN, {}));
  ASSERT_TRUE(send(SCD_IOCTL_MULTI_HEADER, MultiHeader(regions)));
  ASSERT_TRUE(send(SCD_IOCTL_IMAGE_HEADER, ImageHeader(0x1000, 64)));
  ASSERT_TRUE(send(SCD_IOCTL_IMAGE_RECORD, Record(0x1008, Pattern(16, 1))));
  ASSERT_TRUE(send(SCD_IOCTL_IMAGE_RECORD, {0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0, 0}));

  std::vector<std::string> expected;
  for (const char* name : {"nboot.bin", "kernel-unfinished", "region0.bin"}) {
    const auto store = DurableStore(name);
    expected.insert(expected.end(), store.begin(), store.end());
  }
  EXPECT_EQ(Calls(), expected);
}

}  // namespace
}  // namespace simulated_test
