// The OS image updater's entry: the frame's start-up skeleton with the image
// folder chosen from the command line, the image set prepared when the dialog
// is created, and START running the update.
#include "imagefit/imagefit_entry.h"

#include "frame/update_dialog.h"
#include "imagefit/dialog_template.h"
#include "imagefit/image_set.h"
#include "imagefit/image_update.h"

namespace imagefit {

int ImagefitMain(const std::u16string& commandLine) {
  static const frame::UpdateProgram program = [] {
    frame::UpdateProgram p = FrameProgram();
    p.prepare = &ChooseImageFolder;
    p.initDialog = &PrepareImageSet;
    p.onStart = &OnStartPressed;
    return p;
  }();
  return frame::RunUpdateProgram(program, commandLine);
}

}  // namespace imagefit
