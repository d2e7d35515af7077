#include "shellfit/shellfit.h"

namespace shellfit {

std::u16string WithBackslash(std::u16string_view folder) {
  std::u16string path(folder);
  if (path.empty() || path.back() != u'\\') path += u'\\';
  return path;
}

}  // namespace shellfit
