// Clearing the flash drive of the old shell software, keeping the device's
// own state (registry hives, GPS parameters).
#include "shellfit/old_file_removal.h"

#include "frame/device_identity.h"
#include "frame/update_dialog.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "shellfit/shellfit.h"
#include "shellfit/update_report.h"

namespace shellfit {
namespace {

bool IsPreserved(std::u16string_view name) {
  for (std::u16string_view kept : kPreservedNames) {
    if (platform::EqualsNoCase(name, kept)) return true;
  }
  return false;
}

// Walks the folders held open, so that the file system finds each entry by
// its name in a folder it already holds.
class OldFileRemoval {
 public:
  OldFileRemoval(platform::Dialog* dialog, std::u16string_view keep, FailedDeletions* failed)
      : dialog_(dialog), keepKey_(CanonicalDevicePath(keep)), failed_(failed) {}

  // `base` is the folder's device path with a backslash at its end.
  int Clear(platform::Folder& folder, const std::u16string& base) {
    // The kept file can only be one of this folder's when the folders match.
    const std::u16string baseKey = CanonicalDevicePath(base) + u"\\";
    const bool keepHere = keepKey_.starts_with(baseKey) &&
                          keepKey_.find(u'\\', baseKey.size()) == std::u16string::npos;
    int count = 0;
    // Names and kinds are all the walk needs; a host may list them cheaper.
    for (const platform::FindData& entry : folder.List(platform::FindDetail::Kinds)) {
      if (entry.attributes & platform::FILE_ATTRIBUTE_DIRECTORY) {
        if (entry.name.starts_with(u'.')) continue;
        const std::u16string path = base + entry.name;
        if (auto inner = folder.OpenFolder(entry.name)) count += Clear(*inner, path + u"\\");
        // Fails quietly when something was kept inside.
        NoteFolderRemoval(path, folder.RemoveFolder(entry.name));
      } else if (!IsPreserved(entry.name) &&
                 !(keepHere && CanonicalDevicePath(base + entry.name) == keepKey_)) {
        if (dialog_ != nullptr) frame::ShowStatus(*dialog_, u"Deleting...", entry.name);
        Delete(folder, entry, base);
        ++count;
      }
    }
    return count;
  }

 private:
  // A file listed with read-only, hidden or system set has them cleared, then
  // goes. Any other (whose read-only bit the listing may not have told) goes
  // the file system's quickest way, which clears them only when it must.
  void Delete(platform::Folder& folder, const platform::FindData& entry,
              const std::u16string& base) {
    constexpr uint32_t kBlocking = platform::FILE_ATTRIBUTE_READONLY |
                                   platform::FILE_ATTRIBUTE_HIDDEN |
                                   platform::FILE_ATTRIBUTE_SYSTEM;
    const bool deleted = (entry.attributes & kBlocking) ? frame::ForceDeleteFile(base + entry.name)
                                                        : folder.DeleteFileAnyway(entry.name);
    if (deleted) {
      NoteFileDeletion({}, true);  // only a failure is reported by its path
      return;
    }
    const std::u16string path = base + entry.name;
    NoteFileDeletion(path, false);
    if (failed_ != nullptr && failed_->count++ == 0) failed_->first = path;
  }

  platform::Dialog* dialog_;
  std::u16string keepKey_;
  FailedDeletions* failed_;
};

}  // namespace

int DeleteOldFiles(platform::Dialog& dialog, std::u16string_view folder, std::u16string_view keep,
                   FailedDeletions* failed) {
  return DeleteOldFiles(&dialog, folder, keep, failed);
}

int DeleteOldFiles(platform::Dialog* dialog, std::u16string_view folder, std::u16string_view keep,
                   FailedDeletions* failed) {
  if (folder.empty()) return 0;
  const std::unique_ptr<platform::Folder> held = platform::Files().OpenFolder(folder);
  if (held == nullptr) return 0;
  return OldFileRemoval(dialog, keep, failed).Clear(*held, WithBackslash(folder));
}

}  // namespace shellfit
