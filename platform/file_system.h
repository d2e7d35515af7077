// The device's file system as the kit sees it: device paths ("\Flash Disk\x"),
// Windows-style attributes and file times. One implementation maps it onto a
// device root on the host; tests may install their own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

inline constexpr uint32_t FILE_ATTRIBUTE_READONLY = 0x01;
inline constexpr uint32_t FILE_ATTRIBUTE_HIDDEN = 0x02;
inline constexpr uint32_t FILE_ATTRIBUTE_SYSTEM = 0x04;
inline constexpr uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr uint32_t FILE_ATTRIBUTE_ARCHIVE = 0x20;
inline constexpr uint32_t FILE_ATTRIBUTE_NORMAL = 0x80;
inline constexpr uint32_t kInvalidAttributes = 0xFFFFFFFF;

// 100-nanosecond intervals since 1601-01-01 UTC, as on the device.
struct FileTime {
  uint64_t value = 0;
  friend bool operator==(const FileTime&, const FileTime&) = default;
};

// Calendar time as the device's SYSTEMTIME carries it.
struct SystemTime {
  uint16_t year = 0, month = 0, dayOfWeek = 0, day = 0;
  uint16_t hour = 0, minute = 0, second = 0, milliseconds = 0;
};

// False for dates the device cannot represent (month 0, day 32, ...).
bool SystemTimeToFileTime(const SystemTime& time, FileTime* out);
bool FileTimeToSystemTime(const FileTime& time, SystemTime* out);

enum class SeekOrigin { Begin = 0, Current = 1, End = 2 };

enum FileAccess : uint32_t { AccessRead = 1, AccessWrite = 2 };

enum class Disposition {
  CreateNew,     // fails when the file exists
  CreateAlways,  // creates or truncates
  OpenExisting,  // fails when the file is missing
  OpenAlways,    // opens or creates
};

