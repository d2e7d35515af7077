// The outcome of a run said in words, from its report document: whether it
// succeeded, why not when it did not, and the one closing line a person or a
// CI log reads last.
#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

namespace report {

// The report's schema version: the fields docs/report.md describes.
inline constexpr int kReportSchemaVersion = 2;

// What a ZIP error code means for the person holding the package.
std::string ZipErrorWords(int64_t code);

// Why a run that did not succeed ended so, from what its report holds (the
// reason the program noted, or the outcome table's words); empty for a success.
std::string ReasonFor(const nlohmann::ordered_json& report);

// "installed 3,007 files, main.exe 2.0.7 -> 2.1.0", "restarted, OS V1.0.5 ->
// V1.0.7" or "<outcome>: <reason>".
std::string ClosingLine(const nlohmann::ordered_json& report);

// 3007 -> "3,007".
std::string WithThousands(uint64_t number);

}  // namespace report
