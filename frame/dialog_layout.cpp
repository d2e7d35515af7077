// The layout step of WM_INITDIALOG: the two fonts, then every control shifted
// so the group sits centred under the painted title.
#include "frame/dialog_paint.h"
#include "frame/update_dialog.h"
#include "platform/environment.h"

namespace frame {
namespace {

constexpr int kStatusWeight = 900;
constexpr int kTitleHeight = 27;

void CreateFonts(platform::Dialog& dialog, FrameRun& frame) {
  platform::LogFont font = dialog.GetSystemFont();
  font.weight = kStatusWeight;
  frame.statusFont = dialog.CreateFont(font);
  for (int id : frame.program.statusFontControls) dialog.SetItemFont(id, frame.statusFont);
  font.height = kTitleHeight;
  frame.titleFont = dialog.CreateFont(font);
}

// The height of the title in the title font, measured in the dialog's own context.
int MeasureTitleHeight(platform::Dialog& dialog, const FrameRun& frame) {
  platform::Painter* painter = dialog.GetDC(0);
  if (painter == nullptr) return 0;
  const bool fontSelected = frame.titleFont != 0;
  const platform::FontHandle oldFont = fontSelected ? painter->SelectFont(frame.titleFont) : 0;
  const int height = painter->MeasureText(frame.run.title).cy;
  if (fontSelected) painter->SelectFont(oldFont);
  dialog.ReleaseDC(painter);
  return height;
}

}  // namespace

void LayoutUpdateDialog(platform::Dialog& dialog) {
  FrameRun& frame = RunOf(dialog);
  const UpdateProgram& program = frame.program;
  CreateFonts(dialog, frame);
  if (!frame.run.title.empty()) dialog.SetWindowText(frame.run.title);
  const int titleHeight = MeasureTitleHeight(dialog, frame);

  platform::DialogHost& host = platform::Dialogs();
  const int dx =
      (host.GetSystemMetrics(platform::SM_CXSCREEN) - dialog.GetWindowRect(0).Width()) / 2;
  const int m = MarginUnit();
  const int dy = m + m / 2 + titleHeight - dialog.GetWindowRect(program.anchorId).top;
  for (int id : program.moveOrder) {
    const platform::Rect rect = dialog.GetWindowRect(id);
    dialog.MoveItem(id, rect.left + dx, rect.top + dy);
  }
  frame.run.AfterLayout(dialog);
}

}  // namespace frame
