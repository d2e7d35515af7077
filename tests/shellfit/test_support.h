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
