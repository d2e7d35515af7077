// The device's hardware as a device root simulates it: the flash update and
// power drivers, and the kernel's services, journaling every call to
// <root>/journal.log, and the secure store that keeps the rollback floor.
#pragma once

#include <memory>

#include "device/device_context.h"

namespace platform {
class DriverHost;
class Kernel;
class SecurityFloor;
}  // namespace platform

namespace device {

std::unique_ptr<platform::DriverHost> CreateSimulatedDrivers(const DeviceContext& context);
std::unique_ptr<platform::Kernel> CreateSimulatedKernel(const DeviceContext& context);
std::unique_ptr<platform::SecurityFloor> CreateSimulatedSecurityFloor(const DeviceContext& context);

}  // namespace device
