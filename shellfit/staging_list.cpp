#include "shellfit/staging_list.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <random>
#include <set>

#include "frame/device_identity.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "shellfit/file_crc.h"
#include "shellfit/install_record.h"
#include "shellfit/shellfit.h"
#include "zipreader/zip_reader.h"

namespace shellfit {
namespace {

constexpr std::string_view kFirstLine = "fitkit staging list 1";
// Room for the names of a package of some hundred thousand entries.
constexpr uint32_t kMostListBytes = 64u << 20;

std::u16string Joined(std::u16string_view name) {
  std::u16string path;
  for (const std::u16string& part : platform::SplitPathComponents(name)) {
    if (!path.empty()) path += u'\\';
    path += part;
  }
  return path;
}

// "<size> <crc> <path>"
bool ParseFile(std::string_view value, StagedEntry* entry) {
  const std::size_t first = value.find(' ');
  const std::size_t second = first == std::string_view::npos ? first : value.find(' ', first + 1);
  if (second == std::string_view::npos || second + 1 >= value.size()) return false;
  const char* end = value.data() + first;
  if (std::from_chars(value.data(), end, entry->size).ptr != end || first == 0) return false;
  end = value.data() + second;
  if (second != first + 9 ||
      std::from_chars(value.data() + first + 1, end, entry->crc, 16).ptr != end) {
    return false;
  }
  entry->path = platform::FromUtf8(std::string(value.substr(second + 1)));
  return true;
}

// A listed path must stay below the folder it is looked up in.
bool IsPlainRelative(std::u16string_view path) {
  if (path.empty() || path.front() == u'\\' || path.back() == u'\\') return false;
  for (const std::u16string& part : platform::SplitPathComponents(path)) {
    if (part.find_first_not_of(u". ") == std::u16string::npos) return false;
  }
  return Joined(path) == path;
}

uint64_t FileSize(const std::u16string& path) {
  auto file =
      platform::Files().Open(path, platform::AccessRead, platform::Disposition::OpenExisting);
  uint64_t size = 0;
  return file != nullptr && file->GetSize(&size) ? size : UINT64_MAX;
}

bool Holds(const std::u16string& path, const StagedEntry& entry, bool contents) {
  const platform::EntryKind kind = platform::Files().GetEntryKind(path);
  if (entry.folder) return kind == platform::EntryKind::Folder;
  if (kind != platform::EntryKind::File || FileSize(path) != entry.size) return false;
  uint32_t crc = 0, size = 0;
  return !contents || (GetFileCrc(path, &crc, &size) && crc == entry.crc);
}

// Each folder listed once, for a check of sizes alone: a look-up and an
// open per file would cost more than the rename it checks. The entries
// come folder by folder (see StagingVerifies), so only the folder at hand
// is held: its listing as it came, each name replaced by its key and
// sorted by it.
class ListedSizes {
 public:
  explicit ListedSizes(std::u16string base) : base_(std::move(base)) {}

  bool Holds(const StagedEntry& entry) {
    const std::size_t slash = entry.path.rfind(u'\\');
    const std::u16string_view folder = slash == std::u16string::npos
                                           ? std::u16string_view()
                                           : std::u16string_view(entry.path).substr(0, slash);
    // Entries of one folder come together, as a rule spelt alike.
    if (!listed_ || folder != folder_) {
      std::u16string key = CanonicalDevicePath(folder);
      if (!listed_ || key != folderKey_) {
        listed_ = ListedByKey(std::u16string(folder));
        folderKey_ = std::move(key);
      }
      folder_ = folder;
    }
    const std::u16string name = Folded(std::u16string_view(entry.path).substr(slash + 1));
    // Of names that differ in case alone, the first listed counts.
    const auto match = std::lower_bound(listed_->begin(), listed_->end(), name, KeyBefore);
    if (match == listed_->end() || match->name != name) return false;
    const bool isFolder = (match->attributes & platform::FILE_ATTRIBUTE_DIRECTORY) != 0;
    return entry.folder ? isFolder : !isFolder && match->size == entry.size;
  }

