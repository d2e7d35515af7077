#include "ui/console/terminal_host.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <string_view>
#include <utility>

#include "platform/text.h"
#include "platform/trace.h"
#include "ui/console/console_view.h"
#include "ui/console/terminal_box.h"
#include "ui/console/terminal_input.h"
#include "ui/console/terminal_screen.h"
#include "ui/console/terminal_view.h"

namespace ui {
namespace {

constexpr int kCancelId = 2;

// Measures in the console's cell and keeps what the dialog procedure paints
// (the title), to be drawn with the rest.
class TerminalPainter : public platform::Painter {
 public:
  TerminalPainter(const DialogState& dialog, TerminalDialogPicture* picture)
      : dialog_(dialog), picture_(picture) {}
  uint32_t SetTextColor(uint32_t colorref) override { return std::exchange(color_, colorref); }
  platform::FontHandle SelectFont(platform::FontHandle font) override {
    return std::exchange(font_, font);
  }
  int SetBkMode(int mode) override { return std::exchange(mode_, mode); }
  platform::Size MeasureText(std::u16string_view text) override {
    return ConsoleTextExtent(text, dialog_.FontOf(font_));
  }
  void DrawText(std::u16string_view text, const platform::Rect& rect, uint32_t) override {
    if (picture_ == nullptr) return;
    picture_->title = std::u16string(text);
    picture_->titleRect = rect;
  }
  void FillRect(const platform::Rect&, uint32_t) override {}

 private:
  const DialogState& dialog_;
  TerminalDialogPicture* picture_;
  platform::FontHandle font_ = kSystemFontHandle;
  uint32_t color_ = 0;
  int mode_ = platform::OPAQUE;
};

bool IsButton(const ControlState& control) {
  return control.source.kind == platform::ControlKind::PushButton ||
         control.source.kind == platform::ControlKind::DefaultPushButton;
}

class TerminalDialog : public DialogState {
 public:
  TerminalDialog(const platform::DialogTemplate& dialog, platform::DialogProc proc,
                 const ScreenMetrics& screen, TerminalInput& input)
      : DialogState(dialog, proc, screen), input_(input) {
    picture_.state = this;
    picture_.keys = input.keys();
  }

  platform::Painter* GetDC(int) override { return new TerminalPainter(*this, nullptr); }
  void ReleaseDC(platform::Painter* painter) override { delete painter; }
  platform::Painter* BeginPaint() override {
    auto* painter = new TerminalPainter(*this, &picture_);
    Send(platform::WM_ERASEBKGND, reinterpret_cast<uintptr_t>(painter), 0);
    return painter;
  }
  void EndPaint(platform::Painter* painter) override {
    delete painter;
    Redraw();
  }

  int MessageBox(std::u16string_view text, std::u16string_view caption, uint32_t style) override {
    platform::Trace("MessageBox(\"%s\", \"%s\", 0x%X)", platform::ToUtf8(text).c_str(),
                    platform::ToUtf8(caption).c_str(), style);
    const int answer = AskTerminalMessageBox(
        input_, text, caption, style,
        [this](const TerminalBoxPicture& box) { DrawTerminal(Picture(), &box); });
    Redraw();
    platform::Trace("MessageBox answered %d", answer);
    return answer;
  }

  const std::u16string& title() const { return picture_.title; }

  // Keys typed while the program works are taken here, as a window system
  // takes clicks: they only queue a press for a later pump.
  bool PumpOneMessage() override {
    if (DispatchQueued()) return true;
    for (TerminalKey key = input_.Poll(); key.kind != TerminalKeyKind::None; key = input_.Poll()) {
      HandleKey(key);
    }
    return false;
  }

 protected:
  void OnTextChanged(const ControlState&) override { Redraw(); }
  void OnEnabledChanged(const ControlState&) override { Redraw(); }
  void OnMoved(const ControlState&) override { Redraw(); }
  void OnFontChanged(const ControlState&) override { Redraw(); }
  void OnWindowChanged() override { Redraw(); }
  void OnShown() override {
    Send(platform::WM_PAINT, 0, 0);
    Redraw();  // also when the dialog procedure paints nothing
  }

  // A bar is drawn again only when it looks different: at most one step in a
  // thousand can show on a terminal.
  void OnProgressChanged(const ControlState& control) override {
    const int span = std::max(1, control.high - control.low);
    const int permille = (control.position - control.low) * 1000 / span;
    auto [it, added] = permille_.try_emplace(control.source.id, permille);
    if (!added && it->second == permille) return;
    it->second = permille;
    Redraw();
  }

  void WaitForInput() override { HandleKey(input_.NextForDialog()); }

