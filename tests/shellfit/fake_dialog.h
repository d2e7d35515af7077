// A dialog that records what the updater shows: status lines, message boxes,
// progress, button states and the end result. Text is measured at a fixed
// 8 pixels per unit in a 2000-pixel status line, so names are never cut.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/dialog.h"
#include "platform/text.h"

namespace shellfit_test {

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
  std::string text, caption;
  uint32_t style = 0;
};

class FakeDialog : public platform::Dialog {
 public:
  std::vector<std::string> statuses;
  std::vector<MessageBoxCall> messageBoxes;
  std::map<int, bool> enabled;
  uint16_t progressHigh = 100;
  int progressPos = 0;
  int pumped = 0;
  int endResult = -100;

  void SetWindowText(std::u16string_view) override {}
  void SetItemText(int id, std::u16string_view text) override {
    if (id == 1005) statuses.push_back(platform::ToUtf8(text));
  }
  std::u16string GetItemText(int) override { return {}; }
  void EnableItem(int id, bool on) override { enabled[id] = on; }
  platform::Rect GetWindowRect(int) override { return {0, 0, 2000, 20}; }
  platform::Rect GetClientRect(int) override { return {0, 0, 2000, 20}; }
  void MoveItem(int, int, int) override {}
  void SetProgressRange(int id, uint16_t, uint16_t high) override {
    if (id == 1006) progressHigh = high;
  }
  void SetProgressPos(int id, int position) override {
    if (id == 1006) progressPos = position;
  }
  platform::LogFont GetSystemFont() override { return {}; }
  platform::FontHandle CreateFont(const platform::LogFont&) override { return 0; }
  void DeleteFont(platform::FontHandle) override {}
  void SetItemFont(int, platform::FontHandle) override {}
  platform::Painter* GetDC(int) override { return &painter_; }
  void ReleaseDC(platform::Painter*) override {}
  platform::Painter* BeginPaint() override { return &painter_; }
  void EndPaint(platform::Painter*) override {}
  uint32_t GetSysColor(uint32_t) override { return 0; }
  void MakeFullScreenTopmost() override {}
  void Show() override {}
  void PostCommand(int) override {}
  void EndDialog(int result) override { endResult = result; }
  int MessageBox(std::u16string_view text, std::u16string_view caption,
                 uint32_t style) override {
    messageBoxes.push_back({platform::ToUtf8(text), platform::ToUtf8(caption), style});
    return platform::IDOK;
  }
  bool PumpOneMessage() override {
    ++pumped;
    return false;
  }

 private:
  FixedPainter painter_;
};

}  // namespace shellfit_test
