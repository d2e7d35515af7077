#include "report/json_report.h"

#include <cstdio>

#include "host/report_file.h"
#include "report/outcome_table.h"
#include "report/outcome_words.h"

namespace report {
namespace {

using Json = nlohmann::ordered_json;

Json ToJson(const platform::ReportValue& value) {
  return std::visit([](const auto& v) { return Json(v); }, value);
}

// The exit status as the calling shell sees it (-1 is 255).
int ShellStatus(int exitStatus) { return exitStatus & 0xFF; }

platform::RunOutcome DefaultOutcome(const Json& document, int status) {
  if (document["device_root"] == "") return platform::RunOutcome::kNoDevice;
  if (status == 2) return platform::RunOutcome::kCancelled;
  if (status == 0) return platform::RunOutcome::kNotStarted;
  return platform::RunOutcome::kEnded;
}

}  // namespace

const char* KitVersionText() { return FITKIT_VERSION; }

std::string IsoTime(std::chrono::system_clock::time_point time) {
  using namespace std::chrono;
  // The calendar of the system clock is UTC's: no time zone is asked.
  const auto ms = floor<milliseconds>(time);
  const auto day = floor<days>(ms);
  const year_month_day date(day);
  const hh_mm_ss clock(ms - day);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", int(date.year()),
                unsigned(date.month()), unsigned(date.day()), int(clock.hours().count()),
                int(clock.minutes().count()), int(clock.seconds().count()),
                int(clock.subseconds().count()));
  return text;
}

JsonReport::JsonReport(std::string_view program, std::string_view commandLine,
                       const std::filesystem::path& deviceRoot)
    : started_(std::chrono::system_clock::now()) {
  document_["program"] = program;
  document_["kit_version"] = KitVersionText();
  document_["schema_version"] = kReportSchemaVersion;
  document_["command_line"] = commandLine;
  document_["device_root"] = deviceRoot.string();
  document_["started"] = IsoTime(started_);
  // Placeholders, of the type Finish gives them, keep the fields every
  // report has at the top.
  document_["ended"] = "";
  document_["exit_code"] = 0;
  document_["outcome"] = "";
  document_["success"] = false;
  document_["reason"] = "";
  document_["message_boxes"] = Json::array();
}

Json& JsonReport::Field(std::string_view dotted) {
  Json* node = &document_;
  for (;;) {
    const std::size_t dot = dotted.find('.');
    Json& child = (*node)[std::string(dotted.substr(0, dot))];
    if (dot == std::string_view::npos) return child;
    if (!child.is_object()) child = Json::object();
    node = &child;
    dotted.remove_prefix(dot + 1);
  }
}

void JsonReport::Set(std::string_view field, const platform::ReportValue& value) {
  Field(field) = ToJson(value);
}

bool JsonReport::Has(std::string_view dotted) const {
  const Json* node = &document_;
  for (;;) {
    const std::size_t dot = dotted.find('.');
    const auto child = node->find(std::string(dotted.substr(0, dot)));
    if (child == node->end()) return false;
    if (dot == std::string_view::npos) return true;
    node = &*child;
    if (!node->is_object()) return false;
    dotted.remove_prefix(dot + 1);
  }
}

void JsonReport::Add(std::string_view field, int64_t amount) {
  Json& counter = Field(field);
  counter = (counter.is_number_integer() ? counter.get<int64_t>() : 0) + amount;
}

void JsonReport::Append(std::string_view list, const platform::ReportItem& item) {
  Json entry = Json::object();
  for (const auto& [name, value] : item) entry[name] = ToJson(value);
  Json& array = Field(list);
  if (!array.is_array()) array = Json::array();
  array.push_back(std::move(entry));
}

void JsonReport::SetOutcome(platform::RunOutcome outcome) {
  outcome_ = outcome;
  document_["outcome"] = FactsOf(outcome).word;
}

void JsonReport::Finish(int exitStatus) {
  const auto ended = std::chrono::system_clock::now();
  const int status = ShellStatus(exitStatus);
  document_["ended"] = IsoTime(ended);
  document_["seconds"] = std::chrono::duration<double>(ended - started_).count();
  document_["exit_code"] = status;
  if (!outcome_) SetOutcome(DefaultOutcome(document_, status));
  document_["success"] = FactsOf(*outcome_).success;
  document_["reason"] = ReasonFor(document_);
}

bool JsonReport::WriteTo(const std::filesystem::path& file, std::string* error) const {
  // Text the device held in another encoding must not stop the report.
  const std::string text =
      document_.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  return host::WriteReportFile(file, text, error);
}

}  // namespace report
