// How the console host draws a dialog and a message box in place on a
// terminal (ncurses): the dialog's pixels mapped onto the console's cell of
// 8 x 16 pixels, framed and centred on the terminal.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "ui/dialog_state.h"

namespace ui {

// What the dialog looks like now.
struct TerminalDialogPicture {
  const DialogState* state = nullptr;  // controls and fonts
  platform::Rect window;               // pixels
  std::u16string title;                // as the dialog procedure painted it
  platform::Rect titleRect;            // pixels
  int focusId = 0;                     // the button Enter presses, 0: none
  bool keys = true;                    // keys from the terminal: hint at them
  int buttonsEnabled = 0;
  bool cancelEnabled = false;
};

struct TerminalBoxPicture {
  std::u16string caption;
  std::u16string text;
  std::vector<std::string> labels;
  std::size_t focus = 0;
};

// Draws the dialog over the whole terminal (and the box on top of it when
// `box` is set) and brings the terminal up to date.
void DrawTerminal(const TerminalDialogPicture& dialog, const TerminalBoxPicture* box);

// The progress bar as text of `width` cells: "[####......]".
std::string TerminalProgressBar(const ControlState& control, int width);

}  // namespace ui
