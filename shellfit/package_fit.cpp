// Whether the device can take the package: walked entry by entry over the
// state the flash drive will be in once the old files are deleted.
#include <map>
#include <optional>
#include <string>

#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "shellfit/package_fit.h"
#include "shellfit/shellfit.h"
#include "zipreader/zip_reader.h"

namespace shellfit {
namespace {

enum class Kind { Absent, File, Folder };

struct PathState {
  Kind claim = Kind::Absent;        // what the package makes of it; Absent: not named
  std::optional<Kind> current;      // what it names on the device now, once asked
  std::optional<uint64_t> size;     // the size the package gives the file
  bool replaced = false;            // an old file of its own stays until it is written
  uint64_t replacedSize = 0;
  std::optional<bool> probe;        // whether it could be created, once tried
};

std::u16string Number(uint64_t value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

std::u16string Quoted(std::u16string_view text) { return u"\"" + std::u16string(text) + u"\""; }

class FitCheck {
 public:
  FitCheck(std::u16string_view package, std::u16string_view target)
      : package_(CanonicalDevicePath(package)),
        targetPath_(target),
        target_(CanonicalDevicePath(target)),
        plan_(PlanOldFileRemoval(target, package)) {}

  // Empty when the entry can be written; else why not.
  std::u16string Entry(const CZipEntryHeader& header, std::u16string_view base) {
    const std::u16string name = header.GetEntryName();
    const std::u16string destination = EntryDestination(name, base);
    std::u16string problem = NameProblem(name, destination);
    if (problem.empty()) problem = Paths(destination, header.IsDirectory(), header);
    return problem.empty() ? problem : u"entry " + Quoted(name) + u": " + problem + u".";
  }

  // Empty when the files fit into the room left once the old files are gone.
  std::u16string Room() const {
    uint64_t free = 0;
    if (!platform::Files().GetFreeBytes(targetPath_, &free) &&
        !platform::Files().GetFreeBytes(u"\\", &free)) {
      return {};  // the platform cannot tell; the extraction will
    }
    uint64_t need = 0, replaced = 0;
    for (const auto& [key, state] : paths_) {
      if (state.size) need += *state.size;
      if (state.replaced) replaced += state.replacedSize;
    }
    const uint64_t room = free + plan_.freedBytes + replaced;
    if (need <= room) return {};
    return u"its files need " + Number(need) + u" bytes, and the device will have " +
           Number(room) + u" bytes free once the old files are deleted (" +
           Number(need - room) + u" bytes missing).";
  }

 private:
  std::u16string Paths(const std::u16string& destination, bool folder,
                       const CZipEntryHeader& header) {
    std::u16string path;
    bool probed = false;
    const auto parts = platform::SplitPathComponents(destination);
    if (parts.empty() && !folder) return u"it names the root folder as a file";
    for (std::size_t i = 0; i < parts.size(); ++i) {
      const std::u16string parent = path.empty() ? u"\\" : path;
      path += u"\\" + parts[i];
      const std::u16string key = CanonicalDevicePath(path);
      PathState& state = paths_[key];
      const bool wantFolder = folder || i + 1 < parts.size();
      const Kind want = wantFolder ? Kind::Folder : Kind::File;
      if (state.claim != Kind::Absent && state.claim != want) {
        return Quoted(path) + u" is both a file and a folder in the package";
      }
      state.claim = want;
      const Kind after = AfterRemoval(key, path, state);
      if (wantFolder && after == Kind::File) return Quoted(path) + u" stays a file on the device";
      if (!wantFolder && after == Kind::Folder) {
        return Quoted(path) + u" stays a folder on the device";
      }
      if (!probed && Current(path, state) == Kind::Absent && Current(parent) == Kind::Folder) {
        probed = true;
        if (!CanCreate(path, state)) return Quoted(path) + u" cannot be created on the device";
      }
      if (!wantFolder && key == package_) return u"it would overwrite the package itself";
      if (!wantFolder) Record(key, path, after, header, state);
    }
    return {};
  }

  void Record(const std::u16string& key, const std::u16string& path, Kind after,
              const CZipEntryHeader& header, PathState& state) {
    state.size = header.uncompressedSize;  // a later entry of the same path replaces it
    if (after == Kind::File && !state.replaced) {
      state.replaced = true;
      state.replacedSize = SizeAfterRemoval(key, path);
    }
  }

  // What the path names now; asked once per path.
  Kind Current(const std::u16string& path, PathState& state) {
    if (!state.current) {
      state.current = Kind::Absent;
      const uint32_t attributes = platform::Files().GetAttributes(path);
      if (attributes != platform::kInvalidAttributes) {
        state.current =
            (attributes & platform::FILE_ATTRIBUTE_DIRECTORY) ? Kind::Folder : Kind::File;
      }
    }
    return *state.current;
  }
  Kind Current(const std::u16string& path) {
    return Current(path, paths_[CanonicalDevicePath(path)]);
  }

  bool BelowTarget(const std::u16string& key) const {
    return key.size() > target_.size() && key.starts_with(target_) && key[target_.size()] == u'\\';
  }

  Kind AfterRemoval(const std::u16string& key, const std::u16string& path, PathState& state) {
    if (!BelowTarget(key) || InKeptTree(key)) return Current(path, state);
    if (plan_.keptFiles.count(key)) return Kind::File;
    if (plan_.keptFolders.count(key)) return Kind::Folder;
    return Kind::Absent;
  }

  uint64_t SizeAfterRemoval(const std::u16string& key, const std::u16string& path) {
    const auto kept = plan_.keptFiles.find(key);
    if (kept != plan_.keptFiles.end()) return kept->second;
    const auto found = platform::Files().Find(path);
    return found.size() == 1 ? found.front().size : 0;
  }

  bool InKeptTree(const std::u16string& key) const {
    for (const auto& tree : plan_.keptTrees) {
      if (key == tree || (key.starts_with(tree) && key[tree.size()] == u'\\')) return true;
    }
    return false;
  }

  // A name the device does not list may still be taken (a link that leads
  // out of the device, a name the file system refuses): only making it tells.
  bool CanCreate(const std::u16string& path, PathState& state) {
    if (!state.probe) state.probe = platform::Files().CanCreate(path);
    return *state.probe;
  }

  std::u16string package_;
  std::u16string targetPath_;
  std::u16string target_;
  RemovalPlan plan_;
  // Everything known of a path, by its canonical form: one node a path
  // keeps a big package's check small.
  std::map<std::u16string, PathState> paths_;
};

}  // namespace

bool CheckPackageFits(CZipReader& reader, std::u16string_view package,
                      std::u16string_view target, std::u16string* problem) {
  problem->clear();
  FitCheck check(package, target);
  const std::u16string base = WithBackslash(target);
  CZipEntryHeader header;
  for (unsigned index = 0; index <= 0xFFFF && reader.GetEntryInfo(header, index); ++index) {
    *problem = check.Entry(header, base);
    if (!problem->empty()) break;
  }
  if (problem->empty()) *problem = check.Room();
  if (problem->empty()) return true;
  *problem = u"The package cannot be installed: " + *problem + std::u16string(kNothingChanged);
  return false;
}

}  // namespace shellfit
