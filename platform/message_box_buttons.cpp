#include "platform/message_box_buttons.h"

#include "platform/dialog.h"

namespace platform {

MessageBoxButtons ButtonsFor(uint32_t style) {
  MessageBoxButtons result;
  switch (style & 0xF) {
    case 0x1:  // MB_OKCANCEL
      result.buttons = {{"OK", IDOK}, {"Cancel", IDCANCEL}};
      break;
    case 0x3:  // MB_YESNOCANCEL
      result.buttons = {{"Yes", IDYES}, {"No", IDNO}, {"Cancel", IDCANCEL}};
      break;
    case MB_YESNO:
      result.buttons = {{"Yes", IDYES}, {"No", IDNO}};
      break;
    default:
      result.buttons = {{"OK", IDOK}};
      break;
  }
  const std::size_t requested = (style >> 8) & 0xF;  // MB_DEFBUTTON2 = 1, ...
  result.defaultIndex = requested < result.buttons.size() ? requested : 0;
  return result;
}

}  // namespace platform
