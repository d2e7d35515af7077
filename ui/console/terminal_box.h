// A message box on the terminal: drawn over the dialog, answered with keys.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "ui/console/terminal_input.h"
#include "ui/console/terminal_view.h"

namespace ui {

// Shows the box through `draw` and reads keys until one answers it: Enter
// presses the marked button (the default one to begin with), Tab and the
// arrows move the mark, a button's first letter (y, n, o, c) presses it,
// Escape answers Cancel where the box has one and OK on an OK box. Keys typed
// before the box opened are dropped. At the end of input the default button
// answers.
int AskTerminalMessageBox(TerminalInput& input, std::u16string_view text,
                          std::u16string_view caption, uint32_t style,
                          const std::function<void(const TerminalBoxPicture&)>& draw);

}  // namespace ui
