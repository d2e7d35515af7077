// The drive's capacity on Linux: the shared bookkeeping, measured by walking
// fs/ with descriptors (capacity.cpp).
#pragma once

#include "host/common/drive_capacity.h"

namespace platform {

using FsCapacity = DriveCapacity;

}  // namespace platform
