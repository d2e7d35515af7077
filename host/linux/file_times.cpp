#include "host/linux/file_times.h"

namespace host {
namespace {
constexpr int64_t kTicksPerSecond = 10000000;
}  // namespace

platform::FileTime FileTimeFromTimespec(const timespec& time) {
  // Some host file systems (tmpfs) keep times far beyond what a file time
  // can hold; those stay at its ends instead of overflowing.
  constexpr int64_t kLastSecond = (INT64_MAX - kUnixEpochAsFileTime) / kTicksPerSecond - 1;
  constexpr int64_t kFirstSecond = -kUnixEpochAsFileTime / kTicksPerSecond - 1;
  const int64_t seconds = static_cast<int64_t>(time.tv_sec);
  if (seconds > kLastSecond) return platform::FileTime{static_cast<uint64_t>(INT64_MAX)};
  if (seconds < kFirstSecond) return platform::FileTime{0};
  const int64_t ticks = seconds * kTicksPerSecond + time.tv_nsec / 100 + kUnixEpochAsFileTime;
  return platform::FileTime{ticks < 0 ? 0 : static_cast<uint64_t>(ticks)};
}

timespec FileTimeToTimespec(const platform::FileTime& time) {
  const int64_t sinceEpoch = static_cast<int64_t>(time.value) - kUnixEpochAsFileTime;
  int64_t seconds = sinceEpoch / kTicksPerSecond;
  int64_t ticks = sinceEpoch % kTicksPerSecond;
  if (ticks < 0) {
    ticks += kTicksPerSecond;
    --seconds;
  }
  timespec out{};
  out.tv_sec = static_cast<time_t>(seconds);
  out.tv_nsec = static_cast<long>(ticks * 100);
  return out;
}

}  // namespace host
