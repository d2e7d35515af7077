// The mark on the flash drive that an install is under way, so that the next
// start can tell an interrupted install from a finished one. It lives in the
// folder ".fitkit" of the flash drive folder, which the removal of old files
// leaves alone (its name begins with a dot), beside the staging folder.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace shellfit {

struct InstallRecord {
  enum class Mode { InPlace, Staged };
  // InPlace: Unpacking from before the first deletion to the end.
  // Staged: Committed once every entry is staged and on the medium; Moving
  // once the old files are set aside too; Placed once the new shell is in
  // place and verified there, and the old files may go for good.
  enum class Step { Unpacking, Committed, Moving, Placed };
  Mode mode = Mode::InPlace;
  Step step = Step::Unpacking;
  // Staged: the install's random id, which its staging folder's list of
  // files carries too, and the CRC-32 of that list as written.
  std::string install;
  uint32_t listCrc = 0;
  std::u16string package;  // the package's device path
  uint64_t packageSize = 0;
  uint32_t packageTailCrc = 0;  // CRC-32 of its last bytes (see DescribePackage)
  // A signed release's security version: the device's rollback floor rises
  // to it once the install is in place, by whichever start finishes it.
  std::optional<uint32_t> securityVersion;
};

// "<target>\.fitkit", the staging folder inside it, the folder the old
// shell is set aside in, and the record.
std::u16string InstallFolder(std::u16string_view target);
std::u16string StagingFolder(std::u16string_view target);
std::u16string OldShellFolder(std::u16string_view target);
std::u16string RecordPath(std::u16string_view target);
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

// The kit's texts: a first line, "name value" lines, and a last line
// "check <CRC-32 of every byte before it>". The lines between, in order;
// none unless the text begins with `firstLine` and its check holds.
using TextLines = std::vector<std::pair<std::string_view, std::string_view>>;
std::string CheckedText(std::string body);
// The same text handed on in pieces as it is made, for a text too big to
// hold twice: the body's pieces through Add, then Finish for the check line.
// Each piece goes to `take`; false once `take` refused one.
class CheckedTextPieces {
 public:
  explicit CheckedTextPieces(std::function<bool(std::string_view)> take) : take_(std::move(take)) {}
  bool Add(std::string_view piece);
  bool Finish();

 private:
  std::function<bool(std::string_view)> take_;
  uint32_t check_ = 0;
  bool ok_ = true;
};
std::optional<TextLines> ParseCheckedText(std::string_view text, std::string_view firstLine);
std::string Hex(uint32_t value);
// CRC-32 of `bytes`, continued from `before` (the CRC of what came first).
uint32_t Crc(std::string_view bytes, uint32_t before = 0);

// At most `most` bytes of a plain file (never through a link); false when
// it cannot be read or holds more.
bool ReadPlainFile(std::u16string_view path, std::string* out, uint32_t most);
// Writes `text` as `path` in one step: beside, flushed, renamed, the folder
// flushed.
bool WriteFileInOneStep(std::u16string_view path, std::string_view text);

}  // namespace shellfit
