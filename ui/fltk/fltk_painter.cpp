#include "ui/fltk/fltk_painter.h"

#include <FL/fl_draw.H>

#include <map>
#include <utility>

#include "platform/text.h"

namespace ui {

FltkFont ToFltkFont(const platform::LogFont& font) {
  static std::map<std::pair<int, bool>, FltkFont> cache;
  const bool bold = font.weight >= 700;
  const auto key = std::make_pair(font.height, bold);
  const auto it = cache.find(key);
  if (it != cache.end()) return it->second;
  FltkFont result{bold ? FL_HELVETICA_BOLD : FL_HELVETICA, 6};
  for (Fl_Fontsize size = 6; size <= 96; ++size) {
    fl_font(result.face, size);
    if (fl_height() > font.height) break;
    result.size = size;
  }
  cache[key] = result;
  return result;
}

Fl_Color ToFltkColor(uint32_t colorref) {
  return fl_rgb_color(static_cast<uchar>(colorref & 0xFF),
                      static_cast<uchar>((colorref >> 8) & 0xFF),
                      static_cast<uchar>((colorref >> 16) & 0xFF));
}

uint32_t FltkPainter::SetTextColor(uint32_t colorref) { return std::exchange(color_, colorref); }
platform::FontHandle FltkPainter::SelectFont(platform::FontHandle font) {
  return std::exchange(font_, font);
}
int FltkPainter::SetBkMode(int mode) { return std::exchange(mode_, mode); }

void FltkPainter::UseFont() const {
  const FltkFont font = ToFltkFont(dialog_.FontOf(font_));
  fl_font(font.face, font.size);
}

platform::Size FltkPainter::MeasureText(std::u16string_view text) {
  UseFont();
  const std::string utf8 = platform::ToUtf8(text);
  return platform::Size{static_cast<int>(fl_width(utf8.c_str())), fl_height()};
}

void FltkPainter::DrawText(std::u16string_view text, const platform::Rect& rect, uint32_t format) {
  UseFont();
  const std::string utf8 = platform::ToUtf8(text);
  const Fl_Align align = (format & platform::DT_CENTER) ? FL_ALIGN_TOP : FL_ALIGN_TOP_LEFT;
  fl_push_clip(rect.left, rect.top, rect.Width(), rect.Height());
  fl_color(ToFltkColor(color_));
  // No symbol or '&' interpretation: the text is drawn as it is.
  fl_draw(utf8.c_str(), rect.left, rect.top, rect.Width(), rect.Height(), align, nullptr, 0);
  fl_pop_clip();
}

void FltkPainter::FillRect(const platform::Rect& rect, uint32_t colorref) {
  fl_rectf(rect.left, rect.top, rect.Width(), rect.Height(), ToFltkColor(colorref));
}

}  // namespace ui
