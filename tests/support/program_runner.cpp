#include "tests/support/program_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "tests/support/host_files.h"
#include "tests/support/temp_folder.h"

namespace test_support {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Exec(const fs::path& program, const std::vector<std::string>& args) {
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  execv(program.c_str(), argv.data());
  _exit(127);
}

}  // namespace

RunResult RunProgram(const fs::path& program, const std::vector<std::string>& args,
                     const std::map<std::string, std::string>& env, const std::string& input) {
  TempFolder io("fitkit-run");
  WriteText(io.path() / "in", input);
  const pid_t pid = fork();
  if (pid == 0) {
    for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
    const int in = open((io.path() / "in").c_str(), O_RDONLY);
    const int out = open((io.path() / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open((io.path() / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    Exec(program, args);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  RunResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = ReadText(io.path() / "out");
  result.err = ReadText(io.path() / "err");
  return result;
}

ChildProcess::ChildProcess(const fs::path& program, const std::vector<std::string>& args) {
  int ready[2];
  if (pipe2(ready, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  pid_ = fork();
  if (pid_ == 0) Exec(program, args);
  close(ready[1]);
  char byte;
  // The pipe closes at exec (or at the child's end when exec failed).
  while (read(ready[0], &byte, 1) < 0 && errno == EINTR) {
  }
  close(ready[0]);
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !reaped_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

bool ChildProcess::Alive() {
  if (reaped_) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) == pid_) reaped_ = true;
  return !reaped_;
}

bool ChildProcess::WaitForEnd(std::chrono::milliseconds timeout) {
  const auto until = std::chrono::steady_clock::now() + timeout;
  while (Alive()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

BackgroundRun::BackgroundRun(const fs::path& program, const std::vector<std::string>& args,
                             const std::map<std::string, std::string>& env, fs::path output)
    : output_(std::move(output)) {
  WriteText(output_, "");
  pid_ = fork();
  if (pid_ == 0) {
    for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
    dup2(open(output_.c_str(), O_WRONLY | O_TRUNC), 1);
    dup2(open("/dev/null", O_RDONLY), 0);
    Exec(program, args);
  }
}

BackgroundRun::~BackgroundRun() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

void BackgroundRun::Signal(int signal) const { kill(pid_, signal); }

bool BackgroundRun::WaitForOutput(const std::string& text) const {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (Output().find(text) == std::string::npos) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

int BackgroundRun::Finish() {
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string BackgroundRun::Output() const { return ReadText(output_); }

std::string CommandOutput(const std::string& command) {
  std::string output;
  if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
    ::pclose(pipe);
  }
  return output;
}

bool HaveCommand(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

std::string XvfbRun() {
  return "xvfb-run -a -n " + std::to_string(100 + getpid() % 800) + " -s '-screen 0 800x600x24' ";
}

}  // namespace test_support
