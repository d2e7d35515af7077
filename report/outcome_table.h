// The one table of the ways a run can end: for each outcome its word in the
// report, the words of its closing line and fitkit's exit code. A new outcome
// that the table lacks does not compile (the table is a switch without a
// default, and warnings are errors in CI).
#pragma once

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "platform/run_outcome.h"
#include "report/exit_codes.h"

namespace report {

struct OutcomeFacts {
  std::string_view word;  // the report's "outcome": "installed", "not-newer", ...
  bool success;           // the whole update is on the device
  ExitCode exit;          // fitkit's exit code (a stopped run that began to program: incomplete)
  // The closing line's words after "<program>: " for a success, or else why
  // the run ended so when the program noted no reason, from the report.
  std::string (*words)(const nlohmann::ordered_json& report);
};

OutcomeFacts FactsOf(platform::RunOutcome outcome);

// The outcome a report names; kEnded when it names none the table knows.
platform::RunOutcome OutcomeOf(const nlohmann::ordered_json& report);

}  // namespace report
