// What both programs' main does: "--help" and "--version" (those exact single
// words only; every other command line goes to the program as it is), the
// outcome report when FITKIT_REPORT names a file, and the run on the device.
#pragma once

#include <string>

namespace report {

struct ProgramInfo {
  const char* name;   // "shellfit"
  const char* usage;  // printed by --help
};

int ProgramMain(const ProgramInfo& program, int argc, char** argv,
                int (*entry)(const std::u16string& commandLine));

// The kit's version, "0.12.0".
const char* KitVersion();

}  // namespace report
