// The OS image updater's entry: the frame's start-up skeleton with one
// ImagefitRun: the image folder chosen from the command line, the image set
// prepared when the dialog is created, and START running the update.
#include "imagefit/imagefit_entry.h"

#include "frame/update_dialog.h"
#include "imagefit/dialog_template.h"
#include "imagefit/imagefit_run.h"

namespace imagefit {

int ImagefitMain(const std::u16string& commandLine) {
  static const frame::UpdateProgram program = FrameProgram();
  ImagefitRun run;
  return frame::RunUpdateProgram(program, run, commandLine);
}

}  // namespace imagefit
