// How a run ended: every way a run of shellfit or imagefit can end is one of
// these. report/outcome_table.h gives each its word in the outcome report,
// its closing line and fitkit's exit code.
#pragma once

namespace platform {

enum class RunOutcome {
  kInstalled,             // shellfit: every entry written and read back
  kRefused,               // the update was refused before anything changed
  kIncomplete,            // shellfit: the old shell went, not all of the new came
  kNoPackage,             // shellfit: START found no package
  kNotNewer,              // shellfit /upgrade: nothing newer to install
  kNotStarted,            // no model, no flash drive profile, no source folder, no mutex
  kRestarted,             // imagefit: every step went through and the device restarted
  kRestartedAfterErrors,  // imagefit: restarted, but a step failed or the journal lost a line
  kNotRestarted,          // imagefit: the run ended but the restart call failed
  kStopped,               // imagefit: no external power, or No to "CONTINUE?"
  kDeclined,              // imagefit: No to the board revision question
  kIncompleteSet,         // imagefit: an image file is missing
  kNoDevice,              // no device root was found
  kAlreadyRunning,        // another instance holds the program's mutex
  kCancelled,             // Cancel before anything decisive happened
  kInterrupted,           // a signal ended the program outside the change of the device
  kUpdateRunning,         // the other updater holds the device's update lock
  // Stays last: the table's look-up by word counts up to it.
  kEnded,  // the program named no outcome and its exit status says none
};

}  // namespace platform
