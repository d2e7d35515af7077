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
  void Restore(UpdateReport& report) const {
    if (known_) report.NoteStep("restore memory division", SetMemoryDivision(storePages_) == 0);
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

// The steps of one RunImageUpdate: where they ask, what they send, where
// they are noted, and what they came to so far.
class UpdateSteps {
 public:
  UpdateSteps(platform::Dialog& dialog, const ImageSet& set, UpdateReport& report,
              HeldImageFiles* held)
      : dialog_(dialog), set_(set), report_(report), held_(held) {}

  // A failed step: Yes marks the run as not clean, No stops it.
  bool PassOver(std::string_view step, std::u16string_view text) {
    if (!AskToContinue(dialog_, text)) {
      report_.NoteStep(step, kStepStopped);
      return false;
    }
    report_.NoteStep(step, kStepPassedOver);
    result_ = 0;
    return true;
  }

  // A step that asks whether to go on when it failed.
  bool Step(std::string_view step, bool ok, std::u16string_view failureText) {
    if (!ok) return PassOver(step, failureText);
    report_.NoteStep(step, kStepOk);
    return true;
  }

  // programmed() turns false when the boot loader did not go through.
  bool BootLoader(int image, bool (*update)(std::u16string_view, HeldImageFiles*),
                  std::string_view step, std::u16string_view failureText) {
    ShowTransferStatus(dialog_, set_.paths[image].c_str());
    const bool ok = update(set_.paths[image], held_);
    programmed_ = programmed_ && ok;
    return Step(step, ok, failureText);
  }

  bool Kernel() { return UpdateKernel(set_, report_, OnImageProgress, &dialog_, held_); }

  int result() const { return result_; }
  bool programmed() const { return programmed_; }

 private:
  platform::Dialog& dialog_;
  const ImageSet& set_;
  UpdateReport& report_;
  HeldImageFiles* held_;
  int result_ = 1;
  bool programmed_ = true;
};

}  // namespace

int RunImageUpdate(platform::Dialog& dialog, const ImageSet& set, UpdateReport& report,
                   HeldImageFiles* held, bool* wholeSet) {
  bool whole = false;
  if (wholeSet == nullptr) wholeSet = &whole;
  *wholeSet = false;
  if (!WaitForExternalPower()) {
    report.NoteStep("external power", kStepStopped);
    frame::ShowMessageBox(dialog, u"Please make sure an AC online!", kNoPowerStyle);
    return -1;
  }
  report.NoteStep("external power", kStepOk);
  UpdateSteps steps(dialog, set, report, held);
  StoreRestore restore;
  uint32_t storePages = 0, programPages = 0, pageSize = 0;
  if (GetMemoryDivision(&storePages, &programPages, &pageSize)) {
    report.NoteStep("get memory division", kStepOk);
    restore.Remember(storePages);
  } else if (!steps.PassOver("get memory division",
                             u"ERROR!\r\nGetSystemMemoryDivision() failed!\r\nCONTINUE?")) {
    return -1;
  }
  // From the first boot loader on, the flash may hold a mix of old and new
  // until the whole set went through: the mark says so to the next start.
  const bool stepsDone =
      steps.Step("set memory division", SetMemoryDivision(UPDATE_STORE_PAGES) == 0,
                 u"ERROR!\r\nSetSystemMemoryDivision() failed!\r\nCONTINUE?") &&
      (WriteUpdateMark(MarkedStep::BootLoader), true) &&
      steps.BootLoader(kNboot, UpdateNBOOT, "nboot",
                       u"ERROR!\r\nUpdateNBOOT() failed!\r\nCONTINUE?") &&
      steps.BootLoader(kEboot, UpdateEBOOT, "eboot",
                       u"ERROR!\r\nUpdateEBOOT() failed!\r\nCONTINUE?");
  if (!stepsDone) {
    restore.Restore(report);
    return -1;
  }
  // Boot loaders passed over stay what the mark names.
  if (steps.programmed()) WriteUpdateMark(MarkedStep::Kernel);
  const bool kernelOk = steps.Kernel();
  if (steps.programmed() && kernelOk) DropUpdateMark();
  *wholeSet = steps.programmed() && kernelOk;
  const bool kernelDone =
      steps.Step("kernel", kernelOk, u"ERROR!\r\nUpdateKernel() failed!\r\nCONTINUE?");
  restore.Restore(report);
  return kernelDone ? steps.result() : -1;
}

namespace {

// Different revisions need the user's Yes before anything is changed.
bool ConfirmBoardRevision(platform::Dialog& dialog, const ImageSet& set, UpdateReport& report) {
  uint32_t board = kDefaultBoardRevision;
  GetBoardRevision(&board);
  const uint32_t image = set.version >> 24;
  if (board == image) {
    report.NoteRevisionCheck(board, true);
    return true;
  }
  const std::u16string_view text = RevisionQuestion(board, image);
  const bool confirmed = frame::ShowMessageBox(dialog, text, kRevisionStyle) == platform::IDYES;
  report.NoteRevisionCheck(board, confirmed);
  if (!confirmed) return false;
  for (int i = 0; i < kPumpsAfterRevisionYes; ++i) frame::PumpOneMessage(dialog);
  return true;
}

void EnableButtons(platform::Dialog& dialog, bool enabled) {
  dialog.EnableItem(kStartButton, enabled);
  dialog.EnableItem(kCancelButton, enabled);
}

}  // namespace

void RunStart(platform::Dialog& dialog, const ImageSet& set, UpdateReport& report) {
  report.NoteRunBegins();
  HeldImageFiles held;  // from the checks to the end of the transfer
  // The checked release manifest on a keyed device: its security version
  // was weighed against the device's floor with its signature, and raises
  // the floor once every step went through.
  std::optional<signature::ReleaseManifest> release;
  if (!CheckImageSignatures(dialog, set, &held, &release)) return;
  if (!ConfirmBoardRevision(dialog, set, report)) return;
  if (!CheckImageSetForStart(dialog, set, &held, report)) return;
  const platform::HeldStops stops;  // from the first control code to the restart
  EnableButtons(dialog, false);
  report.NoteStep("power driver enter", NotifyPowerDriver(false));
  bool wholeSet = false;
  const int result = RunImageUpdate(dialog, set, report, &held, &wholeSet);
  report.NoteRunResult(result);
  report.NoteStep("power driver leave", NotifyPowerDriver(true));
  if (result >= 0 && wholeSet && release) signature::RaiseSecurityFloor(*release);
  if (result < 0) {
    EnableButtons(dialog, true);
    return;
  }
  report.NoteRestart(RebootDevice(), result);
  dialog.EndDialog(1);
}

}  // namespace imagefit
