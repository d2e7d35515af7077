// What the fitkit command needs of its host beyond a device's services: a
// host file read as a device file, a scratch folder of its own, and another
// program run in its place. Declared for every host; host/linux/ implements
// it, as the fitkit command is built on Linux alone.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace host {

// The regular file `file`, open to be read (writes fail); null when it
// cannot be opened or is no regular file. Never waits on a named pipe.
std::unique_ptr<platform::File> OpenHostFileForReading(const std::filesystem::path& file);

// A new folder inside `parent`, named `prefix` and some letters, that no
// other process made; false when none could be made.
bool MakeScratchFolder(const std::filesystem::path& parent, const std::string& prefix,
                       std::filesystem::path* made);

// This program's own file (for the programs installed beside it); `argv0`
// when the host cannot tell.
std::filesystem::path ThisProgram(const char* argv0);

// Sets an environment variable of this process, for code that reads it later
// in the same process.
void SetVariable(const char* name, const char* value);

// Runs `program` with `arguments` (the first is its name) in place of this
// process, which ends there; returns only when it cannot be run.
void RunInstead(const std::filesystem::path& program, std::vector<std::string> arguments);

}  // namespace host
