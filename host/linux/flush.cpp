// Putting what was written on the medium: fsync for one file or folder,
// syncfs for everything at once.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "host/linux/file_system.h"
#include "host/linux/unique_fd.h"

namespace host {

bool LinuxFileSystem::Flush(std::u16string_view path) {
  const auto where = paths_.Locate(path, LastLink::Follow, false);
  bool ok = false;
  if (where && (S_ISREG(where->info.st_mode) || S_ISDIR(where->info.st_mode))) {
    // A folder's entries reach the medium with an fsync of the folder itself.
    const int flags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW |
                      (S_ISDIR(where->info.st_mode) ? O_DIRECTORY : O_NONBLOCK);
    const UniqueFd fd(openat(where->folder->get(), where->name.c_str(), flags));
    ok = fd.valid() && fsync(fd.get()) == 0;
  }
  return ok;
}

namespace {

// Each syncfs writes back what came since the one before; the pause keeps
// the journal's commits from following each other without a break.
constexpr auto kPause = std::chrono::milliseconds(20);

class SyncfsLoop : public platform::BackgroundFlush {
 public:
  explicit SyncfsLoop(UniqueFd volume) : volume_(std::move(volume)), thread_([this] { Run(); }) {}
  ~SyncfsLoop() override {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    stopped_.notify_all();
    thread_.join();
  }

 private:
  void Run() {
    std::unique_lock lock(mutex_);
    while (!stopped_.wait_for(lock, kPause, [this] { return stop_; })) {
      lock.unlock();
      syncfs(volume_.get());
      lock.lock();
    }
  }

  UniqueFd volume_;
  std::mutex mutex_;
  std::condition_variable stopped_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace

// The volume that holds `path`: a folder below fs/ (the flash drive) may be
// a mount of its own, and syncing fs/ would leave its writes in the cache.
UniqueFd LinuxFileSystem::OpenVolumeOf(std::u16string_view path) {
  const auto where = paths_.Locate(path, LastLink::Follow, false);
  if (!where) return UniqueFd(-1);
  const int flags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
  return UniqueFd(openat(where->folder->get(), where->name.c_str(), flags));
}

bool LinuxFileSystem::FlushVolume(std::u16string_view path) {
  const UniqueFd fd = OpenVolumeOf(path);
  return fd.valid() && syncfs(fd.get()) == 0;
}

std::unique_ptr<platform::BackgroundFlush> LinuxFileSystem::FlushVolumeInBackground(
    std::u16string_view path) {
  UniqueFd fd = OpenVolumeOf(path);
  if (!fd.valid()) return nullptr;
  return std::make_unique<SyncfsLoop>(std::move(fd));
}

}  // namespace host
