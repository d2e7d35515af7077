// Dialog resource 104 of the OS image updater and how the frame lays it out.
#pragma once

#include "frame/update_dialog.h"
#include "platform/dialog.h"

namespace imagefit {

// Installed and new version in a group box, status line, progress bar,
// START and CANCEL; not visible until the start checks pass.
const platform::DialogTemplate& UpdateDialogTemplate();

// The frame's description of this dialog: mutex "VKMORAN3_IMAGEFIT", anchor
// the group box, the layout's move order, the status font on "New VER:", the
// new version and the status line, and the title at the full margin. The
// program's hooks are left empty.
frame::UpdateProgram FrameProgram();

}  // namespace imagefit
