// Finding the package in the source folder.
#include "shellfit/package_search.h"

#include "frame/device_identity.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "shellfit/shellfit.h"

namespace shellfit {

std::u16string PackageNameFor(std::u16string_view model) {
  return std::u16string(model) + u" SHELL.ZIP";
}

bool IsOtherPackageName(std::u16string_view name) {
  return platform::ToUpper(name).find(u" SHELL.ZIP") != std::u16string::npos;
}

bool FindPackage(const UpdateSite& site, std::u16string* out) {
  out->clear();
  // The source folder may still end with "\" (the /upgrade check runs before
  // it is trimmed); join with a single separator either way.
  const std::u16string folder = WithBackslash(site.sourceFolder);
  const std::u16string named = folder + PackageNameFor(site.model);
  if (frame::FileExists(named)) {
    *out = named;
    return true;
  }
  // Only the first match counts, in the file system's own order.
  const auto matches = platform::Files().Find(folder + u"*.zip");
  if (matches.empty()) return false;
  const std::u16string& name = matches.front().name;
  if (!IsOtherPackageName(name)) return false;
  *out = folder + name;
  return true;
}

}  // namespace shellfit
