// A dialog that records what the updater does to it: title, item texts, the
// status lines (control 1005), button states, progress, message boxes, pumps
// and the end result. Message boxes answer from `answers` in turn, else with
// their default button.
//
// With `statusWidth` set it hands out a painter that measures 8 pixels per
// unit in a status control that wide; without, it has no device context, so
// status lines carry their action alone.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/dialog.h"

namespace test_support {

class FixedPainter : public platform::Painter {
 public:
  uint32_t SetTextColor(uint32_t c) override { return c; }
  platform::FontHandle SelectFont(platform::FontHandle f) override { return f; }
  int SetBkMode(int m) override { return m; }
  platform::Size MeasureText(std::u16string_view text) override {
    return {static_cast<int>(text.size()) * 8, 16};
  }
  void DrawText(std::u16string_view, const platform::Rect&, uint32_t) override {}
  void FillRect(const platform::Rect&, uint32_t) override {}
};

struct MessageBoxCall {
  std::u16string text, caption;
  uint32_t style = 0;
};

// The same in UTF-8, for readable comparisons.
struct MessageBoxText {
  std::string text, caption;
  uint32_t style = 0;
};

class RecordingDialog : public platform::Dialog {
 public:
  void SetWindowText(std::u16string_view text) override { title = text; }
  void SetItemText(int id, std::u16string_view text) override;
  std::u16string GetItemText(int id) override { return texts[id]; }
  void EnableItem(int id, bool enabled) override {
    this->enabled[id] = enabled;
    ++enableCalls;
  }
  platform::Rect GetWindowRect(int) override { return StatusRect(); }
  platform::Rect GetClientRect(int) override { return StatusRect(); }
  void MoveItem(int, int, int) override {}
  void SetProgressRange(int id, uint16_t low, uint16_t high) override;
  void SetProgressPos(int id, int position) override;
  platform::LogFont GetSystemFont() override { return {}; }
  platform::FontHandle CreateFont(const platform::LogFont&) override { return 0; }
  void DeleteFont(platform::FontHandle) override {}
  void SetItemFont(int, platform::FontHandle) override {}
  platform::Painter* GetDC(int) override { return statusWidth ? &painter_ : nullptr; }
  void ReleaseDC(platform::Painter*) override {}
  platform::Painter* BeginPaint() override { return statusWidth ? &painter_ : nullptr; }
  void EndPaint(platform::Painter*) override {}
  uint32_t GetSysColor(uint32_t) override { return 0; }
  void MakeFullScreenTopmost() override {}
  void Show() override {}
  void PostCommand(int) override {}
  void EndDialog(int result) override { endResult = result; }
  int MessageBox(std::u16string_view text, std::u16string_view caption, uint32_t style) override;
  bool PumpOneMessage() override;

  std::optional<int> statusWidth;
  std::u16string title;
  std::map<int, std::u16string> texts;
  std::vector<std::u16string> statusHistory;             // every text set on 1005
  std::vector<std::string> statuses;                     // the same in UTF-8
  std::map<int, bool> enabled = {{1, true}, {2, true}};  // START and CANCEL start enabled
  int enableCalls = 0;
  std::vector<std::pair<uint16_t, uint16_t>> ranges;  // of every progress control
  std::vector<int> positions;
  uint16_t progressHigh = 100;  // of the progress bar, 1006
  int progressPos = 0;
  std::vector<MessageBoxCall> boxes;
  std::vector<MessageBoxText> messageBoxes;  // the same in UTF-8
  std::deque<int> answers;                   // IDYES/IDNO/IDOK in turn; empty = the default button
  int pumps = 0;
  std::optional<int> endResult;
  std::function<void()> onPump;

 private:
  platform::Rect StatusRect() const {
    return {0, 0, statusWidth.value_or(0), statusWidth ? 20 : 0};
  }
  FixedPainter painter_;
};

}  // namespace test_support
