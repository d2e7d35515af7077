#include "test_support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace shellfit_test {

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "shellfit-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code error;
  for (const auto& entry : fs::recursive_directory_iterator(path_, error)) {
    fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, error);
  }
  fs::remove_all(path_, error);
}

std::string ReadText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteText(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text;
}

ChildProcess::ChildProcess(const fs::path& program, const std::vector<std::string>& args) {
  int ready[2];
  if (pipe2(ready, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  pid_ = fork();
  if (pid_ == 0) {
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
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

RunResult RunProgram(const fs::path& program, const std::vector<std::string>& args,
                     const std::map<std::string, std::string>& env, const std::string& input) {
  TempDir io;
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
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  RunResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = ReadText(io.path() / "out");
  result.err = ReadText(io.path() / "err");
  return result;
}

std::map<std::string, std::string> SnapshotTree(const fs::path& folder) {
  std::map<std::string, std::string> tree;
  std::error_code error;
  for (const auto& entry : fs::recursive_directory_iterator(folder, error)) {
    const std::string relative = entry.path().lexically_relative(folder).string();
    const auto status = fs::symlink_status(entry.path());
    std::string state = entry.is_directory() ? "<dir>" : ReadText(entry.path());
    state += " mode=" + std::to_string(static_cast<unsigned>(status.permissions()));
    state += " mtime=" +
             std::to_string(fs::last_write_time(entry.path()).time_since_epoch().count());
    tree[relative] = state;
  }
  return tree;
}

}  // namespace shellfit_test

namespace shellfit_test {

namespace {

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

void MakeDeviceRoot(const fs::path& root, const std::string& extraIni) {
  WriteText(root / "device.ini",
            "[screen]\nwidth = 480\nheight = 272\nscroll = 13\n[kernel]\ntoolhelp = yes\n" +
                extraIni);
  WriteText(root / "registry.reg",
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_LOCAL_MACHINE\\Ident]\n\"Model\"=\"KTR 60\"\n\n"
            "[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\FlashDrv]\n"
            "\"Folder\"=\"Flash Disk\"\n");
  for (const char* folder : {"Flash Disk", "Storage Card", "Windows"}) {
    fs::create_directories(root / "fs" / folder);
  }
}

void Zip(const fs::path& archive, const fs::path& from, const std::vector<std::string>& names,
         const std::string& password) {
  fs::create_directories(archive.parent_path());
  std::string command = "cd " + Quote(from.string()) + " && TZ=UTC zip -q -r -X -P " +
                        Quote(password) + " " + Quote(fs::absolute(archive).string());
  for (const auto& name : names) command += " " + Quote(name);
  if (std::system(command.c_str()) != 0) throw std::runtime_error("zip failed: " + command);
}

void SetModTime(const fs::path& file, int64_t secondsSinceEpoch) {
  timespec times[2] = {{secondsSinceEpoch, 0}, {secondsSinceEpoch, 0}};
  utimensat(AT_FDCWD, file.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

std::size_t FirstEntryDataOffset(const fs::path& archive) {
  const std::string zip = ReadText(archive);
  auto le16 = [&](std::size_t at) {
    return static_cast<std::size_t>(static_cast<uint8_t>(zip[at]) |
                                    static_cast<uint8_t>(zip[at + 1]) << 8);
  };
  return 30 + le16(26) + le16(28);
}

fs::path PeFixture(const std::string& name) { return fs::path(FITKIT_PE_FIXTURES) / name; }

}  // namespace shellfit_test
