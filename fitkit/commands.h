// The fitkit commands; each takes the words after its name and returns the
// exit code (exit_codes.h).
#pragma once

#include <string>
#include <vector>

namespace fitkit {

using Words = std::vector<std::string>;

int RunCheck(const Words& words);
int RunInspect(const Words& words);
int RunManifest(const Words& words);
int RunRehearse(const Words& words);
int RunDevice(const Words& words, const char* self);

// "fitkit <command>: <message>" and the hint to --help, on stderr.
int UsageError(const std::string& command, const std::string& message);

}  // namespace fitkit
