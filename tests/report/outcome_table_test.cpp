// The outcome table's rows must agree with each other: a script that reads
// only fitkit's exit status learns success exactly when the report says it.
#include <gtest/gtest.h>

#include "report/outcome_table.h"

namespace {

using platform::RunOutcome;

TEST(OutcomeTable, ExitsZeroExactlyForTheOutcomesThatPutTheWholeUpdateOnTheDevice) {
  for (int value = 0; value <= int(RunOutcome::kEnded); ++value) {
    const auto outcome = RunOutcome(value);
    const report::OutcomeFacts facts = report::FactsOf(outcome);
    SCOPED_TRACE(std::string(facts.word));
    EXPECT_EQ(facts.exit == report::kExitSuccess, facts.success);
    // The report's word leads back to its own row, so a run is judged by
    // the row that wrote it.
    EXPECT_EQ(report::OutcomeOf({{"outcome", facts.word}}), outcome);
  }
  // A run that began to change the device and did not finish is neither a
  // refusal nor a success: scripts retry refusals, not half-done updates.
  for (RunOutcome began :
       {RunOutcome::kIncomplete, RunOutcome::kRestartedAfterErrors, RunOutcome::kNotRestarted}) {
    EXPECT_EQ(report::FactsOf(began).exit, report::kExitIncomplete);
  }
}

}  // namespace
