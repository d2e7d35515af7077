#include "ui/console/terminal_input.h"

#include <istream>
#include <string>

#include "ui/console/console_view.h"

namespace ui {

TerminalKey TerminalInput::NextForDialog() {
  if (keys_) return screen_.ReadKey(true);
  std::string line;
  if (!std::getline(lines_, line)) return {TerminalKeyKind::EndOfInput};
  const std::string word = TrimmedLower(line);
  if (word.empty() || word == "start") return {TerminalKeyKind::Enter};
  if (word == "cancel") return {TerminalKeyKind::Escape};
  return {TerminalKeyKind::None};
}

TerminalKey TerminalInput::NextForBox() {
  if (keys_) return screen_.ReadKey(true);
  std::string line;
  if (!std::getline(lines_, line)) return {TerminalKeyKind::EndOfInput};
  const std::string word = TrimmedLower(line);
  if (word.empty()) return {TerminalKeyKind::Enter};
  return {TerminalKeyKind::Character, static_cast<unsigned char>(word[0])};
}

TerminalKey TerminalInput::Poll() { return keys_ ? screen_.ReadKey(false) : TerminalKey{}; }

void TerminalInput::DiscardTypeAhead() {
  if (keys_) screen_.DiscardTypeAhead();
}

}  // namespace ui
