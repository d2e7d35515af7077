// The device's process table on Windows: the tool-help snapshot, limited to
// the programs whose executable lies under <root>\fs, ended with
// TerminateProcess. Nothing outside the device is listed or ended.
#pragma once

#include <filesystem>
#include <memory>

#include "platform/processes.h"

namespace host {

// `available` false stands for a device without the tool-help library.
std::unique_ptr<platform::ProcessTable> CreateWin32ProcessTable(const std::filesystem::path& root,
                                                                bool available);

}  // namespace host
