// What a check found, in words: each finding is fine, a note worth reading,
// or a problem that makes the program refuse or fail.
#pragma once

#include <string>
#include <vector>

namespace fitkit {

enum class Level { Ok, Note, Problem };

struct Finding {
  Level level;
  std::string text;
};

struct Findings {
  std::vector<Finding> items;
  // "would install 6 files ..." or "would be refused: ...".
  std::string verdict;
  // Without a problem: the update would go through, but not as a whole (a
  // step noted as failed), and the run would end incomplete.
  bool afterErrors = false;

  void Ok(std::string text) { items.push_back({Level::Ok, std::move(text)}); }
  void Note(std::string text) { items.push_back({Level::Note, std::move(text)}); }
  void Problem(std::string text) { items.push_back({Level::Problem, std::move(text)}); }
  bool HasProblem() const {
    for (const Finding& item : items) {
      if (item.level == Level::Problem) return true;
    }
    return false;
  }
  const std::string* FirstProblem() const {
    for (const Finding& item : items) {
      if (item.level == Level::Problem) return &item.text;
    }
    return nullptr;
  }
};

const char* LevelWord(Level level);

}  // namespace fitkit
