// Device file times (100 ns since 1601 UTC) against host times (Unix epoch).
#pragma once

#include <ctime>

#include "platform/file_system.h"

namespace host {

// 100-nanosecond intervals between 1601-01-01 and 1970-01-01.
inline constexpr int64_t kUnixEpochAsFileTime = 116444736000000000;

platform::FileTime FileTimeFromTimespec(const timespec& time);
// Times before 1970 become negative seconds, as the host allows.
timespec FileTimeToTimespec(const platform::FileTime& time);

}  // namespace host
