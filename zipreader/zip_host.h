// The reader's few platform functions: files, attributes, times, folders and
// the code page of entry names. Everything goes through platform::Files() and
// platform::Ansi(); failures are results, never exceptions.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/file_system.h"

class CZipByteBuffer;

// Entry names and the password live in the device's ANSI code page.
inline constexpr bool UseAnsiCodePage = true;

// The file time that SetFileModTime reads as "now".
inline constexpr platform::FileTime kZipCurrentTime{0xFFFFFFFFFFFFFFFFull};

namespace ZipHost {

// Null when the file cannot be opened. The share field has no effect here.
std::unique_ptr<platform::File> OpenFile(const std::u16string& path, uint32_t access,
                                         platform::Disposition disposition, uint32_t shareField);
bool TruncateFile(platform::File& handle, uint32_t length);
bool FlushFile(platform::File& handle);
// 0 nothing there, -1 a directory, 1 anything else.
int GetFileKind(const std::u16string& path);
bool SetFileAttr(const std::u16string& path, uint32_t attributes);
// The same through a file that is open already; false when the host takes
// attributes only by the path.
bool SetFileAttr(platform::File& file, uint32_t attributes);
bool CreateDir(const std::u16string& path);
bool ForceDirectory(const std::u16string& path);
// `time` is a file time or kZipCurrentTime; only the last-write time changes.
bool SetFileModTime(const std::u16string& path, platform::FileTime time);
// The same on a file that is open already (with write access).
bool SetFileModTime(platform::File& file, platform::FileTime time);
void ConvertOemAnsi(CZipByteBuffer& buffer, bool toOem);

inline bool IsDirectoryAttr(uint32_t attributes) { return (attributes & 0x10) != 0; }
inline uint32_t DefaultFileAttr() { return 0x81A40020; }
inline uint32_t DefaultDirAttr() { return 0x41FF0010; }
inline int HostSystemCode() { return 0; }
inline bool IsCaseSensitive() { return false; }

// Bytes written, 0 for an empty text, negative when the text cannot be converted.
int WideToMultiByte(const std::u16string& text, CZipByteBuffer& buffer, bool useAnsi);
// Characters converted; negative (and `text` empty) when nothing converts.
int MultiByteToWide(const CZipByteBuffer& buffer, std::u16string& text, bool useAnsi);
// True when the text in `buffer` cannot end in '\\' or '/', as its last
// byte tells without converting it; false when only the conversion can tell.
bool CannotEndInSeparator(const CZipByteBuffer& buffer, bool useAnsi);

}  // namespace ZipHost
