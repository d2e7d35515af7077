// Names of the device root's staged files: ".<name>.new-<pid>", the new
// content of <name> while the process <pid> writes it.
#pragma once

#include <string>

namespace host {

std::string StagedName(const char* name, long pid);

// The process that made the staged file `entry`; 0 when `entry` is none.
long StagedOwner(const char* entry);

}  // namespace host
