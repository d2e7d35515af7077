// The OS image updater's entry: the update dialog; START ends it with 1.
#include "imagefit/imagefit_entry.h"

#include "frame/update_dialog.h"
#include "imagefit/dialog_template.h"

namespace imagefit {
namespace {

void Start(platform::Dialog& dialog) { dialog.EndDialog(1); }

}  // namespace

int ImagefitMain(const std::u16string& commandLine) {
  static frame::UpdateProgram program = [] {
    frame::UpdateProgram p = FrameProgram();
    p.onStart = &Start;
    return p;
  }();
  return frame::RunUpdateProgram(program, commandLine);
}

}  // namespace imagefit
