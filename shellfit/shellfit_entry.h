// The shell updater's entry, run by main() on the device.
#pragma once

#include <string>

#include "platform/dialog.h"

namespace shellfit {

// The command line is the program's arguments joined with one blank.
int ShellfitMain(const std::u16string& commandLine);

// What the entry does before the dialog: the program-wide values, the
// recovery of an interrupted install, the command line; false for an early
// exit. Then what the dialog shows before START.
bool PrepareUpdate(const std::u16string& commandLine);
void FillUpdateFields(platform::Dialog& dialog);

}  // namespace shellfit
