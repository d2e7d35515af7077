#include "ui/console/console_host.h"

#include <algorithm>
#include <iostream>
#include <string>
#include <utility>

#include "platform/dialog_controls.h"
#include "platform/text.h"
#include "platform/trace.h"
#include "ui/console/console_view.h"
#include "ui/console/paced_lines.h"

namespace ui {
namespace {

constexpr int kStartId = platform::controls::kStart;
constexpr int kCancelId = platform::controls::kCancel;

// A device context that measures in the console's cell and prints what the
// dialog procedure draws (the title).
class ConsolePainter : public platform::Painter {
 public:
  ConsolePainter(const DialogState& dialog, platform::FontHandle font, std::ostream* out)
      : dialog_(dialog), font_(font), out_(out) {}
  uint32_t SetTextColor(uint32_t colorref) override { return std::exchange(color_, colorref); }
  platform::FontHandle SelectFont(platform::FontHandle font) override {
    return std::exchange(font_, font);
  }
  int SetBkMode(int mode) override { return std::exchange(mode_, mode); }
  platform::Size MeasureText(std::u16string_view text) override {
    return ConsoleTextExtent(text, dialog_.FontOf(font_));
  }
  void DrawText(std::u16string_view text, const platform::Rect&, uint32_t) override {
    if (out_ != nullptr) *out_ << "title: " << platform::ToUtf8(text) << '\n';
  }
  void FillRect(const platform::Rect&, uint32_t) override {}

 private:
  const DialogState& dialog_;
  platform::FontHandle font_;
  std::ostream* out_;
  uint32_t color_ = 0;
  int mode_ = platform::OPAQUE;
};

class ConsoleDialog : public DialogState {
 public:
  ConsoleDialog(const platform::DialogTemplate& dialog, platform::DialogProc proc,
                const ScreenMetrics& screen, std::istream& in, std::ostream& out)
      : DialogState(dialog, proc, screen), in_(in), out_(out) {}

  // A fresh context holds the system font, whatever font the control draws with.
  platform::Painter* GetDC(int) override {
    return new ConsolePainter(*this, kSystemFontHandle, nullptr);
  }
  void ReleaseDC(platform::Painter* painter) override { delete painter; }
  platform::Painter* BeginPaint() override {
    lines_.Drain();
    auto* painter = new ConsolePainter(*this, kSystemFontHandle, &out_);
    Send(platform::WM_ERASEBKGND, reinterpret_cast<uintptr_t>(painter), 0);
    return painter;
  }
  void EndPaint(platform::Painter* painter) override {
    delete painter;
    out_.flush();
  }

  int MessageBox(std::u16string_view text, std::u16string_view caption, uint32_t style) override {
    platform::Trace("MessageBox(\"%s\", \"%s\", 0x%X)", platform::ToUtf8(text).c_str(),
                    platform::ToUtf8(caption).c_str(), style);
    lines_.Drain();
    const int answer = AskMessageBox(in_, out_, text, caption, style);
    platform::Trace("MessageBox answered %d", answer);
    return answer;
  }

  bool PumpOneMessage() override { return DispatchQueued(); }

 protected:
  void OnTextChanged(const ControlState& control) override {
    if (!shown()) return;
    if (control.source.id == statusId()) {
      lines_.Add("status: " + platform::ToUtf8(control.text) + '\n');
    } else {
      lines_.Add("text " + std::to_string(control.source.id) + ": " +
                 platform::ToUtf8(control.text) + '\n');
    }
  }

  void OnEnabledChanged(const ControlState& control) override {
    if (!shown()) return;
    lines_.Add(ConsoleControlName(control) + (control.enabled ? ": enabled\n" : ": disabled\n"));
  }

  void OnProgressChanged(const ControlState& control) override {
    if (!shown()) return;
    const std::string line =
        "progress: " + std::to_string(control.position) + "/" + std::to_string(control.high);
    if (line == lastProgress_) return;
    lastProgress_ = line;
    lines_.Add(line + '\n');
  }

  void OnShown() override {
    lines_.Drain();
    out_ << "dialog: " << platform::ToUtf8(windowText()) << " (" << GetWindowRect(0).Width() << "x"
         << GetWindowRect(0).Height() << ")\n";
    // The painted title, then the controls row by row.
    Send(platform::WM_PAINT, 0, 0);
    for (const std::string& row : ConsoleRows(controls())) out_ << "  " << row << '\n';
    for (const ControlState& control : controls()) {
      if (control.source.kind == platform::ControlKind::Progress) {
        lastProgress_ =
            "progress: " + std::to_string(control.position) + "/" + std::to_string(control.high);
      }
    }
    out_.flush();
  }

  void WaitForInput() override {
    lines_.Drain();
    if (!prompted_) {
      out_ << "(empty line or \"start\": START, \"cancel\" or end of input: Cancel)\n";
      prompted_ = true;
    }
    out_ << "> ";
    out_.flush();
    std::string line;
    if (!std::getline(in_, line)) {
      out_ << "\n";
      out_.flush();
      // End of input closes the dialog the way Escape would: IDCANCEL.
      PostCommand(kCancelId);
      return;
    }
    HandleLine(TrimmedLower(line));
  }

 private:
  void HandleLine(const std::string& line) {
    const int id = line.empty() || line == "start" ? kStartId : line == "cancel" ? kCancelId : 0;
    if (id == 0) {
      out_ << "unknown input \"" << line << "\"\n";
      return;
    }
    const ControlState* button = Find(id);
    if (button != nullptr && !button->enabled) {
      out_ << ConsoleControlName(*button) << " is disabled\n";
      return;
    }
    PressButton(id);
  }

  std::istream& in_;
  std::ostream& out_;
  PacedLines lines_{out_};
  std::string lastProgress_;
  bool prompted_ = false;
};

}  // namespace

platform::Size ConsoleTextExtent(std::u16string_view text, const platform::LogFont& font) {
  return platform::Size{static_cast<int>(text.size()) * kConsoleCellWidth, font.height};
}

std::unique_ptr<DialogState> CreateConsoleDialog(const platform::DialogTemplate& dialog,
                                                 platform::DialogProc proc,
                                                 const ScreenMetrics& screen, std::istream& in,
                                                 std::ostream& out) {
  return std::make_unique<ConsoleDialog>(dialog, proc, screen, in, out);
}

ConsoleDialogHost::ConsoleDialogHost(const ScreenMetrics& screen, std::istream& in,
                                     std::ostream& out)
    : screen_(screen), in_(in), out_(out) {}

int ConsoleDialogHost::GetSystemMetrics(int index) { return ScreenMetric(screen_, index); }

platform::Rect ConsoleDialogHost::MapDialogRect(const platform::DialogTemplate&,
                                                const platform::Rect& units) {
  return DialogUnitsToPixels(units);
}

int ConsoleDialogHost::RunModal(const platform::DialogTemplate& dialog, platform::DialogProc proc,
                                intptr_t initParam) {
  platform::Trace("DialogBox(console, %d controls)", static_cast<int>(dialog.controls.size()));
  ConsoleDialog console(dialog, proc, screen_, in_, out_);
  return console.RunModal(initParam);
}

}  // namespace ui
