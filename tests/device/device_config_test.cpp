#include "device/device_config.h"

#include <gtest/gtest.h>

#include "tests/support/device_root.h"

namespace {

using device::DeviceConfig;

TEST(DeviceConfig, DefaultsWithoutAFile) {
  test_support::DeviceRoot device;
  const auto config = device::DeviceConfig::Load(device.root() / "device.ini");
  EXPECT_EQ(config.ScreenWidth(), 480);
  EXPECT_EQ(config.ScreenHeight(), 272);
  EXPECT_EQ(config.ScrollHeight(), 13);
  EXPECT_EQ(config.AcLineStatus(), 1);
  EXPECT_EQ(config.BoardRevision(), 3);
  EXPECT_EQ(config.StorePages(), 2048u);
  EXPECT_EQ(config.ProgramPages(), 6144u);
  EXPECT_EQ(config.PageSize(), 4096u);
  EXPECT_EQ(config.SetMemoryResult(), 0u);
  EXPECT_EQ(config.DriverKind("SCD1"), "flash");
  EXPECT_EQ(config.DriverKind("PWR1"), "power");
  EXPECT_EQ(config.DriverKind("XYZ1"), std::nullopt);
  EXPECT_TRUE(config.FailingCodes().empty());
  EXPECT_TRUE(config.HasCoreDll());
  EXPECT_TRUE(config.HasToolhelp());
  EXPECT_EQ(config.AnsiCodePage(), "CP1252");
  EXPECT_EQ(config.FsCapacity(), 0u);
}

TEST(DeviceConfig, ReadsSectionsKeysAndComments) {
  testing::internal::CaptureStderr();
  const auto config = device::DeviceConfig::Parse(
      "; a device\n"
      "[Screen]\n"
      "Width = 800   ; SM_CXSCREEN\n"
      "height=600\n"
      "[power]\n"
      "ac_line = 0\n"
      "[board]\n"
      "revision = 0x0A\n"
      "[drivers]\n"
      "PWR1 = power\n"
      "fail = 0x80002004, 80002008 ,zz\n"
      "[kernel]\n"
      "coredll = no\n"
      "toolhelp = NO\n"
      "[locale]\n"
      "acp = CP949\n"
      "[fs]\n"
      "capacity = 1048576\n"
      "this line is broken\n",
      "device.ini");
  const auto codes = config.FailingCodes();
  const std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_NE(errors.find("device.ini:19:"), std::string::npos) << errors;
  EXPECT_NE(errors.find("zz"), std::string::npos) << errors;
  EXPECT_EQ(config.ScreenWidth(), 800);
  EXPECT_EQ(config.ScreenHeight(), 600);
  EXPECT_EQ(config.ScrollHeight(), 13);
  EXPECT_EQ(config.AcLineStatus(), 0);
  EXPECT_EQ(config.BoardRevision(), 10);
  // A [drivers] section lists the drivers that exist.
  EXPECT_EQ(config.DriverKind("SCD1"), std::nullopt);
  EXPECT_EQ(config.DriverKind("pwr1"), "power");
  EXPECT_EQ(codes, (std::vector<uint32_t>{0x80002004, 0x80002008}));
  EXPECT_FALSE(config.HasCoreDll());
  EXPECT_FALSE(config.HasToolhelp());
  EXPECT_EQ(config.AnsiCodePage(), "CP949");
  EXPECT_EQ(config.FsCapacity(), 1048576u);
  EXPECT_EQ(config.Get("SCREEN", "WIDTH"), "800");
}

TEST(DeviceConfig, UnreadableNumbersFallBackAndEmptyKindsRemoveDrivers) {
  const auto config = device::DeviceConfig::Parse(
      "[screen]\nwidth = wide\n[drivers]\nSCD1 = flash\nPWR1 =\n[locale]\nacp =\n", "x.ini");
  EXPECT_EQ(config.ScreenWidth(), 480);
  EXPECT_EQ(config.DriverKind("SCD1"), "flash");
  EXPECT_EQ(config.DriverKind("PWR1"), std::nullopt);
  EXPECT_EQ(config.DriverKind("fail"), std::nullopt);
  EXPECT_EQ(config.AnsiCodePage(), "CP1252");
}

TEST(DeviceConfig, ScreensNoWindowFitsOnFallBack) {
  const auto empty =
      device::DeviceConfig::Parse("[screen]\nwidth = 0\nheight = -272\nscroll = -1\n", "x.ini");
  EXPECT_EQ(empty.ScreenWidth(), 480);
  EXPECT_EQ(empty.ScreenHeight(), 272);
  EXPECT_EQ(empty.ScrollHeight(), 13);
  // Far too wide, and one that would wrap to 500 as a 32-bit int.
  const auto huge = device::DeviceConfig::Parse(
      "[screen]\nwidth = 4294967796\nheight = 40000\nscroll = 0\n", "x.ini");
  EXPECT_EQ(huge.ScreenWidth(), 480);
  EXPECT_EQ(huge.ScreenHeight(), 272);
  EXPECT_EQ(huge.ScrollHeight(), 0);
  const auto small = device::DeviceConfig::Parse("[screen]\nwidth = 1\nheight = 32767\n", "x.ini");
  EXPECT_EQ(small.ScreenWidth(), 1);
  EXPECT_EQ(small.ScreenHeight(), 32767);
}

}  // namespace
