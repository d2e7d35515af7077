#include "ui/fltk/fltk_widgets.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Progress.H>
#include <FL/fl_draw.H>

#include "platform/text.h"
#include "ui/fltk/fltk_painter.h"

namespace ui {
namespace {

// The smooth bar's fill.
constexpr uint32_t kBarColor = 0x00800000;

Fl_Align StaticAlign(uint32_t style) {
  Fl_Align align = FL_ALIGN_INSIDE | FL_ALIGN_CLIP;
  align |= (style & platform::StyleCenter) ? 0 : FL_ALIGN_LEFT;
  if (!(style & platform::StyleVCenter)) align |= FL_ALIGN_TOP;
  return align;
}

}  // namespace

StaticWidget::StaticWidget(const DialogState& dialog, int id, int x, int y, int w, int h)
    : Fl_Widget(x, y, w, h), dialog_(dialog), id_(id) {
  color(ToFltkColor(kStaticColorRef));
}

void StaticWidget::draw() {
  const ControlState* control = dialog_.Find(id_);
  if (control == nullptr) return;
  fl_rectf(x(), y(), w(), h(), color());
  int inset = 0;
  if (control->source.style & platform::StyleBorder) {
    fl_color(FL_BLACK);
    fl_rect(x(), y(), w(), h());
    inset = 1;
  }
  const FltkFont font = ToFltkFont(dialog_.FontOf(control->font));
  fl_font(font.face, font.size);
  fl_color(FL_BLACK);
  const std::string text = platform::ToUtf8(control->text);
  fl_push_clip(x() + inset, y() + inset, w() - 2 * inset, h() - 2 * inset);
  fl_draw(text.c_str(), x() + inset, y() + inset, w() - 2 * inset, h() - 2 * inset,
          StaticAlign(control->source.style), nullptr, 0);
  fl_pop_clip();
}

PlainTextWidget::PlainTextWidget(int x, int y, int w, int h, std::string text)
    : Fl_Widget(x, y, w, h), text_(std::move(text)) {}

void PlainTextWidget::draw() {
  fl_font(FL_HELVETICA, 14);
  fl_color(FL_BLACK);
  fl_draw(text_.c_str(), x(), y(), w(), h(), FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_WRAP,
          nullptr, 0);
}

Fl_Widget* CreateControlWidget(const DialogState& dialog, const ControlState& control,
                               void (*press)(Fl_Widget*, void*), void* pressContext) {
  const platform::Rect& r = control.rect;
  const platform::ControlTemplate& source = control.source;
  switch (source.kind) {
    case platform::ControlKind::PushButton:
    case platform::ControlKind::DefaultPushButton: {
      auto* button = new Fl_Button(r.left, r.top, r.Width(), r.Height());
      button->copy_label(platform::ToUtf8(control.text).c_str());
      button->labelsize(14);
      button->callback(press, pressContext);
      if (source.kind == platform::ControlKind::DefaultPushButton) button->shortcut(FL_Enter);
      return button;
    }
    case platform::ControlKind::GroupBox: {
      auto* box = new Fl_Box(FL_ENGRAVED_FRAME, r.left, r.top, r.Width(), r.Height(), nullptr);
      return box;
    }
    case platform::ControlKind::Progress: {
      auto* bar = new Fl_Progress(r.left, r.top, r.Width(), r.Height());
      bar->box(FL_THIN_DOWN_BOX);
      bar->color(FL_WHITE);
      bar->selection_color(ToFltkColor(kBarColor));
      UpdateControlWidget(bar, control);
      return bar;
    }
    case platform::ControlKind::Static:
      break;
  }
  return new StaticWidget(dialog, source.id, r.left, r.top, r.Width(), r.Height());
}

void UpdateControlWidget(Fl_Widget* widget, const ControlState& control) {
  const platform::ControlKind kind = control.source.kind;
  if (kind == platform::ControlKind::PushButton ||
      kind == platform::ControlKind::DefaultPushButton) {
    widget->copy_label(platform::ToUtf8(control.text).c_str());
  }
  if (kind == platform::ControlKind::Progress) {
    auto* bar = static_cast<Fl_Progress*>(widget);
    bar->minimum(control.low);
    bar->maximum(control.high > control.low ? control.high : control.low + 1);
    bar->value(static_cast<float>(control.position));
  }
  if (control.enabled) {
    widget->activate();
  } else {
    widget->deactivate();
  }
  if (widget->x() != control.rect.left || widget->y() != control.rect.top) {
    widget->position(control.rect.left, control.rect.top);
    if (widget->window() != nullptr) widget->window()->redraw();
  }
  widget->redraw();
}

}  // namespace ui
