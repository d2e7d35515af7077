// The names of one folder, found by their case-folded form: the device's
// rule is that an exact name wins, else the first name in byte order that
// equals the one asked for ignoring case.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace host {

class FolderNames {
 public:
  void Add(const std::string& name);
  void Remove(const std::string& name);
  void Clear() { byFoldedHash_.clear(); }
  // The host name `component` names here; none when nothing matches.
  std::optional<std::string> Match(std::u16string_view component) const;
  // Reads every name of the folder open as `dir` (any kind of descriptor).
  bool Scan(int dir);

 private:
  // Names that only share the hash of their folded forms are told apart
  // when matched: a big folder's index costs little more than its names.
  std::unordered_multimap<std::size_t, std::string> byFoldedHash_;
};

}  // namespace host
