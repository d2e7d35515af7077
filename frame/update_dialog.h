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

// Program-wide values of the frame.
extern std::u16string TitleText;
extern platform::FontHandle StatusFont;
extern platform::FontHandle TitleFont;

// The exit status of a program that found another update running on the
// device (the dialog's own results are 1, 2 and -1).
inline constexpr int kExitUpdateRunning = 3;

// What makes one program's dialog its own.
struct UpdateProgram {
  std::u16string name;                     // "shellfit": who holds the device's update lock
  std::u16string mutexName;                // "VKMORAN3_SHELLFIT"
  const platform::DialogTemplate* dialog;  // resource 104
  int anchorId;                            // the control whose top lands below the title
  std::vector<int> moveOrder;              // controls shifted by the layout, in order
  std::vector<int> statusFontControls;     // controls that get StatusFont
  bool titleAtHalfMargin;                  // shellfit: title top at m/2; imagefit: at m
  // Step 2 of the skeleton: the program's own checks; false ends with exit 0.
  bool (*prepare)(const std::u16string& commandLine);
  // Runs at the end of the layout (shellfit fills its texts here). May be null.
  void (*afterLayout)(platform::Dialog& dialog);
  // WM_INITDIALOG after the layout and full-screen step: false ends the dialog
  // with -1 unseen (imagefit's start checks). May be null.
  bool (*initDialog)(platform::Dialog& dialog);
  // Shown at once when initDialog succeeds; shellfit then posts START when set.
  bool* forceStart;
  // WM_COMMAND id 1.
  void (*onStart)(platform::Dialog& dialog);
};

// The start-up skeleton: mutex (second instance: 0), the device's update lock
// (another updater on the device: kExitUpdateRunning), prepare, then dialog
// 104 run modally with UpdateDialogProc; returns the exit code.
int RunUpdateProgram(const UpdateProgram& program, const std::u16string& commandLine);

// The dialog procedure of both programs (for the program set by RunUpdateProgram).
intptr_t UpdateDialogProc(platform::Dialog& dialog, uint32_t message, uintptr_t wParam,
                          intptr_t lParam);

// Fonts, the vertical and horizontal shift of the controls. The title is
// whatever TitleText holds at this time: shellfit's prepare step fills it
// ("%s SHELL UPDATE") and the layout sets it as the window text before
// measuring it; imagefit fills it later (so it measures an empty title).
void LayoutUpdateDialog(platform::Dialog& dialog);

// Removes at most one pending message and dispatches it; never waits.
void PumpOneMessage(platform::Dialog& dialog);

// "<action> <name>" in the status line (controls::kStatus), the name shortened to fit; pumps once.
void ShowStatus(platform::Dialog& dialog, std::u16string_view action, std::u16string_view name);

// A top-most message box owned by the dialog with TitleText as caption.
int ShowMessageBox(platform::Dialog& dialog, std::u16string_view text, uint32_t style);

// The program set up by RunUpdateProgram (for the dialog procedure).
const UpdateProgram& CurrentProgram();
// Makes `program` the current one without running it (RunUpdateProgram does
// this itself; tests drive the dialog procedure directly).
void SetCurrentProgram(const UpdateProgram& program);

}  // namespace frame
