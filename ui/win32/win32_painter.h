// A Win32 device context as the frame's Painter: GDI text, fonts and fills.
#pragma once

#include "platform/dialog.h"

struct HDC__;  // <windows.h>'s HDC, which this header does not include

namespace ui {

class Win32Painter : public platform::Painter {
 public:
  explicit Win32Painter(HDC__* dc) : dc_(dc) {}
  HDC__* dc() const { return dc_; }

  uint32_t SetTextColor(uint32_t colorref) override;
  platform::FontHandle SelectFont(platform::FontHandle font) override;
  int SetBkMode(int mode) override;
  platform::Size MeasureText(std::u16string_view text) override;
  void DrawText(std::u16string_view text, const platform::Rect& rect, uint32_t format) override;
  void FillRect(const platform::Rect& rect, uint32_t colorref) override;

 private:
  HDC__* dc_;
};

}  // namespace ui
