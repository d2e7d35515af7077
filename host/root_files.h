// The device root's own files (journal.log, flash/*, .locks/*), opened
// relative to a descriptor of the root and never through a link, so that a
// symbolic link planted at one of them cannot lead a write out of the root.
// Files the kit rewrites are replaced (a new file renamed over the old name)
// rather than truncated, so a hard link to a file elsewhere keeps its bytes.
// Declared once for every host; host/linux/ and host/win32/ each implement it.
// A descriptor is an int on both: a file's is the C runtime's, a folder's on
// Windows an entry of a small table of paths.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

namespace platform {

// An open descriptor, closed with the object; -1 when none.
class RootDescriptor {
 public:
  RootDescriptor() = default;
  explicit RootDescriptor(int fd) : fd_(fd) {}
  ~RootDescriptor();
  RootDescriptor(RootDescriptor&& other) noexcept : fd_(other.Release()) {}
  RootDescriptor& operator=(RootDescriptor&& other) noexcept;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int Release();

 private:
  int fd_ = -1;
};

// The device root folder itself (named by the user, so it may be reached
// through a link).
RootDescriptor OpenRootFolder(const std::filesystem::path& root);

// A folder directly in the root ("flash", ".locks"), made when missing;
// invalid when the name is anything but a real folder (a link included).
RootDescriptor OpenOwnFolder(int rootFd, const char* name);

// A new, empty file that has already replaced `name` in the folder; invalid
// when it cannot be made or `name` is a folder.
RootDescriptor ReplaceFile(int folderFd, const char* name);

// Writes `bytes` as the new content of `name` (see ReplaceFile).
bool WriteReplacing(int folderFd, const char* name, const std::string& bytes);

// `name` opened for appending, made when missing; invalid, with the reason
// in `*why`, when it is not a regular file with exactly one link.
RootDescriptor OpenForAppend(int folderFd, const char* name, std::string* why);

// `name` opened read and write for locking, made when missing; invalid when
// it is a link or anything but a regular file.
RootDescriptor OpenLockFile(int folderFd, const char* name);

// Writes all of `count` bytes at `offset` of an open file.
bool WriteAt(int fd, const void* bytes, uint64_t count, uint64_t offset);

// Makes an open file exactly `length` bytes long (bytes added read zero).
bool SetLength(int fd, uint64_t length);

// A stdio stream appending to `fd`, which it then owns; null (and `fd` kept)
// when none can be made.
std::FILE* AppendStream(RootDescriptor& fd);

// Closes a descriptor this API returned; false when the close failed.
bool CloseDescriptor(int fd);

}  // namespace platform
