#include "fitkit/command_line.h"

namespace fitkit {
namespace {

bool LooksLikeOption(const std::string& word) { return word.size() > 1 && word[0] == '-'; }

// "--device, --model and --help": what a command takes, for the message
// about one it does not.
std::string OptionList(const std::vector<OptionSpec>& specs) {
  std::string list;
  for (std::size_t i = 0; i < specs.size(); ++i) {
    if (i > 0) list += i + 1 == specs.size() ? " and " : ", ";
    list += specs[i].name;
  }
  return list;
}

const OptionSpec* FindSpec(const std::vector<OptionSpec>& specs, const std::string& name) {
  for (const OptionSpec& candidate : specs) {
    if (candidate.name == name) return &candidate;
  }
  // -h is the --help every command takes.
  if (name == "-h") return FindSpec(specs, "--help");
  return nullptr;
}

}  // namespace

bool ParsedArgs::Parse(const std::vector<std::string>& words, const std::vector<OptionSpec>& specs,
                       std::string* error) {
  bool optionsEnd = false;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (optionsEnd || !LooksLikeOption(word)) {
      operands_.push_back(word);
      continue;
    }
    if (word == "--") {
      optionsEnd = true;
      continue;
    }
    const std::size_t equals = word.find('=');
    const std::string name = word.substr(0, equals);
    const OptionSpec* spec = FindSpec(specs, name);
    if (spec == nullptr) {
      *error = "unknown option '" + name + "'; the options are " + OptionList(specs);
      return false;
    }
    std::string value;
    if (spec->takesValue) {
      if (equals != std::string::npos) {
        value = word.substr(equals + 1);
      } else if (i + 1 < words.size() && !LooksLikeOption(words[i + 1])) {
        value = words[++i];
      } else if (i + 1 < words.size()) {
        *error = spec->name + " needs a value, and the next word is the option " + words[i + 1];
        return false;
      }
      if (value.empty()) {
        *error =
            spec->name + " needs a value: " + spec->name + " VALUE or " + spec->name + "=VALUE";
        return false;
      }
    } else if (equals != std::string::npos) {
      *error = spec->name + " takes no value (give it alone, without '=" + word.substr(equals + 1) +
               "')";
      return false;
    }
    if (!spec->repeats && values_.count(spec->name) != 0) {
      *error = spec->name + " is given twice; give it once";
      return false;
    }
    values_[spec->name].push_back(value);
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
