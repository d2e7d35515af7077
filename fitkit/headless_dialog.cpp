#include "fitkit/headless_dialog.h"

#include <utility>

#include "platform/dialog_controls.h"
#include "platform/text.h"
#include "ui/console/console_host.h"

namespace fitkit {
namespace {

// Measures as the console does; draws nothing.
class MeasuringPainter : public platform::Painter {
 public:
  MeasuringPainter(const ui::DialogState& dialog) : dialog_(dialog) {}
  uint32_t SetTextColor(uint32_t colorref) override { return std::exchange(color_, colorref); }
  platform::FontHandle SelectFont(platform::FontHandle font) override {
    return std::exchange(font_, font);
  }
  int SetBkMode(int mode) override { return std::exchange(mode_, mode); }
  platform::Size MeasureText(std::u16string_view text) override {
    return ui::ConsoleTextExtent(text, dialog_.FontOf(font_));
  }
  void DrawText(std::u16string_view, const platform::Rect&, uint32_t) override {}
  void FillRect(const platform::Rect&, uint32_t) override {}

 private:
  const ui::DialogState& dialog_;
  platform::FontHandle font_ = ui::kSystemFontHandle;
  uint32_t color_ = 0;
  int mode_ = platform::OPAQUE;
};

// After this many waits for a press the dialog is closed by force: a
// dialog that keeps coming back would otherwise never end.
constexpr int kMostWaits = 3;

class HeadlessDialog : public ui::DialogState {
 public:
  HeadlessDialog(const platform::DialogTemplate& dialog, platform::DialogProc proc,
                 const ui::ScreenMetrics& screen, HeadlessDialogHost& host)
      : ui::DialogState(dialog, proc, screen), host_(host) {}

  platform::Painter* GetDC(int) override { return new MeasuringPainter(*this); }
  void ReleaseDC(platform::Painter* painter) override { delete painter; }
  platform::Painter* BeginPaint() override { return new MeasuringPainter(*this); }
  void EndPaint(platform::Painter* painter) override { delete painter; }
  int MessageBox(std::u16string_view text, std::u16string_view, uint32_t style) override {
    return host_.Respond(text, style);
  }
  bool PumpOneMessage() override { return DispatchQueued(); }

 protected:
  void OnTextChanged(const ui::ControlState& control) override {
    if (control.source.id != statusId()) return;
    state_.status = control.text;
    host_.Changed(state_);
  }
  void OnProgressChanged(const ui::ControlState& control) override {
    if (state_.position == control.position && state_.high == control.high) return;
    state_.position = control.position;
    state_.high = control.high;
    host_.Changed(state_);
  }
  void WaitForInput() override {
    ++waits_;
    if (waits_ == 1) {
      PressButton(platform::controls::kStart);
    } else if (waits_ < kMostWaits) {
      PressButton(platform::controls::kCancel);
    } else {
      EndDialog(platform::IDCANCEL);
    }
  }

 private:
  HeadlessDialogHost& host_;
  ScreenState state_;
  int waits_ = 0;
};

}  // namespace

bool ParseAnswer(const std::string& text, Answer* answer) {
  if (text == "yes")
    *answer = Answer::Yes;
  else if (text == "no")
    *answer = Answer::No;
  else
    return false;
  return true;
}

std::string QuestionLine(std::u16string_view text) {
  std::string line;
  for (char c : platform::ToUtf8(text)) {
    if (c == '\r') continue;
    line += c == '\n' ? ' ' : c;
  }
  return line;
}

HeadlessDialogHost::HeadlessDialogHost(const ui::ScreenMetrics& screen, Answers answers,
                                       std::function<void(const ScreenState&)> observer)
    : screen_(screen), answers_(answers), observer_(std::move(observer)) {}

int HeadlessDialogHost::GetSystemMetrics(int index) { return ui::ScreenMetric(screen_, index); }

platform::Rect HeadlessDialogHost::MapDialogRect(const platform::DialogTemplate&,
                                                 const platform::Rect& units) {
  return ui::DialogUnitsToPixels(units);
}

int HeadlessDialogHost::RunModal(const platform::DialogTemplate& dialog, platform::DialogProc proc,
                                 intptr_t initParam) {
  HeadlessDialog headless(dialog, proc, screen_, *this);
  return headless.RunModal(initParam);
}

int HeadlessDialogHost::Respond(std::u16string_view text, uint32_t style) {
  if ((style & 0xF) != platform::MB_YESNO) return platform::IDOK;
  const bool asksToContinue = text.find(u"CONTINUE?") != std::u16string_view::npos;
  const Answer given = asksToContinue ? answers_.proceed : answers_.revision;
  if (given == Answer::Yes) return platform::IDYES;
  if (given == Answer::None && unanswered_.empty()) unanswered_ = QuestionLine(text);
  return platform::IDNO;
}

}  // namespace fitkit
