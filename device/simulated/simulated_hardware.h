// The device's hardware as a device root simulates it: the flash update and
// power drivers, and the kernel's services, journaling every call to
// <root>/journal.log.
#pragma once

#include <memory>

#include "device/device_context.h"

namespace platform {
class DriverHost;
class Kernel;
}  // namespace platform

namespace device {

std::unique_ptr<platform::DriverHost> CreateSimulatedDrivers(const DeviceContext& context);
std::unique_ptr<platform::Kernel> CreateSimulatedKernel(const DeviceContext& context);

}  // namespace device
