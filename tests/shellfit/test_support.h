// Host-side helpers of the shell updater's tests: temporary folders, files,
// and real processes started, watched and ended by the test.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace shellfit_test {

namespace fs = std::filesystem;

// A fresh folder, removed with everything in it (read-only parts included).
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

std::string ReadText(const fs::path& file);
void WriteText(const fs::path& file, const std::string& text);  // creates folders

// A program started by the test; killed and reaped when the object goes.
class ChildProcess {
 public:
  // Returns once the program runs (its exec has happened).
  ChildProcess(const fs::path& program, const std::vector<std::string>& args);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  pid_t pid() const { return pid_; }
  bool Alive();
  // True when the process ended within the timeout.
  bool WaitForEnd(std::chrono::milliseconds timeout);

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
};

struct RunResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs a program to its end with `input` on stdin and extra environment.
RunResult RunProgram(const fs::path& program, const std::vector<std::string>& args,
                     const std::map<std::string, std::string>& env, const std::string& input);

// A snapshot of a folder tree: relative path -> content ("<dir>" for folders),
// permissions and modification time, for comparing a tree before and after a
// run byte for byte.
std::map<std::string, std::string> SnapshotTree(const fs::path& folder);

}  // namespace shellfit_test

namespace shellfit_test {

// A device root with the stock device.ini (plus `extraIni` lines), a registry
// naming the model "KTR 60" and the flash drive "Flash Disk", and the folders
// \Flash Disk, \Storage Card and \Windows.
void MakeDeviceRoot(const fs::path& root, const std::string& extraIni = "");

// Packs `names` (relative to `from`, folders recursively) into `archive` with
// Info-ZIP's zip and the traditional encryption; times are taken as UTC.
void Zip(const fs::path& archive, const fs::path& from, const std::vector<std::string>& names,
         const std::string& password = ".TORVA.");

// Sets a file's modification time to `secondsSinceEpoch` (an even number, so
// that a ZIP's DOS time holds it exactly).
void SetModTime(const fs::path& file, int64_t secondsSinceEpoch);

// Offset of the first entry's data inside a ZIP file (after its local header).
std::size_t FirstEntryDataOffset(const fs::path& archive);

// Copy of a PE fixture made from the tests' .rc files.
fs::path PeFixture(const std::string& name);

}  // namespace shellfit_test
