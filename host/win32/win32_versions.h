// Version resources through GetFileVersionInfoSizeW and GetFileVersionInfoW;
// the values inside are read by the portable VerQueryValue
// (platform/version_query.h).
#pragma once

#include <memory>

#include "host/win32/win32_paths.h"
#include "platform/version_resources.h"

namespace host {

std::unique_ptr<platform::VersionResources> CreateWin32VersionResources(const Win32Paths& paths);

}  // namespace host
