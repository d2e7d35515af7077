// The dialog procedure: what each window message does in both programs.
#include "frame/update_dialog.h"

#include "frame/dialog_paint.h"
#include "platform/dialog_controls.h"

namespace frame {
namespace {

constexpr int kStartId = platform::controls::kStart;
constexpr int kCancelId = platform::controls::kCancel;

intptr_t OnInitDialog(platform::Dialog& dialog) {
  const UpdateProgram& program = CurrentProgram();
  LayoutUpdateDialog(dialog);
  dialog.MakeFullScreenTopmost();
  if (program.initDialog != nullptr && !program.initDialog(dialog)) {
    dialog.EndDialog(-1);
    return 0;
  }
  dialog.Show();
  if (program.forceStart != nullptr && *program.forceStart) dialog.PostCommand(kStartId);
  return 1;
}

intptr_t OnCommand(platform::Dialog& dialog, uintptr_t wParam) {
  const int id = static_cast<int>(wParam & 0xFFFF);
  if (id == kStartId) {
    const UpdateProgram& program = CurrentProgram();
    if (program.onStart != nullptr) program.onStart(dialog);
    return 1;
  }
  if (id == kCancelId) {
    dialog.EndDialog(platform::IDCANCEL);
    return 1;
  }
  return 0;
}

intptr_t OnDestroy(platform::Dialog& dialog) {
  if (StatusFont != 0) dialog.DeleteFont(StatusFont);
  if (TitleFont != 0) dialog.DeleteFont(TitleFont);
  StatusFont = 0;
  TitleFont = 0;
  return 0;
}

}  // namespace

intptr_t UpdateDialogProc(platform::Dialog& dialog, uint32_t message, uintptr_t wParam,
                          intptr_t /*lParam*/) {
  switch (message) {
    case platform::WM_INITDIALOG:
      return OnInitDialog(dialog);
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
