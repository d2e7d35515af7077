#include "ui/win32/win32_dialog_host.h"

#include <cstdio>

#include "platform/trace.h"
#include "ui/win32/win32_dialog.h"

// After the platform's headers: see win32_dialog.h.
#include <windows.h>

// Needs <windows.h> before it.
#include <commctrl.h>

namespace ui {
namespace {

class Win32DialogHost : public platform::DialogHost {
 public:
  Win32DialogHost() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_PROGRESS_CLASS;
    InitCommonControlsEx(&controls);
  }

  int GetSystemMetrics(int index) override { return ::GetSystemMetrics(index); }

  // The resources' font is "System", whose dialog base units Windows reports.
  platform::Rect MapDialogRect(const platform::DialogTemplate& /*dialog*/,
                               const platform::Rect& units) override {
    const LONG base = GetDialogBaseUnits();
    const int x = LOWORD(base), y = HIWORD(base);
    return platform::Rect{units.left * x / 4, units.top * y / 8, units.right * x / 4,
                          units.bottom * y / 8};
  }

  int RunModal(const platform::DialogTemplate& dialog, platform::DialogProc proc,
               intptr_t initParam) override {
    Win32Dialog window(dialog, proc, initParam);
    platform::Trace("DialogBox(resource %d, %d controls)", kUpdateDialogResource,
                    static_cast<int>(dialog.controls.size()));
    const INT_PTR result = DialogBoxParamW(
        GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kUpdateDialogResource), nullptr,
        reinterpret_cast<DLGPROC>(Win32Dialog::WindowProc), reinterpret_cast<LPARAM>(&window));
    if (!window.created()) {
      std::fprintf(stderr, "fitkit: the dialog (resource %d) could not be created: error %lu\n",
                   kUpdateDialogResource, static_cast<unsigned long>(GetLastError()));
    }
    platform::Trace("DialogBox ended with %d", static_cast<int>(result));
    return static_cast<int>(result);
  }
};

}  // namespace

std::unique_ptr<platform::DialogHost> CreateWin32DialogHost() {
  return std::make_unique<Win32DialogHost>();
}

}  // namespace ui
