// The staging folder's own list of what it holds, kept in it as the file
// ".fitkit" (the one name no package entry may take). Made with the folder,
// holding the install's random id; once every entry is staged and checked,
// written again with each file's size and CRC-32 as the package's central
// directory gave them and the staging pass verified them. The install
// record carries the id and the list's CRC-32: a record and a staging that
// do not belong together are told apart before anything is moved.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CZipReader;

namespace shellfit {

struct StagedEntry {
  std::u16string path;  // below the staging folder, components joined by "\"
  bool folder = false;
  uint64_t size = 0;
  uint32_t crc = 0;
};

struct StagingList {
  std::string install;  // the id, 32 hexadecimal digits
  std::vector<StagedEntry> entries;
};

// A new random id for an install.
std::string NewInstallId();

std::u16string StagingListPath(std::u16string_view target);

// The list of every entry of the package, which must all lie below the
// flash drive folder (as the staged order asks).
StagingList ListPackage(const CZipReader& reader, std::string install);

std::string FormatStagingList(const StagingList& list);
std::optional<StagingList> ParseStagingList(std::string_view text);

// Writes the list into the staging folder and flushes it; `crc` receives
// the CRC-32 of what was written.
bool WriteStagingList(std::u16string_view target, const StagingList& list, uint32_t* crc);
// The list the staging folder holds, and the CRC-32 of its text; none when
// it is missing, not a plain file or not whole.
std::optional<StagingList> ReadStagingList(std::u16string_view target, uint32_t* crc);

// Where listed entries are looked for: in the staging folder, in place, or
// in the staging folder while they are there and in place once moved.
enum class Placement { Staged, InPlace, Either };

// Whether every listed entry is whole where `where` says; each file of its
// size and, with `contents`, of its CRC-32 too.
bool StagingVerifies(std::u16string_view target, const StagingList& list, Placement where,
                     bool contents);

// Deletes each listed file that has left the staging folder for its place,
// then the folders the list names or implies that are empty now: what the
// new shell put in place, when it must give way to the old one again.
void TakeBackPlacedFiles(std::u16string_view target, const StagingList& list);

}  // namespace shellfit
