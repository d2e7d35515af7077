// The OS image updater's entry, run by main() on the device.
#pragma once

#include <string>

namespace imagefit {

// The command line is the program's arguments joined with one blank.
int ImagefitMain(const std::u16string& commandLine);

}  // namespace imagefit
