// The update dialog frame both programs share: the start-up skeleton, the
// dialog procedure with its layout and painting, the one-message pump and the
// status line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dialog.h"

namespace frame {

// The exit status of a program that found another update running on the
// device (the dialog's own results are 1, 2 and -1).
inline constexpr int kExitUpdateRunning = 3;

// What makes one program's dialog its own: fixed for the program, the same
// in every run.
struct UpdateProgram {
  std::u16string name;                     // "shellfit": who holds the device's update lock
  std::u16string mutexName;                // "VKMORAN3_SHELLFIT"
  const platform::DialogTemplate* dialog;  // resource 104
  int anchorId;                            // the control whose top lands below the title
  std::vector<int> moveOrder;              // controls shifted by the layout, in order
  std::vector<int> statusFontControls;     // controls that get StatusFont
  bool titleAtHalfMargin;                  // shellfit: title top at m/2; imagefit: at m
};

// One run of a program inside the frame: the steps the frame calls, and the
// title it shows (layout, paint, message-box captions). A program's run
// holds its own state, so two runs in one process never share any.
class ProgramRun {
 public:
  virtual ~ProgramRun() = default;

  std::u16string title;

  // Step 2 of the skeleton: the program's own checks; false ends with exit 0.
  virtual bool Prepare(const std::u16string& /*commandLine*/) { return true; }
  // At the end of the layout (shellfit fills its texts here).
  virtual void AfterLayout(platform::Dialog& /*dialog*/) {}
  // WM_INITDIALOG after the layout and full-screen step: false ends the dialog
  // with -1 unseen (imagefit's start checks).
  virtual bool InitDialog(platform::Dialog& /*dialog*/) { return true; }
  // Asked once the dialog is shown: true posts START at once ("/force").
  virtual bool ForceStart() const { return false; }
  // WM_COMMAND id 1.
  virtual void OnStart(platform::Dialog& /*dialog*/) {}
};

// The frame's state of one dialog: what it runs and the fonts it made.
struct FrameRun {
  const UpdateProgram& program;
  ProgramRun& run;
  platform::FontHandle statusFont = 0;
  platform::FontHandle titleFont = 0;
};

// The start-up skeleton: mutex (second instance: 0), the device's update lock
// (another updater on the device: kExitUpdateRunning), run.Prepare, then dialog
// 104 run modally with UpdateDialogProc; returns the exit code.
int RunUpdateProgram(const UpdateProgram& program, ProgramRun& run,
                     const std::u16string& commandLine);

// The dialog procedure of both programs. WM_INITDIALOG's lParam is the
// dialog's FrameRun, which the dialog keeps as its user data.
intptr_t UpdateDialogProc(platform::Dialog& dialog, uint32_t message, uintptr_t wParam,
                          intptr_t lParam);

// The frame run a dialog of UpdateDialogProc belongs to; null for a dialog
// the frame does not run (a test's bare dialog).
FrameRun* FrameOf(const platform::Dialog& dialog);
// The same where the frame must have one (its own messages): a dialog
// without one is a fault of the caller, said on stderr before aborting.
FrameRun& RunOf(const platform::Dialog& dialog);

// Fonts, the vertical and horizontal shift of the controls. The title is
// whatever the run's title holds at this time: shellfit's prepare step fills
// it ("%s SHELL UPDATE") and the layout sets it as the window text before
// measuring it; imagefit fills it later (so it measures an empty title).
void LayoutUpdateDialog(platform::Dialog& dialog);

// Removes at most one pending message and dispatches it; never waits.
void PumpOneMessage(platform::Dialog& dialog);

// "<action> <name>" in the status line (controls::kStatus), the name shortened to fit; pumps once.
void ShowStatus(platform::Dialog& dialog, std::u16string_view action, std::u16string_view name);

// A top-most message box owned by the dialog with the run's title as caption.
int ShowMessageBox(platform::Dialog& dialog, std::u16string_view text, uint32_t style);

}  // namespace frame
