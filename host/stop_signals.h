// The stop signals of a program run on the host: SIGINT, SIGTERM and SIGHUP
// are taken by a thread of their own. While the device is being changed
// (platform::HeldStops) they wait, and end the program when the change is
// done (`held` true); at any other time they end it at once, as they always
// did. Either way `interrupted` runs first (the report), then whatever
// handler the dialog installed (the terminal view gives the screen back).
// SIGPIPE is ignored: a closed output stops the output, never the update.
// Declared once for every host; the Windows build's console has no such
// signals to hold.
#pragma once

#include <functional>

namespace host {

// Call first in main, before any other thread exists.
void WatchStopSignals(const char* program, std::function<void(int signal, bool held)> interrupted);

// "SIGTERM" and the like.
const char* StopSignalName(int signal);

// Whether the program's closing line goes to stderr: only where stderr is
// the program's own (the Windows programs have no console).
extern const bool kClosingLineOnStderr;

}  // namespace host
