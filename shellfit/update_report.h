// What the shell updater notes for the outcome report. Each call does nothing
// (and reads nothing) when no report was asked for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace shellfit {

// The package START found: its path, size and entry count.
void NotePackage(std::u16string_view package, int entries);
// How many of the package's entries are files (the rest are folders).
void NotePackageFiles(std::size_t files);

// Whose main.exe a version is: the report's "main_exe.installed" or
// "main_exe.packaged".
enum class MainExe { kInstalled, kPackaged };

// A main.exe version as read; `found` false when the file had no version
// resource (or was missing).
void NoteMainExeVersion(MainExe which, bool found, std::u16string_view version);

// Reads the installed main.exe's version before it is deleted, unless the
// /upgrade check read it already.
void NoteInstalledVersion(std::u16string_view target);

// Reads the version of the main.exe just unpacked, unless /upgrade read the
// packaged one already.
void NoteUnpackedVersion(std::u16string_view target);

void NoteRefused(int32_t zipError);
// A package that reads well but that the device cannot take, and why.
void NoteRefusedFit(std::u16string_view problem);
void NoteProgramEnded(std::u16string_view path);
// After the programs were ended, before the old files are deleted.
void NoteRemovalBegins(int programsEnded);
void NoteFileDeletion(std::u16string_view path, bool deleted);
void NoteFolderRemoval(std::u16string_view path, bool removed);

// One entry that failed all its attempts, and why ("not written", "crc", "size").
void NoteEntryFailed(std::u16string_view name, std::string_view reason, int attempts);

// The end of the unpacking: `zipError` 0 unless a reader error stopped it.
// Sets the outcome: "installed" when every entry was verified, else "incomplete".
void NoteExtraction(int entries, int written, int verified, int32_t zipError);

}  // namespace shellfit
