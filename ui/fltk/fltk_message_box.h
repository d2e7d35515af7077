// A modal message box as a small FLTK window of its own, placed by the kit
// (there may be no window manager), with the style's buttons and default.
#pragma once

#include <cstdint>
#include <string_view>

#include "ui/dialog_state.h"

namespace ui {

// Return presses the default button; Escape answers Cancel where the box has
// one and OK on an OK box, and does nothing on a Yes/No box.
int RunFltkMessageBox(std::u16string_view text, std::u16string_view caption, uint32_t style,
                      const ScreenMetrics& screen);

}  // namespace ui
