// Device identity, folders and version numbers: small stateless helpers both
// programs start with. Every output is emptied first; failures are silent.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace frame {

// Reads a value under HKEY_LOCAL_MACHINE\<subkey> as a string (its type is not
// examined). A null `out` returns false without touching the registry.
bool ReadRegistryString(std::u16string_view subkey, std::u16string_view valueName,
                        std::u16string* out);

// The running program's folder with its trailing backslash ("\Storage Card\").
bool GetModuleFolder(std::u16string* out);

// "\" + the flash drive profile's Folder (FlashDrv, else NewFlashDrv).
bool GetFlashDriveFolder(std::u16string* out);

bool FileExists(std::u16string_view path);

// Clears read-only, hidden and system, then deletes; true when the file went.
bool ForceDeleteFile(std::u16string_view path);

// The two forms the programs scan a version with.
enum class VersionForm {
  Plain,     // "%d.%d.%d"  (shellfit)
  LeadingV,  // "V%d.%d.%d" (imagefit)
};

// major << 16 | minor << 8 | build, parts not masked; 0 unless three numbers
// were converted.
uint32_t ParseVersion(std::u16string_view text, VersionForm form);

}  // namespace frame
