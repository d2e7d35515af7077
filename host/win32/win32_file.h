// An open file of the device's file system: a Win32 file handle. Headers of
// this host never include <windows.h>: its macros (FILE_ATTRIBUTE_READONLY,
// WM_PAINT, ...) would replace the platform's constants of the same names and
// values, so sources include the platform's headers first.
#pragma once

#include <memory>
#include <string>

#include "host/common/drive_capacity.h"

#include "platform/file_system.h"

namespace host {

class Win32File : public platform::File {
 public:
  // Takes ownership of `handle`; `name` is for the trace.
  Win32File(void* handle, uint32_t access, std::string name,
            std::shared_ptr<DriveCapacity> capacity);
  ~Win32File() override;
  Win32File(const Win32File&) = delete;
  Win32File& operator=(const Win32File&) = delete;

  bool Read(void* buffer, uint32_t count, uint32_t* got) override;
  bool Write(const void* buffer, uint32_t count) override;
  bool Seek(int64_t offset, platform::SeekOrigin origin, uint64_t* newPosition) override;
  bool GetSize(uint64_t* size) override;
  bool SetEnd() override;
  bool Flush() override;
  bool GetIdentity(platform::FileIdentity* identity) override;
  bool GetTimes(platform::FileTime* creation, platform::FileTime* access,
                platform::FileTime* write) override;
  bool SetTimes(const platform::FileTime* creation, const platform::FileTime* access,
                const platform::FileTime* write) override;

 private:
  // The file's current position and size; false when either cannot be read.
  bool PositionAndSize(uint64_t* position, uint64_t* size);

  void* handle_;  // HANDLE
  uint32_t access_;
  std::string name_;
  std::shared_ptr<DriveCapacity> capacity_;
};

}  // namespace host
