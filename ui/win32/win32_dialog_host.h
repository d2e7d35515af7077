// The Win32 dialog host: each program's dialog resource 104 run modally with
// DialogBoxParamW, its messages handed to the frame's dialog procedure.
#pragma once

#include <memory>

#include "platform/dialog.h"

namespace ui {

// The resource every program's update dialog has.
inline constexpr int kUpdateDialogResource = 104;

std::unique_ptr<platform::DialogHost> CreateWin32DialogHost();

}  // namespace ui
