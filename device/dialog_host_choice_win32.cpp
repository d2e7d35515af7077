// The choice of dialog host on Windows: FITKIT_UI=console draws the dialog
// on standard output (tests drive it through standard input); otherwise the
// real Win32 dialog, since Windows always has a display.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string_view>

#include "device/dialog_host_choice.h"
#include "platform/trace.h"
#include "ui/console/console_host.h"
#include "ui/win32/win32_dialog_host.h"

namespace device {

std::unique_ptr<platform::DialogHost> CreateDialogHost(const DeviceContext& context) {
  const char* ui = std::getenv("FITKIT_UI");
  const std::string_view choice = ui == nullptr ? "" : ui;
  if (choice == "console") {
    const ui::ScreenMetrics screen = DialogScreen(context);
    platform::Trace("dialog host: console %dx%d", screen.width, screen.height);
    return std::make_unique<ui::ConsoleDialogHost>(screen, std::cin, std::cout);
  }
  if (!choice.empty() && choice != "gui") {
    std::fprintf(stderr, "fitkit: FITKIT_UI=%s is neither gui nor console; using the window\n", ui);
  }
  platform::Trace("dialog host: Win32 window");
  return ui::CreateWin32DialogHost();
}

}  // namespace device
