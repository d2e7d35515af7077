// What the old-file removal will keep and free, worked out by the same walk
// without deleting anything.
#include "shellfit/removal_plan.h"

#include <memory>
#include <vector>

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

class Planner {
 public:
  Planner(std::u16string_view keep, uint64_t blockSize, RemovalPlan& plan)
      : keepKey_(CanonicalDevicePath(keep)), blockSize_(blockSize), plan_(plan) {}

  // True when something below `folder` stays. The folder's own files come
  // before its sub-folders, so that what cannot be changed is named where it
  // begins.
  // `held` is `folder` held open, as the removal will walk it.
  bool Plan(platform::Folder& held, std::u16string_view folder) {
    const std::u16string base = WithBackslash(folder);
    bool keptAny = false, deletes = false;
    // Sizes, kinds and locks decide here; the stored attribute bits do not.
    const std::vector<platform::FindData> found = held.List(platform::FindDetail::NoStored);
    const std::u16string folderKey = CanonicalDevicePath(base);
    for (const platform::FindData& entry : found) {
      if (entry.attributes & platform::FILE_ATTRIBUTE_DIRECTORY) continue;
      // Only a name of the kept file's length can be it: the others spare the key.
      const bool mayBeKept = keepKey_.size() == folderKey.size() + 1 + entry.name.size();
      if (IsPreservedName(entry.name) || (mayBeKept && FileKey(folderKey, entry) == keepKey_)) {
        plan_.keptFiles[FileKey(folderKey, entry)] = entry.size;
        keptAny = true;
      } else {
        plan_.freedBytes += RoundToBlocks(entry.size, blockSize_);
        deletes = true;
        if (entry.locked) Block(base + entry.name, u" cannot be deleted: it is locked (immutable)");
      }
    }
    if (deletes && !platform::Files().CanChangeFolder(folder)) {
      Block(std::u16string(folder), u" is read-only: its old files cannot be deleted");
    }
    for (const platform::FindData& entry : found) {
      if (!(entry.attributes & platform::FILE_ATTRIBUTE_DIRECTORY)) continue;
      const std::u16string path = base + entry.name;
      const std::u16string key = CanonicalDevicePath(path);
      if (entry.name.starts_with(u'.')) {
        plan_.keptTrees.insert(key);
        keptAny = true;
      } else if (PlanInner(held, entry.name, path)) {
        plan_.keptFolders.insert(key);
        keptAny = true;
      }
    }
    return keptAny;
  }

 private:
  // A folder that cannot be opened lists nothing, here as in the removal.
  bool PlanInner(platform::Folder& held, const std::u16string& name, const std::u16string& path) {
    const std::unique_ptr<platform::Folder> inner = held.OpenFolder(name);
    return inner != nullptr && Plan(*inner, path);
  }

  static std::u16string FileKey(const std::u16string& folderKey, const platform::FindData& entry) {
    return folderKey + CanonicalDevicePath(entry.name);
  }

  void Block(const std::u16string& path, std::u16string_view why) {
    if (plan_.blocked.empty()) plan_.blocked = u"\"" + path + u"\"" + std::u16string(why) + u".";
  }

  std::u16string keepKey_;
  uint64_t blockSize_;
  RemovalPlan& plan_;
};

}  // namespace

uint64_t RoundToBlocks(uint64_t bytes, uint64_t blockSize) {
  if (blockSize <= 1) return bytes;
  return (bytes + blockSize - 1) / blockSize * blockSize;
}

RemovalPlan PlanOldFileRemoval(std::u16string_view folder, std::u16string_view keep,
                               uint64_t blockSize) {
  RemovalPlan plan;
  if (folder.empty()) return plan;
  if (const auto held = platform::Files().OpenFolder(folder)) {
    Planner(keep, blockSize, plan).Plan(*held, folder);
  }
  return plan;
}

}  // namespace shellfit
