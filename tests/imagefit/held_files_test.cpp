// The image a signature was checked on is the image sent: holding a file
// again keeps the first handle, whatever its name leads to by now.
#include <gtest/gtest.h>

#include <filesystem>

#include "device/device.h"
#include "imagefit/held_image_files.h"
#include "platform/environment.h"
#include "tests/support/device_root.h"
#include "tests/support/host_files.h"

namespace imagefit_test {
namespace {

std::string ReadAll(platform::File& file) {
  std::string text;
  char buffer[4];
  uint32_t got = 0;
  while (file.Read(buffer, sizeof buffer, &got) && got > 0) text.append(buffer, got);
  return text;
}

TEST(HeldImageFiles, HoldingAgainKeepsTheCheckedHandle) {
  test_support::DeviceRoot root;
  root.MakeStockFolders();
  test_support::WriteText(root.fs("Storage Card/nk.bin"), "signed bytes");
  const auto device = device::Device::Open(root.root());
  platform::ScopedEnvironment installed(device->environment());
  imagefit::HeldImageFiles held;
  platform::File* checked = held.Open(imagefit::kNk, u"\\Storage Card\\nk.bin");
  ASSERT_NE(checked, nullptr);
  EXPECT_EQ(ReadAll(*checked), "signed bytes");

  test_support::WriteText(root.fs("forged"), "forged bytes");
  std::filesystem::rename(root.fs("forged"), root.fs("Storage Card/nk.bin"));

  platform::File* again = held.Open(imagefit::kNk, u"\\Storage Card\\nk.bin");
  EXPECT_EQ(again, checked);
  EXPECT_EQ(ReadAll(*again), "signed bytes");
  held.Serve();
  auto sent = imagefit::OpenImageFile(u"\\Storage Card\\nk.bin", &held);
  ASSERT_TRUE(sent);
  EXPECT_EQ(ReadAll(*sent), "signed bytes");
}

}  // namespace
}  // namespace imagefit_test
