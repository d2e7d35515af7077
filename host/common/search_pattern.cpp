#include "host/common/search_pattern.h"

namespace host {

bool EndsWithSeparator(std::u16string_view path) {
  return !path.empty() && (path.back() == u'\\' || path.back() == u'/');
}

std::u16string FolderOf(const std::vector<std::u16string>& parts) {
  std::u16string folder;
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) folder += u"\\" + parts[i];
  return folder.empty() ? u"\\" : folder;
}

}  // namespace host
