// What the services of one device root are built from.
#pragma once

#include <filesystem>

namespace platform {

class DeviceConfig;
class FileSystem;

struct DeviceContext {
  std::filesystem::path root;
  const DeviceConfig* config = nullptr;
  FileSystem* files = nullptr;  // the device's file system, for services that read files
};

}  // namespace platform
