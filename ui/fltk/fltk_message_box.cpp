#include "ui/fltk/fltk_message_box.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <X11/Xlib.h>

#include <algorithm>
#include <vector>

#include "platform/message_box_buttons.h"
#include "platform/text.h"
#include "platform/trace.h"
#include "ui/fltk/fltk_widgets.h"

namespace ui {
namespace {

constexpr int kPadding = 10;
constexpr int kCaptionHeight = 24;
constexpr int kButtonWidth = 72;
constexpr int kButtonHeight = 28;

struct BoxState {
  int answer = 0;
  bool answered = false;
  int escapeAnswer = 0;  // 0: Escape does nothing
};

struct ButtonContext {
  BoxState* state;
  int answer;
};

void Answer(Fl_Widget*, void* context) {
  auto* button = static_cast<ButtonContext*>(context);
  button->state->answer = button->answer;
  button->state->answered = true;
}

void Escape(Fl_Widget*, void* context) {
  auto* state = static_cast<BoxState*>(context);
  if (state->escapeAnswer == 0) return;
  state->answer = state->escapeAnswer;
  state->answered = true;
}

int EscapeAnswer(const platform::MessageBoxButtons& choice) {
  for (const platform::MessageBoxButton& button : choice.buttons) {
    if (button.answer == platform::IDCANCEL) return platform::IDCANCEL;
  }
  return choice.buttons.size() == 1 ? choice.buttons[0].answer : 0;
}

// The text's size when wrapped to at most `maxWidth` pixels.
void MeasureWrapped(const std::string& text, int maxWidth, int* w, int* h) {
  fl_font(FL_HELVETICA, 14);
  *w = maxWidth;
  *h = 0;
  fl_measure(text.c_str(), *w, *h, 0);
}

}  // namespace

int RunFltkMessageBox(std::u16string_view text, std::u16string_view caption, uint32_t style,
                      const ScreenMetrics& screen) {
  const platform::MessageBoxButtons choice = platform::ButtonsFor(style);
  const std::string message = platform::ToUtf8(text);
  const std::string title = platform::ToUtf8(caption);
  const int buttonsWidth = static_cast<int>(choice.buttons.size()) * (kButtonWidth + kPadding);
  int textW = 0, textH = 0;
  MeasureWrapped(message, std::max(120, screen.width - 6 * kPadding), &textW, &textH);
  const int width = std::min(screen.width, std::max(textW, buttonsWidth) + 2 * kPadding);
  const int height = kCaptionHeight + textH + kButtonHeight + 3 * kPadding;

  BoxState state;
  state.escapeAnswer = EscapeAnswer(choice);
  std::vector<ButtonContext> contexts(choice.buttons.size());
  Fl_Window window((screen.width - width) / 2, std::max(0, (screen.height - height) / 2), width,
                   height);
  window.box(FL_UP_BOX);
  auto* captionBox = new Fl_Box(FL_FLAT_BOX, 0, 0, width, kCaptionHeight, nullptr);
  captionBox->copy_label(title.c_str());
  captionBox->color(fl_rgb_color(0, 0, 128));
  captionBox->labelcolor(FL_WHITE);
  captionBox->labelfont(FL_HELVETICA_BOLD);
  captionBox->labelsize(14);
  captionBox->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
  new PlainTextWidget(kPadding, kCaptionHeight + kPadding, width - 2 * kPadding, textH, message);
  int x = (width - buttonsWidth + kPadding) / 2;
  Fl_Button* defaultButton = nullptr;
  for (std::size_t i = 0; i < choice.buttons.size(); ++i) {
    auto* button = new Fl_Button(x, height - kPadding - kButtonHeight, kButtonWidth, kButtonHeight);
    button->copy_label(choice.buttons[i].label.c_str());
    contexts[i] = ButtonContext{&state, choice.buttons[i].answer};
    button->callback(&Answer, &contexts[i]);
    if (i == choice.defaultIndex) {
      button->shortcut(FL_Enter);
      defaultButton = button;
    }
    x += kButtonWidth + kPadding;
  }
  window.end();
  window.border(0);
  window.set_modal();
  window.callback(&Escape, &state);
  window.show();
  if (defaultButton != nullptr) defaultButton->take_focus();
  Fl::flush();
  if (fl_display != nullptr) XSync(fl_display, False);
  platform::Trace("MessageBox shown");
  while (!state.answered && window.shown()) Fl::wait();
  window.hide();
  return state.answered ? state.answer : choice.buttons[choice.defaultIndex].answer;
}

}  // namespace ui
