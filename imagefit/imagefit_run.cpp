#include "imagefit/imagefit_run.h"

#include "imagefit/image_update.h"

namespace imagefit {

bool ImagefitRun::Prepare(const std::u16string& commandLine) {
  set_.folder = ChooseImageFolder(commandLine);
  return true;
}

bool ImagefitRun::InitDialog(platform::Dialog& dialog) {
  const LocatedImageSet located = LocateImageSet(set_.folder);
  set_ = located.set;
  title = ImageSetTitle(set_);
  dialog.SetWindowText(title);
  return ShowImageSet(dialog, located);
}

void ImagefitRun::OnStart(platform::Dialog& dialog) {
  if (starting_) return;
  starting_ = true;
  RunStart(dialog, set_, report_);
  starting_ = false;
}

}  // namespace imagefit
