// The kit's exit codes: fitkit's, the same for every command (fitkit(1) lists
// them), which the outcome table also gives each way a run can end.
#pragma once

namespace report {

enum ExitCode {
  kExitSuccess = 0,         // installed, restarted; check: would go through
  kExitRefused = 1,         // refused before anything changed (check: would be)
  kExitUsage = 2,           // the command line is wrong
  kExitIncomplete = 3,      // the update began and did not finish as a whole
  kExitNoUpdate = 4,        // no package or image set found, or one incomplete
  kExitNoDevice = 5,        // no device root, or a device without a model
  kExitAlreadyRunning = 6,  // another instance holds the device
  kExitOther = 7,           // cancelled, interrupted, or the update could not be placed
  kExitUpdateRunning = 8,   // the other updater is changing the device
};

}  // namespace report
