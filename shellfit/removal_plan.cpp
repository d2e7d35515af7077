// What the old-file removal will keep and free, worked out by the same walk
// without deleting anything.
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "shellfit/package_fit.h"
#include "shellfit/shellfit.h"

namespace shellfit {
namespace {

bool IsPreservedName(std::u16string_view name) {
  for (std::u16string_view kept : kPreservedNames) {
    if (platform::EqualsNoCase(name, kept)) return true;
  }
  return false;
}

// True when something below `folder` stays.
bool Plan(std::u16string_view folder, std::u16string_view keep, RemovalPlan& plan) {
  const std::u16string base = WithBackslash(folder);
  const std::u16string keepKey = CanonicalDevicePath(keep);
  bool keptAny = false;
  for (const platform::FindData& entry : platform::Files().Find(base + u"*.*")) {
    const std::u16string path = base + entry.name;
    const std::u16string key = CanonicalDevicePath(path);
    if (entry.attributes & platform::FILE_ATTRIBUTE_DIRECTORY) {
      if (entry.name.starts_with(u'.')) {
        plan.keptTrees.insert(key);
        keptAny = true;
      } else if (Plan(path, keep, plan)) {
        plan.keptFolders.insert(key);
        keptAny = true;
      }
    } else if (IsPreservedName(entry.name) || key == keepKey) {
      plan.keptFiles[key] = entry.size;
      keptAny = true;
    } else {
      plan.freedBytes += entry.size;
    }
  }
  return keptAny;
}

}  // namespace

RemovalPlan PlanOldFileRemoval(std::u16string_view folder, std::u16string_view keep) {
  RemovalPlan plan;
  if (!folder.empty()) Plan(folder, keep, plan);
  return plan;
}

}  // namespace shellfit
