// How the console host writes a dialog and a message box as text.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "ui/dialog_state.h"

namespace ui {

// The controls as text, one row per distinct top edge, left to right:
// <START> for the default button, [Cancel] for another, (START) when
// disabled, |text| for a bordered static, a bar of '#' for a progress bar.
std::vector<std::string> ConsoleRows(const std::vector<ControlState>& controls);

// The button's text, or "control <id>".
std::string ConsoleControlName(const ControlState& control);

std::string TrimmedLower(std::string_view line);

// Prints caption, text and buttons, reads answers until one names a button
// by its first letter; an empty line or end of input takes the default.
int AskMessageBox(std::istream& in, std::ostream& out, std::u16string_view text,
                  std::u16string_view caption, uint32_t style);

}  // namespace ui
