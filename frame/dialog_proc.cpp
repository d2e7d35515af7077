// The dialog procedure: what each window message does in both programs.
#include "frame/update_dialog.h"

#include <cstdio>
#include <cstdlib>

#include "frame/dialog_paint.h"
#include "platform/dialog_controls.h"

namespace frame {
namespace {

constexpr int kStartId = platform::controls::kStart;
constexpr int kCancelId = platform::controls::kCancel;

intptr_t OnInitDialog(platform::Dialog& dialog, intptr_t frameRun) {
  dialog.SetUserData(frameRun);
  ProgramRun& run = RunOf(dialog).run;
  LayoutUpdateDialog(dialog);
  dialog.MakeFullScreenTopmost();
  if (!run.InitDialog(dialog)) {
    dialog.EndDialog(-1);
    return 0;
  }
  dialog.Show();
  if (run.ForceStart()) dialog.PostCommand(kStartId);
  return 1;
}

intptr_t OnCommand(platform::Dialog& dialog, uintptr_t wParam) {
  const int id = static_cast<int>(wParam & 0xFFFF);
  if (id == kStartId) {
    RunOf(dialog).run.OnStart(dialog);
    return 1;
  }
  if (id == kCancelId) {
    dialog.EndDialog(platform::IDCANCEL);
    return 1;
  }
  return 0;
}

// A window whose creation failed is destroyed without having been
// initialised: it made no fonts.
intptr_t OnDestroy(platform::Dialog& dialog) {
  FrameRun* frame = FrameOf(dialog);
  if (frame == nullptr) return 0;
  if (frame->statusFont != 0) dialog.DeleteFont(frame->statusFont);
  if (frame->titleFont != 0) dialog.DeleteFont(frame->titleFont);
  frame->statusFont = 0;
  frame->titleFont = 0;
  return 0;
}

}  // namespace

FrameRun* FrameOf(const platform::Dialog& dialog) {
  return reinterpret_cast<FrameRun*>(dialog.UserData());
}

FrameRun& RunOf(const platform::Dialog& dialog) {
  FrameRun* frame = FrameOf(dialog);
  if (frame == nullptr) {
    std::fprintf(stderr, "fitkit: the dialog frame runs without a program\n");
    std::abort();
  }
  return *frame;
}

intptr_t UpdateDialogProc(platform::Dialog& dialog, uint32_t message, uintptr_t wParam,
                          intptr_t lParam) {
  switch (message) {
    case platform::WM_INITDIALOG:
      return OnInitDialog(dialog, lParam);
    case platform::WM_COMMAND:
      return OnCommand(dialog, wParam);
    case platform::WM_PAINT:
      return PaintTitle(dialog);
    case platform::WM_ERASEBKGND:
      return EraseBackground(dialog, wParam);
    case platform::WM_DESTROY:
      return OnDestroy(dialog);
    default:
      return 0;  // what the default window procedure answers for these
  }
}

}  // namespace frame
