#include "ui/win32/win32_dialog.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>

#include "platform/text.h"
#include "platform/trace.h"
#include "ui/win32/win32_painter.h"

// After the platform's headers: see win32_dialog.h.
#include <windows.h>

// Needs <windows.h> before it.
#include <commctrl.h>
// The members of those names are the device's calls, not the A/W macros.
#undef SetWindowText
#undef CreateFont
#undef MessageBox

namespace ui {
namespace {

const wchar_t* WideText(const std::wstring& text) { return text.c_str(); }
std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

// The device's COLOR_STATIC; <windows.h> has no such colour.
constexpr uint32_t kDeviceStaticColor = 0x40000019;
static_assert(kDeviceStaticColor == platform::COLOR_STATIC);

platform::Rect FromRect(const RECT& rect) {
  return platform::Rect{rect.left, rect.top, rect.right, rect.bottom};
}

}  // namespace

Win32Dialog::Win32Dialog(const platform::DialogTemplate& dialog, platform::DialogProc proc,
                         intptr_t initParam)
    : template_(dialog),
      proc_(proc),
      initParam_(initParam),
      paint_(std::make_unique<PAINTSTRUCT>()) {}

Win32Dialog::~Win32Dialog() = default;

HWND Win32Dialog::Window(int id) const { return id == 0 ? window_ : GetDlgItem(window_, id); }

intptr_t __stdcall Win32Dialog::WindowProc(HWND window, unsigned message, uintptr_t wParam,
                                           intptr_t lParam) {
  if (message == WM_INITDIALOG) {
    auto* dialog = reinterpret_cast<Win32Dialog*>(lParam);
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    dialog->window_ = window;
    dialog->CheckResource();
    return dialog->Handle(message, wParam, 0);
  }
  auto* dialog = reinterpret_cast<Win32Dialog*>(GetWindowLongPtrW(window, DWLP_USER));
  return dialog == nullptr ? FALSE : dialog->Handle(message, wParam, lParam);
}

intptr_t Win32Dialog::Handle(unsigned message, uintptr_t wParam, intptr_t lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return proc_(*this, WM_INITDIALOG, wParam, initParam_);
    case WM_COMMAND: {
      // Escape sends IDCANCEL also while Cancel is disabled; the button would not.
      const HWND control = GetDlgItem(window_, LOWORD(wParam));
      if (control != nullptr && IsWindowEnabled(control) == 0) return TRUE;
      platform::Trace("DispatchMessage(0x%04X, %lu)", WM_COMMAND,
                      static_cast<unsigned long>(LOWORD(wParam)));
      proc_(*this, WM_COMMAND, wParam, lParam);
      return TRUE;
    }
    case WM_PAINT:
      proc_(*this, WM_PAINT, 0, 0);
      return TRUE;
    case WM_ERASEBKGND: {
      // BeginPaint sends this with the paint context; the frame fills it.
      Win32Painter painter(reinterpret_cast<HDC>(wParam));
      const intptr_t erased = proc_(*this, WM_ERASEBKGND, reinterpret_cast<uintptr_t>(&painter), 0);
      SetWindowLongPtrW(window_, DWLP_MSGRESULT, erased);
      return TRUE;
    }
    case WM_DESTROY:
      proc_(*this, WM_DESTROY, 0, 0);
      return TRUE;
    default:
      return FALSE;
  }
}

void Win32Dialog::CheckResource() const {
  for (const auto& control : template_.controls) {
    if (GetDlgItem(window_, control.id) == nullptr) {
      std::fprintf(stderr, "fitkit: dialog resource 104 has no control %d\n", control.id);
    }
  }
}

void Win32Dialog::SetWindowText(std::u16string_view text) {
  ::SetWindowTextW(window_, WideText(Wide(text)));
  platform::Trace("SetWindowText(\"%s\")", platform::ToUtf8(text).c_str());
}

void Win32Dialog::SetItemText(int id, std::u16string_view text) {
  SetDlgItemTextW(window_, id, WideText(Wide(text)));
  platform::Trace("SetItemText(%d, \"%s\")", id, platform::ToUtf8(text).c_str());
}

std::u16string Win32Dialog::GetItemText(int id) {
  const HWND control = Window(id);
  const int length = control != nullptr ? GetWindowTextLengthW(control) : 0;
  std::wstring text(std::size_t(length) + 1, L'\0');
  const int got = control != nullptr ? GetWindowTextW(control, text.data(), length + 1) : 0;
  return std::u16string(text.begin(), text.begin() + got);
}

void Win32Dialog::EnableItem(int id, bool enabled) {
  EnableWindow(Window(id), enabled ? TRUE : FALSE);
  platform::Trace("EnableItem(%d, %s)", id, enabled ? "true" : "false");
}

platform::Rect Win32Dialog::GetWindowRect(int id) {
  RECT rect{};
  ::GetWindowRect(Window(id), &rect);
  return FromRect(rect);
}

platform::Rect Win32Dialog::GetClientRect(int id) {
  RECT rect{};
  ::GetClientRect(Window(id), &rect);
  return FromRect(rect);
}

