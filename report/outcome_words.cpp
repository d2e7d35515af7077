#include "report/outcome_words.h"

#include "report/outcome_table.h"

namespace report {

using Json = nlohmann::ordered_json;

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
  const OutcomeFacts facts = FactsOf(OutcomeOf(report));
  if (facts.success) return {};
  const auto said = report.find("reason");
  if (said != report.end() && said->is_string() && !said->get<std::string>().empty()) {
    return said->get<std::string>();
  }
  return facts.words(report);
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
  const OutcomeFacts facts = FactsOf(OutcomeOf(report));
  if (facts.success) return facts.words(report);
  return std::string(facts.word) + ": " + ReasonFor(report);
}

}  // namespace report
