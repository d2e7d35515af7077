// The outcome report's event sink: what a run did, noted by the programs as it
// happens, for whoever asked for a report (FITKIT_REPORT). The interface knows
// no file format; without a report the installed sink drops everything.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "platform/run_outcome.h"

namespace platform {

// Text is UTF-8.
using ReportValue = std::variant<std::string, int64_t, bool>;
using ReportItem = std::vector<std::pair<std::string, ReportValue>>;

inline ReportValue ReportText(std::string_view text) { return std::string(text); }
ReportValue ReportText(std::u16string_view text);
inline ReportValue ReportNumber(int64_t number) { return number; }
inline ReportValue ReportFlag(bool flag) { return flag; }

// Field names may be dotted ("package.size") to group fields. Notes are made
// from the program's own thread only: work on other threads reports back to
// it first.
class OutcomeRecorder {
 public:
  virtual ~OutcomeRecorder() = default;
  // False when nobody reads the report: work done only for it can be skipped.
  virtual bool Active() const = 0;
  // Sets (or replaces) one field.
  virtual void Set(std::string_view field, const ReportValue& value) = 0;
  // Whether this run set the field already.
  virtual bool Has(std::string_view field) const = 0;
  // Adds to a counting field that starts at 0.
  virtual void Add(std::string_view field, int64_t amount) = 0;
  // Appends one item to a list field.
  virtual void Append(std::string_view list, const ReportItem& item) = 0;
  // Sets (or replaces) how the run ended.
  virtual void SetOutcome(RunOutcome outcome) = 0;
};

// The installed recorder; one that drops everything when none is installed.
OutcomeRecorder& Outcome();

// How the run ended. Once the device's journal lost a line, kRestarted (a run
// without any error) is noted as kRestartedAfterErrors.
void SetOutcome(RunOutcome outcome);
// The same with the reason in words, for an outcome that is no success.
void SetOutcome(RunOutcome outcome, std::string_view reason);

// A line of the device's journal of driver and kernel calls was lost (or the
// journal refused): "journal": {"complete": false, "lost_lines": n}.
void NoteJournalLineLost();

// One message box as shown, with the button that answered it.
void RecordMessageBox(std::u16string_view text, std::u16string_view caption, uint32_t style,
                      int answer);

// Installs `recorder` for the lifetime of the object and restores the previous one.
class ScopedOutcomeRecorder {
 public:
  explicit ScopedOutcomeRecorder(OutcomeRecorder& recorder);
  ~ScopedOutcomeRecorder();
  ScopedOutcomeRecorder(const ScopedOutcomeRecorder&) = delete;
  ScopedOutcomeRecorder& operator=(const ScopedOutcomeRecorder&) = delete;

 private:
  OutcomeRecorder* previous_;
};

}  // namespace platform
