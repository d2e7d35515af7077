// The refusal's sentence around a package status's words.
#include "shellfit/package_status.h"

#include "shellfit/shellfit.h"

namespace shellfit {

std::u16string RefusalSentence(const PackageStatus& status) {
  return u"The package cannot be installed: " + status.words() + std::u16string(kNothingChanged);
}

}  // namespace shellfit
