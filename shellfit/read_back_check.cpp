#include "shellfit/read_back_check.h"

#include <utility>

#include "platform/file_system.h"
#include "shellfit/file_crc.h"

namespace shellfit {
namespace {

// Read-backs handed to the thread at a time.
constexpr std::size_t kBatch = 16;

ReadBack ReadBackHere(const std::u16string& path) {
  ReadBack back;
  back.read = GetFileCrc(path, &back.crc, &back.size);
  return back;
}

// Through the thread's own file system, the file left open in `file`.
ReadBack ReadBackThrough(platform::FileSystem& files, const std::u16string& path,
                         std::unique_ptr<platform::File>* file) {
  ReadBack back;
  *file = files.Open(path, platform::AccessRead, platform::Disposition::OpenExisting);
  back.read = *file != nullptr && GetFileCrcOf(**file, &back.crc, &back.size);
  return back;
}

}  // namespace

ReadBackCheck::ReadBackCheck(std::unique_ptr<platform::FileSystem> reader)
    : reader_(std::move(reader)) {
  if (reader_ != nullptr) thread_ = std::thread([this] { Work(); });
}

ReadBackCheck::~ReadBackCheck() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  work_.notify_one();
  thread_.join();
}

void ReadBackCheck::Start(std::u16string path) {
  kept_.push_back(std::move(path));
  if (thread_.joinable() && kept_.size() >= kBatch) HandOver();
}

void ReadBackCheck::HandOver() {
  {
    std::lock_guard lock(mutex_);
    for (std::u16string& path : kept_) queued_.push_back(std::move(path));
  }
  kept_.clear();
  work_.notify_one();
}

std::optional<ReadBack> ReadBackCheck::Next(bool wait) {
  if (!thread_.joinable()) {
    if (taken_ == kept_.size()) return std::nullopt;
    const ReadBack back = ReadBackHere(kept_[taken_]);
    // Read in order: the list is emptied once all are.
    if (++taken_ == kept_.size()) {
      kept_.clear();
      taken_ = 0;
    }
    return back;
  }
  // Most calls find nothing new and take no lock.
  if (!wait && finished_.load(std::memory_order_acquire) == taken_) return std::nullopt;
  if (wait && !kept_.empty()) HandOver();
  std::unique_lock lock(mutex_);
  if (results_.empty() && wait) {
    wanted_ = true;
    done_.wait(lock, [this] { return !results_.empty(); });
  }
  if (results_.empty()) return std::nullopt;
  const ReadBack back = results_.front();
  results_.pop_front();
  ++taken_;
  return back;
}

void ReadBackCheck::Work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    work_.wait(lock, [this] { return stopping_ || !queued_.empty(); });
    if (stopping_) return;
    while (!queued_.empty()) {
      const std::u16string path = std::move(queued_.front());
      queued_.pop_front();
      lock.unlock();
      std::unique_ptr<platform::File> file;
      const ReadBack back = ReadBackThrough(*reader_, path, &file);
      lock.lock();
      results_.push_back(back);
      finished_.fetch_add(1, std::memory_order_release);
      if (wanted_) {
        wanted_ = false;
        done_.notify_one();
      }
      if (file == nullptr) continue;
      // Once its result is out, the checked file starts on its way to the
      // medium, so that the barrier after the last entry waits for little;
      // a writer waiting for the result does not wait for this too.
      lock.unlock();
      file->StartFlush();
      file.reset();
      lock.lock();
    }
  }
}

}  // namespace shellfit
