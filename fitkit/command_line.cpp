#include "fitkit/command_line.h"

namespace fitkit {

bool ParsedArgs::Parse(const std::vector<std::string>& words, const std::vector<OptionSpec>& specs,
                       std::string* error) {
  bool optionsEnd = false;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (optionsEnd || word.size() < 2 || word[0] != '-' || word == "-") {
      operands_.push_back(word);
      continue;
    }
    if (word == "--") {
      optionsEnd = true;
      continue;
    }
    const std::size_t equals = word.find('=');
    const std::string name = word.substr(0, equals);
    const OptionSpec* spec = nullptr;
    for (const OptionSpec& candidate : specs) {
      if (candidate.name == name) spec = &candidate;
    }
    if (spec == nullptr) {
      *error = "unknown option '" + name + "'";
      return false;
    }
    std::string value;
    if (spec->takesValue) {
      if (equals != std::string::npos) {
        value = word.substr(equals + 1);
      } else if (i + 1 < words.size()) {
        value = words[++i];
      } else {
        *error = name + " needs a value";
        return false;
      }
    } else if (equals != std::string::npos) {
      *error = name + " takes no value";
      return false;
    }
    if (!spec->repeats && values_.count(name) != 0) {
      *error = name + " is given twice";
      return false;
    }
    values_[name].push_back(value);
  }
  return true;
}

std::optional<std::string> ParsedArgs::Value(const std::string& name) const {
  const auto found = values_.find(name);
  if (found == values_.end()) return std::nullopt;
  return found->second.front();
}

std::vector<std::string> ParsedArgs::Values(const std::string& name) const {
  const auto found = values_.find(name);
  return found == values_.end() ? std::vector<std::string>() : found->second;
}

}  // namespace fitkit
