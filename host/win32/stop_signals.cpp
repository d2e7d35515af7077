#include "host/stop_signals.h"

namespace host {

void WatchStopSignals(const char*, std::function<void(int, bool)>) {}

const char* StopSignalName(int) { return "signal"; }

const bool kClosingLineOnStderr = false;

}  // namespace host
