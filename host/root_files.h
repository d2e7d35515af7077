// The device root's own files (journal.log, flash/*, .locks/*), opened
// relative to a descriptor of the root and never through a link, so that a
// symbolic link planted at one of them cannot lead a write out of the root.
// Files the kit rewrites are replaced (a new file written whole, then renamed
// over the old name) rather than truncated, so a hard link to a file
// elsewhere keeps its bytes and a killed program leaves no half-written file.
// Declared once for every host; host/linux/ and host/win32/ each implement it.
// A descriptor is an int on both: a file's is the C runtime's, a folder's on
// Windows an entry of a small table of paths.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

namespace host {

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

// A new, empty file ".<name>.new-<pid>" in the folder, to take the place of
// `name` with CommitStaged once it is whole: until then `name` keeps its old
// bytes, also when the program is killed. Invalid when it cannot be made.
RootDescriptor CreateStaged(int folderFd, const char* name);

// Renames the staged file of `name` (closed by now) over `name`; false, and
// the staged file removed, when that fails or `name` is a folder. The staged
// bytes are flushed before the rename and the folder after it, as a device's
// driver has its flash written before it answers.
bool CommitStaged(int folderFd, const char* name);

// Puts the folder's entries (names made, renamed, removed) on the medium.
bool FlushFolder(int folderFd);

// Removes the staged file of `name`, when there is one.
void DropStaged(int folderFd, const char* name);

// Removes the staged files of processes that no longer run: what a killed
// program left behind.
void RemoveStaleStaged(int folderFd);

// Removes `name` from the folder, the removal flushed; true also when it was
// not there.
bool RemoveRootFile(int folderFd, const char* name);

// `bytes` written whole as the new content of `name`, then renamed over it:
// `name` holds either its old bytes or all of the new ones.
bool WriteReplacing(int folderFd, const char* name, const std::string& bytes);

// `name` opened for appending, made when missing; invalid, with the reason
// in `*why`, when it is not a regular file with exactly one link.
RootDescriptor OpenForAppend(int folderFd, const char* name, std::string* why);

// `name` opened read and write for locking, made when missing; invalid when
// it is a link or anything but a regular file.
RootDescriptor OpenLockFile(int folderFd, const char* name);

// Writes all of `count` bytes at `offset` of an open file.
bool WriteAt(int fd, const void* bytes, uint64_t count, uint64_t offset);

// Starts putting what was written to an open file on the medium without
// waiting for it, so that the flush that follows has less left to wait for.
void StartWriteBack(int fd);

// Sends the writes that follow to an open file straight to the medium, past
// the cache, or (`on` false) through it again. Such writes need an offset, a
// length and memory aligned to 4096 bytes. False when the host cannot switch
// to them for this file; the writes then stay cached.
bool WriteThrough(int fd, bool on);

// Asks the host to back `count` bytes of memory, not touched yet, with large
// pages where it has them; nothing changes where it has none.
void PreferLargePages(void* bytes, std::size_t count);

// Makes an open file exactly `length` bytes long (bytes added read zero).
bool SetLength(int fd, uint64_t length);

// Appends all of `bytes` to an open file, or cuts the file back to its old
// end when they do not all fit (a full drive, the file's size limit), so a
// failed append leaves no torn line behind.
bool AppendWhole(int fd, const std::string& bytes);

// Closes a descriptor this API returned; false when the close failed.
bool CloseDescriptor(int fd);

}  // namespace host
