#include "ui/console/paced_lines.h"

#include <ostream>

namespace ui {

PacedLines::~PacedLines() {
  if (thread_.joinable()) {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }
  Drain();
}

void PacedLines::Add(std::string_view lines) {
  std::unique_lock lock(mutex_);
  if (queued_.empty() && std::chrono::steady_clock::now() - lastWrite_ >= kLinePace) {
    queued_ = lines;
    WriteQueued();
    return;
  }
  const bool first = queued_.empty();
  queued_ += lines;
  if (!thread_.joinable()) thread_ = std::thread([this] { Work(); });
  lock.unlock();
  if (first) wake_.notify_one();
}

void PacedLines::Drain() {
  std::lock_guard lock(mutex_);
  if (!queued_.empty()) WriteQueued();
}

void PacedLines::WriteQueued() {
  out_ << queued_;
  out_.flush();
  queued_.clear();
  lastWrite_ = std::chrono::steady_clock::now();
}

void PacedLines::Work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !queued_.empty(); });
    wake_.wait_until(lock, lastWrite_ + kLinePace, [this] { return stopping_; });
    if (!queued_.empty()) WriteQueued();
    if (stopping_) return;
  }
}

}  // namespace ui
