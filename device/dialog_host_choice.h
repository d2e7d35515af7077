// The choice of dialog host: FITKIT_UI=gui or console; without it a window
// when an X display can be opened, else the console.
#pragma once

#include <memory>

#include "device/device_context.h"
#include "ui/dialog_state.h"

namespace platform {
class DialogHost;
}  // namespace platform

namespace device {

std::unique_ptr<platform::DialogHost> CreateDialogHost(const DeviceContext& context);

// The screen device.ini describes; the defaults without one.
ui::ScreenMetrics DialogScreen(const DeviceContext& context);

}  // namespace device
