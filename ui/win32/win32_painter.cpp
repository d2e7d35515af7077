#include "ui/win32/win32_painter.h"

// Last: its macros would replace the platform's constants of the same names.
#include <windows.h>
// The members of those names are the device's calls, not the A/W macros.
#undef DrawText

namespace ui {

uint32_t Win32Painter::SetTextColor(uint32_t colorref) {
  return ::SetTextColor(dc_, COLORREF(colorref));
}

// Font handles are the HFONTs themselves; 0 stands for the stock system font.
platform::FontHandle Win32Painter::SelectFont(platform::FontHandle font) {
  HGDIOBJ wanted = font != 0 ? reinterpret_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT);
  return reinterpret_cast<platform::FontHandle>(SelectObject(dc_, wanted));
}

int Win32Painter::SetBkMode(int mode) { return ::SetBkMode(dc_, mode); }

// An empty text still measures the font's cell height, as the frame expects.
platform::Size Win32Painter::MeasureText(std::u16string_view text) {
  SIZE extent{};
  if (text.empty()) {
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc_, &metrics);
    return platform::Size{0, int(metrics.tmHeight)};
  }
  GetTextExtentPoint32W(dc_, reinterpret_cast<const wchar_t*>(text.data()), int(text.size()),
                        &extent);
  return platform::Size{int(extent.cx), int(extent.cy)};
}

void Win32Painter::DrawText(std::u16string_view text, const platform::Rect& rect, uint32_t format) {
  RECT area{rect.left, rect.top, rect.right, rect.bottom};
  ::DrawTextW(dc_, reinterpret_cast<const wchar_t*>(text.data()), int(text.size()), &area, format);
}

void Win32Painter::FillRect(const platform::Rect& rect, uint32_t colorref) {
  RECT area{rect.left, rect.top, rect.right, rect.bottom};
  const HBRUSH brush = CreateSolidBrush(COLORREF(colorref));
  ::FillRect(dc_, &area, brush);
  DeleteObject(brush);
}

}  // namespace ui
