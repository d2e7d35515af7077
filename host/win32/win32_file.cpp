#include "host/win32/win32_file.h"

#include <cinttypes>

// Last: its macros would replace the platform's constants of the same names.
#include <windows.h>

namespace host {
namespace {

FILETIME ToHost(const platform::FileTime& time) {
  FILETIME host;
  host.dwLowDateTime = DWORD(time.value);
  host.dwHighDateTime = DWORD(time.value >> 32);
  return host;
}

platform::FileTime FromHost(const FILETIME& time) {
  return platform::FileTime{uint64_t(time.dwHighDateTime) << 32 | time.dwLowDateTime};
}

// File times with the top bit set are no times (SetFileTime takes -1 to mean
// "stop updating", which the device never asks for).
bool ValidTime(const platform::FileTime* time) {
  return time == nullptr || time->value <= static_cast<uint64_t>(INT64_MAX);
}

}  // namespace

Win32File::Win32File(void* handle, uint32_t access, std::string name,
                     std::shared_ptr<DriveCapacity> capacity)
    : handle_(handle), access_(access), name_(std::move(name)), capacity_(std::move(capacity)) {}

bool Win32File::PositionAndSize(uint64_t* position, uint64_t* size) {
  LONG high = 0;
  SetLastError(NO_ERROR);
  const DWORD low = SetFilePointer(handle_, 0, &high, FILE_CURRENT);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return false;
  *position = uint64_t(uint32_t(high)) << 32 | low;
  DWORD sizeHigh = 0;
  const DWORD sizeLow = GetFileSize(handle_, &sizeHigh);
  if (sizeLow == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
  *size = uint64_t(sizeHigh) << 32 | sizeLow;
  return true;
}

Win32File::~Win32File() { CloseHandle(handle_); }

bool Win32File::Read(void* buffer, uint32_t count, uint32_t* got) {
  if (got != nullptr) *got = 0;
  DWORD n = 0;
  const bool ok = (access_ & platform::AccessRead) != 0 && got != nullptr &&
                  (buffer != nullptr || count == 0) &&
                  ReadFile(handle_, buffer, count, &n, nullptr) != 0;
  if (ok) *got = n;
  return ok;
}

bool Win32File::Write(const void* buffer, uint32_t count) {
  bool ok = (access_ & platform::AccessWrite) != 0 && (buffer != nullptr || count == 0);
  uint64_t position = 0, size = 0;
  if (ok && capacity_->Limited()) {
    ok = PositionAndSize(&position, &size) &&
         (position + count <= size || capacity_->Reserve(position + count - size));
  }
  const auto* bytes = static_cast<const char*>(buffer);
  while (ok && count > 0) {
    DWORD written = 0;
    ok = WriteFile(handle_, bytes, count, &written, nullptr) != 0 && written > 0;
    bytes += written;
    count -= written;
  }
  return ok;
}

bool Win32File::Seek(int64_t offset, platform::SeekOrigin origin, uint64_t* newPosition) {
  const DWORD method = origin == platform::SeekOrigin::Begin     ? FILE_BEGIN
                       : origin == platform::SeekOrigin::Current ? FILE_CURRENT
                                                                 : FILE_END;
  LONG high = LONG(offset >> 32);
  SetLastError(NO_ERROR);
  const DWORD low = SetFilePointer(handle_, LONG(offset & 0xFFFFFFFF), &high, method);
  const bool ok = low != INVALID_SET_FILE_POINTER || GetLastError() == NO_ERROR;
  const uint64_t position = uint64_t(uint32_t(high)) << 32 | low;
  if (ok && newPosition != nullptr) *newPosition = position;
  return ok;
}

bool Win32File::GetIdentity(platform::FileIdentity* identity) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle_, &info)) return false;
  identity->volume = info.dwVolumeSerialNumber;
  identity->file = uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
  return true;
}

bool Win32File::GetSize(uint64_t* size) {
  DWORD high = 0;
  SetLastError(NO_ERROR);
  const DWORD low = GetFileSize(handle_, &high);
  const bool ok = size != nullptr && (low != INVALID_FILE_SIZE || GetLastError() == NO_ERROR);
  if (ok) *size = uint64_t(high) << 32 | low;
  return ok;
}

bool Win32File::SetEnd() {
  uint64_t position = 0, size = 0;
  bool ok = (access_ & platform::AccessWrite) != 0 && PositionAndSize(&position, &size);
  ok =
      ok && (position <= size || capacity_->Reserve(position - size)) && SetEndOfFile(handle_) != 0;
  if (ok && position < size) capacity_->Release(size - position);
  return ok;
}

bool Win32File::Flush() {
  const bool ok = FlushFileBuffers(handle_) != 0;
  return ok;
}

bool Win32File::GetTimes(platform::FileTime* creation, platform::FileTime* access,
                         platform::FileTime* write) {
  FILETIME created{}, accessed{}, written{};
  const bool ok = GetFileTime(handle_, &created, &accessed, &written) != 0;
  if (ok) {
    if (creation != nullptr) *creation = FromHost(created);
    if (access != nullptr) *access = FromHost(accessed);
    if (write != nullptr) *write = FromHost(written);
  }
  return ok;
}

bool Win32File::SetTimes(const platform::FileTime* creation, const platform::FileTime* access,
                         const platform::FileTime* write) {
  bool ok = ValidTime(creation) && ValidTime(access) && ValidTime(write);
  if (ok) {
    FILETIME c{}, a{}, w{};
    if (creation != nullptr) c = ToHost(*creation);
    if (access != nullptr) a = ToHost(*access);
    if (write != nullptr) w = ToHost(*write);
    ok = SetFileTime(handle_, creation != nullptr ? &c : nullptr, access != nullptr ? &a : nullptr,
                     write != nullptr ? &w : nullptr) != 0;
  }
  return ok;
}

}  // namespace host
