// Where the terminal view's input comes from: keys from the terminal, or,
// when standard input is a pipe or a file, lines read from it in the line
// view's words, so that scripted input means what it always meant.
#pragma once

#include <iosfwd>

#include "ui/console/terminal_screen.h"

namespace ui {

class TerminalInput {
 public:
  TerminalInput(TerminalScreen& screen, std::istream& lines, bool keys)
      : screen_(screen), lines_(lines), keys_(keys) {}
  bool keys() const { return keys_; }

  // The next input while the dialog waits. A line reads as a key: an empty
  // line or "start" as Enter, "cancel" as Escape, the end of input as
  // EndOfInput; any other line as nothing.
  TerminalKey NextForDialog();
  // The next input while a message box waits: an empty line as Enter, the
  // end of input as EndOfInput, any other line as its first letter.
  TerminalKey NextForBox();
  // A key typed meanwhile, or None; lines are only read while something waits.
  TerminalKey Poll();
  // Drops keys typed before now (lines are never dropped).
  void DiscardTypeAhead();

 private:
  TerminalScreen& screen_;
  std::istream& lines_;
  bool keys_;
};

}  // namespace ui
