// The choice of dialog host: FITKIT_UI=gui or console; without it a window
// when an X display can be opened, else the console, drawn in place on a
// terminal (FITKIT_CONSOLE=lines keeps the line stream there too).
#include "device/dialog_host_choice.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string_view>

#include "ui/console/console_host.h"
#include "ui/console/terminal_host.h"
#if FITKIT_WITH_FLTK
#include "ui/fltk/fltk_host.h"
#endif
#include "platform/trace.h"

namespace device {
namespace {

#if !FITKIT_WITH_FLTK
// Built without the window host: no display ever counts as available.
bool FltkDisplayAvailable() { return false; }
#endif

bool WantsWindow() {
  const char* ui = std::getenv("FITKIT_UI");
  const std::string_view choice = ui == nullptr ? "" : ui;
  if (choice == "console") return false;
  const bool displayNamed = std::getenv("DISPLAY") != nullptr && *std::getenv("DISPLAY") != 0;
  if (choice == "gui") {
    if (displayNamed && ui::FltkDisplayAvailable()) return true;
    std::fprintf(stderr,
                 "fitkit: FITKIT_UI=gui but no X display can be opened; using the console\n");
    return false;
  }
  if (!choice.empty()) {
    std::fprintf(stderr, "fitkit: FITKIT_UI=%s is neither gui nor console; choosing by display\n",
                 ui);
  }
  return displayNamed && ui::FltkDisplayAvailable();
}

}  // namespace

std::unique_ptr<platform::DialogHost> CreateDialogHost(const DeviceContext& context) {
  const ui::ScreenMetrics screen = DialogScreen(context);
  if (WantsWindow()) {
#if FITKIT_WITH_FLTK
    platform::Trace("dialog host: window %dx%d", screen.width, screen.height);
    return std::make_unique<ui::FltkDialogHost>(screen);
#endif
  }
  if (ui::TerminalViewWanted()) {
    platform::Trace("dialog host: console on the terminal %dx%d", screen.width, screen.height);
    return std::make_unique<ui::TerminalDialogHost>(screen);
  }
  platform::Trace("dialog host: console %dx%d", screen.width, screen.height);
  return std::make_unique<ui::ConsoleDialogHost>(screen, std::cin, std::cout);
}

}  // namespace device
