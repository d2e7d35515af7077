// A dialog over the shared dialog state whose painters measure like the
// console (8 pixels per unit, the font's height) and record what they draw.
// Its modal loop answers "no more input" with Cancel.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "ui/dialog_state.h"

namespace test_support {

// What a painter was asked to draw.
struct DrawnText {
  std::u16string text;
  platform::Rect rect;
  uint32_t format = 0;
  uint32_t color = 0;
  platform::LogFont font;
  int bkMode = 0;
};

class PaintingDialog : public ui::DialogState {
 public:
  PaintingDialog(const platform::DialogTemplate& dialog, platform::DialogProc proc,
                 const ui::ScreenMetrics& screen)
      : ui::DialogState(dialog, proc, screen) {}

  std::vector<DrawnText> drawn;
  std::vector<std::pair<platform::Rect, uint32_t>> filled;
  int openPainters = 0;
  int messageBoxes = 0;
  std::u16string lastCaption;
  uint32_t lastStyle = 0;

  platform::Painter* GetDC(int id) override;
  void ReleaseDC(platform::Painter* painter) override;
  platform::Painter* BeginPaint() override;
  void EndPaint(platform::Painter* painter) override;
  int MessageBox(std::u16string_view text, std::u16string_view caption, uint32_t style) override;
  bool PumpOneMessage() override { return DispatchQueued(); }

  intptr_t SendMessage(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0) {
    return Send(message, wParam, lParam);
  }
  // A user's click on a button, queued as the window system queues it.
  void Click(int id) { PressButton(id); }

 protected:
  void WaitForInput() override { PostCommand(2); }
};

}  // namespace test_support
