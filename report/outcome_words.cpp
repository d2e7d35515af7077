#include "report/outcome_words.h"

namespace report {
namespace {

using Json = nlohmann::ordered_json;

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

std::string IncompleteReason(const Json& report) {
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

std::string ImagefitReason(const std::string& outcome, const Json& report) {
  if (outcome == "restarted-after-errors") {
    const std::string failed = Text(report, "failed_steps");
    if (!failed.empty()) return "the device restarted, but these steps failed: " + failed;
    if (const int64_t lost = Number(report, "journal.lost_lines"); lost > 0) {
      return "the device restarted, but its journal lost " + std::to_string(lost) +
             (lost == 1 ? " line" : " lines") + " of driver and kernel calls";
    }
    return "the device restarted, but not every step went through";
  }
  if (outcome == "refused") {
    // A signature's refusal says it all in the box's own words.
    const std::string said = OneLine(Text(report, "refused_reason"));
    if (!said.empty()) return said;
    return Text(report, "refused.file") + " cannot be used: " + Text(report, "refused.reason") +
           "; nothing was sent";
  }
  if (outcome == "not-restarted") return "the images were sent, but the restart call failed";
  if (outcome == "stopped") {
    const std::string box = LastBoxText(report);
    return "stopped at \"" + StepWith(report, "stopped") + "\"" +
           (box.empty() ? std::string() : " (" + box + ")");
  }
  if (outcome == "declined") {
    return "the board revision differs from the image's and the question was answered No";
  }
  if (outcome == "incomplete-set") return "the image set lacks " + MissingImages(report);
  return {};
}

std::string ShellfitReason(const std::string& outcome, const Json& report) {
  if (outcome == "refused") {
    const std::string said = Text(report, "refused_reason");
    if (!said.empty()) return said;
    return "the package cannot be read: " + ZipErrorWords(Number(report, "refused_zip_error")) +
           "; nothing was changed";
  }
  if (outcome == "incomplete") return IncompleteReason(report);
  if (outcome == "no-package") {
    return "no package was found: the source folder holds no \"<model> SHELL.ZIP\" and no "
           "other \"* SHELL.ZIP\"";
  }
  if (outcome == "not-newer") {
    return "the package is not newer than the installed shell (" + Versions(report) + ")";
  }
  return {};
}

}  // namespace

bool IsSuccessOutcome(std::string_view outcome) {
  return outcome == "installed" || outcome == "restarted";
}

std::string ZipErrorWords(int64_t code) {
  switch (code) {
    case 101:
      return "the archive is damaged";
    case 102:
      return "an entry's data does not match its CRC-32";
    case 110:
      return "the package was not made with the device's password";
    case 115:
      return "the archive uses a feature the device cannot read";
    case 116:
      return "the file is not a ZIP archive";
    default:
      break;
  }
  if (code >= 500 && code <= 507) return "an entry's compressed data is damaged";
  return "ZIP error " + std::to_string(code);
}

std::string ReasonFor(const Json& report) {
  const std::string outcome = Text(report, "outcome");
  if (IsSuccessOutcome(outcome)) return {};
  if (const std::string said = Text(report, "reason"); !said.empty()) return said;
  if (outcome == "no-device") {
    return "no device root: set FITKIT_DEVICE=<folder> or run the program below a folder "
           "that holds a device.ini";
  }
  if (outcome == "already-running") {
    return "another " + Text(report, "program") + " runs on this device";
  }
  if (outcome == "cancelled") return "Cancel was pressed before an update began";
  if (outcome == "interrupted") return "the program was stopped by a signal";
  if (outcome == "not-started") {
    return "the device has no model in its registry, no flash drive profile, or no source "
           "folder";
  }
  std::string reason = Text(report, "program") == "imagefit" ? ImagefitReason(outcome, report)
                                                             : ShellfitReason(outcome, report);
  return reason.empty() ? "the run ended without an update" : reason;
}

std::string WithThousands(uint64_t number) {
  const std::string digits = std::to_string(number);
  std::string grouped;
  for (std::size_t at = 0; at < digits.size(); ++at) {
    if (at > 0 && (digits.size() - at) % 3 == 0) grouped.push_back(',');
    grouped.push_back(digits[at]);
  }
  return grouped;
}

std::string ClosingLine(const Json& report) {
  const std::string outcome = Text(report, "outcome");
  if (outcome == "installed") {
    const int64_t files = Number(report, "package.files");
    const std::string installed =
        "installed " + WithThousands(uint64_t(files)) + (files == 1 ? " file" : " files");
    if (Text(report, "main_exe.installed").empty() && Text(report, "main_exe.packaged").empty()) {
      return installed;
    }
    return installed + ", " + Versions(report);
  }
  if (outcome == "restarted") {
    return "restarted, OS " + Text(report, "installed_version") + " -> " +
           Text(report, "image_set.version");
  }
  return (outcome.empty() ? std::string("ended") : outcome) + ": " + ReasonFor(report);
}

}  // namespace report
