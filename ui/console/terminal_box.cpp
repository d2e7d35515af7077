#include "ui/console/terminal_box.h"

#include <cctype>

#include "platform/message_box_buttons.h"

namespace ui {
namespace {

// The answer a key gives, or 0 when it gives none.
int AnswerFor(const TerminalKey& key, const platform::MessageBoxButtons& choice,
              std::size_t focus) {
  switch (key.kind) {
    case TerminalKeyKind::Enter:
      return choice.buttons[focus].answer;
    case TerminalKeyKind::EndOfInput:
      return choice.buttons[choice.defaultIndex].answer;
    case TerminalKeyKind::Escape:
      for (const platform::MessageBoxButton& button : choice.buttons) {
        if (button.answer == platform::IDCANCEL) return platform::IDCANCEL;
      }
      return choice.buttons.size() == 1 ? choice.buttons[0].answer : 0;
    case TerminalKeyKind::Character:
      for (const platform::MessageBoxButton& button : choice.buttons) {
        const char32_t letter =
            static_cast<char32_t>(std::tolower(static_cast<unsigned char>(button.label[0])));
        if (letter == key.character) return button.answer;
      }
      return 0;
    default:
      return 0;
  }
}

}  // namespace

int AskTerminalMessageBox(TerminalInput& input, std::u16string_view text,
                          std::u16string_view caption, uint32_t style,
                          const std::function<void(const TerminalBoxPicture&)>& draw) {
  const platform::MessageBoxButtons choice = platform::ButtonsFor(style);
  TerminalBoxPicture box;
  box.caption = std::u16string(caption);
  box.text = std::u16string(text);
  for (const platform::MessageBoxButton& button : choice.buttons)
    box.labels.push_back(button.label);
  box.focus = choice.defaultIndex;
  input.DiscardTypeAhead();
  const std::size_t count = choice.buttons.size();
  for (;;) {
    draw(box);
    const TerminalKey key = input.NextForBox();
    if (const int answer = AnswerFor(key, choice, box.focus)) return answer;
    if (key.kind == TerminalKeyKind::Next) box.focus = (box.focus + 1) % count;
    if (key.kind == TerminalKeyKind::Previous) box.focus = (box.focus + count - 1) % count;
  }
}

}  // namespace ui
