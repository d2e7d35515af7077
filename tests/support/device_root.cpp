#include "tests/support/device_root.h"

#include "tests/support/host_files.h"

namespace test_support {

const char kStockRegistry[] =
    "Windows Registry Editor Version 5.00\n\n"
    "[HKEY_LOCAL_MACHINE\\Ident]\n\"Model\"=\"KTR 60\"\n\n"
    "[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\FlashDrv]\n"
    "\"Folder\"=\"Flash Disk\"\n";

const char kStockDeviceIni[] =
    "[screen]\nwidth = 480\nheight = 272\nscroll = 13\n[kernel]\ntoolhelp = yes\n";

namespace {

void MakeFolders(const std::filesystem::path& root) {
  for (const char* folder : {"Flash Disk", "Storage Card", "Windows"}) {
    std::filesystem::create_directories(root / "fs" / folder);
  }
}

}  // namespace

// The empty device.ini that makes the folder a device root (stock hardware).
DeviceRoot::DeviceRoot() {
  std::filesystem::create_directory(root() / "fs");
  WriteText(root() / "device.ini", "");
}

std::filesystem::path DeviceRoot::fs(const std::filesystem::path& relative) const {
  return relative.empty() ? root() / "fs" : root() / "fs" / relative;
}

void DeviceRoot::Write(const std::filesystem::path& relative, const std::string& content) const {
  WriteText(root() / relative, content);
}

void DeviceRoot::MakeStockFolders() const { MakeFolders(root()); }

void MakeStockDevice(const std::filesystem::path& root, const std::string& extraIni) {
  WriteText(root / "device.ini", kStockDeviceIni + extraIni);
  WriteText(root / "registry.reg", kStockRegistry);
  MakeFolders(root);
}

void AskForInPlaceInstall(const std::filesystem::path& root) {
  WriteText(root / "registry.reg",
            ReadText(root / "registry.reg") +
                "\n[HKEY_LOCAL_MACHINE\\Software\\fitkit]\n\"ShellInstall\"=\"in-place\"\n");
}

}  // namespace test_support
