// What both dialog hosts share: the dialog's controls built from its template,
// the fonts it created, the queue of posted messages and the modal result.
// A host adds how the dialog is shown, measured and painted.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <vector>

#include "platform/dialog.h"

namespace ui {

// The simulated screen (device.ini [screen]).
struct ScreenMetrics {
  int width = 480;
  int height = 272;
  int scroll = 13;  // SM_CYHSCROLL, the frame's margin unit
};

// Dialog units of the "System" font to pixels: its base units are 8 x 16, so
// one unit is 2 pixels each way (x * 8 / 4, y * 16 / 8).
platform::Rect DialogUnitsToPixels(const platform::Rect& units);

int ScreenMetric(const ScreenMetrics& screen, int index);

// The stock system font (SYSTEM_FONT) and its handle.
inline constexpr platform::FontHandle kSystemFontHandle = 1;
platform::LogFont SystemLogFont();

// GetSysColor(COLOR_STATIC) of the device: light grey.
inline constexpr uint32_t kStaticColorRef = 0x00C0C0C0;

struct ControlState {
  platform::ControlTemplate source;
  platform::Rect rect;  // client coordinates of the dialog, in pixels
  std::u16string text;
  bool enabled = true;
  platform::FontHandle font = 0;  // 0: the system font
  uint16_t low = 0, high = 100;
  int position = 0;
};

class DialogState : public platform::Dialog {
 public:
  DialogState(const platform::DialogTemplate& dialog, platform::DialogProc proc,
              const ScreenMetrics& screen);

  void SetWindowText(std::u16string_view text) override;
  void SetItemText(int id, std::u16string_view text) override;
  std::u16string GetItemText(int id) override;
  void EnableItem(int id, bool enabled) override;
  platform::Rect GetWindowRect(int id) override;
  platform::Rect GetClientRect(int id) override;
  void MoveItem(int id, int x, int y) override;
  void SetProgressRange(int id, uint16_t low, uint16_t high) override;
  void SetProgressPos(int id, int position) override;

  platform::LogFont GetSystemFont() override;
  platform::FontHandle CreateFont(const platform::LogFont& font) override;
  void DeleteFont(platform::FontHandle font) override;
  void SetItemFont(int id, platform::FontHandle font) override;
  uint32_t GetSysColor(uint32_t index) override;

  void MakeFullScreenTopmost() override;
  void Show() override;
  void PostCommand(int id) override;
  void EndDialog(int result) override;

  // The modal run: WM_INITDIALOG, messages until EndDialog, WM_DESTROY.
  int RunModal(intptr_t initParam = 0);

  // The font a handle stands for (the system font for unknown handles).
  platform::LogFont FontOf(platform::FontHandle font) const;
  const std::vector<ControlState>& controls() const { return controls_; }
  const ControlState* Find(int id) const;
  const std::u16string& windowText() const { return windowText_; }
  const ScreenMetrics& screen() const { return screen_; }
  bool shown() const { return shown_; }
  bool ended() const { return ended_; }
  int statusId() const { return statusId_; }

 protected:
  ControlState* FindMutable(int id);
  // Dispatches the oldest posted message; false when none is waiting.
  bool DispatchQueued();
  intptr_t Send(uint32_t message, uintptr_t wParam, intptr_t lParam);
  // A user's press of a button: queued like the window system would queue
  // the click. The button sends its command only when the click is
  // dispatched, so a press queued before the button was disabled is dropped.
  void PressButton(int id);

  // Hooks for the host's view of the dialog.
  virtual void OnTextChanged(const ControlState&) {}
  virtual void OnEnabledChanged(const ControlState&) {}
  virtual void OnMoved(const ControlState&) {}
  virtual void OnProgressChanged(const ControlState&) {}
  virtual void OnFontChanged(const ControlState&) {}
  virtual void OnWindowTextChanged() {}
  virtual void OnWindowChanged() {}
  virtual void OnShown() {}
  // Waits for the next user input and queues what it does (modal loop only).
  virtual void WaitForInput() = 0;

 private:
  struct Posted {
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
    int button = 0;  // the clicked button, 0 for a posted message
  };

  platform::DialogProc proc_;
  ScreenMetrics screen_;
  platform::Rect window_;  // screen coordinates
  std::u16string windowText_;
  std::vector<ControlState> controls_;
  std::map<platform::FontHandle, platform::LogFont> fonts_;
  platform::FontHandle nextFont_ = kSystemFontHandle + 1;
  std::deque<Posted> queue_;
  int statusId_ = 0;
  bool shown_ = false;
  bool ended_ = false;
  int result_ = 0;
};

}  // namespace ui
