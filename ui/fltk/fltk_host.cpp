#include "ui/fltk/fltk_host.h"

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/x.H>
#include <X11/Xlib.h>

#include <map>
#include <memory>

#include "platform/text.h"
#include "platform/trace.h"
#include "ui/fltk/fltk_message_box.h"
#include "ui/fltk/fltk_painter.h"
#include "ui/fltk/fltk_widgets.h"

namespace ui {
namespace {

constexpr int kCancelId = 2;

class FltkDialog;

// The dialog's window: painting goes to the dialog procedure first (the
// background, then the title), the control widgets are drawn on top.
class DialogWindow : public Fl_Double_Window {
 public:
  DialogWindow(FltkDialog& dialog, int w, int h);
  void draw() override;

 private:
  FltkDialog& dialog_;
};

class FltkDialog : public DialogState {
 public:
  FltkDialog(const platform::DialogTemplate& dialog, platform::DialogProc proc,
             const ScreenMetrics& screen)
      : DialogState(dialog, proc, screen) {
    const platform::Rect window = GetWindowRect(0);
    window_ = std::make_unique<DialogWindow>(*this, window.Width(), window.Height());
    for (const ControlState& control : controls()) {
      widgets_[control.source.id] = CreateControlWidget(*this, control, &Press, this);
    }
    window_->end();
    window_->border(0);
    window_->callback(&CloseRequested, this);
  }

  ~FltkDialog() override { window_->hide(); }

  // A fresh context holds the system font, whatever font the control draws with.
  platform::Painter* GetDC(int) override { return new FltkPainter(*this, kSystemFontHandle); }
  void ReleaseDC(platform::Painter* painter) override { delete painter; }

  platform::Painter* BeginPaint() override {
    auto* painter = new FltkPainter(*this, kSystemFontHandle);
    Send(platform::WM_ERASEBKGND, reinterpret_cast<uintptr_t>(painter), 0);
    return painter;
  }
  void EndPaint(platform::Painter* painter) override { delete painter; }

  int MessageBox(std::u16string_view text, std::u16string_view caption, uint32_t style) override {
    platform::Trace("MessageBox(\"%s\", \"%s\", 0x%X)", platform::ToUtf8(text).c_str(),
                    platform::ToUtf8(caption).c_str(), style);
    const int answer = RunFltkMessageBox(text, caption, style, screen());
    platform::Trace("MessageBox answered %d", answer);
    return answer;
  }

  // The kit's own posted messages go one at a time; window-system events
  // (exposure, clicks) are all handled by one Fl::check(), where a click only
  // queues its command for a later pump.
  bool PumpOneMessage() override {
    if (DispatchQueued()) return true;
    Fl::check();
    return false;
  }

  void Paint() { Send(platform::WM_PAINT, 0, 0); }

 protected:
  void OnTextChanged(const ControlState& control) override { Refresh(control); }
  void OnEnabledChanged(const ControlState& control) override { Refresh(control); }
  void OnMoved(const ControlState& control) override { Refresh(control); }
  void OnProgressChanged(const ControlState& control) override { Refresh(control); }
  void OnFontChanged(const ControlState& control) override { Refresh(control); }
  void OnWindowTextChanged() override {
    window_->copy_label(platform::ToUtf8(windowText()).c_str());
  }
  void OnWindowChanged() override {
    const platform::Rect window = GetWindowRect(0);
    window_->resize(window.left, window.top, window.Width(), window.Height());
  }
  void OnShown() override {
    window_->show();
    Flush();
  }

  void WaitForInput() override {
    if (!window_->shown()) {
      // Nothing can press a button on a window that is gone.
      PressButton(kCancelId);
      if (!ended()) EndDialog(kCancelId);
      return;
    }
    Fl::wait();
  }

 private:
  static void Press(Fl_Widget* widget, void* context) {
    auto* dialog = static_cast<FltkDialog*>(context);
    for (const auto& [id, candidate] : dialog->widgets_) {
      if (candidate == widget) dialog->PressButton(id);
    }
  }

  // Escape: IDCANCEL, as a dialog answers it; the window itself stays.
  static void CloseRequested(Fl_Widget*, void* context) {
    static_cast<FltkDialog*>(context)->PressButton(kCancelId);
  }

  void Refresh(const ControlState& control) {
    const auto it = widgets_.find(control.source.id);
    if (it == widgets_.end()) return;
    UpdateControlWidget(it->second, control);
    if (shown()) Flush();
  }

  // Draws what is damaged and waits until the X server has it, so that what
  // is traced next is also what is on the screen.
  void Flush() {
    Fl::flush();
    if (fl_display != nullptr) XSync(fl_display, False);
  }

  std::unique_ptr<DialogWindow> window_;
  std::map<int, Fl_Widget*> widgets_;
};

DialogWindow::DialogWindow(FltkDialog& dialog, int w, int h)
    : Fl_Double_Window(0, 0, w, h), dialog_(dialog) {}

void DialogWindow::draw() {
  dialog_.Paint();
  draw_children();
}

}  // namespace

bool FltkDisplayAvailable() {
  static const bool available = [] {
    // The probe's connection becomes FLTK's own: closing it and opening
    // another could meet a server that resets once its last client left.
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return false;
    fl_open_display(display);
    return true;
  }();
  return available;
}

FltkDialogHost::FltkDialogHost(const ScreenMetrics& screen) : screen_(screen) {}

int FltkDialogHost::GetSystemMetrics(int index) { return ScreenMetric(screen_, index); }

platform::Rect FltkDialogHost::MapDialogRect(const platform::DialogTemplate&,
                                             const platform::Rect& units) {
  return DialogUnitsToPixels(units);
}

int FltkDialogHost::RunModal(const platform::DialogTemplate& dialog, platform::DialogProc proc,
                             intptr_t initParam) {
  platform::Trace("DialogBox(window, %d controls)", static_cast<int>(dialog.controls.size()));
  FltkDialog window(dialog, proc, screen_);
  return window.RunModal(initParam);
}

}  // namespace ui
