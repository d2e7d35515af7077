// The device root's own files on Windows. A folder "descriptor" is an entry
// of a small table of paths (the C runtime has no folder descriptors); a
// file's is the C runtime's, over a handle opened with FILE_SHARE_DELETE so
// that the new file can be renamed over the old name while it is open. A
// reparse point (a symbolic link or junction) is never opened or followed.
#include "host/root_files.h"

#include <fcntl.h>
#include <io.h>
#include <process.h>

#include <climits>
#include <mutex>
#include <vector>

#include "host/common/staged_names.h"
#include "host/common/write_all.h"

// Last: its macros would replace the platform's constants of the same names.
#include <windows.h>

namespace host {
namespace {

constexpr int kFolderBase = 1 << 24;

struct FolderTable {
  std::mutex lock;
  std::vector<std::filesystem::path> paths;  // empty: a free entry
};

FolderTable& Folders() {
  static FolderTable table;
  return table;
}

int AddFolder(const std::filesystem::path& path) {
  FolderTable& table = Folders();
  const std::lock_guard<std::mutex> hold(table.lock);
  for (std::size_t i = 0; i < table.paths.size(); ++i) {
    if (table.paths[i].empty()) {
      table.paths[i] = path;
      return kFolderBase + int(i);
    }
  }
  table.paths.push_back(path);
  return kFolderBase + int(table.paths.size() - 1);
}

bool IsFolder(int fd) { return fd >= kFolderBase; }

// The folder's path, empty when `fd` names none.
std::filesystem::path FolderPath(int fd) {
  FolderTable& table = Folders();
  const std::lock_guard<std::mutex> hold(table.lock);
  const std::size_t index = std::size_t(fd - kFolderBase);
  return IsFolder(fd) && index < table.paths.size() ? table.paths[index] : std::filesystem::path();
}

bool CloseFolder(int fd) {
  FolderTable& table = Folders();
  const std::lock_guard<std::mutex> hold(table.lock);
  const std::size_t index = std::size_t(fd - kFolderBase);
  if (index >= table.paths.size() || table.paths[index].empty()) return false;
  table.paths[index].clear();
  return true;
}

// `name` in the folder `folderFd`; empty when the folder is unknown.
std::filesystem::path InFolder(int folderFd, const char* name) {
  const std::filesystem::path folder = FolderPath(folderFd);
  return folder.empty() ? folder : folder / name;
}

bool IsReparsePoint(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// A C runtime descriptor over a new handle; -1 when either cannot be made.
int OpenHandle(const std::filesystem::path& file, DWORD access, DWORD disposition, int crtFlags) {
  HANDLE handle = CreateFileW(
      file.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return -1;
  BY_HANDLE_FILE_INFORMATION info{};
  // Anything but a plain file on disk (a device such as NUL, a folder, a
  // reparse point) is refused.
  if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
    CloseHandle(handle);
    return -1;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), crtFlags | _O_BINARY);
  if (fd < 0) CloseHandle(handle);
  return fd;
}

bool FlushPath(const std::filesystem::path& path, DWORD flags) {
  const HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const bool ok = FlushFileBuffers(handle) != 0;
  CloseHandle(handle);
  return ok;
}

// _write takes at most INT_MAX bytes a call.
bool WriteAll(int fd, const char* bytes, std::size_t count) {
  return WriteAllBytes(
      [](int to, const char* some, std::size_t size) {
        return long(_write(to, some, size > INT_MAX ? unsigned(INT_MAX) : unsigned(size)));
      },
      fd, bytes, count);
}

}  // namespace

RootDescriptor OpenRootFolder(const std::filesystem::path& root) {
  const DWORD attributes = GetFileAttributesW(root.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return {};
  }
  return RootDescriptor(AddFolder(root));
}

RootDescriptor OpenOwnFolder(int rootFd, const char* name) {
  const std::filesystem::path folder = InFolder(rootFd, name);
  if (folder.empty()) return {};
  CreateDirectoryW(folder.c_str(), nullptr);  // an existing entry is checked below
  const DWORD attributes = GetFileAttributesW(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
      IsReparsePoint(attributes)) {
    return {};
  }
  return RootDescriptor(AddFolder(folder));
}

RootDescriptor CreateStaged(int folderFd, const char* name) {
  const std::filesystem::path staged = InFolder(folderFd, StagedName(name, _getpid()).c_str());
  if (staged.empty()) return {};
  DeleteFileW(staged.c_str());  // this process's own, from an earlier try
  return RootDescriptor(
      OpenHandle(staged, GENERIC_READ | GENERIC_WRITE | DELETE, CREATE_NEW, _O_RDWR));
}

bool CommitStaged(int folderFd, const char* name) {
  const std::filesystem::path target = InFolder(folderFd, name);
  const std::filesystem::path staged = InFolder(folderFd, StagedName(name, _getpid()).c_str());
  if (target.empty()) return false;
  const DWORD attributes = GetFileAttributesW(target.c_str());
  const bool isFolder =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  // Replacing the name (a reparse point there included), never writing
  // through it.
  if (!isFolder && FlushPath(staged, FILE_FLAG_OPEN_REPARSE_POINT) &&
      MoveFileExW(staged.c_str(), target.c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  DeleteFileW(staged.c_str());
  return false;
}

// A folder handle flushes its entries only where the file system lets it
// (NTFS); elsewhere MOVEFILE_WRITE_THROUGH is what keeps them.
bool FlushFolder(int folderFd) {
  const std::filesystem::path folder = FolderPath(folderFd);
  if (folder.empty()) return false;
  FlushPath(folder, FILE_FLAG_BACKUP_SEMANTICS);
  return true;
}

void DropStaged(int folderFd, const char* name) {
  const std::filesystem::path staged = InFolder(folderFd, StagedName(name, _getpid()).c_str());
  if (!staged.empty()) DeleteFileW(staged.c_str());
}

void RemoveStaleStaged(int folderFd) {
  const std::filesystem::path folder = FolderPath(folderFd);
  if (folder.empty()) return;
  WIN32_FIND_DATAA found{};
  HANDLE search = FindFirstFileA((folder / ".*.new-*").string().c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const long pid = StagedOwner(found.cFileName);
    bool gone = pid == _getpid();
    if (pid > 0 && !gone) {
      HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
      // Only "no such process" counts; a process we may not look at still runs.
      gone = process == nullptr && GetLastError() == ERROR_INVALID_PARAMETER;
      if (process != nullptr) CloseHandle(process);
    }
    if (pid > 0 && gone) DeleteFileW((folder / found.cFileName).c_str());
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

bool RemoveRootFile(int folderFd, const char* name) {
  const std::filesystem::path file = InFolder(folderFd, name);
  if (file.empty()) return false;
  if (DeleteFileW(file.c_str())) return FlushFolder(folderFd);
  return GetLastError() == ERROR_FILE_NOT_FOUND;
}

bool WriteReplacing(int folderFd, const char* name, const std::string& bytes) {
  RootDescriptor fd = CreateStaged(folderFd, name);
  if (!fd.valid()) return false;
  if (!WriteAll(fd.get(), bytes.data(), bytes.size()) || !CloseDescriptor(fd.Release())) {
    DropStaged(folderFd, name);
    return false;
  }
  return CommitStaged(folderFd, name);
}

RootDescriptor OpenForAppend(int folderFd, const char* name, std::string* why) {
  const std::filesystem::path file = InFolder(folderFd, name);
  const DWORD attributes =
      file.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(file.c_str());
  if (IsReparsePoint(attributes)) {
    *why = "is a symbolic link";
    return {};
  }
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    *why = "is not a regular file";
    return {};
  }
  RootDescriptor fd(file.empty()
                        ? -1
                        : OpenHandle(file, FILE_APPEND_DATA | SYNCHRONIZE | FILE_READ_ATTRIBUTES,
                                     OPEN_ALWAYS, _O_WRONLY | _O_APPEND));
  if (!fd.valid()) {
    *why = attributes == INVALID_FILE_ATTRIBUTES ? "cannot be opened" : "is not a regular file";
    return {};
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(reinterpret_cast<HANDLE>(_get_osfhandle(fd.get())), &info) ||
      info.nNumberOfLinks != 1) {
    *why = "has another hard link";
    return {};
  }
  return fd;
}

RootDescriptor OpenLockFile(int folderFd, const char* name) {
  const std::filesystem::path file = InFolder(folderFd, name);
  if (file.empty()) return {};
  return RootDescriptor(OpenHandle(file, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS, _O_RDWR));
}

bool WriteAt(int fd, const void* bytes, uint64_t count, uint64_t offset) {
  if (fd < 0 || IsFolder(fd) || _lseeki64(fd, int64_t(offset), SEEK_SET) < 0) return false;
  return WriteAll(fd, static_cast<const char*>(bytes), std::size_t(count));
}

// Windows writes back on its own; the flush at the commit waits for it.
void StartWriteBack(int /*fd*/) {}

// A C runtime descriptor cannot change how its handle was opened.
bool WriteThrough(int /*fd*/, bool /*on*/) { return false; }

void PreferLargePages(void* /*bytes*/, std::size_t /*count*/) {}

bool SetLength(int fd, uint64_t length) {
  return fd >= 0 && !IsFolder(fd) && _chsize_s(fd, int64_t(length)) == 0;
}

bool AppendWhole(int fd, const std::string& bytes) {
  if (fd < 0 || IsFolder(fd)) return false;
  const int64_t end = _lseeki64(fd, 0, SEEK_END);
  if (end < 0) return false;
  if (WriteAll(fd, bytes.data(), bytes.size())) return true;
  _chsize_s(fd, end);
  return false;
}

bool CloseDescriptor(int fd) {
  if (fd < 0) return false;
  return IsFolder(fd) ? CloseFolder(fd) : _close(fd) == 0;
}

}  // namespace host
