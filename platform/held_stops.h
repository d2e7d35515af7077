// Holding the requests to stop the program (Ctrl-C, SIGTERM, a closed
// terminal) while the device is being changed: as the disabled Cancel button
// holds the user, they wait until the change is done. The program's main
// installs what holds them; without it holding does nothing.
#pragma once

namespace platform {

struct StopHolding {
  void (*hold)() = nullptr;
  void (*release)() = nullptr;
};

// Installed once by the program's main, before the dialog.
void InstallStopHolding(StopHolding holding);

// From construction to destruction a stop request waits; nestable.
class HeldStops {
 public:
  HeldStops();
  ~HeldStops();
  HeldStops(const HeldStops&) = delete;
  HeldStops& operator=(const HeldStops&) = delete;
};

}  // namespace platform
