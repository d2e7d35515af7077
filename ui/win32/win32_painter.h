// A Win32 device context as the frame's Painter: GDI text, fonts and fills.
#pragma once

#include "platform/dialog.h"

struct HDC__;  // <windows.h>'s HDC, which this header does not include

namespace platform {

class Win32Painter : public Painter {
 public:
  explicit Win32Painter(HDC__* dc) : dc_(dc) {}
  HDC__* dc() const { return dc_; }

  uint32_t SetTextColor(uint32_t colorref) override;
  FontHandle SelectFont(FontHandle font) override;
  int SetBkMode(int mode) override;
  Size MeasureText(std::u16string_view text) override;
  void DrawText(std::u16string_view text, const Rect& rect, uint32_t format) override;
  void FillRect(const Rect& rect, uint32_t colorref) override;

 private:
  HDC__* dc_;
};

}  // namespace platform
