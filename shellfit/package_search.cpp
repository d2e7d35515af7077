// Finding the package in the source folder.
#include "shellfit/package_search.h"

#include "frame/device_identity.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "shellfit/shellfit.h"

namespace shellfit {

bool FindPackage(std::u16string* out) {
  out->clear();
  // The source folder may still end with "\" (the /upgrade check runs before
  // it is trimmed); join with a single separator either way.
  const std::u16string folder = WithBackslash(SourceFolder);
  const std::u16string named = folder + Model + u" SHELL.ZIP";
  if (frame::FileExists(named)) {
    *out = named;
    return true;
  }
  // Only the first match counts, in the file system's own order.
  const auto matches = platform::Files().Find(folder + u"*.zip");
  if (matches.empty()) return false;
  const std::u16string& name = matches.front().name;
  if (platform::ToUpper(name).find(u" SHELL.ZIP") == std::u16string::npos) return false;
  *out = folder + name;
  return true;
}

}  // namespace shellfit
