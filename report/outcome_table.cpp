#include "report/outcome_table.h"

#include "report/outcome_words.h"

namespace report {
namespace {

using Json = nlohmann::ordered_json;
using platform::RunOutcome;

// The value at a dotted path, or null.
const Json& At(const Json& report, std::string_view dotted) {
  static const Json none;
  const Json* node = &report;
  while (!dotted.empty()) {
    const std::size_t dot = dotted.find('.');
    const std::string key(dotted.substr(0, dot));
    if (!node->is_object() || !node->contains(key)) return none;
    node = &(*node)[key];
    dotted = dot == std::string_view::npos ? std::string_view() : dotted.substr(dot + 1);
  }
  return *node;
}

std::string Text(const Json& report, std::string_view dotted) {
  const Json& value = At(report, dotted);
  return value.is_string() ? value.get<std::string>() : std::string();
}

int64_t Number(const Json& report, std::string_view dotted) {
  const Json& value = At(report, dotted);
  return value.is_number_integer() ? value.get<int64_t>() : 0;
}

// Message boxes carry the device's "\r\n": one line of text here.
std::string OneLine(std::string text) {
  std::string out;
  for (char c : text) {
    if (c == '\r') continue;
    if (c == '\n') {
      if (!out.empty() && out.back() != ' ') out += ' ';
      continue;
    }
    out += c;
  }
  return out;
}

std::string LastBoxText(const Json& report) {
  const Json& boxes = At(report, "message_boxes");
  if (!boxes.is_array() || boxes.empty()) return {};
  return OneLine(Text(boxes.back(), "text"));
}

std::string Versions(const Json& report) {
  const std::string installed = Text(report, "main_exe.installed");
  const std::string packaged = Text(report, "main_exe.packaged");
  return "main.exe " + (installed.empty() ? std::string("(none)") : installed) + " -> " +
         (packaged.empty() ? std::string("(no version)") : packaged);
}

// The step a run of imagefit stopped at or passed over.
std::string StepWith(const Json& report, std::string_view result) {
  const Json& steps = At(report, "steps");
  if (!steps.is_array()) return {};
  for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
    if (Text(*step, "result") == result) return Text(*step, "step");
  }
  return {};
}

std::string MissingImages(const Json& report) {
  std::string names;
  const Json& files = At(report, "image_set.files");
  if (!files.is_array()) return names;
  for (const Json& file : files) {
    if (!At(file, "missing").is_boolean()) continue;
    names += (names.empty() ? "" : ", ") + Text(file, "name");
  }
  return names;
}

std::string InstalledWords(const Json& report) {
  const int64_t files = Number(report, "package.files");
  const std::string installed =
      "installed " + WithThousands(uint64_t(files)) + (files == 1 ? " file" : " files");
  if (Text(report, "main_exe.installed").empty() && Text(report, "main_exe.packaged").empty()) {
    return installed;
  }
  return installed + ", " + Versions(report);
}

std::string RestartedWords(const Json& report) {
  return "restarted, OS " + Text(report, "installed_version") + " -> " +
         Text(report, "image_set.version");
}

std::string RefusedWords(const Json& report) {
  if (Text(report, "program") == "imagefit") {
    // A signature's refusal says it all in the box's own words.
    const std::string said = OneLine(Text(report, "refused_reason"));
    if (!said.empty()) return said;
    return Text(report, "refused.file") + " cannot be used: " + Text(report, "refused.reason") +
           "; nothing was sent";
  }
  const std::string said = Text(report, "refused_reason");
  if (!said.empty()) return said;
  return "the package cannot be read: " + ZipErrorWords(Number(report, "refused_zip_error")) +
         "; nothing was changed";
}

std::string IncompleteWords(const Json& report) {
  // A staged install that did not reach its end keeps the old shell.
  if (const std::string old = Text(report, "install.old_shell"); !old.empty()) {
    return "the new shell was unpacked and checked but is not in place; the old shell " + old;
  }
  const int64_t total = Number(report, "entries.total");
  const int64_t verified = Number(report, "entries.verified");
  std::string reason = std::to_string(total - verified) + " of " + std::to_string(total) +
                       " entries were not installed";
  const Json& failed = At(report, "entries.failed");
  if (failed.is_array() && !failed.empty()) {
    reason +=
        " (first: " + Text(failed.front(), "name") + ", " + Text(failed.front(), "reason") + ")";
  }
  if (const int64_t code = Number(report, "entries.zip_error"); code != 0) {
    reason += "; the package could no longer be read: " + ZipErrorWords(code);
  }
  return reason + "; the old shell was deleted";
}

std::string NoPackageWords(const Json&) {
  return "no package was found: the source folder holds no \"<model> SHELL.ZIP\" and no "
         "other \"* SHELL.ZIP\"";
}

std::string NotNewerWords(const Json& report) {
  return "the package is not newer than the installed shell (" + Versions(report) + ")";
}

std::string NotStartedWords(const Json&) {
  return "the device has no model in its registry, no flash drive profile, or no source "
         "folder";
}

std::string RestartedAfterErrorsWords(const Json& report) {
  const std::string failed = Text(report, "failed_steps");
  if (!failed.empty()) return "the device restarted, but these steps failed: " + failed;
  if (const int64_t lost = Number(report, "journal.lost_lines"); lost > 0) {
    return "the device restarted, but its journal lost " + std::to_string(lost) +
           (lost == 1 ? " line" : " lines") + " of driver and kernel calls";
  }
  return "the device restarted, but not every step went through";
}

std::string NotRestartedWords(const Json&) {
  return "the images were sent, but the restart call failed";
}

std::string StoppedWords(const Json& report) {
  const std::string box = LastBoxText(report);
  return "stopped at \"" + StepWith(report, "stopped") + "\"" +
         (box.empty() ? std::string() : " (" + box + ")");
}

std::string DeclinedWords(const Json&) {
  return "the board revision differs from the image's and the question was answered No";
}

std::string IncompleteSetWords(const Json& report) {
  return "the image set lacks " + MissingImages(report);
}

std::string NoDeviceWords(const Json&) {
  return "no device root: set FITKIT_DEVICE=<folder> or run the program below a folder "
         "that holds a device.ini";
}

std::string AlreadyRunningWords(const Json& report) {
  return "another " + Text(report, "program") + " runs on this device";
}

std::string UpdateRunningWords(const Json&) {
  return "an update is already running on this device";
}

std::string CancelledWords(const Json&) { return "Cancel was pressed before an update began"; }

std::string InterruptedWords(const Json&) { return "the program was stopped by a signal"; }

std::string EndedWords(const Json&) { return "the run ended without an update"; }

constexpr bool kSuccess = true;
constexpr bool kFailure = false;

}  // namespace

