// The choice of dialog host: FITKIT_UI=gui or console; without it a window
// when an X display can be opened, else the console.
#pragma once

#include <memory>

#include "device/device_context.h"

namespace platform {
class DialogHost;
}  // namespace platform

namespace device {

std::unique_ptr<platform::DialogHost> CreateDialogHost(const DeviceContext& context);

}  // namespace device
