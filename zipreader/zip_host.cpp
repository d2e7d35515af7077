#include "zipreader/zip_host.h"

#include <cstring>

#include "platform/code_page.h"
#include "platform/environment.h"
#include "platform/text.h"
#include "zipreader/zip_byte_buffer.h"
#include "zipreader/zip_path_parts.h"

namespace ZipHost {

std::unique_ptr<platform::File> OpenFile(const std::u16string& path, uint32_t access,
                                         platform::Disposition disposition, uint32_t) {
  return platform::Files().Open(path, access, disposition);
}

bool TruncateFile(platform::File& handle, uint32_t length) {
  uint64_t position = 0;
  return handle.Seek(length, platform::SeekOrigin::Begin, &position) && handle.SetEnd();
}

bool FlushFile(platform::File& handle) { return handle.Flush(); }

int GetFileKind(const std::u16string& path) {
  uint32_t attributes = platform::Files().GetAttributes(path);
  if (attributes == platform::kInvalidAttributes) return 0;
  return IsDirectoryAttr(attributes) ? -1 : 1;
}

bool SetFileAttr(const std::u16string& path, uint32_t attributes) {
  return platform::Files().SetAttributes(path, attributes);
}

bool SetFileAttr(platform::File& file, uint32_t attributes) {
  return file.SetAttributes(attributes);
}

bool CreateDir(const std::u16string& path) { return platform::Files().CreateDirectory(path); }

bool ForceDirectory(const std::u16string& path) {
  std::u16string stripped = path;
  while (!stripped.empty() && stripped.back() == u'\\') stripped.pop_back();
  std::u16string parent = CZipPathParts(stripped).DirectoryPath();
  if (parent == stripped || GetFileKind(stripped) == -1) return true;
  return ForceDirectory(parent) && CreateDir(stripped);
}

namespace {

bool CurrentFileTime(platform::FileTime* out) {
  return platform::SystemTimeToFileTime(platform::Files().Now(), out);
}

}  // namespace

bool SetFileModTime(const std::u16string& path, platform::FileTime time) {
  auto file = platform::Files().Open(path, platform::AccessRead | platform::AccessWrite,
                                     platform::Disposition::OpenExisting);
  return file != nullptr && SetFileModTime(*file, time);
}

bool SetFileModTime(platform::File& file, platform::FileTime time) {
  platform::FileTime write = time;
  if (time == kZipCurrentTime && !CurrentFileTime(&write)) return false;
  // Null times stay as they are: nothing to read first.
  return file.SetTimes(nullptr, nullptr, &write);
}

void ConvertOemAnsi(CZipByteBuffer&, bool) {}

int WideToMultiByte(const std::u16string& text, CZipByteBuffer& buffer, bool useAnsi) {
  std::u16string_view units(text.c_str());  // up to the terminating zero
  if (units.empty()) {
    buffer.Release();
    return 0;
  }
  std::string bytes;
  if (useAnsi) {
    if (!platform::Ansi().WideToAnsi(units, &bytes)) bytes.clear();
  } else {
    bytes = platform::ToUtf8(units);
  }
  if (bytes.empty()) {
    buffer.Release();
    return -1;
  }
  std::memcpy(buffer.Allocate(static_cast<uint32_t>(bytes.size()), true), bytes.data(),
              bytes.size());
  return static_cast<int>(bytes.size());
}

int MultiByteToWide(const CZipByteBuffer& buffer, std::u16string& text, bool useAnsi) {
  std::string_view bytes(reinterpret_cast<const char*>(buffer.Data()), buffer.Size());
  text.clear();
  if (bytes.empty()) return -1;
  if (useAnsi) {
    if (!platform::Ansi().AnsiToWide(bytes, &text)) text.clear();
  } else {
    text = platform::FromUtf8(bytes);
  }
  if (text.empty()) return -1;
  return static_cast<int>(text.size());
}

bool CannotEndInSeparator(const CZipByteBuffer& buffer, bool useAnsi) {
  if (buffer.Size() == 0) return true;
  const uint8_t last = buffer.Data()[buffer.Size() - 1];
  // In UTF-8 a byte below 0x80 is always that character.
  return last != '\\' && last != '/' && (!useAnsi || platform::Ansi().KeepsAscii());
}

}  // namespace ZipHost
