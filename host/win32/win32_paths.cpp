#include "host/win32/win32_paths.h"

#include "host/win32/win32_text.h"
#include "platform/device_names.h"
#include "platform/text.h"

// Last: its macros would replace the platform's constants of the same names.
#include <windows.h>

namespace host {
namespace {

// Windows reads "." and ".." as steps and the device's forbidden characters
// as something other than part of a name.
bool AllowedComponent(std::u16string_view part) {
  return part != u"." && part != u".." && platform::IsValidDeviceName(part);
}

bool SameText(std::wstring_view a, std::wstring_view b) {
  return a.size() == b.size() &&
         CompareStringOrdinal(a.data(), int(a.size()), b.data(), int(b.size()), TRUE) == CSTR_EQUAL;
}

// "C:\x" -> "\\?\C:\x", "\\server\share" -> "\\?\UNC\server\share".
std::wstring LongForm(const std::wstring& full) {
  if (full.rfind(L"\\\\?\\", 0) == 0) return full;
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

std::wstring FullPath(const std::wstring& path) {
  const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return {};
  std::wstring full(needed, L'\0');
  const DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return {};
  full.resize(length);
  return full;
}

void TrimSeparators(std::wstring& path) {
  while (path.size() > 1 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
}

}  // namespace

Win32Paths::Win32Paths(const std::filesystem::path& deviceRoot) {
  std::wstring full = FullPath((deviceRoot / "fs").wstring());
  TrimSeparators(full);
  if (!full.empty()) fsRoot_ = LongForm(full);
  if (!fsRoot_.empty()) finalRoot_ = FinalPath(fsRoot_);
  TrimSeparators(finalRoot_);
}

std::wstring Win32Paths::FinalPath(const std::wstring& hostPath) {
  // Backup semantics: folders open too. No access is asked for.
  const HANDLE handle =
      CreateFileW(hostPath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return {};
  std::wstring path(MAX_PATH, L'\0');
  DWORD length = GetFinalPathNameByHandleW(handle, path.data(), DWORD(path.size()), 0);
  if (length >= path.size()) {
    path.resize(length + 1);
    length = GetFinalPathNameByHandleW(handle, path.data(), DWORD(path.size()), 0);
  }
  CloseHandle(handle);
  if (length == 0 || length >= path.size()) return {};
  path.resize(length);
  return path;
}

std::optional<std::wstring> Win32Paths::BelowRoot(const std::wstring& path) const {
  if (finalRoot_.empty() || path.size() < finalRoot_.size()) return std::nullopt;
  if (!SameText(std::wstring_view(path).substr(0, finalRoot_.size()), finalRoot_)) {
    return std::nullopt;
  }
  if (path.size() == finalRoot_.size()) return std::wstring();
  if (path[finalRoot_.size()] != L'\\') return std::nullopt;
  return path.substr(finalRoot_.size());
}

bool Win32Paths::StaysInside(const std::wstring& hostPath) const {
  const std::wstring final = FinalPath(hostPath);
  return !final.empty() && BelowRoot(final).has_value();
}

std::optional<std::wstring> Win32Paths::ResolveFolder(const std::vector<std::u16string>& parts,
                                                      std::size_t count) const {
  if (finalRoot_.empty()) return std::nullopt;
  std::wstring host = fsRoot_;
  for (std::size_t i = 0; i < count; ++i) {
    if (!AllowedComponent(parts[i])) return std::nullopt;
    host += L'\\';
    host += Wide(parts[i]);
    // The attributes of the entry itself: a reparse point is not followed.
    const DWORD attributes = GetFileAttributesW(host.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
    // Only a reparse point can lead out of a folder that lies inside.
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && !StaysInside(host)) {
      return std::nullopt;
    }
  }
  return host;
}

std::optional<std::wstring> Win32Paths::ResolveExisting(std::u16string_view devicePath) const {
  const auto parts = platform::SplitPathComponents(devicePath);
  return ResolveFolder(parts, parts.size());
}

std::optional<std::wstring> Win32Paths::ResolveForCreate(std::u16string_view devicePath) const {
  const auto parts = platform::SplitPathComponents(devicePath);
  if (parts.empty() || !AllowedComponent(parts.back())) return std::nullopt;
  auto folder = ResolveFolder(parts, parts.size() - 1);
  if (!folder) return std::nullopt;
  std::wstring host = *folder + L'\\' + Wide(parts.back());
  const DWORD attributes = GetFileAttributesW(host.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
      !StaysInside(host)) {
    return std::nullopt;
  }
  return host;
}

std::optional<std::u16string> Win32Paths::ToDevicePath(const std::wstring& hostPath) const {
  std::wstring final = FinalPath(LongForm(FullPath(hostPath)));
  const auto rest = BelowRoot(final);
  if (!rest) return std::nullopt;
  return rest->empty() ? u"\\" : Units(*rest);
}

}  // namespace host
