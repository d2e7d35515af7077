// What the image updater notes for the outcome report: the image set, each
// step of a run with its result, and how the run ended. The calls do nothing
// (and read nothing) when no report was asked for.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "imagefit/image_set.h"
#include "imagefit/update_mark.h"

namespace imagefit {

// Step results.
inline constexpr std::string_view kStepOk = "ok";
inline constexpr std::string_view kStepFailed = "failed";           // no question asked
inline constexpr std::string_view kStepPassedOver = "passed-over";  // failed, Yes: go on
inline constexpr std::string_view kStepStopped = "stopped";         // failed, No: stop

// The image folder, each image file with its size (or missing), the version
// file and both versions. With `complete` false the outcome is "incomplete-set".
void NoteImageSet(const LocatedImageSet& located);

// The mark of an update that stopped half-way, found at the start:
// "interrupted_update": {"step": "boot loader" or "kernel", "action": the words shown}.
void NoteInterruptedUpdate(MarkedStep step);

// The steps of one program run: which START they belong to, and the ones
// that failed in the current START. One per run, passed to every step that
// notes itself.
class UpdateReport {
 public:
  // START pressed: the steps that follow belong to a new START.
  void NoteRunBegins();

  // START's check of the image set; an empty `path` when it is sound. A set
  // refused makes the outcome "refused".
  void NoteImageSetCheck(std::u16string_view path, std::string_view what);

  // Every result but "ok" also names the step in the START's failed steps.
  void NoteStep(std::string_view step, std::string_view result);
  void NoteStep(std::string_view step, bool ok) { NoteStep(step, ok ? kStepOk : kStepFailed); }

  // The board's revision; `confirmed` false when a mismatch with the image's
  // was answered No (the outcome is then "declined").
  void NoteRevisionCheck(uint32_t board, bool confirmed);

  // RunImageUpdate's result (-1 stopped, 0 errors passed over, 1 clean); a
  // stopped run's outcome is "stopped".
  void NoteRunResult(int result);

  // After a run that went through: whether the restart call succeeded, and
  // the outcome: "restarted" only when every step of the START went through,
  // else "restarted-after-errors" (or "not-restarted").
  void NoteRestart(bool restarted, int result);

 private:
  void NoteFailedSteps() const;

  int starts_ = 0;           // STARTs so far in this run
  std::string failedSteps_;  // of the current START, "a, b"
};

}  // namespace imagefit
