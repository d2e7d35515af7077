// One run of the OS image updater inside the frame: the image folder the
// command line names, the set found there and what the run notes for the
// report. ImagefitMain makes one per run; nothing of it outlives the run, so
// two runs in one process (fitkit rehearse) see nothing of each other.
#pragma once

#include <string>

#include "frame/update_dialog.h"
#include "imagefit/image_set.h"
#include "imagefit/update_report.h"
#include "platform/dialog.h"

namespace imagefit {

// The title ("KTR 60 OS UPDATE") is set once the dialog is up.
class ImagefitRun : public frame::ProgramRun {
 public:
  // The image folder: the command line as given, else the program's folder.
  bool Prepare(const std::u16string& commandLine) override;
  // The set found in the folder and shown; false (the dialog ends with -1
  // unseen) when an image file is missing or its path too long.
  bool InitDialog(platform::Dialog& dialog) override;
  // START; a click that arrives while START runs (the revision prompt's
  // pumps) is dropped.
  void OnStart(platform::Dialog& dialog) override;

  const ImageSet& set() const { return set_; }

 private:
  ImageSet set_;
  UpdateReport report_;
  bool starting_ = false;
};

}  // namespace imagefit
