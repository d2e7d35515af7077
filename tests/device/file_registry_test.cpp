// The registry.reg reader of a device root.
#include "readers/file_registry.h"

#include <gtest/gtest.h>

#include "tests/support/device_root.h"
#include "tests/support/host_files.h"

namespace {

using namespace platform;

TEST(FileRegistry, LoadsFromTheDeviceRootOrStartsEmpty) {
  test_support::DeviceRoot device;
  EXPECT_FALSE(readers::FileRegistry::Load(device.root() / "registry.reg")->KeyExists(u"Ident"));
  device.WriteRegistry(test_support::kStockRegistry);
  auto registry = readers::FileRegistry::Load(device.root() / "registry.reg");
  EXPECT_EQ(registry->QueryValue(u"Ident", u"Model")->data, test_support::Utf16Bytes(u"KTR 60"));
}

}  // namespace
