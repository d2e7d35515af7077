// The choice of dialog host and the screen it reports, from the environment
// and device.ini.
#include <gtest/gtest.h>

#include <cstdlib>
#include <initializer_list>
#include <optional>
#include <string>

#include "device/device.h"
#include "device/device_config.h"
#include "device/dialog_host_choice.h"
#include "tests/support/scoped_variable.h"
#include "ui/console/console_host.h"
#include "ui/fltk/fltk_host.h"

namespace ui_test {
namespace {

using test_support::ScopedVariable;

TEST(DialogHostChoice, ConsoleWithoutDisplayAndScreenFromDeviceIni) {
  const device::DeviceConfig config = device::DeviceConfig::Parse(
      "[screen]\nwidth = 640\nheight = 480\nscroll = 17\n", "device.ini");
  device::DeviceContext context;
  context.config = &config;
  for (const char* ui : std::initializer_list<const char*>{"console", "gui", nullptr}) {
    ScopedVariable display("DISPLAY", nullptr);
    ScopedVariable choice("FITKIT_UI", ui);
    const std::unique_ptr<platform::DialogHost> host = device::CreateDialogHost(context);
    ASSERT_NE(host, nullptr);
    EXPECT_NE(dynamic_cast<ui::ConsoleDialogHost*>(host.get()), nullptr) << (ui ? ui : "unset");
    EXPECT_EQ(host->GetSystemMetrics(platform::SM_CXSCREEN), 640);
    EXPECT_EQ(host->GetSystemMetrics(platform::SM_CYSCREEN), 480);
    EXPECT_EQ(host->GetSystemMetrics(platform::SM_CYHSCROLL), 17);
  }
}

TEST(DialogHostChoice, StockScreenWithoutConfiguration) {
  ScopedVariable choice("FITKIT_UI", "console");
  const std::unique_ptr<platform::DialogHost> host =
      device::CreateDialogHost(device::DeviceContext{});
  EXPECT_EQ(host->GetSystemMetrics(platform::SM_CXSCREEN), 480);
  EXPECT_EQ(host->GetSystemMetrics(platform::SM_CYSCREEN), 272);
  EXPECT_EQ(host->GetSystemMetrics(platform::SM_CYHSCROLL), 13);
  EXPECT_EQ(host->MapDialogRect(platform::DialogTemplate{}, platform::Rect{7, 21, 36, 32}),
            (platform::Rect{14, 42, 72, 64}));
}

}  // namespace
}  // namespace ui_test
