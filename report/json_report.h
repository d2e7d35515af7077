// The outcome report as one JSON document, written when the program ends.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/outcome_report.h"

namespace report {

class JsonReport : public platform::OutcomeRecorder {
 public:
  // Notes the program, its command line, the device root (empty: none) and
  // the start time.
  JsonReport(std::string_view program, std::string_view commandLine,
             const std::filesystem::path& deviceRoot);

  bool Active() const override { return true; }
  void Set(std::string_view field, const platform::ReportValue& value) override;
  bool Has(std::string_view field) const override;
  void Add(std::string_view field, int64_t amount) override;
  void Append(std::string_view list, const platform::ReportItem& item) override;
  void SetOutcome(platform::RunOutcome outcome) override;

  // Notes the end time, the exit status, the outcome when the program named
  // none, whether it succeeded and, when not, why.
  void Finish(int exitStatus);

  // Writes the document to a temporary file beside `file` and renames it, so
  // that a reader finds the whole document or none. False with `error` set.
  bool WriteTo(const std::filesystem::path& file, std::string* error) const;

  const nlohmann::ordered_json& document() const { return document_; }
  // How the run ended; none before the program or Finish named it.
  std::optional<platform::RunOutcome> outcome() const { return outcome_; }

 private:
  nlohmann::ordered_json& Field(std::string_view dotted);

  nlohmann::ordered_json document_;
  std::optional<platform::RunOutcome> outcome_;
  std::chrono::system_clock::time_point started_;
};

// The kit's version, "0.12.0".
const char* KitVersionText();

// "2026-12-08T03:10:00.123Z"
std::string IsoTime(std::chrono::system_clock::time_point time);

}  // namespace report
