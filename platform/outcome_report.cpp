#include "platform/outcome_report.h"

#include <optional>

#include "platform/message_box_buttons.h"
#include "platform/text.h"

namespace platform {
namespace {

class DroppingRecorder : public OutcomeRecorder {
 public:
  bool Active() const override { return false; }
  void Set(std::string_view, const ReportValue&) override {}
  bool Has(std::string_view) const override { return false; }
  void Add(std::string_view, int64_t) override {}
  void Append(std::string_view, const ReportItem&) override {}
  void SetOutcome(RunOutcome) override {}
};

DroppingRecorder g_dropping;
OutcomeRecorder* g_recorder = &g_dropping;

// The button's own label ("Yes"), or the number when no button of the box
// gives that answer (a window closed some other way).
std::string AnswerName(const MessageBoxButtons& choice, int answer) {
  for (const MessageBoxButton& button : choice.buttons) {
    if (button.answer == answer) return button.label;
  }
  return std::to_string(answer);
}

std::string ButtonList(const MessageBoxButtons& choice) {
  std::string list;
  for (const MessageBoxButton& button : choice.buttons) {
    if (!list.empty()) list += '/';
    list += button.label;
  }
  return list;
}

}  // namespace

ReportValue ReportText(std::u16string_view text) { return ToUtf8(text); }

OutcomeRecorder& Outcome() { return *g_recorder; }

namespace {

bool g_journalIncomplete = false;
std::optional<RunOutcome> g_outcome;

}  // namespace

void SetOutcome(RunOutcome outcome) {
  g_outcome = outcome;
  if (g_journalIncomplete && outcome == RunOutcome::kRestarted) {
    outcome = RunOutcome::kRestartedAfterErrors;
  }
  Outcome().SetOutcome(outcome);
}

void NoteJournalLineLost() {
  Outcome().Set("journal.complete", ReportFlag(false));
  Outcome().Add("journal.lost_lines", 1);
  if (g_journalIncomplete) return;
  g_journalIncomplete = true;
  if (g_outcome == RunOutcome::kRestarted) SetOutcome(*g_outcome);
}

void SetOutcome(RunOutcome outcome, std::string_view reason) {
  SetOutcome(outcome);
  Outcome().Set("reason", ReportText(reason));
}

void RecordMessageBox(std::u16string_view text, std::u16string_view caption, uint32_t style,
                      int answer) {
  if (!Outcome().Active()) return;
  const MessageBoxButtons choice = ButtonsFor(style);
  Outcome().Append("message_boxes", {{"text", ReportText(text)},
                                     {"caption", ReportText(caption)},
                                     {"buttons", ReportText(ButtonList(choice))},
                                     {"answer", ReportText(AnswerName(choice, answer))}});
}

ScopedOutcomeRecorder::ScopedOutcomeRecorder(OutcomeRecorder& recorder) : previous_(g_recorder) {
  g_recorder = &recorder;
}

ScopedOutcomeRecorder::~ScopedOutcomeRecorder() { g_recorder = previous_; }

}  // namespace platform
