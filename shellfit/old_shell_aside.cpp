// The old shell moved aside by renames within the flash drive: as cheap as
// its deletion, and undone by renames too.
#include "shellfit/old_shell_aside.h"

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

bool IsFolder(const platform::FindData& entry) {
  return (entry.attributes & platform::FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::u16string Inside(const std::u16string& folder, std::u16string_view name) {
  return platform::EntryOfFolder(folder, name);
}

// With the folders above it that are missing too.
bool MakeFolder(const std::u16string& path) {
  if (platform::Files().GetEntryKind(path) == platform::EntryKind::Folder) return true;
  const std::size_t slash = path.rfind(u'\\');
  return slash != std::u16string::npos && slash > 0 && MakeFolder(path.substr(0, slash)) &&
         platform::Files().CreateDirectory(path);
}

class OldShellAside {
 public:
  OldShellAside(platform::Dialog* dialog, std::u16string_view keep, FailedDeletions* failed)
      : dialog_(dialog), keepKey_(CanonicalDevicePath(keep)), failed_(failed) {}

  // Moves what `folder` holds into `aside`, which is made when first needed.
  void Move(const std::u16string& folder, const std::u16string& aside) {
    for (const platform::FindData& entry :
         platform::Files().FindEntries(folder + u"\\*.*", platform::FindDetail::Kinds)) {
      const std::u16string path = Inside(folder, entry.name);
      const std::u16string there = Inside(aside, entry.name);
      if (IsFolder(entry)) {
        if (entry.name.starts_with(u'.')) continue;
        int files = 0;
        if (!HoldsKept(path, &files) && MakeFolder(aside) &&
            platform::Files().MoveFolder(path, there)) {
          ShowDeleting(entry.name);
          for (int i = 0; i < files; ++i) NoteFileDeletion({}, true);
          NoteFolderRemoval(path, true);
          continue;
        }
        Move(path, there);
        // Fails quietly when something was kept inside.
        NoteFolderRemoval(path, platform::Files().RemoveDirectory(path));
      } else if (!Kept(path, entry.name)) {
        ShowDeleting(entry.name);
        const bool moved = MakeFolder(aside) && platform::Files().MoveFile(path, there);
        NoteFileDeletion(path, moved);
        if (!moved && failed_ != nullptr && failed_->count++ == 0) failed_->first = path;
      }
    }
  }

 private:
  bool Kept(const std::u16string& path, std::u16string_view name) const {
    return IsPreserved(name) || (!keepKey_.empty() && CanonicalDevicePath(path) == keepKey_);
  }

  // Whether anything below `folder` must stay; counts the files that go.
  bool HoldsKept(const std::u16string& folder, int* files) const {
    for (const platform::FindData& entry :
         platform::Files().FindEntries(folder + u"\\*.*", platform::FindDetail::Kinds)) {
      const std::u16string path = Inside(folder, entry.name);
      if (IsFolder(entry) ? entry.name.starts_with(u'.') || HoldsKept(path, files)
                          : Kept(path, entry.name)) {
        return true;
      }
      if (!IsFolder(entry)) ++*files;
    }
    return false;
  }

  void ShowDeleting(std::u16string_view name) {
    if (dialog_ != nullptr) frame::ShowStatus(*dialog_, u"Deleting...", name);
  }

  platform::Dialog* dialog_;
  std::u16string keepKey_;
  FailedDeletions* failed_;
};

}  // namespace

void SetOldShellAside(platform::Dialog* dialog, std::u16string_view target,
                      const std::u16string& aside, std::u16string_view keep,
                      FailedDeletions* failed) {
  OldShellAside(dialog, keep, failed).Move(std::u16string(target), aside);
}

bool MoveTreeInto(const std::u16string& from, const std::u16string& to,
                  const std::u16string& displaced, std::u16string_view skip) {
  bool ok = true;
  const platform::LookUpBatch batch(platform::Files());
  // Kinds alone: a folder's attributes are read only when it cannot move whole.
  for (const platform::FindData& entry :
       platform::Files().FindEntries(from + u"\\*.*", platform::FindDetail::Kinds)) {
    if (!skip.empty() && platform::EqualsNoCase(entry.name, skip)) continue;
    const std::u16string source = Inside(from, entry.name);
    const std::u16string destination = Inside(to, entry.name);
    const platform::EntryKind there = platform::Files().GetEntryKind(destination);
    if (IsFolder(entry)) {
      if (there == platform::EntryKind::None) {
        // A folder nothing was kept in moves whole, in one step: either
        // side holds all of it.
        if (platform::Files().MoveFolder(source, destination)) continue;
        ok = platform::Files().CreateDirectory(destination) && ok;
        platform::Files().SetAttributes(destination, platform::Files().GetAttributes(source));
      }
      ok = MoveTreeInto(source, destination,
                        displaced.empty() ? displaced : Inside(displaced, entry.name)) &&
           ok;
      platform::Files().RemoveDirectory(source);
      continue;
    }
    if (there != platform::EntryKind::None) {
      if (displaced.empty() || !MakeFolder(displaced) ||
          !platform::Files().MoveFile(destination, Inside(displaced, entry.name))) {
        ok = false;
        continue;
      }
    }
    ok = platform::Files().MoveFile(source, destination) && ok;
  }
  return ok;
}

void RemoveTree(const std::u16string& folder, FailedDeletions* failed) {
  for (const platform::FindData& entry : platform::Files().Find(folder + u"\\*.*")) {
    const std::u16string path = Inside(folder, entry.name);
    if (IsFolder(entry) && platform::Files().GetEntryKind(path) == platform::EntryKind::Folder) {
      RemoveTree(path, failed);
    } else if (!frame::ForceDeleteFile(path) && failed != nullptr && failed->count++ == 0) {
      failed->first = path;
    }
  }
  platform::Files().RemoveDirectory(folder);
}

}  // namespace shellfit
