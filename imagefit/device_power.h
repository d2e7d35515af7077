// External power, the power driver "PWR1:", the object-store division and the
// restart: the platform steps around the flash programming.
#pragma once

#include <cstdint>

#include "platform/flash_protocol.h"

namespace imagefit {

using namespace platform::protocol;

inline constexpr uint32_t UPDATE_STORE_PAGES = 32;
inline constexpr uint32_t kPowerStatusLength = 56;

// AC line online (1) or undetermined (255).
bool IsOnExternalPower();

// after = false: the update begins; true: it has ended.
bool NotifyPowerDriver(bool after);

bool GetMemoryDivision(uint32_t* storePages, uint32_t* programPages, uint32_t* pageSize);

// 0 when applied at once; the platform's other answers, or -1 when the
// function is missing, are failures.
int32_t SetMemoryDivision(uint32_t storePages);

// Comes back only when the restart does not take place.
bool RebootDevice();

}  // namespace imagefit
