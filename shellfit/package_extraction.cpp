// Unpacking the package onto the flash drive, reading every written file back
// to check its CRC-32 and size.
#include "shellfit/package_extraction.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "frame/device_identity.h"
#include "frame/update_dialog.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "shellfit/folder_path.h"
#include "shellfit/install_record.h"
#include "shellfit/package_fit.h"
#include "shellfit/read_back_check.h"
#include "shellfit/shellfit.h"
#include "shellfit/update_report.h"
#include "zipreader/zip_decode_ahead.h"
#include "zipreader/zip_reader.h"

namespace shellfit {
namespace {

constexpr unsigned kBufferSize = 65536;

void ShowCopying(platform::Dialog& dialog, const CZipEntryHeader& header) {
  frame::ShowStatus(dialog, u"Copying...", header.GetEntryName());
}

// Writes one entry to `destination`; true when the reader wrote it whole.
// `clear`: nothing can be in its way.
bool WriteEntry(CZipReader& reader, uint16_t index, const std::u16string& destination, bool clear) {
  // Usually nothing is there yet: one look-up then spares the two of a delete.
  if (!clear && frame::FileExists(destination)) frame::ForceDeleteFile(destination);
  return reader.ExtractEntry(index, nullptr, true, destination.c_str(), kBufferSize);
}

// Why a written entry failed its check: null when it passed. The reason
// names the first thing that went wrong.
const char* CheckFailure(const CZipEntryHeader& header, bool written, const ReadBack& back) {
  // Only a folder passes without a file to read back; an empty file entry
  // that could not be written would otherwise match its CRC 0 and size 0.
  const bool readBack = back.read || header.IsDirectory();
  if (readBack && back.crc == header.crc32 && back.size == header.uncompressedSize) return nullptr;
  if (!written) return "not written";
  if (!readBack) return "not readable";
  return back.crc != header.crc32 ? "crc" : "size";
}

void ReportCrcError(platform::Dialog& dialog, const std::u16string& entryName) {
  frame::ShowMessageBox(dialog, entryName + u" CRC error!", kNoticeStyle);
}

// What is left to write from an entry on: all its bytes and those after it,
// and the smallest file with data after it.
struct Remaining {
  uint64_t bytes = 0;
  uint64_t smallestLater = UINT64_MAX;
};

std::vector<Remaining> RemainingFromEachEntry(CZipReader& reader) {
  const auto& headers = reader.Headers();
  std::vector<Remaining> left(headers.size() + 1);
  for (std::size_t i = headers.size(); i-- > 0;) {
    const uint64_t size = headers[i]->IsDirectory() ? 0 : headers[i]->uncompressedSize;
    left[i].bytes = left[i + 1].bytes + size;
    left[i].smallestLater = left[i + 1].smallestLater;
    if (i + 1 < headers.size()) {
      const auto& next = *headers[i + 1];
      if (!next.IsDirectory() && next.uncompressedSize > 0) {
        left[i].smallestLater = std::min<uint64_t>(left[i].smallestLater, next.uncompressedSize);
      }
    }
  }
  return left;
}

std::u16string Number(uint64_t value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

// Empty unless the failed entry failed for a reason that fails every later
// one as well: the flash drive gone, or no room for this entry nor for any
// later one with data.
std::u16string DeviceFault(std::u16string_view target, const CZipEntryHeader& header,
                           const Remaining& left) {
  // Unpacking beside the old shell, a stop leaves the old shell as it was.
  const std::u16string stopped =
      u" The update stopped at " + header.GetEntryName() +
      (IsStagingFolder(target) ? u": the old shell is kept." : u": the new shell is incomplete.");
  if (platform::Files().GetAttributes(target) == platform::kInvalidAttributes) {
    return std::u16string(target) + u" cannot be reached any more." + stopped;
  }
  if (!platform::Files().CanChangeFolder(target)) {
    return std::u16string(target) + u" cannot be written any more (it is read-only now)." + stopped;
  }
  uint64_t free = 0;
  if (platform::Files().GetFreeBytes(target, &free) && free < header.uncompressedSize &&
      free < left.smallestLater) {
    return u"The flash drive is full: the entries left need " + Number(left.bytes) + u" bytes, " +
           Number(free) + u" bytes are free (" + Number(left.bytes - free) + u" bytes missing)." +
           stopped;
  }
  return {};
}

// Releases what an entry abandoned by an exception still holds.
void CloseAfterException(CZipReader& reader) {
  try {
    reader.CloseEntry(nullptr, true);
  } catch (const CZipException&) {
  }
}

// The spare readers decode the file entries, in turn, in the order they
// are written; none where the entries are too small to be worth it.
std::unique_ptr<ZipDecodeAhead> DecodeAhead(CZipReader& reader, const SpareReaders* spares) {
  if (spares == nullptr || spares->empty() || !WorthDecodingAhead(reader)) return nullptr;
  std::vector<uint16_t> files;
  const auto& headers = reader.Headers();
  for (std::size_t i = 0; i < headers.size() && i <= 0xFFFF; ++i) {
    if (!headers[i]->IsDirectory()) files.push_back(static_cast<uint16_t>(i));
  }
  std::vector<CZipReader*> decoders;
  for (const auto& spare : *spares) decoders.push_back(spare.get());
  return std::make_unique<ZipDecodeAhead>(std::move(decoders), std::move(files), kBufferSize,
                                          ZipCryptKeys::kMostTogether);
}

// Checks running behind the entry being written, at most, and the bytes
// they read back: a failed one undoes every entry written after it.
constexpr std::size_t kMostUnchecked = 256;
constexpr uint64_t kMostUncheckedBytes = 1 << 20;
// Only entries up to this size are checked behind the writing, and the
// dialog shows them (status line, then progress) as their checks end, in
// the order and with the lines it shows without a thread: a larger one
// takes long enough to write that its name belongs on the status line
// while it is written.
constexpr uint64_t kMostBytesBehind = 64 * 1024;

// The entries written one after the other, the files read back on another
// thread while later ones are written. An entry counts once its check
// passed; after a failed one, the entries written since are undone and
// written again once it passed or was given up.
class EntryLoop {
 public:
  EntryLoop(platform::Dialog& dialog, CZipReader& reader, std::u16string_view target)
      : dialog_(dialog),
        reader_(reader),
        target_(target),
        base_(WithBackslash(target)),
        staging_(IsStagingFolder(target)),
        left_(RemainingFromEachEntry(reader)),
        check_(platform::Files().ReaderForAnotherThread()) {}

  void Run() {
    for (;;) {
      if (!SettleChecks(unchecked_.size() >= kMostUnchecked ||
                        uncheckedBytes_ >= kMostUncheckedBytes)) {
        continue;
      }
      if (stopped_ || index_ > 0xFFFF || !reader_.GetEntryInfo(header_, index_)) {
        if (unchecked_.empty()) return;
        SettleChecks(true);
        continue;
      }
      const std::u16string destination = EntryDestination(header_.GetEntryName(), base_);
      const std::size_t key = std::hash<std::u16string>()(CanonicalDevicePath(destination));
      // A check still reading what this entry replaces ends first.
      if (Unchecked(key)) {
        SettleChecks(true);
        continue;
      }
      const bool behind = check_.OnThread() && header_.uncompressedSize <= kMostBytesBehind;
      if (!behind) {
        // Its name goes on the status line now, after every line before it.
        if (!SettleAll()) continue;
        ShowCopying(dialog_, header_);
      }
      if (!header_.IsDirectory()) unfinished_ = destination;
      unshown_ = behind;
      const bool written = WriteEntry(reader_, static_cast<uint16_t>(index_), destination,
                                      staging_ && attempts_ == 0);
      unfinished_.clear();
      unshown_ = false;
      Begin(destination, key, written, !behind);
    }
  }

  // After a reader error: the entry being written goes; those written
  // before count if they pass.
  void Abandon() {
    if (!unfinished_.empty()) frame::ForceDeleteFile(unfinished_);
    stopped_ = true;
    while (!unchecked_.empty()) {
      const Written entry = *Oldest(true);
      if (!entry.shown) ShowCopying(dialog_, *entry.header);
      if (entry.failure == nullptr) {
        Count(entry);
      } else if (!entry.header->IsDirectory()) {
        frame::ForceDeleteFile(entry.destination);
      }
    }
    // The entry the error came from is named last, as it was being written.
    if (unshown_) ShowCopying(dialog_, header_);
  }

  int passed() const { return passed_; }
  int written() const { return written_; }

 private:
  struct Written {
    unsigned index = 0;
    const CZipEntryHeader* header = nullptr;  // the reader's, as long as it is open
    std::u16string destination;
    std::size_t key = 0;  // the hash of `destination`'s CanonicalDevicePath
    bool written = false;
    bool shown = false;             // its name was on the status line when written
    const char* failure = nullptr;  // once checked
  };

  void Begin(const std::u16string& destination, std::size_t key, bool written, bool shown) {
    Written entry;
    entry.shown = shown;
    entry.index = index_;
    entry.header = reader_.Headers()[index_].get();
    entry.destination = destination;
    entry.key = key;
    entry.written = written;
    check_.Start(destination);
    uncheckedBytes_ += header_.uncompressedSize;
    ++keySlots_[Slot(key)];
    unchecked_.push_back(std::move(entry));
    ++index_;
  }

  // The oldest entry written, checked (waiting for its check with `wait`);
  // none while its check still runs.
  std::optional<Written> Oldest(bool wait) {
    const auto back = check_.Next(wait);
    if (!back) return std::nullopt;
    Written entry = std::move(unchecked_.front());
    unchecked_.pop_front();
    uncheckedBytes_ -= entry.header->uncompressedSize;
    --keySlots_[Slot(entry.key)];
    entry.failure = CheckFailure(*entry.header, entry.written, *back);
    return entry;
  }

  static std::size_t Slot(std::size_t key) { return key % kKeySlots; }

  // Whether an entry whose check runs has this key: the slots answer "no"
  // for almost every entry, and the entries themselves the rest.
  bool Unchecked(std::size_t key) const {
    return keySlots_[Slot(key)] > 0 &&
           std::any_of(unchecked_.begin(), unchecked_.end(),
                       [key](const Written& entry) { return entry.key == key; });
  }

  void Count(const Written& entry) {
    dialog_.SetProgressPos(kProgressControl, ++passed_);
    if (entry.written) ++written_;
  }

  // Settles the checks that are done, with `wait` at least one. False when
  // one failed: index_ is then the entry to write next.
  bool SettleChecks(bool wait) {
    while (!unchecked_.empty()) {
      const std::optional<Written> entry = Oldest(wait);
      if (!entry) return true;
      wait = false;
      if (!entry->shown) ShowCopying(dialog_, *entry->header);
      if (entry->failure == nullptr) {
        Count(*entry);
        attempts_ = 0;
        continue;
      }
      Undo(*entry);
      return false;
    }
    return true;
  }

  // Settles every check; false as SettleChecks.
  bool SettleAll() {
    while (!unchecked_.empty()) {
      if (!SettleChecks(true)) return false;
    }
    return true;
  }

  // The failed entry's file goes, and every entry written after it.
  void Undo(const Written& failed) {
    while (!unchecked_.empty()) {
      const Written later = *Oldest(true);
      if (!later.header->IsDirectory()) frame::ForceDeleteFile(later.destination);
    }
    if (!failed.header->IsDirectory()) frame::ForceDeleteFile(failed.destination);
    index_ = failed.index;
    const std::u16string name = failed.header->GetEntryName();
    ReportCrcError(dialog_, name);
    // A full or vanished drive fails every entry after this one too: one
    // more box says so and the extraction ends.
    const std::u16string fault = DeviceFault(target_, *failed.header, left_[failed.index]);
    if (!fault.empty()) {
      NoteEntryFailed(name, failed.failure, attempts_ + 1);
      frame::ShowMessageBox(dialog_, fault, kNoticeStyle);
      stopped_ = true;
      return;
    }
    // An entry that can never be written must not hold up the rest of the
    // package for ever.
    if (++attempts_ < kMaxAttempts) return;
    NoteEntryFailed(name, failed.failure, attempts_);
    if (failed.written) ++written_;
    attempts_ = 0;
    ++index_;
  }

  platform::Dialog& dialog_;
  CZipReader& reader_;
  std::u16string_view target_;
  const std::u16string base_;
  // The staging folder is made empty for the install, and the fit check
  // lets no two entries name one file: there nothing is in an entry's way
  // but what a failed attempt at it left.
  const bool staging_;
  const std::vector<Remaining> left_;
  ReadBackCheck check_;
  CZipEntryHeader header_;
  unsigned index_ = 0;
  std::deque<Written> unchecked_;
  // How many entries in unchecked_ have a key in each slot.
  static constexpr std::size_t kKeySlots = 4096;
  std::vector<uint16_t> keySlots_ = std::vector<uint16_t>(kKeySlots);
  uint64_t uncheckedBytes_ = 0;
  std::u16string unfinished_;  // the file being written, gone again if it fails
  bool unshown_ = false;       // the entry being written is not yet on the status line
  int passed_ = 0, written_ = 0, attempts_ = 0;
  bool stopped_ = false;
};

}  // namespace

int CountEntries(CZipReader& reader, bool filesOnly) {
  int count = 0;
  for (const auto& header : reader.Headers()) {
    if (!filesOnly || !header->IsDirectory()) ++count;
  }
  return count;
}

Extraction ExtractOpenPackage(platform::Dialog& dialog, CZipReader& reader,
                              std::u16string_view target, const SpareReaders* spares) {
  const std::unique_ptr<ZipDecodeAhead> ahead = DecodeAhead(reader, spares);
  reader.DecodeAheadWith(ahead.get());
  const int entries = CountEntries(reader, false);
  int32_t zipError = 0;
  // The kit alone writes here: others' changes are learned at its next own
  // change that is not a new file, or a few hundred files later.
  const platform::LookUpBatch batch(platform::Files());
  EntryLoop loop(dialog, reader, target);
  try {
    dialog.SetProgressRange(kProgressControl, 0, static_cast<uint16_t>(CountEntries(reader, true)));
    loop.Run();
  } catch (const CZipException& error) {
    // The package verified before; the card may have been pulled since.
    zipError = error.code;
    loop.Abandon();
  }
  CloseAfterException(reader);
  reader.DecodeAheadWith(nullptr);
  NoteExtraction(entries, loop.written(), loop.passed(), zipError);
  return Extraction{loop.passed(), zipError};
}

int ExtractPackage(platform::Dialog& dialog, std::u16string_view package,
                   std::u16string_view target) {
  if (platform::Files().GetAttributes(package) == platform::kInvalidAttributes || target.empty()) {
    NoteExtraction(0, 0, 0, 0);
    return -1;
  }
  CZipReader reader;
  try {
    reader.OpenArchive(std::u16string(package), 1, 0);
    if (!reader.SetPassword(std::u16string(kPackagePassword))) {
      NoteExtraction(CountEntries(reader, false), 0, 0, ErrBadPassword);
      return 0;
    }
  } catch (const CZipException& error) {
    NoteExtraction(0, 0, 0, error.code);
    ReportPackageError(dialog, package, error.code);
    return 0;
  }
  const Extraction done = ExtractOpenPackage(dialog, reader, target);
  if (done.zipError != 0) ReportPackageError(dialog, package, done.zipError);
  return done.passed;
}

}  // namespace shellfit