void Win32Dialog::MoveItem(int id, int x, int y) {
  SetWindowPos(Window(id), nullptr, x, y, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE);
  platform::Trace("MoveItem(%d, %d, %d)", id, x, y);
}

void Win32Dialog::SetProgressRange(int id, uint16_t low, uint16_t high) {
  SendDlgItemMessageW(window_, id, PBM_SETRANGE, 0, MAKELPARAM(low, high));
  platform::Trace("SetProgressRange(%d, %u, %u)", id, unsigned(low), unsigned(high));
}

void Win32Dialog::SetProgressPos(int id, int position) {
  SendDlgItemMessageW(window_, id, PBM_SETPOS, WPARAM(position), 0);
  platform::Trace("SetProgressPos(%d, %d)", id, position);
}

platform::LogFont Win32Dialog::GetSystemFont() {
  LOGFONTW system{};
  GetObjectW(GetStockObject(SYSTEM_FONT), sizeof system, &system);
  platform::LogFont font;
  font.height = int(system.lfHeight);
  font.weight = int(system.lfWeight);
  font.face = std::u16string(system.lfFaceName, system.lfFaceName + wcslen(system.lfFaceName));
  return font;
}

platform::FontHandle Win32Dialog::CreateFont(const platform::LogFont& font) {
  LOGFONTW wanted{};
  wanted.lfHeight = font.height;
  wanted.lfWeight = font.weight;
  wanted.lfCharSet = DEFAULT_CHARSET;
  const std::size_t length = std::min(font.face.size(), std::size_t(LF_FACESIZE - 1));
  for (std::size_t i = 0; i < length; ++i) wanted.lfFaceName[i] = wchar_t(font.face[i]);
  const auto handle = reinterpret_cast<platform::FontHandle>(CreateFontIndirectW(&wanted));
  platform::Trace("CreateFont(height %d, weight %d) = %s", font.height, font.weight,
                  handle != 0 ? "ok" : "failed");
  return handle;
}

void Win32Dialog::DeleteFont(platform::FontHandle font) {
  DeleteObject(reinterpret_cast<HGDIOBJ>(font));
}

void Win32Dialog::SetItemFont(int id, platform::FontHandle font) {
  SendDlgItemMessageW(window_, id, WM_SETFONT, WPARAM(font), FALSE);
}

platform::Painter* Win32Dialog::GetDC(int id) {
  const HDC dc = ::GetDC(Window(id));
  return dc == nullptr ? nullptr : new Win32Painter(dc);
}

void Win32Dialog::ReleaseDC(platform::Painter* painter) {
  auto* own = static_cast<Win32Painter*>(painter);
  if (own == nullptr) return;
  ::ReleaseDC(WindowFromDC(own->dc()), own->dc());
  delete own;
}

platform::Painter* Win32Dialog::BeginPaint() {
  const HDC dc = ::BeginPaint(window_, paint_.get());
  return dc == nullptr ? nullptr : new Win32Painter(dc);
}

void Win32Dialog::EndPaint(platform::Painter* painter) {
  ::EndPaint(window_, paint_.get());
  delete static_cast<Win32Painter*>(painter);
}

// The device's COLOR_STATIC (25 with the system-colour flag) has no desktop
// counterpart of that number; statics there paint in the button face colour.
uint32_t Win32Dialog::GetSysColor(uint32_t index) {
  if (index == kDeviceStaticColor) return ::GetSysColor(COLOR_BTNFACE);
  return ::GetSysColor(int(index & 0xFF));
}

void Win32Dialog::MakeFullScreenTopmost() {
  const int width = ::GetSystemMetrics(SM_CXSCREEN), height = ::GetSystemMetrics(SM_CYSCREEN);
  SetWindowPos(window_, HWND_TOPMOST, 0, 0, width, height, SWP_FRAMECHANGED);
  platform::Trace("SetWindowPos(topmost, 0, 0, %d, %d)", width, height);
}

void Win32Dialog::Show() {
  ShowWindow(window_, SW_SHOW);
  UpdateWindow(window_);
  platform::Trace("ShowWindow(SW_SHOW)");
}

void Win32Dialog::PostCommand(int id) {
  PostMessageW(window_, WM_COMMAND, WPARAM(id), 0);
  platform::Trace("PostMessage(WM_COMMAND, %d)", id);
}

void Win32Dialog::EndDialog(int result) {
  ::EndDialog(window_, result);
  platform::Trace("EndDialog(%d)", result);
}

int Win32Dialog::MessageBox(std::u16string_view text, std::u16string_view caption, uint32_t style) {
  platform::Trace("MessageBox(\"%s\", \"%s\", 0x%X)", platform::ToUtf8(text).c_str(),
                  platform::ToUtf8(caption).c_str(), unsigned(style));
  const int answer =
      MessageBoxW(window_, WideText(Wide(text)), WideText(Wide(caption)), UINT(style));
  platform::Trace("MessageBox answered %d", answer);
  return answer;
}

// The frame's one-message pump during long work: one message, never waiting.
bool Win32Dialog::PumpOneMessage() {
  MSG message;
  if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) == 0) return false;
  TranslateMessage(&message);
  DispatchMessageW(&message);
  return true;
}

}  // namespace ui
