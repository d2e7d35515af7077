// The console's lines, written as they come while they come slowly; a burst
// (a status line and a progress line per file unpacked, thousands a second)
// is written kLinePace after it began, in one write.
#pragma once

#include <chrono>
#include <condition_variable>
#include <iosfwd>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace ui {

inline constexpr std::chrono::milliseconds kLinePace{10};

class PacedLines {
 public:
  explicit PacedLines(std::ostream& out) : out_(out) {}
  // Writes what is still queued.
  ~PacedLines();
  PacedLines(const PacedLines&) = delete;
  PacedLines& operator=(const PacedLines&) = delete;

  // One or more whole lines, each with its '\n'.
  void Add(std::string_view lines);
  // Writes what is queued now: before anything else is written to the
  // stream, or input is read.
  void Drain();

 private:
  // With the lock held.
  void WriteQueued();
  void Work();

  std::ostream& out_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::string queued_;
  std::chrono::steady_clock::time_point lastWrite_{};
  bool stopping_ = false;
  std::thread thread_;  // started by the first burst
};

}  // namespace ui
