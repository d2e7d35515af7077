#include "imagefit/image_update.h"

#include <string_view>

#include "frame/update_dialog.h"
#include "imagefit/device_power.h"
#include "imagefit/flash_driver.h"
#include "imagefit/image_set.h"
#include "imagefit/image_set_check.h"
#include "imagefit/image_signatures.h"
#include "imagefit/start_decision.h"
#include "imagefit/update_mark.h"
#include "imagefit/update_report.h"
#include "platform/held_stops.h"
#include "signature/release_floor.h"

namespace imagefit {

namespace {

constexpr uint32_t kNoPowerStyle = platform::MB_TOPMOST | platform::MB_ICONINFORMATION;
constexpr uint32_t kErrorStyle =
    platform::MB_TOPMOST | platform::MB_ICONQUESTION | platform::MB_YESNO;
constexpr uint32_t kRevisionStyle = kErrorStyle | platform::MB_DEFBUTTON2;
constexpr int kExternalPowerChecks = 3;
constexpr int kPumpsAfterRevisionYes = 10;

bool AskToContinue(platform::Dialog& dialog, std::u16string_view text) {
  return frame::ShowMessageBox(dialog, text, kErrorStyle) == platform::IDYES;
}

// The store size in force before the update, set back on every way out once
// it was read. When it could not be read there is nothing to set back.
class StoreRestore {
 public:
  void Remember(uint32_t storePages) {
    storePages_ = storePages;
    known_ = true;
  }
  void Restore() const {
    if (known_) NoteStep("restore memory division", SetMemoryDivision(storePages_) == 0);
  }

