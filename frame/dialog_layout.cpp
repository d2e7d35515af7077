// The layout step of WM_INITDIALOG: the two fonts, then every control shifted
// so the group sits centred under the painted title.
#include "frame/dialog_paint.h"
#include "frame/update_dialog.h"
#include "platform/environment.h"

namespace frame {
namespace {

constexpr int kStatusWeight = 900;
constexpr int kTitleHeight = 27;

void CreateFonts(platform::Dialog& dialog) {
  platform::LogFont font = dialog.GetSystemFont();
  font.weight = kStatusWeight;
  StatusFont = dialog.CreateFont(font);
  for (int id : CurrentProgram().statusFontControls) dialog.SetItemFont(id, StatusFont);
  font.height = kTitleHeight;
  TitleFont = dialog.CreateFont(font);
}

// The height of TitleText in TitleFont, measured in the dialog's own context.
int MeasureTitleHeight(platform::Dialog& dialog) {
  platform::Painter* painter = dialog.GetDC(0);
  if (painter == nullptr) return 0;
  const bool fontSelected = TitleFont != 0;
  const platform::FontHandle oldFont = fontSelected ? painter->SelectFont(TitleFont) : 0;
  const int height = painter->MeasureText(TitleText).cy;
  if (fontSelected) painter->SelectFont(oldFont);
  dialog.ReleaseDC(painter);
  return height;
}

}  // namespace

void LayoutUpdateDialog(platform::Dialog& dialog) {
  const UpdateProgram& program = CurrentProgram();
  CreateFonts(dialog);
  if (!TitleText.empty()) dialog.SetWindowText(TitleText);
  const int titleHeight = MeasureTitleHeight(dialog);

  platform::DialogHost& host = platform::Dialogs();
  const int dx =
      (host.GetSystemMetrics(platform::SM_CXSCREEN) - dialog.GetWindowRect(0).Width()) / 2;
  const int m = MarginUnit();
  const int dy = m + m / 2 + titleHeight - dialog.GetWindowRect(program.anchorId).top;
  for (int id : program.moveOrder) {
    const platform::Rect rect = dialog.GetWindowRect(id);
    dialog.MoveItem(id, rect.left + dx, rect.top + dy);
  }
  if (program.afterLayout != nullptr) program.afterLayout(dialog);
}

}  // namespace frame
