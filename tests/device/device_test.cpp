#include "device/device.h"

#include <gtest/gtest.h>

#include "platform/code_page.h"
#include "platform/file_system.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "platform/text.h"
#include "tests/support/device_root.h"
#include "tests/support/scoped_variable.h"

namespace {

using namespace platform;
using TempDeviceRoot = test_support::DeviceRoot;
using test_support::ScopedVariable;

std::u16string g_seenCommandLine;
uint32_t g_seenAttributes = 0;

int RecordingEntry(const std::u16string& commandLine) {
  g_seenCommandLine = commandLine;
  g_seenAttributes = Files().GetAttributes(u"\\Flash Disk");
  return 42;
}

TEST(Device, RootFromTheEnvironment) {
  TempDeviceRoot device;
  ScopedVariable named("FITKIT_DEVICE", device.root().c_str());
  EXPECT_EQ(device::FindDeviceRoot(), device.root());
  ScopedVariable missing("FITKIT_DEVICE", (device.root() / "nothing").c_str());
  EXPECT_EQ(device::FindDeviceRoot(), std::filesystem::path());
}

TEST(Device, WithoutARootTheProgramExplainsAndEndsWithZero) {
  ScopedVariable unset("FITKIT_DEVICE", nullptr);
  ASSERT_EQ(device::FindDeviceRoot(), std::filesystem::path())
      << "a device.ini above the build tree";
  char program[] = "shellfit";
  char* argv[] = {program, nullptr};
  g_seenCommandLine = u"untouched";
  testing::internal::CaptureStderr();
  EXPECT_EQ(device::RunOnDevice(1, argv, RecordingEntry), 0);
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("FITKIT_DEVICE="), std::string::npos);
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1);
  EXPECT_EQ(g_seenCommandLine, u"untouched");
}

TEST(Device, RunsTheEntryWithItsEnvironmentAndCommandLine) {
  TempDeviceRoot device;
  device.Write("fs/Flash Disk/x", "");
  ScopedVariable named("FITKIT_DEVICE", device.root().c_str());
  char program[] = "shellfit", first[] = "/force", second[] = "\\Storage Card\\\xC3\x84";
  char* argv[] = {program, first, second, nullptr};
  EXPECT_EQ(device::RunOnDevice(3, argv, RecordingEntry), 42);
  EXPECT_EQ(g_seenCommandLine, u"/force \\Storage Card\\\u00C4");
  EXPECT_EQ(g_seenAttributes, FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(Env().files, nullptr);  // uninstalled again
}

TEST(Device, OpenBuildsTheServicesOfTheRoot) {
  TempDeviceRoot device;
  device.Write("device.ini", "[locale]\nacp = CP949\n");
  device.Write("registry.reg", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Ident]\n\"Model\"=\"KTR\"\n");
  auto opened = device::Device::Open(device.root());
  ASSERT_NE(opened, nullptr);
  const Environment env = opened->environment();
  EXPECT_EQ(opened->context().root, device.root());
  ASSERT_NE(opened->context().config, nullptr);
  ASSERT_NE(env.files, nullptr);
  ASSERT_NE(env.registry, nullptr);
  ASSERT_NE(env.codePage, nullptr);
  ASSERT_NE(env.system, nullptr);
  EXPECT_TRUE(env.registry->QueryValue(u"ident", u"model"));
  std::u16string text;
  ASSERT_TRUE(env.codePage->AnsiToWide("\xC7\xD1", &text));
  EXPECT_EQ(text, u"\uD55C");
  EXPECT_EQ(env.system->CreateNamedMutex(u"M"), MutexResult::Created);
}

}  // namespace
