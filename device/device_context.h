// What the services of one device root are built from.
#pragma once

#include <filesystem>

namespace platform {
class FileSystem;
}  // namespace platform

namespace device {

class DeviceConfig;

struct DeviceContext {
  std::filesystem::path root;
  const DeviceConfig* config = nullptr;
  platform::FileSystem* files = nullptr;  // the device's file system, for services that read files
};

}  // namespace device
