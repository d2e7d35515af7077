// The host's processes as the device's process table: the programs whose
// executable lies below <root>/fs, ended with SIGKILL.
#pragma once

#include <filesystem>
#include <memory>

#include "platform/processes.h"

namespace host {

// `available` false stands for a device without the tool-help library: the
// table then cannot be listed.
std::unique_ptr<platform::ProcessTable> CreateHostProcessTable(const std::filesystem::path& root,
                                                               bool available);

}  // namespace host
