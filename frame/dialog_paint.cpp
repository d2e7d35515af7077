#include "frame/dialog_paint.h"

#include "frame/update_dialog.h"
#include "platform/environment.h"

namespace frame {

int MarginUnit() { return platform::Dialogs().GetSystemMetrics(platform::SM_CYHSCROLL); }

intptr_t PaintTitle(platform::Dialog& dialog) {
  platform::Painter* painter = dialog.BeginPaint();
  if (painter == nullptr) return 0;
  const FrameRun& frame = RunOf(dialog);
  const uint32_t oldColor = painter->SetTextColor(kTitleColor);
  const bool fontSelected = frame.titleFont != 0;
  const platform::FontHandle oldFont = fontSelected ? painter->SelectFont(frame.titleFont) : 0;
  const int oldMode = painter->SetBkMode(platform::TRANSPARENT);

  const std::u16string bracketed = u"[ " + frame.run.title + u" ]";
  const int height = painter->MeasureText(bracketed).cy;
  const int m = MarginUnit();
  platform::Rect rect = dialog.GetClientRect(0);
  rect.top = frame.program.titleAtHalfMargin ? m / 2 : m;
  rect.bottom = rect.top + height;
  painter->DrawText(bracketed, rect, platform::DT_CENTER | platform::DT_NOPREFIX);

  if (oldMode != 0) painter->SetBkMode(oldMode);
  if (fontSelected) painter->SelectFont(oldFont);
  painter->SetTextColor(oldColor);
  dialog.EndPaint(painter);
  return 0;
}

intptr_t EraseBackground(platform::Dialog& dialog, uintptr_t wParam) {
  if (wParam == 0) return 0;
  auto* painter = reinterpret_cast<platform::Painter*>(wParam);
  painter->FillRect(dialog.GetClientRect(0), dialog.GetSysColor(platform::COLOR_STATIC));
  return 1;
}

}  // namespace frame
