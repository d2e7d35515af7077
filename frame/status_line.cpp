// The status line of the dialog and the calls that keep the window alive
// while START's work runs.
#include <optional>

#include "frame/update_dialog.h"
#include "platform/dialog_controls.h"
#include "platform/outcome_report.h"
#include "platform/text.h"

namespace frame {
namespace {

constexpr int kStatusId = platform::controls::kStatus;
constexpr std::u16string_view kEllipsis = u"...";
// Names this short are never cut further: the action stands alone.
constexpr std::size_t kShortestCut = 4;

int CountComponents(std::u16string_view name) {
  int count = 0;
  bool inComponent = false;
  for (char16_t c : name) {
    if (c == u'\\') {
      inComponent = false;
    } else if (!inComponent) {
      inComponent = true;
      ++count;
    }
  }
  return count;
}

// a\b\c\d.txt -> a\...\d.txt: the name up to its first backslash, "..." and
// the name from its last backslash on.
std::u16string FirstAndLast(std::u16string_view name) {
  const std::size_t first = name.find(u'\\');
  const std::size_t last = name.rfind(u'\\');
  if (first == std::u16string_view::npos) return std::u16string(name);
  std::u16string joined(name.substr(0, first + 1));
  joined += kEllipsis;
  joined += name.substr(last);
  return joined;
}

// The status buffer holds 260 units with its terminator; a longer text
// never fits, however narrow its glyphs.
bool Fits(platform::Painter& painter, std::u16string_view text, int width) {
  if (text.size() > platform::kMaxPath - 1) return false;
  return painter.MeasureText(text).cx <= width;
}

// "<action> <name>" with the name shortened until it fits the status
// control; the action alone when even a 4-character cut does not fit.
std::u16string FitStatusText(platform::Dialog& dialog, std::u16string_view action,
                             std::u16string_view name) {
  platform::Painter* painter = dialog.GetDC(kStatusId);
  if (painter == nullptr) return std::u16string(action);
  const int width = dialog.GetClientRect(kStatusId).Width();
  const FrameRun* frame = FrameOf(dialog);
  const platform::FontHandle font = frame == nullptr ? 0 : frame->statusFont;
  const bool fontSelected = font != 0;
  const platform::FontHandle oldFont = fontSelected ? painter->SelectFont(font) : 0;

  std::u16string result(action);
  std::u16string shortened(name);
  std::optional<int> components;
  for (;;) {
    std::u16string line = std::u16string(action) + u" " + shortened;
    if (Fits(*painter, line, width)) {
      result = std::move(line);
      break;
    }
    if (!components) components = CountComponents(shortened);
    if (*components >= 2) {
      std::u16string joined = FirstAndLast(shortened);
      if (joined.size() < shortened.size()) shortened = std::move(joined);
      components = 0;
      continue;
    }
    if (shortened.size() <= kShortestCut) break;
    shortened = std::u16string(kEllipsis) + shortened.substr(kShortestCut);
  }

  if (fontSelected) painter->SelectFont(oldFont);
  dialog.ReleaseDC(painter);
  return result;
}

}  // namespace

void ShowStatus(platform::Dialog& dialog, std::u16string_view action, std::u16string_view name) {
  const std::u16string text =
      name.empty() ? std::u16string(action) : FitStatusText(dialog, action, name);
  dialog.SetItemText(kStatusId, text);
  PumpOneMessage(dialog);
}

void PumpOneMessage(platform::Dialog& dialog) { dialog.PumpOneMessage(); }

int ShowMessageBox(platform::Dialog& dialog, std::u16string_view text, uint32_t style) {
  const FrameRun* frame = FrameOf(dialog);
  const std::u16string caption = frame == nullptr ? std::u16string() : frame->run.title;
  const int answer = dialog.MessageBox(text, caption, style | platform::MB_TOPMOST);
  platform::RecordMessageBox(text, caption, style, answer);
  return answer;
}

}  // namespace frame
