// Configuration files over their size limit, or no regular file at all,
// are reported with file and line and read as missing.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "device/device_config.h"
#include "readers/file_registry.h"
#include "tests/support/device_root.h"

namespace device {
namespace {

using TempDeviceRoot = test_support::DeviceRoot;

TEST(ConfigLimits, DeviceIniOverOneMegabyteIsReportedAtTheLineThatCrossesIt) {
  TempDeviceRoot device;
  const auto ini = device.root() / "device.ini";
  {
    std::ofstream out(ini, std::ios::binary);
    out << "[screen]\nwidth = 320\n";
    for (int i = 0; i < 70000; ++i) out << "; comment line\n";  // 15 bytes each
  }
  testing::internal::CaptureStderr();
  const auto config = DeviceConfig::Load(ini);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(config.ScreenWidth(), 480) << "nothing of the file is used";
  // 1048576 bytes: 21 in the first two lines, then 69903 comment lines and a part.
  EXPECT_NE(err.find(ini.string() + ":69906: larger than the limit of 1048576 bytes"),
            std::string::npos)
      << err;
}

TEST(ConfigLimits, RegistryThatIsAFolderOrAPipeReadsAsEmpty) {
  TempDeviceRoot device;
  const auto reg = device.root() / "registry.reg";
  ASSERT_EQ(::mkfifo(reg.c_str(), 0644), 0);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(readers::FileRegistry::Load(reg)->KeyExists(u"Ident"));
  std::filesystem::remove(reg);
  std::filesystem::create_directory(reg);
  EXPECT_FALSE(readers::FileRegistry::Load(reg)->KeyExists(u"Ident"));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find(reg.string() + ":1: not a regular file"), std::string::npos) << err;
}

}  // namespace
}  // namespace device