 private:
  const TerminalDialogPicture& Picture() {
    picture_.window = GetWindowRect(0);
    picture_.focusId = FocusedButton();
    picture_.buttonsEnabled = static_cast<int>(EnabledButtons().size());
    const ControlState* cancel = Find(kCancelId);
    picture_.cancelEnabled = cancel != nullptr && cancel->enabled;
    return picture_;
  }

  void Redraw() {
    if (shown()) DrawTerminal(Picture(), nullptr);
  }

  void HandleKey(const TerminalKey& key) {
    switch (key.kind) {
      case TerminalKeyKind::Enter:
        if (const int id = FocusedButton()) PressButton(id);
        break;
      case TerminalKeyKind::Next:
      case TerminalKeyKind::Previous:
        MoveFocus(key.kind == TerminalKeyKind::Next ? 1 : -1);
        break;
      case TerminalKeyKind::Escape:
        PressButton(kCancelId);
        break;
      case TerminalKeyKind::EndOfInput:
        // The terminal is gone: IDCANCEL, as the line view does at end of input.
        PostCommand(kCancelId);
        break;
      case TerminalKeyKind::Resize:
        Redraw();
        break;
      case TerminalKeyKind::None:
      case TerminalKeyKind::Character:
        break;
    }
  }

  // The enabled buttons, left to right and top to bottom.
  std::vector<int> EnabledButtons() const {
    std::multimap<std::pair<int, int>, int> order;
    for (const ControlState& control : controls()) {
      if (IsButton(control) && control.enabled) {
        order.emplace(std::make_pair(control.rect.top, control.rect.left), control.source.id);
      }
    }
    std::vector<int> ids;
    for (const auto& [position, id] : order) ids.push_back(id);
    return ids;
  }

  // The button the user moved to while it is enabled, else the default one.
  int FocusedButton() const {
    const std::vector<int> ids = EnabledButtons();
    if (ids.empty()) return 0;
    for (int id : ids) {
      if (id == focus_) return id;
    }
    for (int id : ids) {
      if (Find(id)->source.kind == platform::ControlKind::DefaultPushButton) return id;
    }
    return ids.front();
  }

  void MoveFocus(int step) {
    const std::vector<int> ids = EnabledButtons();
    if (ids.empty()) return;
    const int current = FocusedButton();
    std::size_t index = 0;
    while (ids[index] != current) ++index;
    const std::size_t count = ids.size();
    focus_ = ids[step > 0 ? (index + 1) % count : (index + count - 1) % count];
    Redraw();
  }

  TerminalInput& input_;
  TerminalDialogPicture picture_;
  std::map<int, int> permille_;
  int focus_ = 0;  // 0: the default button
};

// The dialog as it was when it closed, in the line view's form, so that the
// outcome is still readable once the terminal is given back.
void PrintLastState(const DialogState& dialog, std::u16string_view title, std::ostream& out) {
  out << "dialog: " << platform::ToUtf8(dialog.windowText()) << " (closed)\n";
  if (!title.empty()) out << "title: " << platform::ToUtf8(title) << '\n';
  for (const std::string& row : ConsoleRows(dialog.controls())) out << "  " << row << '\n';
  out.flush();
}

}  // namespace

bool TerminalViewWanted() {
  const char* choice = std::getenv("FITKIT_CONSOLE");
  const std::string_view view = choice == nullptr ? "" : choice;
  if (view == "lines") return false;
  if (!view.empty()) {
    std::fprintf(stderr, "fitkit: FITKIT_CONSOLE=%s is not \"lines\"; choosing by terminal\n",
                 choice);
  }
  return ::isatty(STDOUT_FILENO) == 1;
}

TerminalDialogHost::TerminalDialogHost(const ScreenMetrics& screen)
    : ConsoleDialogHost(screen, std::cin, std::cout), screen_(screen) {}

int TerminalDialogHost::RunModal(const platform::DialogTemplate& dialog, platform::DialogProc proc,
                                 intptr_t initParam) {
  TerminalScreen terminal;
  // What was printed before goes out before the terminal is taken.
  std::cout.flush();
  std::fflush(stdout);
  if (!terminal.Open()) {
    const char* term = std::getenv("TERM");
    std::fprintf(stderr, "fitkit: cannot draw on this terminal (TERM=%s); printing lines\n",
                 term == nullptr ? "" : term);
    return ConsoleDialogHost::RunModal(dialog, proc, initParam);
  }
  platform::Trace("DialogBox(terminal, %d controls)", static_cast<int>(dialog.controls.size()));
  TerminalInput input(terminal, std::cin, ::isatty(STDIN_FILENO) == 1);
  TerminalDialog view(dialog, proc, screen_, input);
  const int result = view.RunModal(initParam);
  terminal.Close();
  PrintLastState(view, view.title(), std::cout);
  return result;
}

}  // namespace ui
