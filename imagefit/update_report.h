// What the image updater notes for the outcome report: the image set, each
// step of a run with its result, and how the run ended. The calls do nothing
// (and read nothing) when no report was asked for.
#pragma once

#include <cstdint>
#include <string_view>

#include "imagefit/update_mark.h"

namespace imagefit {

// Step results.
inline constexpr std::string_view kStepOk = "ok";
inline constexpr std::string_view kStepFailed = "failed";           // no question asked
inline constexpr std::string_view kStepPassedOver = "passed-over";  // failed, Yes: go on
inline constexpr std::string_view kStepStopped = "stopped";         // failed, No: stop

// The image folder, each image file with its size (or missing), the version
// file and both versions. With `complete` false the outcome is "incomplete-set".
void NoteImageSet(std::u16string_view versionFile, uint32_t installed, bool complete);

// The mark of an update that stopped half-way, found at the start:
// "interrupted_update": {"step": "boot loader" or "kernel", "action": the words shown}.
void NoteInterruptedUpdate(MarkedStep step);

// START pressed: the steps that follow belong to a new run.
void NoteRunBegins();

// START's check of the image set; an empty `path` when it is sound. A set
// refused makes the outcome "refused".
void NoteImageSetCheck(std::u16string_view path, std::string_view what);

// Every result but "ok" also names the step in the run's failed steps.
void NoteStep(std::string_view step, std::string_view result);
inline void NoteStep(std::string_view step, bool ok) { NoteStep(step, ok ? kStepOk : kStepFailed); }

// The board's revision; `confirmed` false when a mismatch with the image's
// was answered No (the outcome is then "declined").
void NoteRevisionCheck(uint32_t board, bool confirmed);

// RunImageUpdate's result (-1 stopped, 0 errors passed over, 1 clean); a
// stopped run's outcome is "stopped".
void NoteRunResult(int result);

// After a run that went through: whether the restart call succeeded, and the
// outcome: "restarted" only when every step of the run went through, else
// "restarted-after-errors" (or "not-restarted").
void NoteRestart(bool restarted, int result);

}  // namespace imagefit
