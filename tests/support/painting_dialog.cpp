#include "tests/support/painting_dialog.h"

#include <utility>

#include "ui/console/console_host.h"

namespace test_support {

namespace {

class RecordingPainter : public platform::Painter {
 public:
  RecordingPainter(PaintingDialog& dialog, platform::FontHandle font)
      : dialog_(dialog), font_(font) {}
  uint32_t SetTextColor(uint32_t c) override { return std::exchange(color_, c); }
  platform::FontHandle SelectFont(platform::FontHandle f) override {
    return std::exchange(font_, f);
  }
  int SetBkMode(int mode) override { return std::exchange(mode_, mode); }
  platform::Size MeasureText(std::u16string_view text) override {
    return ui::ConsoleTextExtent(text, dialog_.FontOf(font_));
  }
  void DrawText(std::u16string_view text, const platform::Rect& rect, uint32_t format) override {
    dialog_.drawn.push_back(
        DrawnText{std::u16string(text), rect, format, color_, dialog_.FontOf(font_), mode_});
  }
  void FillRect(const platform::Rect& rect, uint32_t color) override {
    dialog_.filled.emplace_back(rect, color);
  }
  platform::FontHandle font() const { return font_; }
  uint32_t color() const { return color_; }
  int mode() const { return mode_; }

 private:
  PaintingDialog& dialog_;
  platform::FontHandle font_;
  uint32_t color_ = 0;
  int mode_ = platform::OPAQUE;
};

}  // namespace

platform::Painter* PaintingDialog::GetDC(int) {
  ++openPainters;
  return new RecordingPainter(*this, ui::kSystemFontHandle);
}

void PaintingDialog::ReleaseDC(platform::Painter* painter) {
  --openPainters;
  delete painter;
}

platform::Painter* PaintingDialog::BeginPaint() {
  ++openPainters;
  auto* painter = new RecordingPainter(*this, ui::kSystemFontHandle);
  Send(platform::WM_ERASEBKGND, reinterpret_cast<uintptr_t>(painter), 0);
  return painter;
}

void PaintingDialog::EndPaint(platform::Painter* painter) {
  // Painting must hand the context back as it found it.
  auto* recording = static_cast<RecordingPainter*>(painter);
  if (recording->font() != ui::kSystemFontHandle || recording->color() != 0 ||
      recording->mode() != platform::OPAQUE) {
    drawn.push_back(DrawnText{u"<context not restored>", {}, 0, 0, {}, 0});
  }
  --openPainters;
  delete painter;
}

int PaintingDialog::MessageBox(std::u16string_view, std::u16string_view caption, uint32_t style) {
  ++messageBoxes;
  lastCaption = std::u16string(caption);
  lastStyle = style;
  return platform::IDOK;
}

}  // namespace test_support
