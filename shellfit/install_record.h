// The mark on the flash drive that an install is under way, so that the next
// start can tell an interrupted install from a finished one. It lives in the
// folder ".fitkit" of the flash drive folder, which the removal of old files
// leaves alone (its name begins with a dot), beside the staging folder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace shellfit {

struct InstallRecord {
  enum class Mode { InPlace, Staged };
  // InPlace: Unpacking from before the first deletion to the end.
  // Staged: Committed once every entry is staged and on the medium; Moving
  // once the old files are gone too.
  enum class Step { Unpacking, Committed, Moving };
  Mode mode = Mode::InPlace;
  Step step = Step::Unpacking;
  std::u16string package;  // the package's device path
  uint64_t packageSize = 0;
  uint32_t packageTailCrc = 0;  // CRC-32 of its last bytes (see DescribePackage)
};

// "<target>\.fitkit", and the staging folder inside it.
std::u16string InstallFolder(std::u16string_view target);
std::u16string StagingFolder(std::u16string_view target);
// Whether `folder` is the staging folder of some flash drive folder.
bool IsStagingFolder(std::u16string_view folder);

// The record of the flash drive folder `target`; none when there is none or
// it does not read whole (it was never completely written).
std::optional<InstallRecord> ReadInstallRecord(std::u16string_view target);

// Puts the record on the medium, replacing any earlier one in one step;
// true only when it is there, flushed.
bool WriteInstallRecord(std::u16string_view target, const InstallRecord& record);

// Removes the record from the medium; true once that is flushed.
bool DropInstallRecord(std::u16string_view target);

// Fills the package's size and the CRC-32 of its last bytes (the central
// directory, which holds every entry's CRC): what tells the very package
// again at the next start without reading it whole. False when unreadable.
bool DescribePackage(std::u16string_view package, InstallRecord* record);

// The record's text, and the record a text holds (none unless it is whole).
std::string FormatInstallRecord(const InstallRecord& record);
std::optional<InstallRecord> ParseInstallRecord(std::string_view text);

}  // namespace shellfit
