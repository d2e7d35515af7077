// Whether the device can take the package: walked entry by entry over the
// state the flash drive will be in once the old files are deleted.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "shellfit/package_fit.h"
#include "shellfit/shellfit.h"
#include "zipreader/zip_reader.h"

namespace shellfit {
namespace {

enum class Kind : uint8_t { Absent, File, Folder };

// One per path of a big package: the members are ordered so that it packs
// into 48 bytes.
struct PathState {
  std::optional<uint64_t> size;  // the size the package gives the file
  uint64_t replacedSize = 0;
  std::optional<uint32_t> writer;  // the entry written to it, when it is a file
  Kind claim = Kind::Absent;       // what the package makes of it; Absent: not named
  std::optional<Kind> current;     // what it names on the device now, once asked
  bool replaced = false;           // an old file of its own stays until it is written
  std::optional<bool> probe;       // whether it could be created, once tried
  std::optional<bool> changeable;  // a folder: whether entries can be made in it, once asked
  bool created = false;            // a folder the package makes anew
};
static_assert(sizeof(PathState) <= 48);

std::u16string Number(uint64_t value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

std::u16string Quoted(std::u16string_view text) {
  return std::u16string(u"\"").append(text) + u"\"";
}

class FitCheck {
 public:
  FitCheck(CZipReader& reader, std::u16string_view package, std::u16string_view target)
      : reader_(reader),
        package_(CanonicalDevicePath(package)),
        targetPath_(target),
        target_(CanonicalDevicePath(target)),
        haveRoom_(platform::Files().GetVolumeRoom(target, &room_) ||
                  platform::Files().GetVolumeRoom(u"\\", &room_)),
        plan_(PlanOldFileRemoval(target, package, room_.blockSize)) {
    paths_.reserve(reader.Headers().size() + 16);
  }

  // Why the deletion cannot be done; empty when it can.
  const std::u16string& RemovalProblem() const { return plan_.blocked; }

  // Empty when the entry can be written; else why not.
  std::u16string Entry(const CZipEntryHeader& header, uint32_t index, std::u16string_view base) {
    const std::u16string name = header.GetEntryName();
    const std::u16string destination = EntryDestination(name, base);
    std::u16string problem = NameProblem(name, destination);
    if (problem.empty() && IsKitsOwn(destination)) {
      problem = u"the name lies in the folder .fitkit, which the updater keeps for itself";
    }
    // A folder is made, never written: its bytes would be looked for in vain.
    if (problem.empty() && header.IsDirectory() &&
        (header.uncompressedSize != 0 || header.crc32 != 0)) {
      problem = u"it is a folder entry, yet it holds " + Number(header.uncompressedSize) +
                u" bytes of data";
    }
    if (problem.empty()) problem = Paths(destination, header.IsDirectory(), header, index);
    return problem.empty() ? problem : u"entry " + Quoted(name) + u": " + problem + u".";
  }

  // Empty when the files fit into the room left once the old files are gone.
  // Only the sizes the package declares count: nothing has been inflated.
  std::u16string Room() const {
    if (!haveRoom_) return {};  // the platform cannot tell; the extraction will
    const uint64_t block = room_.blockSize;
    uint64_t need = 0, replaced = 0;
    for (const auto& [key, state] : paths_) {
      if (state.size) need += RoundToBlocks(*state.size, block);
      if (state.replaced) replaced += RoundToBlocks(state.replacedSize, block);
      // A new folder takes a block of its own on most file systems.
      if (state.created && block > 1) need += block;
    }
    const uint64_t gained = room_.free + plan_.freedBytes + replaced;
    const uint64_t room = gained > room_.overdrawn ? gained - room_.overdrawn : 0;
    if (need <= room) return {};
    std::u16string text = u"its files need " + Number(need) + u" bytes";
    if (block > 1) text += u" (in whole blocks of " + Number(block) + u" bytes)";
    text += u", and the device will have " + Number(room) +
            u" bytes free once the old files are deleted";
    if (room_.overdrawn > 0) {
      text += u"; the flash drive holds " + Number(room_.overdrawn) +
              u" bytes more than its capacity now";
    }
    return text + u" (" + Number(need - room) + u" bytes missing).";
  }

 private:
  // The install record, the staging and the old shell set aside live there:
  // an entry written in it would stand for one of them.
  bool IsKitsOwn(std::u16string_view destination) const {
    const std::u16string own = target_ + u"\\.fitkit";
    const std::u16string key = CanonicalDevicePath(destination);
    return key == own || key.starts_with(own + u"\\");
  }

  std::u16string Paths(const std::u16string& destination, bool folder,
                       const CZipEntryHeader& header, uint32_t index) {
    std::u16string path;
    bool probed = false;
    const auto parts = platform::SplitPathComponents(destination);
    if (parts.empty() && !folder) return u"it names the root folder as a file";
    // Each component's key and state serve the next one as its parent's.
    std::u16string parentKey;
    PathState* parentState = nullptr;
    std::size_t first = 0;
    // The folders above an entry were walked for the entry before it, as a
    // rule: walking them again would only give the same answers.
    if (walked_ && parts.size() >= 2 &&
        std::equal(walked_->parts.begin(), walked_->parts.end(), parts.begin(), parts.end() - 1)) {
      first = parts.size() - 1;
      path = walked_->path;
      parentKey = walked_->key;
      parentState = walked_->state;
      probed = walked_->probed;
    } else {
      parentState = &paths_[platform::ToUtf8(parentKey)];
    }
    for (std::size_t i = first; i < parts.size(); ++i) {
      if (i + 1 == parts.size() && i > first) {
        walked_ = Walked{{parts.begin(), parts.end() - 1}, path, parentKey, parentState, probed};
      }
      const std::u16string parent = path.empty() ? u"\\" : path;
      path += u"\\" + parts[i];
      const std::u16string key = parentKey + CanonicalDevicePath(u"\\" + parts[i]);
      PathState& state = paths_[platform::ToUtf8(key)];
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
      if (after == Kind::Absent && wantFolder) state.created = true;
      // The parent gains this entry, or loses the file it replaces.
      if (after != Kind::Folder && Current(parent, *parentState) == Kind::Folder &&
          AfterRemoval(parentKey, parent, *parentState) == Kind::Folder &&
          !CanChange(parent, *parentState)) {
        return Quoted(parent) + u" is read-only: nothing can be written into it";
      }
      if (!probed && Current(path, state) == Kind::Absent &&
          Current(parent, *parentState) == Kind::Folder) {
        probed = true;
        if (!CanCreate(path, state)) return Quoted(path) + u" cannot be created on the device";
      }
      if (!wantFolder && key == package_) return u"it would overwrite the package itself";
      if (!wantFolder) {
        std::u16string problem = Record(key, path, after, header, index, state);
        if (!problem.empty()) return problem;
      }
      parentKey = key;
      parentState = &state;
    }
    return {};
  }

  std::u16string Record(const std::u16string& key, const std::u16string& path, Kind after,
                        const CZipEntryHeader& header, uint32_t index, PathState& state) {
    // One file, two entries: only the last would stay, and every copy would
    // count as installed.
    if (state.writer) {
      return u"it and entry " + Quoted(reader_.Headers().at(*state.writer)->GetEntryName()) +
             u" would both be written to " + Quoted(path);
    }
    state.writer = index;
    state.size = header.uncompressedSize;
    if (after == Kind::File && !state.replaced) {
      state.replaced = true;
      bool locked = false;
      state.replacedSize = SizeAfterRemoval(key, path, &locked);
      if (locked) return Quoted(path) + u" is locked (immutable): it cannot be replaced";
    }
    return {};
  }

  bool CanChange(const std::u16string& folder, PathState& state) {
    if (!state.changeable) state.changeable = platform::Files().CanChangeFolder(folder);
    return *state.changeable;
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

  bool BelowTarget(const std::u16string& key) const {
    return key.size() > target_.size() && key.starts_with(target_) && key[target_.size()] == u'\\';
  }

  Kind AfterRemoval(const std::u16string& key, const std::u16string& path, PathState& state) {
    if (!BelowTarget(key) || InKeptTree(key)) return Current(path, state);
    if (plan_.keptFiles.count(key)) return Kind::File;
    if (plan_.keptFolders.count(key)) return Kind::Folder;
    return Kind::Absent;
  }

  uint64_t SizeAfterRemoval(const std::u16string& key, const std::u16string& path, bool* locked) {
    const auto found = platform::Files().Find(path);
    *locked = found.size() == 1 && found.front().locked;
    const auto kept = plan_.keptFiles.find(key);
    if (kept != plan_.keptFiles.end()) return kept->second;
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

  CZipReader& reader_;
  std::u16string package_;
  std::u16string targetPath_;
  std::u16string target_;
  platform::VolumeRoom room_;
  bool haveRoom_;
  RemovalPlan plan_;
  // Everything known of a path, by its canonical form in UTF-8 (half the
  // bytes): one node a path keeps a big package's check small. Hashed: the
  // paths of one folder share long beginnings that ordered keys compare
  // again and again.
  std::unordered_map<std::string, PathState> paths_;
  // The folder part of the entry walked last, as it stood at its end.
  struct Walked {
    std::vector<std::u16string> parts;
    std::u16string path;
    std::u16string key;
    PathState* state;
    bool probed;
  };
  std::optional<Walked> walked_;
};

constexpr std::u16string_view kMainExe = u"main.exe";

}  // namespace

PackageStatus CheckPackageFits(CZipReader& reader, std::u16string_view package,
                               std::u16string_view target) {
  // Nothing is changed here; the queue of others' changes is read once.
  const platform::LookUpBatch batch(platform::Files());
  FitCheck check(reader, package, target);
  const std::u16string base = WithBackslash(target);
  std::u16string problem = check.RemovalProblem();
  CZipEntryHeader header;
  bool bringsMainExe = false;
  for (unsigned index = 0; problem.empty() && index <= 0xFFFF && reader.GetEntryInfo(header, index);
       ++index) {
    problem = check.Entry(header, index, base);
    bringsMainExe = bringsMainExe || platform::EqualsNoCase(header.GetEntryName(), kMainExe);
  }
  // The old shell's files go: a package without the shell's program would
  // leave the device with none.
  if (problem.empty() && !bringsMainExe &&
      platform::Files().GetEntryKind(base + std::u16string(kMainExe)) ==
          platform::EntryKind::File) {
    problem =
        u"it holds no main.exe, and installing it would leave the flash drive without "
        u"the shell's program";
  }
  if (problem.empty()) problem = check.Room();
  return problem.empty() ? PackageStatus::Ok() : PackageStatus::Unfit(std::move(problem));
}

}  // namespace shellfit
