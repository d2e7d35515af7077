#include "device/device_config.h"
#include "device/dialog_host_choice.h"

namespace device {

ui::ScreenMetrics DialogScreen(const DeviceContext& context) {
  ui::ScreenMetrics screen;
  if (context.config != nullptr) {
    screen.width = context.config->ScreenWidth();
    screen.height = context.config->ScreenHeight();
    screen.scroll = context.config->ScrollHeight();
  }
  return screen;
}

}  // namespace device
