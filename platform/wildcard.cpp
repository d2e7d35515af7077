#include "platform/wildcard.h"

#include "platform/text.h"

namespace platform {

bool MatchWildcard(std::u16string_view pattern, std::u16string_view name) {
  if (pattern == u"*.*") pattern = u"*";
  // Greedy match with one back-track point: the last star seen.
  std::size_t p = 0, n = 0;
  std::size_t starP = std::u16string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() &&
               (pattern[p] == u'?' || LowerUnit(pattern[p]) == LowerUnit(name[n]))) {
      ++p;
      ++n;
    } else if (starP != std::u16string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

}  // namespace platform
