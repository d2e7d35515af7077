// Reading written files back for their CRC-32 and size on a thread of its
// own, while later entries are written.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace platform {
class FileSystem;
}

namespace shellfit {

// What reading a file back gave: `read` false when it could not be opened
// or read (a folder, a file that is not there); then `crc` and `size` are 0.
struct ReadBack {
  bool read = false;
  uint32_t crc = 0;
  uint32_t size = 0;
};

class ReadBackCheck {
 public:
  // `reader` (FileSystem::ReaderForAnotherThread) reads on a thread of its
  // own; without one, Next reads through platform::Files() itself.
  explicit ReadBackCheck(std::unique_ptr<platform::FileSystem> reader);
  ~ReadBackCheck();
  ReadBackCheck(const ReadBackCheck&) = delete;
  ReadBackCheck& operator=(const ReadBackCheck&) = delete;

  // Queues reading `path` back. The thread is handed a few at a time, or
  // what there is when Next waits: handing over every small file on its own
  // would cost what reading it does.
  void Start(std::u16string path);
  // True when the checks run on a thread of their own.
  bool OnThread() const { return thread_.joinable(); }
  // The result of the oldest check not yet taken, in the order of Start;
  // none while it is still running, unless `wait`. Some check must be
  // outstanding.
  std::optional<ReadBack> Next(bool wait);

 private:
  // Hands the thread what Start kept.
  void HandOver();
  void Work();

  std::unique_ptr<platform::FileSystem> reader_;
  std::vector<std::u16string> kept_;  // started, not yet handed over
  std::size_t taken_ = 0;             // results Next gave
  std::atomic<std::size_t> finished_{0};
  std::mutex mutex_;
  std::condition_variable work_;  // the thread waits here
  std::condition_variable done_;  // Next waits here
  std::deque<std::u16string> queued_;
  std::deque<ReadBack> results_;
  bool wanted_ = false;  // Next waits for a result
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace shellfit
