// A device context over fl_* drawing: fonts of the dialog mapped to FLTK faces
// and sizes, COLORREF colours, DrawText and FillRect.
#pragma once

#include <FL/Enumerations.H>

#include "ui/dialog_state.h"

namespace ui {

struct FltkFont {
  Fl_Font face = FL_HELVETICA;
  Fl_Fontsize size = 12;
};

// Helvetica, bold from weight 700 on, at the largest size whose cell height
// does not exceed the font's (bold Helvetica 22 has a 27-pixel cell).
FltkFont ToFltkFont(const platform::LogFont& font);
Fl_Color ToFltkColor(uint32_t colorref);

class FltkPainter : public platform::Painter {
 public:
  FltkPainter(const DialogState& dialog, platform::FontHandle font)
      : dialog_(dialog), font_(font) {}
  uint32_t SetTextColor(uint32_t colorref) override;
  platform::FontHandle SelectFont(platform::FontHandle font) override;
  int SetBkMode(int mode) override;
  platform::Size MeasureText(std::u16string_view text) override;
  void DrawText(std::u16string_view text, const platform::Rect& rect, uint32_t format) override;
  void FillRect(const platform::Rect& rect, uint32_t colorref) override;

 private:
  void UseFont() const;

  const DialogState& dialog_;
  platform::FontHandle font_;
  uint32_t color_ = 0;
  int mode_ = platform::OPAQUE;
};

}  // namespace ui
