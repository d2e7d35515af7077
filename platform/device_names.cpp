#include "platform/device_names.h"

namespace platform {

bool IsValidDeviceName(std::u16string_view name) {
  if (name.empty()) return false;
  for (const char16_t unit : name) {
    if (unit < u' ') return false;
    switch (unit) {
      case u'\\':
      case u'/':
      case u':':
      case u'*':
      case u'?':
      case u'"':
      case u'<':
      case u'>':
      case u'|':
        return false;
      default:
        break;
    }
  }
  return true;
}

}  // namespace platform
