#include "shellfit/folder_path.h"

#include "platform/text.h"
#include "shellfit/shellfit.h"

namespace shellfit {

std::u16string WithBackslash(std::u16string_view folder) {
  std::u16string path(folder);
  if (path.empty() || path.back() != u'\\') path += u'\\';
  return path;
}

// The path's components, lower-cased, each preceded by one "\".
std::u16string CanonicalDevicePath(std::u16string_view path) {
  std::u16string out;
  bool separator = true;
  for (char16_t unit : path) {
    if (unit == u'\\' || unit == u'/') {
      separator = true;
      continue;
    }
    if (separator) out += u'\\';
    separator = false;
    out += platform::LowerUnit(unit);
  }
  return out;
}

}  // namespace shellfit
