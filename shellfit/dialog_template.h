// Dialog resource 104 of the shell updater and how the frame lays it out.
#pragma once

#include "frame/update_dialog.h"
#include "platform/dialog.h"

namespace shellfit {

// Source and target fields, status line, progress bar, START and Cancel.
const platform::DialogTemplate& UpdateDialogTemplate();

// The frame's description of this dialog: mutex "VKMORAN3_SHELLFIT", anchor
// "Source:", the layout's move order, the status font on the status line and
// the title at half the margin. The program's hooks are left empty.
frame::UpdateProgram FrameProgram();

}  // namespace shellfit
