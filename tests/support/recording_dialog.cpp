#include "tests/support/recording_dialog.h"

#include "platform/text.h"

namespace test_support {

namespace {
constexpr int kStatusId = 1005;
constexpr int kProgressId = 1006;
}  // namespace

void RecordingDialog::SetItemText(int id, std::u16string_view text) {
  texts[id] = text;
  if (id == kStatusId) {
    statusHistory.emplace_back(text);
    statuses.push_back(platform::ToUtf8(text));
  }
}

void RecordingDialog::SetProgressRange(int id, uint16_t low, uint16_t high) {
  ranges.emplace_back(low, high);
  if (id == kProgressId) progressHigh = high;
}

void RecordingDialog::SetProgressPos(int id, int position) {
  positions.push_back(position);
  if (id == kProgressId) progressPos = position;
}

int RecordingDialog::MessageBox(std::u16string_view text, std::u16string_view caption,
                                uint32_t style) {
  boxes.push_back({std::u16string(text), std::u16string(caption), style});
  messageBoxes.push_back({platform::ToUtf8(text), platform::ToUtf8(caption), style});
  if (!answers.empty()) {
    const int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  if ((style & 0xF) == platform::MB_OK) return platform::IDOK;
  return (style & platform::MB_DEFBUTTON2) ? platform::IDNO : platform::IDYES;
}

bool RecordingDialog::PumpOneMessage() {
  ++pumps;
  if (onPump) onPump();
  return false;
}

}  // namespace test_support
