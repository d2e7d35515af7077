#include "report/program_main.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>

#include "device/device.h"
#include "host/stop_signals.h"
#include "report/json_report.h"
#include "report/outcome_words.h"

namespace report {
namespace {

using host::StopSignalName;

// The command line exactly as the device side receives it.
std::string JoinArguments(int argc, char** argv) {
  std::string joined;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) joined += ' ';
    joined += argv[i];
  }
  return joined;
}

// The report is written by the signal watcher when a signal ends the
// program, while the program may be noting its events: one lock for both.
class LockedReport : public platform::OutcomeRecorder {
 public:
  LockedReport(JsonReport& report, const char* file) : report_(report), file_(file) {}
  bool Active() const override { return true; }
  void Set(std::string_view field, const platform::ReportValue& value) override {
    std::lock_guard<std::mutex> lock(mutex_);
    report_.Set(field, value);
  }
  bool Has(std::string_view field) const override {
    std::lock_guard<std::mutex> lock(mutex_);
    return report_.Has(field);
  }
  void Add(std::string_view field, int64_t amount) override {
    std::lock_guard<std::mutex> lock(mutex_);
    report_.Add(field, amount);
  }
  void Append(std::string_view list, const platform::ReportItem& item) override {
    std::lock_guard<std::mutex> lock(mutex_);
    report_.Append(list, item);
  }
  void SetOutcome(platform::RunOutcome outcome) override {
    std::lock_guard<std::mutex> lock(mutex_);
    report_.SetOutcome(outcome);
  }
  // Ends the report with `status` (the outcome and its reason given, or the
  // run's own), writes it when a file was asked for (saying so on stderr when
  // it cannot be), and says on stderr how the run ended.
  void Write(const char* program, int status, std::optional<platform::RunOutcome> outcome,
             const std::string& reason, bool sayHowItEnded) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (outcome) report_.SetOutcome(*outcome);
    if (!reason.empty()) report_.Set("reason", reason);
    report_.Finish(status);
    std::string error;
    if (file_ != nullptr && !report_.WriteTo(file_, &error)) {
      std::fprintf(stderr, "%s: cannot write the report %s: %s\n", program, file_, error.c_str());
    }
    if (sayHowItEnded) SayHowItEnded(program);
  }

 private:
  // The closing line goes to stderr only where stderr is the program's own
  // (the Windows programs have no console); no device root was said already.
  void SayHowItEnded(const char* program) const {
    if (!host::kClosingLineOnStderr || report_.outcome() == platform::RunOutcome::kNoDevice) {
      return;
    }
    std::fprintf(stderr, "%s: %s\n", program, ClosingLine(report_.document()).c_str());
  }

  JsonReport& report_;
  const char* file_;
  mutable std::mutex mutex_;
};

LockedReport* g_report = nullptr;
const char* g_program = "";

// A held signal leaves the run's own outcome, and the closing line says it;
// any other marks the run "interrupted", which the line before says.
void OnInterrupted(int signal, bool held) {
  if (!held) std::fprintf(stderr, "%s: interrupted by %s\n", g_program, StopSignalName(signal));
  if (g_report == nullptr) return;
  if (held) g_report->Set("held_signal", std::string(StopSignalName(signal)));
  const std::string reason =
      held ? std::string()
           : "stopped by " + std::string(StopSignalName(signal)) + " before the run ended";
  g_report->Write(g_program, 128 + signal,
                  held ? std::nullopt : std::optional(platform::RunOutcome::kInterrupted), reason,
                  held);
}

// Every run keeps its report, for the closing line; the file only when one
// was asked for.
int RunReported(const ProgramInfo& program, const char* file, int argc, char** argv,
                int (*entry)(const std::u16string& commandLine)) {
  JsonReport report(program.name, JoinArguments(argc, argv), device::FindDeviceRoot());
  LockedReport locked(report, file);
  int status = 0;
  {
    platform::ScopedOutcomeRecorder installed(locked);
    g_report = &locked;
    status = device::RunOnDevice(argc, argv, entry);
  }
  locked.Write(program.name, status, std::nullopt, {}, true);
  return status;
}

}  // namespace

const char* KitVersion() { return KitVersionText(); }

int ProgramMain(const ProgramInfo& program, int argc, char** argv,
                int (*entry)(const std::u16string& commandLine)) {
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(program.usage, stdout);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("%s (fitkit) %s\n", program.name, KitVersion());
    return 0;
  }
  g_program = program.name;
  host::WatchStopSignals(program.name, OnInterrupted);
  const char* file = std::getenv("FITKIT_REPORT");
  return RunReported(program, file != nullptr && *file != '\0' ? file : nullptr, argc, argv, entry);
}

}  // namespace report