struct FileIdentity {
  uint64_t volume = 0;
  uint64_t file = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// An open file. Share modes have no effect on the host, except as DenyWriters
// asks for one.
//
// Threads: one File is used by one thread at a time, but different Files,
// of the same file too, may be used on different threads at once, also while
// another thread calls the FileSystem (the verification's workers and the
// readers that decode ahead each read their own open of the package so).
// Read, Seek, GetSize, GetTimes and GetIdentity touch nothing but their own
// handle. Write and SetEnd also count the drive's used bytes, which every
// File of a file system shares: only one thread may change files at a time.
class File {
 public:
  virtual ~File() = default;
  // Reads at most `count` bytes; `*got` receives how many came (0 at the end).
  virtual bool Read(void* buffer, uint32_t count, uint32_t* got) = 0;
  // Reads as Read does, but at `offset`, leaving the position alone; where
  // it works, several threads may call it on one File at once (one large
  // file read on both cores). False, with nothing read, when this file
  // cannot: the caller reads in order with Read instead.
  virtual bool ReadAt(uint64_t offset, void* buffer, uint32_t count, uint32_t* got) {
    (void)offset, (void)buffer, (void)count;
    if (got != nullptr) *got = 0;
    return false;
  }
  // Writes all `count` bytes or fails (a full drive fails the whole write).
  virtual bool Write(const void* buffer, uint32_t count) = 0;
  virtual bool Seek(int64_t offset, SeekOrigin origin, uint64_t* newPosition) = 0;
  virtual bool GetSize(uint64_t* size) = 0;
  // Cuts or extends the file at the current position (SetEndOfFile).
  virtual bool SetEnd() = 0;
  virtual bool Flush() = 0;
  virtual bool GetTimes(FileTime* creation, FileTime* access, FileTime* write) = 0;
  // A null pointer leaves that time unchanged.
  virtual bool SetTimes(const FileTime* creation, const FileTime* access,
                        const FileTime* write) = 0;
  // Keeps everyone else from changing the file while this handle is open, as
  // the device's read sharing does for a file opened to be read; false when
  // the file system cannot promise it.
  virtual bool DenyWriters() { return false; }
  // Which file this is, whatever names lead to it now (device and inode, or
  // volume and file index); false when the file system cannot tell.
  virtual bool GetIdentity(FileIdentity* identity) {
    (void)identity;
    return false;
  }
  // Sets the file's attributes through this handle, which spares a look-up
  // of its path; false when this file system does not, and the caller sets
  // them by the path once the file is closed.
  virtual bool SetAttributes(uint32_t attributes) {
    (void)attributes;
    return false;
  }
  // Starts putting what was written to the file on the medium and returns
  // at once, so that a flush barrier later finds less left to do. Never a
  // barrier itself; nothing where the host cannot start one.
  virtual void StartFlush() {}
};

struct FindData {
  std::u16string name;  // the entry's own name, in its own letter case
  uint32_t attributes = 0;
  uint64_t size = 0;
  FileTime writeTime;
  // The host will not let anyone change or delete it (immutable or
  // append-only), whatever its attributes say.
  bool locked = false;
};

// How much of each entry a search must tell.
enum class FindDetail {
  Full,      // all of FindData
  NoStored,  // no hidden, system or archive bit (a host may keep them apart, a call each)
  Kinds,     // the name and the folder bit alone (a file's read-only bit may be missing)
};

// What the volume that holds a path can still take.
struct VolumeRoom {
  uint64_t free = 0;       // bytes still free
  uint64_t overdrawn = 0;  // bytes held beyond what it may hold; free is 0 then
  uint64_t blockSize = 1;  // every file takes whole blocks of this many bytes
};

// A folder held open while what it holds is cleared out, the way a
// recursive removal walks: each call names an entry of this folder by its
// name in it, so that a host need not look the folder up again for every
// entry. A name is one component; anything else fails. The same threading
// rule as for the FileSystem that opened it, which must outlive it.
class Folder {
 public:
  virtual ~Folder() = default;
  // Every entry, as FindEntries lists them.
  virtual std::vector<FindData> List(FindDetail detail) = 0;
  // The sub-folder `name`; null when it names no folder.
  virtual std::unique_ptr<Folder> OpenFolder(std::u16string_view name) = 0;
  // FileSystem::DeleteFileAnyway and RemoveDirectory on the entry `name`.
  virtual bool DeleteFileAnyway(std::u16string_view name) = 0;
  virtual bool RemoveFolder(std::u16string_view name) = 0;
};

// The path a Folder keeps for `path` (no backslash at its end; "" for the
// root), and the path of its entry `name`: what a Folder's calls stand for.
inline std::u16string HeldFolderPath(std::u16string_view path) {
  while (!path.empty() && path.back() == u'\\') path.remove_suffix(1);
  return std::u16string(path);
}
inline std::u16string EntryOfFolder(std::u16string_view folder, std::u16string_view name) {
  std::u16string path(folder);
  path += u'\\';
  path += name;
  return path;
}

// What an entry is itself, a link in its place not followed.
enum class EntryKind {
  None,    // nothing of that name
  File,    // a plain file
  Folder,  // a plain folder
  Other,   // a link, a pipe, a device node: nothing to read or write through
};

// Threads: calls on a FileSystem must not overlap (the hosts keep what they
// looked up, and the drive's used bytes, unguarded): the caller serialises
// them. Files it opened may meanwhile be used on other threads (see File).
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Null when the file cannot be opened or created.
  virtual std::unique_ptr<File> Open(std::u16string_view path, uint32_t access,
                                     Disposition disposition) = 0;
  // kInvalidAttributes when the path does not exist.
  virtual uint32_t GetAttributes(std::u16string_view path) = 0;
  virtual bool SetAttributes(std::u16string_view path, uint32_t attributes) = 0;
  // What `path` names, its last component not followed when it is a link;
  // a host without links tells it from the attributes.
  virtual EntryKind GetEntryKind(std::u16string_view path) {
    const uint32_t attributes = GetAttributes(path);
    if (attributes == kInvalidAttributes) return EntryKind::None;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? EntryKind::Folder : EntryKind::File;
  }
  virtual bool DeleteFile(std::u16string_view path) = 0;
  // Deletes the file whatever its read-only, hidden and system bits: what
  // clearing them and deleting leaves. A host may do it without looking the
  // bits up first; a wrapper gets it through its own DeleteFile and
  // SetAttributes, so that one which changes those changes this too.
  virtual bool DeleteFileAnyway(std::u16string_view path) {
    if (DeleteFile(path)) return true;
    SetAttributes(path, FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_ARCHIVE);
    return DeleteFile(path);
  }
  virtual bool CreateDirectory(std::u16string_view path) = 0;
  // The folder `path`, held open; null when it names no folder. By default
  // every call on it goes by the entry's path through this object's own
  // calls (so a wrapper sees them); a host may hold the folder itself.
  virtual std::unique_ptr<Folder> OpenFolder(std::u16string_view path);
  virtual bool RemoveDirectory(std::u16string_view path) = 0;
  // Renames a file, also into another folder of the same volume; a file
  // already named `to` is replaced in the same step (MoveFileEx with
  // MOVEFILE_REPLACE_EXISTING). A folder is never replaced.
  virtual bool MoveFile(std::u16string_view from, std::u16string_view to) = 0;
  // Renames a folder with everything in it, in one step, on the same volume;
  // false when `to` exists or the host cannot (then move what it holds).
  virtual bool MoveFolder(std::u16string_view from, std::u16string_view to) {
    (void)from;
    (void)to;
    return false;
  }
  // Puts on the medium what was written to the file `path` or, for a folder,
  // the entries created, renamed or deleted in it, before returning.
  virtual bool Flush(std::u16string_view path) = 0;
  // Puts on the medium everything written on the volume that holds `path`:
  // one barrier for many files. False when the host cannot; each file and
  // folder must then be flushed on its own.
  virtual bool FlushVolume(std::u16string_view path) = 0;
  // A file system over the same files, for reading them on another thread:
  // its calls may overlap this one's, as it keeps nothing of this one's. It
  // sees what this one wrote once the call that wrote it returned. Null where
  // the host has none, and from a wrapper that changes what is read.
  virtual std::unique_ptr<FileSystem> ReaderForAnotherThread() { return nullptr; }
  // Whether an entry `path` (which names nothing yet, in a folder that
  // exists) could be created: the host may refuse a name the device takes,
  // or hold a link there that leads nowhere it may go. Only making it tells
  // for sure, which is what this does unless the host knows better.
  virtual bool CanCreate(std::u16string_view path) {
    if (!CreateDirectory(path)) return false;
    RemoveDirectory(path);
    return true;
  }
  // FindFirstFile/FindNextFile over a pattern such as "\Storage Card\*.zip":
  // the folder part names a folder, the last component may hold * and ?.
  // Returns the matches in the file system's enumeration order.
  virtual std::vector<FindData> Find(std::u16string_view pattern) = 0;
  // Find for walks that need less of each entry, so that a host may spare
  // the calls the rest would cost: the same entries, with `detail`'s part
  // of each at least.
  virtual std::vector<FindData> FindEntries(std::u16string_view pattern, FindDetail detail) {
    (void)detail;
    return Find(pattern);
  }
  // The current time (GetSystemTime).
  virtual SystemTime Now() = 0;
  // The bytes still free on the volume that holds `path`, as
  // GetDiskFreeSpaceEx reports them; false when the path does not exist.
  virtual bool GetFreeBytes(std::u16string_view path, uint64_t* bytes) = 0;
  // The room as GetFreeBytes tells it, unless the host knows more: a drive
  // already over its capacity, or the block size files are counted in.
  virtual bool GetVolumeRoom(std::u16string_view path, VolumeRoom* room) {
    *room = VolumeRoom{};
    return GetFreeBytes(path, &room->free);
  }
  // Whether entries can be created in and deleted from the folder `path`:
  // false on a read-only volume and for a folder the host will not let this
  // process change (immutable, append-only, no write permission).
  virtual bool CanChangeFolder(std::u16string_view path) {
    (void)path;
    return true;
  }
  // A batch: many calls in folders this process alone works in (unpacking,
  // moving a tree). Outside a batch every look-up sees every change that
  // finished before it. Inside one, a host that keeps what it learned of
  // folders may learn of another process's change only at its first look-up
  // after this process's own next change, or after the batch; this
  // process's own changes are always seen. Batches may nest. See LookUpBatch.
  virtual void BeginLookUpBatch() {}
  virtual void EndLookUpBatch() {}
};

// One batch of look-ups (see FileSystem::BeginLookUpBatch) for its scope.
class LookUpBatch {
 public:
  explicit LookUpBatch(FileSystem& files) : files_(files) { files_.BeginLookUpBatch(); }
  ~LookUpBatch() { files_.EndLookUpBatch(); }
  LookUpBatch(const LookUpBatch&) = delete;
  LookUpBatch& operator=(const LookUpBatch&) = delete;

 private:
  FileSystem& files_;
};

}  // namespace platform