OutcomeFacts FactsOf(RunOutcome outcome) {
  switch (outcome) {
    case RunOutcome::kInstalled:
      return {"installed", kSuccess, kExitSuccess, InstalledWords};
    case RunOutcome::kRefused:
      return {"refused", kFailure, kExitRefused, RefusedWords};
    case RunOutcome::kIncomplete:
      return {"incomplete", kFailure, kExitIncomplete, IncompleteWords};
    case RunOutcome::kNoPackage:
      return {"no-package", kFailure, kExitNoUpdate, NoPackageWords};
    case RunOutcome::kNotNewer:
      return {"not-newer", kFailure, kExitRefused, NotNewerWords};
    case RunOutcome::kNotStarted:
      return {"not-started", kFailure, kExitNoDevice, NotStartedWords};
    case RunOutcome::kRestarted:
      return {"restarted", kSuccess, kExitSuccess, RestartedWords};
    case RunOutcome::kRestartedAfterErrors:
      return {"restarted-after-errors", kFailure, kExitIncomplete, RestartedAfterErrorsWords};
    case RunOutcome::kNotRestarted:
      return {"not-restarted", kFailure, kExitIncomplete, NotRestartedWords};
    case RunOutcome::kStopped:
      return {"stopped", kFailure, kExitRefused, StoppedWords};
    case RunOutcome::kDeclined:
      return {"declined", kFailure, kExitRefused, DeclinedWords};
    case RunOutcome::kIncompleteSet:
      return {"incomplete-set", kFailure, kExitNoUpdate, IncompleteSetWords};
    case RunOutcome::kNoDevice:
      return {"no-device", kFailure, kExitNoDevice, NoDeviceWords};
    case RunOutcome::kAlreadyRunning:
      return {"already-running", kFailure, kExitAlreadyRunning, AlreadyRunningWords};
    case RunOutcome::kCancelled:
      return {"cancelled", kFailure, kExitOther, CancelledWords};
    case RunOutcome::kInterrupted:
      return {"interrupted", kFailure, kExitOther, InterruptedWords};
    case RunOutcome::kUpdateRunning:
      return {"update-running", kFailure, kExitUpdateRunning, UpdateRunningWords};
    case RunOutcome::kEnded:
      return {"ended", kFailure, kExitOther, EndedWords};
  }
  // Only a value cast from outside the enum's list comes here.
  return {"ended", kFailure, kExitOther, EndedWords};
}

RunOutcome OutcomeOf(const Json& report) {
  const std::string word = Text(report, "outcome");
  for (int value = 0; value <= int(RunOutcome::kEnded); ++value) {
    if (FactsOf(RunOutcome(value)).word == word) return RunOutcome(value);
  }
  return RunOutcome::kEnded;
}

}  // namespace report