 private:
  uint32_t storePages_ = 0;
  bool known_ = false;
};

bool WaitForExternalPower() {
  for (int i = 0; i < kExternalPowerChecks; ++i) {
    if (IsOnExternalPower()) return true;
  }
  return false;
}

// A failed step: Yes marks the run as not clean, No stops it.
bool PassOver(platform::Dialog& dialog, std::string_view step, std::u16string_view text,
              int* result) {
  if (!AskToContinue(dialog, text)) {
    NoteStep(step, kStepStopped);
    return false;
  }
  NoteStep(step, kStepPassedOver);
  *result = 0;
  return true;
}

// A step that asks whether to go on when it failed.
bool Step(platform::Dialog& dialog, std::string_view step, bool ok, std::u16string_view failureText,
          int* result) {
  if (!ok) return PassOver(dialog, step, failureText, result);
  NoteStep(step, kStepOk);
  return true;
}

// `*programmed` turns false when the boot loader did not go through.
bool RunBootLoaderStep(platform::Dialog& dialog, int image, bool (*update)(std::u16string_view),
                       std::string_view step, std::u16string_view failureText, bool* programmed,
                       int* result) {
  ShowTransferStatus(dialog, ImagePaths[image].c_str());
  const bool ok = update(ImagePaths[image]);
  *programmed = *programmed && ok;
  return Step(dialog, step, ok, failureText, result);
}

}  // namespace

int RunImageUpdate(platform::Dialog& dialog, bool* wholeSet) {
  bool whole = false;
  if (wholeSet == nullptr) wholeSet = &whole;
  *wholeSet = false;
  if (!WaitForExternalPower()) {
    NoteStep("external power", kStepStopped);
    frame::ShowMessageBox(dialog, u"Please make sure an AC online!", kNoPowerStyle);
    return -1;
  }
  NoteStep("external power", kStepOk);
  int result = 1;
  StoreRestore restore;
  uint32_t storePages = 0, programPages = 0, pageSize = 0;
  if (GetMemoryDivision(&storePages, &programPages, &pageSize)) {
    NoteStep("get memory division", kStepOk);
    restore.Remember(storePages);
  } else if (!PassOver(dialog, "get memory division",
                       u"ERROR!\r\nGetSystemMemoryDivision() failed!\r\nCONTINUE?", &result)) {
    return -1;
  }
  // From the first boot loader on, the flash may hold a mix of old and new
  // until the whole set went through: the mark says so to the next start.
  bool programmed = true;
  const bool stepsDone =
      Step(dialog, "set memory division", SetMemoryDivision(UPDATE_STORE_PAGES) == 0,
           u"ERROR!\r\nSetSystemMemoryDivision() failed!\r\nCONTINUE?", &result) &&
      (WriteUpdateMark(MarkedStep::BootLoader), true) &&
      RunBootLoaderStep(dialog, kNboot, UpdateNBOOT, "nboot",
                        u"ERROR!\r\nUpdateNBOOT() failed!\r\nCONTINUE?", &programmed, &result) &&
      RunBootLoaderStep(dialog, kEboot, UpdateEBOOT, "eboot",
                        u"ERROR!\r\nUpdateEBOOT() failed!\r\nCONTINUE?", &programmed, &result);
  if (!stepsDone) {
    restore.Restore();
    return -1;
  }
  // Boot loaders passed over stay what the mark names.
  if (programmed) WriteUpdateMark(MarkedStep::Kernel);
  const bool kernelOk = UpdateKernel(ImagePaths[kDrivers], ImagePaths[kTinynk], ImagePaths[kNk],
                                     ImagePaths[kChain], ImageVersion, OnImageProgress, &dialog);
  if (programmed && kernelOk) DropUpdateMark();
  *wholeSet = programmed && kernelOk;
  const bool kernelDone =
      Step(dialog, "kernel", kernelOk, u"ERROR!\r\nUpdateKernel() failed!\r\nCONTINUE?", &result);
  restore.Restore();
  return kernelDone ? result : -1;
}

namespace {

// Different revisions need the user's Yes before anything is changed.
bool ConfirmBoardRevision(platform::Dialog& dialog) {
  uint32_t board = kDefaultBoardRevision;
  GetBoardRevision(&board);
  const uint32_t image = ImageVersion >> 24;
  if (board == image) {
    NoteRevisionCheck(board, true);
    return true;
  }
  const std::u16string_view text = RevisionQuestion(board, image);
  const bool confirmed = frame::ShowMessageBox(dialog, text, kRevisionStyle) == platform::IDYES;
  NoteRevisionCheck(board, confirmed);
  if (!confirmed) return false;
  for (int i = 0; i < kPumpsAfterRevisionYes; ++i) frame::PumpOneMessage(dialog);
  return true;
}

void EnableButtons(platform::Dialog& dialog, bool enabled) {
  dialog.EnableItem(kStartButton, enabled);
  dialog.EnableItem(kCancelButton, enabled);
}

}  // namespace

void RunStart(platform::Dialog& dialog) {
  NoteRunBegins();
  HeldImageFiles held;  // from the checks to the end of the transfer
  // The checked release manifest on a keyed device: its security version
  // was weighed against the device's floor with its signature, and raises
  // the floor once every step went through.
  std::optional<signature::ReleaseManifest> release;
  if (!CheckImageSignatures(dialog, &held, &release)) return;
  if (!ConfirmBoardRevision(dialog)) return;
  if (!CheckImageSetForStart(dialog, &held)) return;
  const platform::HeldStops stops;  // from the first control code to the restart
  EnableButtons(dialog, false);
  NoteStep("power driver enter", NotifyPowerDriver(false));
  bool wholeSet = false;
  const int result = RunImageUpdate(dialog, &wholeSet);
  NoteRunResult(result);
  NoteStep("power driver leave", NotifyPowerDriver(true));
  if (result >= 0 && wholeSet && release) signature::RaiseSecurityFloor(*release);
  if (result < 0) {
    EnableButtons(dialog, true);
    return;
  }
  NoteRestart(RebootDevice(), result);
  dialog.EndDialog(1);
}

void OnStartPressed(platform::Dialog& dialog) {
  // The pumps after a Yes to the revision prompt run while START is still
  // enabled: a click queued there must not begin a second run inside this one.
  static bool handling = false;
  if (handling) return;
  handling = true;
  RunStart(dialog);
  handling = false;
}

}  // namespace imagefit
