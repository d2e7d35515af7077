// The shell updater's entry, run by main() on the device.
#pragma once

#include <string>

#include <string_view>

#include "frame/update_dialog.h"
#include "platform/dialog.h"
#include "shellfit/run_sequence.h"
#include "shellfit/update_site.h"

namespace shellfit {

// The command line is the program's arguments joined with one blank.
int ShellfitMain(const std::u16string& commandLine);

// One run of the updater inside the dialog frame.
class ShellfitRun : public frame::ProgramRun {
 public:
  // Before the dialog: the device's model and flash drive, the recovery of
  // an interrupted install, the command line; false for an early exit.
  bool Prepare(const std::u16string& commandLine) override;
  // What the dialog shows before START.
  void AfterLayout(platform::Dialog& dialog) override;
  // "/force": the dialog presses START itself.
  bool ForceStart() const override { return forceStart_; }
  void OnStart(platform::Dialog& dialog) override { RunUpdate(dialog, site_); }

  const UpdateSite& site() const { return site_; }

 private:
  bool ReadModel();

  UpdateSite site_;
  bool forceStart_ = false;
  // The first status line when this start found the last install interrupted.
  std::u16string_view found_;
};

}  // namespace shellfit
