// The window dialog host: the dialog as a borderless FLTK window of the
// simulated screen's size, its controls as FLTK widgets, its background and
// title painted by the dialog procedure through fl_* drawing.
#pragma once

#include "ui/dialog_state.h"

namespace ui {

// True when an X display can be opened (FLTK itself exits when it cannot).
bool FltkDisplayAvailable();

class FltkDialogHost : public platform::DialogHost {
 public:
  explicit FltkDialogHost(const ScreenMetrics& screen);
  int GetSystemMetrics(int index) override;
  platform::Rect MapDialogRect(const platform::DialogTemplate& dialog,
                               const platform::Rect& units) override;
  int RunModal(const platform::DialogTemplate& dialog, platform::DialogProc proc,
               intptr_t initParam) override;

 private:
  ScreenMetrics screen_;
};

}  // namespace ui
