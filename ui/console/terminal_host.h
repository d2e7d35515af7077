// The console host's second view: on a terminal the dialog is drawn in place
// and kept current (ncurses), buttons are pressed with keys, and message
// boxes open over it. Without a terminal the console prints its lines.
#pragma once

#include "ui/console/console_host.h"

namespace ui {

// True when standard output is a terminal and FITKIT_CONSOLE=lines does not
// ask for the line stream. Input is keys when standard input is the terminal
// too, else lines from it in the line view's words.
bool TerminalViewWanted();

class TerminalDialogHost : public ConsoleDialogHost {
 public:
  explicit TerminalDialogHost(const ScreenMetrics& screen);
  // Draws on the terminal; prints lines when the terminal cannot be driven.
  // When the dialog has closed, its last state stays on the terminal as text.
  int RunModal(const platform::DialogTemplate& dialog, platform::DialogProc proc,
               intptr_t initParam) override;

 private:
  ScreenMetrics screen_;
};

}  // namespace ui
