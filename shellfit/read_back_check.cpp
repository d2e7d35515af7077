#include "shellfit/read_back_check.h"

#include <utility>

#include "platform/file_system.h"
#include "shellfit/file_crc.h"

namespace shellfit {
namespace {

// Checks queued before the thread is woken.
constexpr std::size_t kBatch = 16;

ReadBack ReadBackThrough(platform::FileSystem* files, const std::u16string& path) {
  ReadBack back;
  back.read = files != nullptr ? GetFileCrcIn(*files, path, &back.crc, &back.size)
                               : GetFileCrc(path, &back.crc, &back.size);
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
  std::unique_lock lock(mutex_);
  queued_.push_back(std::move(path));
  const bool wake = thread_.joinable() && queued_.size() >= kBatch;
  lock.unlock();
  if (wake) work_.notify_one();
}

std::optional<ReadBack> ReadBackCheck::Next(bool wait) {
  if (!thread_.joinable()) {
    if (queued_.empty()) return std::nullopt;
    const ReadBack back = ReadBackThrough(nullptr, queued_.front());
    queued_.pop_front();
    return back;
  }
  std::unique_lock lock(mutex_);
  if (results_.empty() && wait) {
    wanted_ = true;
    work_.notify_one();
    done_.wait(lock, [this] { return !results_.empty(); });
  }
  if (results_.empty()) return std::nullopt;
  const ReadBack back = results_.front();
  results_.pop_front();
  return back;
}

void ReadBackCheck::Work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    work_.wait(lock, [this] {
      return stopping_ || queued_.size() >= kBatch || (wanted_ && !queued_.empty());
    });
    if (stopping_) return;
    while (!queued_.empty()) {
      const std::u16string path = std::move(queued_.front());
      queued_.pop_front();
      lock.unlock();
      const ReadBack back = ReadBackThrough(reader_.get(), path);
      lock.lock();
      results_.push_back(back);
      if (wanted_) {
        wanted_ = false;
        done_.notify_one();
      }
    }
  }
}

}  // namespace shellfit
