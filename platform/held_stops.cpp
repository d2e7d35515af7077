#include "platform/held_stops.h"

namespace platform {
namespace {

StopHolding g_holding;

}  // namespace

void InstallStopHolding(StopHolding holding) { g_holding = holding; }

HeldStops::HeldStops() {
  if (g_holding.hold != nullptr) g_holding.hold();
}

HeldStops::~HeldStops() {
  if (g_holding.release != nullptr) g_holding.release();
}

}  // namespace platform
