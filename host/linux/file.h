// An open file of the device's file system: a host file descriptor.
#pragma once

#include <sys/stat.h>

#include <memory>
#include <optional>
#include <string>

#include "host/common/drive_capacity.h"
#include "platform/file_system.h"

namespace host {

// Opens the entry `name` of the folder open as `dir` as a regular file:
// never through a link, never waiting on a named pipe, and refusing (-1,
// errno EINVAL) anything that is not a regular file once open. `flags` are
// open(2)'s; `*info` receives the open file's status (for a file this call
// created with O_EXCL, only its type). Every file the kit
// opens goes through here.
int OpenRegularFileAt(int dir, const char* name, int flags, mode_t mode, struct stat* info);

// The mode a file created with `requested` gets, where the process's umask
// is known (Linux 4.7 and later tell it).
std::optional<mode_t> CreatedFileMode(mode_t requested);

class LinuxFile : public platform::File {
 public:
  // Takes ownership of `fd`. `access` limits what Read and Write allow.
  // `storesBeforeCreation`: for a file this handle created, the count of
  // attribute stores (HostAttributeStores) read before the creation;
  // `modeAtCreation`, its mode then, where known (kept while this process
  // changes no mode).
  LinuxFile(int fd, uint32_t access, std::string name, std::shared_ptr<DriveCapacity> capacity,
            std::optional<uint64_t> storesBeforeCreation = std::nullopt,
            std::optional<mode_t> modeAtCreation = std::nullopt);
  ~LinuxFile() override;
  LinuxFile(const LinuxFile&) = delete;
  LinuxFile& operator=(const LinuxFile&) = delete;

  bool Read(void* buffer, uint32_t count, uint32_t* got) override;
  bool ReadAt(uint64_t offset, void* buffer, uint32_t count, uint32_t* got) override;
  bool Write(const void* buffer, uint32_t count) override;
  bool Seek(int64_t offset, platform::SeekOrigin origin, uint64_t* newPosition) override;
  bool GetSize(uint64_t* size) override;
  bool SetEnd() override;
  bool Flush() override;
  bool GetTimes(platform::FileTime* creation, platform::FileTime* access,
                platform::FileTime* write) override;
  bool SetTimes(const platform::FileTime* creation, const platform::FileTime* access,
                const platform::FileTime* write) override;
  // A read lease: another open for writing, or a truncation, waits until this
  // handle closes (at most the kernel's lease-break time, 45 s by default).
  bool DenyWriters() override;
  bool GetIdentity(platform::FileIdentity* identity) override;
  bool SetAttributes(uint32_t attributes) override;
  // The write-back of the file's dirty pages, begun without waiting for it
  // (and without a commit of the journal, which a flush of the volume would
  // make while other files are being created).
  void StartFlush() override;

 private:
  bool WriteAll(const char* bytes, uint32_t count);
  // Grows the file's share of the drive to `newEnd`; false when it is full.
  bool ReserveUpTo(uint64_t newEnd);

  int fd_;
  uint32_t access_;
  std::string name_;  // host path, for the trace
  std::shared_ptr<DriveCapacity> capacity_;
  std::optional<uint64_t> storesBeforeCreation_;
  std::optional<mode_t> modeAtCreation_;  // until its attributes are first set
  uint64_t modeChangesBeforeCreation_;
};

}  // namespace host
