// The shell updater: replaces the shell software on the device's flash drive
// with the contents of one password-protected ZIP package.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/dialog.h"
#include "platform/dialog_controls.h"

class CZipReader;

namespace shellfit {

// Program-wide values, set once before the dialog exists.
extern std::u16string Model;         // registry Ident\Model, e.g. "KTR 60"
extern std::u16string SourceFolder;  // where the package is looked for, no trailing "\"
extern std::u16string TargetFolder;  // the flash drive folder, e.g. "\Flash Disk"
extern bool ForceStart;              // "/force": the dialog presses START itself

inline constexpr std::u16string_view kPackagePassword = u".TORVA.";
inline constexpr std::u16string_view kPreservedNames[] = {
    u"boot.hv",      u"default.hv",   u"system.hv",    u"user.hv",
    u"gpspara0.bin", u"gpspara1.bin", u"gpspara2.bin", u"gpspara3.bin",
};

// Dialog controls the updater writes to.
inline constexpr int kSourceControl = platform::controls::kShellSource;
inline constexpr int kTargetControl = platform::controls::kShellTarget;
inline constexpr int kStatusControl = platform::controls::kStatus;
inline constexpr int kProgressControl = platform::controls::kShellProgress;

// OK button, information icon, top-most: every message box of the updater.
inline constexpr uint32_t kNoticeStyle =
    platform::MB_OK | platform::MB_ICONINFORMATION | platform::MB_TOPMOST;

// "<SourceFolder>\<Model> SHELL.ZIP", else the first *.zip of the source
// folder when its upper-cased name holds " SHELL.ZIP".
bool FindPackage(std::u16string* out);

// True when the package's root main.exe is newer than the installed one (or
// nothing comparable is installed). Reader errors mean "not newer".
bool IsPackageNewer(std::u16string_view package, std::u16string_view target);

// The FileVersion string of the file's first translation. False only when the
// file is missing or has no version resource; true with an empty `out` when
// the translation or the string is missing.
bool GetFileVersionString(std::u16string_view path, std::u16string* out);

// Deletes every file below `folder` except the preserved names, skipping
// folders whose name begins with "."; returns the number of delete attempts.
// `keep` names one more file that must survive: the package being installed,
// when it lies on the flash drive itself.
// `failed` (when given) counts the files that could not be deleted and
// keeps the first one's path.
struct FailedDeletions {
  int count = 0;
  std::u16string first;
};
int DeleteOldFiles(platform::Dialog& dialog, std::u16string_view folder,
                   std::u16string_view keep = {}, FailedDeletions* failed = nullptr);
// The same; without a dialog nothing is shown (a finish at start, before it).
int DeleteOldFiles(platform::Dialog* dialog, std::u16string_view folder, std::u16string_view keep,
                   FailedDeletions* failed = nullptr);

// Ends every process whose program path matches `folder`: mode < 0 equal,
// 0 prefix, > 0 suffix (all ignoring case). Returns how many were ended.
int TerminateProcessesInFolder(std::u16string_view folder, int mode);

// Reads the whole package as extraction would (password, decryption, inflate,
// CRC-32) without writing anything. On failure `errorCode` receives the ZIP
// error code that stopped it. With a dialog, one message is pumped per entry
// so the window stays alive.
bool VerifyPackage(std::u16string_view package, int32_t* errorCode,
                   platform::Dialog* dialog = nullptr);

// The message box for a package that cannot be read: names the file and code.
void ReportPackageError(platform::Dialog& dialog, std::u16string_view package, int32_t code);

// Unpacks every entry into `target`, checking each written file's CRC-32 and
// size (at most kMaxAttempts tries per entry). Returns the entries that passed,
// -1 for a missing package or empty target, 0 when the password is refused.
inline constexpr int kMaxAttempts = 3;
int ExtractPackage(platform::Dialog& dialog, std::u16string_view package,
                   std::u16string_view target);

// Entries of the opened archive; with `filesOnly`, those that are no folder.
int CountEntries(CZipReader& reader, bool filesOnly);

// zlib's CRC-32 and the size (low 32 bits) of a whole file; outputs untouched
// on failure. Folders cannot be read this way.
bool GetFileCrc(std::u16string_view path, uint32_t* crc, uint32_t* size);

// START: find the package, verify it, end the flash drive's programs, delete
// the old files, unpack; the dialog ends with 1.
void RunUpdate(platform::Dialog& dialog);

// Appends "\" unless the folder already ends with one.
std::u16string WithBackslash(std::u16string_view folder);

// The key two device paths that name the same entry share: each component
// lower-cased after one "\" (letter case, doubled separators and "/" for "\"
// make no difference); empty for the root.
std::u16string CanonicalDevicePath(std::u16string_view path);

}  // namespace shellfit
