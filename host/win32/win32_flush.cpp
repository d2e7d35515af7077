// Renames and putting what was written on the medium, through the Win32 API.
#include "host/win32/win32_file_system.h"

// Last: its macros would replace the platform's constants of the same names.
#include <windows.h>
#undef MoveFile

namespace host {
namespace {

bool FlushHandle(const std::wstring& host, DWORD flags) {
  const HANDLE handle = CreateFileW(host.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const bool ok = FlushFileBuffers(handle) != 0;
  CloseHandle(handle);
  return ok;
}

uint64_t SizeOfFile(const std::wstring& host) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (GetFileAttributesExW(host.c_str(), GetFileExInfoStandard, &data) == 0 ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return 0;
  }
  return uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

}  // namespace

bool Win32FileSystem::MoveFile(std::u16string_view from, std::u16string_view to) {
  const auto source = paths_.ResolveExisting(from);
  const auto target = paths_.ResolveForCreate(to);
  const DWORD kind = source ? GetFileAttributesW(source->c_str()) : INVALID_FILE_ATTRIBUTES;
  const uint64_t replaced = target ? SizeOfFile(*target) : 0;
  const bool ok = kind != INVALID_FILE_ATTRIBUTES && (kind & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
                  target && *target != *source &&
                  MoveFileExW(source->c_str(), target->c_str(),
                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  if (ok) capacity_->Release(replaced);
  return ok;
}

// A folder (never a link to one) moves with what it holds in one rename;
// without MOVEFILE_REPLACE_EXISTING an existing `to` stops it.
bool Win32FileSystem::MoveFolder(std::u16string_view from, std::u16string_view to) {
  const auto source = paths_.ResolveExisting(from);
  const auto target = paths_.ResolveForCreate(to);
  const DWORD kind = source ? GetFileAttributesW(source->c_str()) : INVALID_FILE_ATTRIBUTES;
  return kind != INVALID_FILE_ATTRIBUTES && (kind & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (kind & FILE_ATTRIBUTE_REPARSE_POINT) == 0 && *source != paths_.FsRoot() && target &&
         *target != *source && GetFileAttributesW(target->c_str()) == INVALID_FILE_ATTRIBUTES &&
         MoveFileExW(source->c_str(), target->c_str(), MOVEFILE_WRITE_THROUGH) != 0;
}

// FlushFileBuffers needs a handle that may write: a read-only file loses
// its bit for the moment of the flush. A folder's entries are flushed where
// the file system lets a folder handle do it; elsewhere (FAT, most hosts
// without administrator rights) its own journal or MOVEFILE_WRITE_THROUGH
// is what keeps them, and the flush is taken as done.
bool Win32FileSystem::Flush(std::u16string_view path) {
  const auto host = paths_.ResolveExisting(path);
  const DWORD attributes = host ? GetFileAttributesW(host->c_str()) : INVALID_FILE_ATTRIBUTES;
  bool ok = false;
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    ok = false;
  } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    FlushHandle(*host, FILE_FLAG_BACKUP_SEMANTICS);
    ok = true;
  } else if (attributes & FILE_ATTRIBUTE_READONLY) {
    ok = SetFileAttributesW(host->c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY)) != 0 &&
         FlushHandle(*host, 0);
    ok = SetFileAttributesW(host->c_str(), attributes) != 0 && ok;
  } else {
    ok = FlushHandle(*host, 0);
  }
  return ok;
}

// A volume handle flushes every file at once, but only for an administrator.
// Every path lies on the one volume of fs\.
bool Win32FileSystem::FlushVolume(std::u16string_view /*path*/) {
  wchar_t volume[MAX_PATH] = {};
  const std::wstring root = paths_.FsRoot();
  bool ok = GetVolumePathNameW(root.c_str(), volume, MAX_PATH) != 0;
  std::wstring device = L"\\\\.\\" + std::wstring(volume);
  if (ok && !device.empty() && device.back() == L'\\') device.pop_back();
  return ok && FlushHandle(device, 0);
}

}  // namespace host
