// The words after a fitkit command: options (--name, --name=value or
// --name value; -h stands for --help) and the operands between them. Every
// option a command does not know, a value missing (or an option where the
// value should be) and a value given to an option that takes none is a usage
// error, said in words.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace fitkit {

struct OptionSpec {
  std::string name;  // "--device"
  bool takesValue = false;
  bool repeats = false;
};

class ParsedArgs {
 public:
  // False with `error` set for an unknown option (naming the known ones), a
  // missing value or a repeated single option.
  bool Parse(const std::vector<std::string>& words, const std::vector<OptionSpec>& specs,
             std::string* error);
  bool Has(const std::string& name) const { return values_.count(name) != 0; }
  std::optional<std::string> Value(const std::string& name) const;
  std::vector<std::string> Values(const std::string& name) const;
  const std::vector<std::string>& operands() const { return operands_; }

 private:
  std::map<std::string, std::vector<std::string>> values_;
  std::vector<std::string> operands_;
};

}  // namespace fitkit