 private:
  // A name's key: its units lower-cased, as CanonicalDevicePath has them.
  static void FoldInPlace(std::u16string& name) {
    for (char16_t& unit : name) unit = platform::LowerUnit(unit);
  }
  static std::u16string Folded(std::u16string_view name) {
    std::u16string folded(name);
    FoldInPlace(folded);
    return folded;
  }

  static bool KeyBefore(const platform::FindData& found, const std::u16string& key) {
    return found.name < key;
  }

  std::vector<platform::FindData> ListedByKey(const std::u16string& folder) const {
    std::vector<platform::FindData> found = platform::Files().FindEntries(
        base_ + folder + (folder.empty() ? u"*.*" : u"\\*.*"), platform::FindDetail::NoStored);
    for (platform::FindData& entry : found) FoldInPlace(entry.name);
    std::stable_sort(
        found.begin(), found.end(),
        [](const platform::FindData& a, const platform::FindData& b) { return a.name < b.name; });
    return found;
  }

  std::u16string base_;    // with its "\\"
  std::u16string folder_;  // as the entry listed last spelt it
  std::u16string folderKey_;
  std::optional<std::vector<platform::FindData>> listed_;
};

std::u16string_view FolderPart(const StagedEntry& entry) {
  const std::size_t slash = entry.path.rfind(u'\\');
  return slash == std::u16string::npos ? std::u16string_view()
                                       : std::u16string_view(entry.path).substr(0, slash);
}

// Pieces of about this size: a big list is never held whole.
constexpr std::size_t kListPieceBytes = 64 * 1024;

// The list's text, piece by piece, to `take`; false once it refused one.
bool EmitStagingList(const StagingList& list, const std::function<bool(std::string_view)>& take) {
  CheckedTextPieces text(take);
  std::string piece = std::string(kFirstLine) + "\ninstall " + list.install + "\n";
  for (const StagedEntry& entry : list.entries) {
    const std::string path = platform::ToUtf8(entry.path);
    if (entry.folder) {
      piece.append("folder ").append(path).append(1, '\n');
    } else {
      piece.append("file ").append(std::to_string(entry.size)).append(1, ' ');
      piece.append(Hex(entry.crc)).append(1, ' ').append(path).append(1, '\n');
    }
    if (piece.size() >= kListPieceBytes) {
      if (!text.Add(piece)) return false;
      piece.clear();
    }
  }
  return text.Add(piece) && text.Finish();
}

}  // namespace

std::string NewInstallId() {
  std::random_device source;
  std::string id;
  for (int i = 0; i < 4; ++i) id += Hex(static_cast<uint32_t>(source()));
  return id;
}

std::u16string StagingListPath(std::u16string_view target) {
  return StagingFolder(target) + u"\\.fitkit";
}

StagingList ListPackage(const CZipReader& reader, std::string install) {
  StagingList list{std::move(install), {}};
  list.entries.reserve(reader.Headers().size());
  for (const auto& header : reader.Headers()) {
    StagedEntry entry{Joined(header->GetEntryName()), header->IsDirectory(), 0, 0};
    if (!entry.folder) {
      entry.size = header->uncompressedSize;
      entry.crc = header->crc32;
    }
    if (!entry.path.empty()) list.entries.push_back(std::move(entry));
  }
  return list;
}

std::string FormatStagingList(const StagingList& list) {
  std::string text;
  EmitStagingList(list, [&text](std::string_view piece) {
    text += piece;
    return true;
  });
  return text;
}

std::optional<StagingList> ParseStagingList(std::string_view text) {
  const auto lines = ParseCheckedText(text, kFirstLine);
  if (!lines || lines->empty() || lines->front().first != "install") return std::nullopt;
  StagingList list{std::string(lines->front().second), {}};
  if (list.install.size() != 32 ||
      list.install.find_first_not_of("0123456789abcdef") != std::string::npos) {
    return std::nullopt;
  }
  for (auto line = lines->begin() + 1; line != lines->end(); ++line) {
    StagedEntry entry;
    if (line->first == "folder") {
      entry.folder = true;
      entry.path = platform::FromUtf8(std::string(line->second));
    } else if (line->first != "file" || !ParseFile(line->second, &entry)) {
      return std::nullopt;
    }
    if (!IsPlainRelative(entry.path)) return std::nullopt;
    list.entries.push_back(std::move(entry));
  }
  return list;
}

bool WriteStagingList(std::u16string_view target, const StagingList& list, uint32_t* crc) {
  auto file = platform::Files().Open(StagingListPath(target), platform::AccessWrite,
                                     platform::Disposition::CreateAlways);
  if (file == nullptr) return false;
  uint32_t whole = 0;
  const bool written = EmitStagingList(list, [&](std::string_view piece) {
    whole = Crc(piece, whole);
    return file->Write(piece.data(), static_cast<uint32_t>(piece.size()));
  });
  *crc = whole;
  return written && file->Flush();
}

std::optional<StagingList> ReadStagingList(std::u16string_view target, uint32_t* crc) {
  std::string text;
  if (platform::Files().GetEntryKind(StagingFolder(target)) != platform::EntryKind::Folder ||
      !ReadPlainFile(StagingListPath(target), &text, kMostListBytes)) {
    return std::nullopt;
  }
  *crc = Crc(text);
  return ParseStagingList(text);
}

bool StagingVerifies(std::u16string_view target, const StagingList& list, Placement where,
                     bool contents) {
  const std::u16string staging = StagingFolder(target) + u"\\";
  const std::u16string place = WithBackslash(target);
  if (where == Placement::InPlace && !contents) {
    // Folder by folder, in whatever order the package had them.
    std::vector<const StagedEntry*> byFolder;
    byFolder.reserve(list.entries.size());
    for (const StagedEntry& entry : list.entries) byFolder.push_back(&entry);
    const auto folderBefore = [](const StagedEntry* a, const StagedEntry* b) {
      return FolderPart(*a) < FolderPart(*b);
    };
    if (!std::is_sorted(byFolder.begin(), byFolder.end(), folderBefore)) {
      std::stable_sort(byFolder.begin(), byFolder.end(), folderBefore);
    }
    ListedSizes sizes(place);
    return std::all_of(byFolder.begin(), byFolder.end(),
                       [&](const StagedEntry* entry) { return sizes.Holds(*entry); });
  }
  for (const StagedEntry& entry : list.entries) {
    const std::u16string staged = staging + entry.path;
    const bool inPlace = where == Placement::InPlace ||
                         (where == Placement::Either &&
                          platform::Files().GetEntryKind(staged) == platform::EntryKind::None);
    if (!Holds(inPlace ? place + entry.path : staged, entry, contents)) return false;
  }
  return true;
}

void TakeBackPlacedFiles(std::u16string_view target, const StagingList& list) {
  const std::u16string staging = StagingFolder(target) + u"\\";
  const std::u16string place = WithBackslash(target);
  std::set<std::u16string> folders;
  for (const StagedEntry& entry : list.entries) {
    std::u16string path = entry.path;
    if (entry.folder) folders.insert(path);
    for (std::size_t slash = path.rfind(u'\\'); slash != std::u16string::npos;
         slash = path.rfind(u'\\', slash - 1)) {
      folders.insert(path.substr(0, slash));
      if (slash == 0) break;
    }
    if (entry.folder ||
        platform::Files().GetEntryKind(staging + path) != platform::EntryKind::None ||
        platform::Files().GetEntryKind(place + path) != platform::EntryKind::File) {
      continue;
    }
    frame::ForceDeleteFile(place + path);
  }
  // Deepest first; a folder that still holds anything stays.
  for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) {
    if (platform::Files().GetEntryKind(staging + *folder) == platform::EntryKind::None) {
      platform::Files().RemoveDirectory(place + *folder);
    }
  }
}

}  // namespace shellfit
