// The start-up skeleton.
#include "frame/update_dialog.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/environment.h"
#include "platform/outcome_report.h"
#include "platform/system.h"
#include "platform/text.h"

namespace frame {

namespace {

// Both updaters change the same device: the second to start, whichever it
// is, leaves it to the first. A lock that cannot be taken at all stops the
// program too, as a mutex that cannot be made does. False, with the exit
// status in `*exitCode`, when the program must not go on.
bool LockDeviceUpdate(const UpdateProgram& program, int* exitCode) {
  std::u16string holder;
  const platform::MutexResult lock = platform::System().LockDeviceUpdate(program.name, &holder);
  if (lock == platform::MutexResult::Created) return true;
  if (lock == platform::MutexResult::AlreadyExists) {
    const std::string reason = "an update is already running on this device" +
                               (holder.empty() ? "" : " (" + platform::ToUtf8(holder) + ")");
    platform::SetOutcome(platform::RunOutcome::kUpdateRunning, reason);
    *exitCode = kExitUpdateRunning;
  } else {
    std::fprintf(stderr, "%s: the device's update lock cannot be taken; not started\n",
                 platform::ToUtf8(program.name).c_str());
    platform::SetOutcome(platform::RunOutcome::kNotStarted,
                         "the device's update lock cannot be taken");
    *exitCode = 0;
  }
  return false;
}

}  // namespace

int RunUpdateProgram(const UpdateProgram& program, ProgramRun& run,
                     const std::u16string& commandLine) {
  // The mutex stays owned until the process ends. Without it nothing keeps
  // a second instance from updating the device at the same time, so a
  // mutex that cannot be made ends the program as a second instance does,
  // with a word on stderr.
  const platform::MutexResult mutex = platform::System().CreateNamedMutex(program.mutexName);
  if (mutex == platform::MutexResult::AlreadyExists) {
    platform::SetOutcome(platform::RunOutcome::kAlreadyRunning);
    return 0;
  }
  if (mutex == platform::MutexResult::Failed) {
    std::fprintf(stderr, "fitkit: the named mutex %s cannot be made; not started\n",
                 platform::ToUtf8(program.mutexName).c_str());
    platform::SetOutcome(platform::RunOutcome::kNotStarted);
    return 0;
  }
  int refused = 0;
  if (!LockDeviceUpdate(program, &refused)) return refused;
  if (!run.Prepare(commandLine)) return 0;
  // The progress bar needs no class registration here: both dialog hosts
  // provide it as a built-in control.
  FrameRun frameRun{program, run};
  return platform::Dialogs().RunModal(*program.dialog, UpdateDialogProc,
                                      reinterpret_cast<intptr_t>(&frameRun));
}

}  // namespace frame
