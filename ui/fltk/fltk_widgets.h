// The FLTK widgets that stand for the dialog's controls.
#pragma once

#include <FL/Fl_Widget.H>

#include <string>

#include "ui/dialog_state.h"

namespace ui {

// A static control: its text in its own font, drawn as it is (no '@' symbols,
// no '&' shortcuts), with an optional thin border, on the static colour.
class StaticWidget : public Fl_Widget {
 public:
  StaticWidget(const DialogState& dialog, int id, int x, int y, int w, int h);
  void draw() override;

 private:
  const DialogState& dialog_;
  int id_;
};

// A multi-line text for message boxes, drawn as it is and word-wrapped.
class PlainTextWidget : public Fl_Widget {
 public:
  PlainTextWidget(int x, int y, int w, int h, std::string text);
  void draw() override;

 private:
  std::string text_;
};

// Creates the widget of one control inside the current group. Buttons call
// `press(id)` when clicked.
Fl_Widget* CreateControlWidget(const DialogState& dialog, const ControlState& control,
                               void (*press)(Fl_Widget*, void*), void* pressContext);

// Brings a widget up to date with its control's state (text, enabled state,
// position, progress).
void UpdateControlWidget(Fl_Widget* widget, const ControlState& control);

}  // namespace ui
