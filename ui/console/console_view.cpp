#include "ui/console/console_view.h"

#include <algorithm>
#include <cctype>
#include <iostream>
#include <map>

#include "platform/message_box_buttons.h"
#include "platform/text.h"

namespace ui {
namespace {

constexpr int kBarSlots = 20;

std::string ProgressBar(const ControlState& control) {
  const int span = std::max(1, control.high - control.low);
  const int filled = std::clamp((control.position - control.low) * kBarSlots / span, 0, kBarSlots);
  return std::string("[").append(filled, '#').append(kBarSlots - filled, '.') + "] " +
         std::to_string(control.position) + "/" + std::to_string(control.high);
}

std::string ControlText(const ControlState& control) {
  const std::string text = platform::ToUtf8(control.text);
  switch (control.source.kind) {
    case platform::ControlKind::DefaultPushButton:
      return control.enabled ? "<" + text + ">" : "(" + text + ")";
    case platform::ControlKind::PushButton:
      return control.enabled ? "[" + text + "]" : "(" + text + ")";
    case platform::ControlKind::Progress:
      return ProgressBar(control);
    case platform::ControlKind::GroupBox:
      return text;
    case platform::ControlKind::Static:
      return (control.source.style & platform::StyleBorder) ? "|" + text + "|" : text;
  }
  return text;
}

}  // namespace

std::vector<std::string> ConsoleRows(const std::vector<ControlState>& controls) {
  std::map<int, std::vector<const ControlState*>> rows;
  for (const ControlState& control : controls) {
    // A group box only frames others; an empty one has nothing to show.
    if (control.source.kind == platform::ControlKind::GroupBox && control.text.empty()) continue;
    rows[control.rect.top].push_back(&control);
  }
  std::vector<std::string> lines;
  for (auto& [top, row] : rows) {
    std::sort(row.begin(), row.end(), [](const ControlState* a, const ControlState* b) {
      return a->rect.left < b->rect.left;
    });
    std::string line;
    for (const ControlState* control : row) {
      if (!line.empty()) line += "  ";
      line += ControlText(*control);
    }
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

std::string ConsoleControlName(const ControlState& control) {
  const bool button = control.source.kind == platform::ControlKind::PushButton ||
                      control.source.kind == platform::ControlKind::DefaultPushButton;
  if (button && !control.text.empty()) return platform::ToUtf8(control.text);
  return "control " + std::to_string(control.source.id);
}

std::string TrimmedLower(std::string_view line) {
  std::size_t begin = 0;
  std::size_t end = line.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(line[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(line[end - 1]))) --end;
  std::string out(line.substr(begin, end - begin));
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

int AskMessageBox(std::istream& in, std::ostream& out, std::u16string_view text,
                  std::u16string_view caption, uint32_t style) {
  const platform::MessageBoxButtons choice = platform::ButtonsFor(style);
  out << "message box: " << platform::ToUtf8(caption) << '\n' << platform::ToUtf8(text) << '\n';
  std::string buttons;
  for (std::size_t i = 0; i < choice.buttons.size(); ++i) {
    const std::string& label = choice.buttons[i].label;
    if (!buttons.empty()) buttons += ' ';
    buttons += i == choice.defaultIndex ? "<" + label + ">" : "[" + label + "]";
  }
  out << "buttons: " << buttons << '\n';
  for (;;) {
    out << "answer: ";
    out.flush();
    std::string line;
    if (!std::getline(in, line)) {
      out << '\n';
      break;
    }
    const std::string answer = TrimmedLower(line);
    if (answer.empty()) break;
    for (const platform::MessageBoxButton& button : choice.buttons) {
      if (std::tolower(static_cast<unsigned char>(button.label[0])) == answer[0]) {
        out.flush();
        return button.answer;
      }
    }
    out << "answer with " << buttons << '\n';
  }
  out.flush();
  return choice.buttons[choice.defaultIndex].answer;
}

}  // namespace ui
