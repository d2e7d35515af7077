// The OS image updater's entry: the frame's start-up skeleton with the image
// folder chosen from the command line, the image set prepared when the dialog
// is created, and START running the update.
#include "imagefit/imagefit_entry.h"

#include "frame/update_dialog.h"
#include "imagefit/dialog_template.h"
#include "imagefit/image_set.h"
#include "imagefit/image_update.h"

namespace imagefit {

namespace {

class ImagefitRun : public frame::ProgramRun {
 public:
  bool Prepare(const std::u16string& commandLine) override {
    return ChooseImageFolder(commandLine);
  }
  bool InitDialog(platform::Dialog& dialog) override {
    if (!PrepareImageSet(dialog)) return false;
    return true;
  }
  void OnStart(platform::Dialog& dialog) override { OnStartPressed(dialog); }
};

}  // namespace

int ImagefitMain(const std::u16string& commandLine) {
  static const frame::UpdateProgram program = FrameProgram();
  ImagefitRun run;
  return frame::RunUpdateProgram(program, run, commandLine);
}

}  // namespace imagefit
