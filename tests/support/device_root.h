// Device roots on disk for the tests: a temporary root with its fs/ folder,
// and the stock device the programs' tests run on.
#pragma once

#include <filesystem>
#include <string>

#include "tests/support/temp_folder.h"

namespace test_support {

// The stock registry: the model "KTR 60" and the flash drive "Flash Disk".
extern const char kStockRegistry[];
// The stock screen (480x272, scroll bars 13) and the process snapshot.
extern const char kStockDeviceIni[];

class DeviceRoot {
 public:
  DeviceRoot();  // an empty root with its fs/ folder
  const std::filesystem::path& root() const { return folder_.path(); }
  // A host path below <root>/fs.
  std::filesystem::path fs(const std::filesystem::path& relative = {}) const;

  // Writes `content` to `relative` under the root, creating folders.
  void Write(const std::filesystem::path& relative, const std::string& content) const;
  void WriteDeviceIni(const std::string& text) const { Write("device.ini", text); }
  void WriteRegistry(const std::string& text) const { Write("registry.reg", text); }
  // \Flash Disk, \Storage Card and \Windows.
  void MakeStockFolders() const;

 private:
  TempFolder folder_{"fitkit-dev"};
};

// Makes `root` the stock device: kStockDeviceIni plus `extraIni` lines,
// kStockRegistry and the stock folders.
void MakeStockDevice(const std::filesystem::path& root, const std::string& extraIni = "");
// Adds to the device's registry the setting that keeps the shell updater's
// in-place order (old files deleted, then the new ones unpacked).
void AskForInPlaceInstall(const std::filesystem::path& root);

}  // namespace test_support
