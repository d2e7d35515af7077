#include "host/win32/win32_file_system.h"

#include <algorithm>

#include "host/common/search_pattern.h"
#include "host/win32/win32_file.h"
#include "host/win32/win32_text.h"
#include "platform/text.h"
#include "platform/wildcard.h"

// Last: its macros would replace the platform's constants of the same names.
#include <windows.h>
// The members of those names are the device's calls, not the A/W macros.
#undef DeleteFile
#undef CreateDirectory
#undef RemoveDirectory

namespace host {
namespace {

// The bits the device knows; anything else the host keeps (reparse point,
// not content indexed, ...) is not the device's business.
constexpr DWORD kDeviceBits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                              FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY |
                              FILE_ATTRIBUTE_ARCHIVE;
constexpr DWORD kSettableBits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

uint32_t DeviceAttributes(DWORD host) {
  const DWORD kept = host & kDeviceBits;
  return kept == 0 ? FILE_ATTRIBUTE_NORMAL : kept;
}

// A missing entry is always made with CREATE_NEW: it refuses a dangling link
// of that name, which the other dispositions would follow wherever it points.
DWORD CreationOf(platform::Disposition disposition, bool exists) {
  switch (disposition) {
    case platform::Disposition::CreateNew:
      return CREATE_NEW;
    case platform::Disposition::CreateAlways:
      return exists ? CREATE_ALWAYS : CREATE_NEW;
    case platform::Disposition::OpenAlways:
      return exists ? OPEN_EXISTING : CREATE_NEW;
    case platform::Disposition::OpenExisting:
      return OPEN_EXISTING;
  }
  return OPEN_EXISTING;
}

struct Listed {
  std::string utf8;  // the sort key: the Linux host's enumeration order
  platform::FindData data;
};

}  // namespace

Win32FileSystem::Win32FileSystem(const std::filesystem::path& deviceRoot, uint64_t capacity)
    : paths_(deviceRoot), capacity_(std::make_shared<DriveCapacity>(deviceRoot / "fs", capacity)) {}

namespace {

// The size of an existing file, 0 for anything else.
uint64_t FileSizeOf(const std::wstring& host) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (GetFileAttributesExW(host.c_str(), GetFileExInfoStandard, &data) == 0 ||
      (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
    return 0;
  }
  return uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

}  // namespace

std::unique_ptr<platform::File> Win32FileSystem::OpenResolved(const std::wstring& host,
                                                              uint32_t access,
                                                              platform::Disposition disposition) {
  const DWORD existing = GetFileAttributesW(host.c_str());
  const bool exists = existing != INVALID_FILE_ATTRIBUTES;
  if (exists && (existing & FILE_ATTRIBUTE_DIRECTORY) != 0) return nullptr;
  DWORD desired = FILE_WRITE_ATTRIBUTES;  // file times may be set on any open file
  if (access & platform::AccessRead) desired |= GENERIC_READ;
  if (access & platform::AccessWrite) desired |= GENERIC_WRITE;
  // Creating over a hidden or system file keeps its bits (and Windows
  // refuses CREATE_ALWAYS over such a file unless they are given).
  const DWORD flags =
      exists ? (existing & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) | FILE_ATTRIBUTE_ARCHIVE
             : FILE_ATTRIBUTE_ARCHIVE;
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  const DWORD creation = CreationOf(disposition, exists);
  const uint64_t truncated = creation == CREATE_ALWAYS ? FileSizeOf(host) : 0;
  HANDLE handle = CreateFileW(host.c_str(), desired, share, nullptr, creation, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED &&
      (access & platform::AccessWrite) == 0) {
    handle = CreateFileW(host.c_str(), desired & ~DWORD(FILE_WRITE_ATTRIBUTES), share, nullptr,
                         creation, flags, nullptr);
  }
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  capacity_->Release(truncated);
  return std::make_unique<Win32File>(handle,
                                     access & (platform::AccessRead | platform::AccessWrite),
                                     platform::ToUtf8(Units(host)), capacity_);
}

std::unique_ptr<platform::File> Win32FileSystem::Open(std::u16string_view path, uint32_t access,
                                                      platform::Disposition disposition) {
  const auto host = disposition == platform::Disposition::OpenExisting
                        ? paths_.ResolveExisting(path)
                        : paths_.ResolveForCreate(path);
  std::unique_ptr<platform::File> file;
  if (host && !EndsWithSeparator(path)) file = OpenResolved(*host, access, disposition);
  return file;
}

uint32_t Win32FileSystem::GetAttributes(std::u16string_view path) {
  const auto host = paths_.ResolveExisting(path);
  const DWORD found = host ? GetFileAttributesW(host->c_str()) : INVALID_FILE_ATTRIBUTES;
  const uint32_t attributes =
      found == INVALID_FILE_ATTRIBUTES ? platform::kInvalidAttributes : DeviceAttributes(found);
  return attributes;
}

// A reparse point (a link or a junction) is never taken for what it names.
platform::EntryKind Win32FileSystem::GetEntryKind(std::u16string_view path) {
  const auto host = paths_.ResolveExisting(path);
  const DWORD found = host ? GetFileAttributesW(host->c_str()) : INVALID_FILE_ATTRIBUTES;
  if (found == INVALID_FILE_ATTRIBUTES) return platform::EntryKind::None;
  if (found & FILE_ATTRIBUTE_REPARSE_POINT) return platform::EntryKind::Other;
  return (found & FILE_ATTRIBUTE_DIRECTORY) ? platform::EntryKind::Folder
                                            : platform::EntryKind::File;
}

bool Win32FileSystem::SetAttributes(std::u16string_view path, uint32_t attributes) {
  const auto host = paths_.ResolveExisting(path);
  DWORD bits = attributes & kSettableBits;
  if (bits == 0) bits = FILE_ATTRIBUTE_NORMAL;
  const bool ok = host && SetFileAttributesW(host->c_str(), bits) != 0;
  return ok;
}

bool Win32FileSystem::DeleteFile(std::u16string_view path) {
  const auto host = paths_.ResolveExisting(path);
  const DWORD found = host ? GetFileAttributesW(host->c_str()) : INVALID_FILE_ATTRIBUTES;
  const uint64_t size = host ? FileSizeOf(*host) : 0;
  // A read-only file stays, as on the device (DeleteFileW refuses it too).
  const bool ok = found != INVALID_FILE_ATTRIBUTES &&
                  (found & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0 &&
                  DeleteFileW(host->c_str()) != 0;
  if (ok) capacity_->Release(size);
  return ok;
}

bool Win32FileSystem::CreateDirectory(std::u16string_view path) {
  const auto host = paths_.ResolveForCreate(path);
  const bool ok = host && CreateDirectoryW(host->c_str(), nullptr) != 0;
  return ok;
}

bool Win32FileSystem::RemoveDirectory(std::u16string_view path) {
  const auto host = paths_.ResolveExisting(path);
  const bool ok = host && *host != paths_.FsRoot() && RemoveDirectoryW(host->c_str()) != 0;
  return ok;
}

std::vector<platform::FindData> Win32FileSystem::Find(std::u16string_view pattern) {
  const auto parts = platform::SplitPathComponents(pattern);
  const auto folder = parts.empty() || EndsWithSeparator(pattern)
                          ? std::nullopt
                          : paths_.ResolveExisting(FolderOf(parts));
  std::vector<Listed> listed;
  WIN32_FIND_DATAW entry;
  const HANDLE search =
      folder ? FindFirstFileW((*folder + L"\\*").c_str(), &entry) : INVALID_HANDLE_VALUE;
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring_view name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::u16string deviceName = Units(name);
      if (!platform::MatchWildcard(parts.back(), deviceName)) continue;
      const bool reparse = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
      if (reparse && !paths_.StaysInside(*folder + L'\\' + std::wstring(name))) continue;
      Listed item;
      item.utf8 = platform::ToUtf8(deviceName);
      item.data.name = deviceName;
      item.data.attributes = DeviceAttributes(entry.dwFileAttributes);
      // The device has no links: one is listed as an entry of its own, never
      // as a folder, so a walk over the tree does not descend into it.
      if (reparse) item.data.attributes &= ~FILE_ATTRIBUTE_DIRECTORY;
      if (item.data.attributes == 0) item.data.attributes = FILE_ATTRIBUTE_NORMAL;
      const bool isFolder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      item.data.size = isFolder ? 0 : uint64_t(entry.nFileSizeHigh) << 32 | entry.nFileSizeLow;
      item.data.writeTime.value = uint64_t(entry.ftLastWriteTime.dwHighDateTime) << 32 |
                                  entry.ftLastWriteTime.dwLowDateTime;
      listed.push_back(std::move(item));
    } while (FindNextFileW(search, &entry));
    FindClose(search);
  }
  // The same order on every host: byte order of the UTF-8 names.
  std::sort(listed.begin(), listed.end(),
            [](const Listed& a, const Listed& b) { return a.utf8 < b.utf8; });
  std::vector<platform::FindData> found;
  for (auto& item : listed) found.push_back(std::move(item.data));
  return found;
}

platform::SystemTime Win32FileSystem::Now() {
  SYSTEMTIME now;
  GetSystemTime(&now);
  platform::SystemTime time;
  time.year = now.wYear;
  time.month = now.wMonth;
  time.dayOfWeek = now.wDayOfWeek;
  time.day = now.wDay;
  time.hour = now.wHour;
  time.minute = now.wMinute;
  time.second = now.wSecond;
  time.milliseconds = now.wMilliseconds;
  return time;
}

}  // namespace host
