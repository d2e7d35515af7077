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

// A file listed with read-only, hidden or system set has them cleared, then
// goes. Any other (whose read-only bit the listing may not have told) goes
// the file system's quickest way, which clears them only when it must.
bool DeleteListedFile(const std::u16string& path, uint32_t listedAttributes) {
  constexpr uint32_t kBlocking = platform::FILE_ATTRIBUTE_READONLY |
                                 platform::FILE_ATTRIBUTE_HIDDEN | platform::FILE_ATTRIBUTE_SYSTEM;
  if (listedAttributes & kBlocking) return frame::ForceDeleteFile(path);
  return platform::Files().DeleteFileAnyway(path);
}

}  // namespace

int DeleteOldFiles(platform::Dialog& dialog, std::u16string_view folder, std::u16string_view keep,
                   FailedDeletions* failed) {
  return DeleteOldFiles(&dialog, folder, keep, failed);
}

int DeleteOldFiles(platform::Dialog* dialog, std::u16string_view folder, std::u16string_view keep,
                   FailedDeletions* failed) {
  if (folder.empty()) return 0;
  const std::u16string base = WithBackslash(folder);
  // The kept file can only be one of this folder's when the folders match.
  const std::u16string keepKey = CanonicalDevicePath(keep);
  const std::u16string baseKey = CanonicalDevicePath(base) + u"\\";
  const bool keepHere =
      keepKey.starts_with(baseKey) && keepKey.find(u'\\', baseKey.size()) == std::u16string::npos;
  int count = 0;
  // Names and kinds are all the walk needs; a host may list them cheaper.
  for (const platform::FindData& entry :
       platform::Files().FindEntries(base + u"*.*", platform::FindDetail::Kinds)) {
    const std::u16string path = base + entry.name;
    if (entry.attributes & platform::FILE_ATTRIBUTE_DIRECTORY) {
      if (entry.name.starts_with(u'.')) continue;
      count += DeleteOldFiles(dialog, path, keep, failed);
      // Fails quietly when something was kept inside.
      NoteFolderRemoval(path, platform::Files().RemoveDirectory(path));
    } else if (!IsPreserved(entry.name) && !(keepHere && CanonicalDevicePath(path) == keepKey)) {
      if (dialog != nullptr) frame::ShowStatus(*dialog, u"Deleting...", entry.name);
      const bool deleted = DeleteListedFile(path, entry.attributes);
      NoteFileDeletion(path, deleted);
      if (!deleted && failed != nullptr && failed->count++ == 0) failed->first = path;
      ++count;
    }
  }
  return count;
}

}  // namespace shellfit
