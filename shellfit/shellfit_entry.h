// The shell updater's entry, run by main() on the device.
#pragma once

#include <string>

namespace shellfit {

// The command line is the program's arguments joined with one blank.
int ShellfitMain(const std::u16string& commandLine);

}  // namespace shellfit
