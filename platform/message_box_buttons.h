// The buttons a message box style asks for, shared by both dialog hosts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct MessageBoxButton {
  std::string label;  // "OK", "Yes", ...
  int answer;         // IDOK, IDYES, ...
};

struct MessageBoxButtons {
  std::vector<MessageBoxButton> buttons;
  std::size_t defaultIndex = 0;  // MB_DEFBUTTON1..3, within the buttons
};

// MB_OK, MB_OKCANCEL, MB_YESNOCANCEL and MB_YESNO; any other type shows OK.
MessageBoxButtons ButtonsFor(uint32_t style);

}  // namespace platform
