// Real programs run by the tests: to their end with stdin and extra
// environment, in the background while the test watches, or as a shell
// command whose output is wanted.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace test_support {

struct RunResult {
  int exitCode = -1;  // 128 + the signal when a signal ended it
  std::string out;
  std::string err;
};

// Runs a program to its end with `input` on stdin and extra environment.
RunResult RunProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                     const std::map<std::string, std::string>& env = {},
                     const std::string& input = "");

// A program started by the test; killed and reaped when the object goes.
class ChildProcess {
 public:
  // Returns once the program runs (its exec has happened).
  ChildProcess(const std::filesystem::path& program, const std::vector<std::string>& args);
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

// A program run with extra environment, stdin from /dev/null and stdout
// into `output`, for tests that act on the device while it runs.
class BackgroundRun {
 public:
  BackgroundRun(const std::filesystem::path& program, const std::vector<std::string>& args,
                const std::map<std::string, std::string>& env, std::filesystem::path output);
  ~BackgroundRun();
  BackgroundRun(const BackgroundRun&) = delete;
  BackgroundRun& operator=(const BackgroundRun&) = delete;
  // Whether `text` showed in its output within 20 seconds.
  bool WaitForOutput(const std::string& text) const;
  // Waits for its end: the exit code, or 128 + the signal.
  int Finish();
  void Signal(int signal) const;
  std::string Output() const;

 private:
  std::filesystem::path output_;
  pid_t pid_ = -1;
};

// What a shell command writes on stdout, read to its end.
std::string CommandOutput(const std::string& command);

// Whether `name` is a command on PATH.
bool HaveCommand(const std::string& name);

// "xvfb-run ..." with an 800x600 screen. Its -a search starts at a number of
// its own per process, so parallel test runs do not race for the same one.
std::string XvfbRun();

}  // namespace test_support
