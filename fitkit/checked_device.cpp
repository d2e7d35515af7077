#include "fitkit/checked_device.h"

#include <fstream>

#include "host/command_host.h"
#include "platform/text.h"

namespace fitkit {
namespace fs = std::filesystem;
namespace {

// Where an update that lies outside the device is shown to it.
constexpr char16_t kShownFolder[] = u"\\.fitkit-check\\";

std::string RegistryString(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

bool MakeScratchRoot(const std::string& model, fs::path* root) {
  std::error_code error;
  const fs::path temp = fs::temp_directory_path(error);
  if (error || !host::MakeScratchFolder(temp, "fitkit-check-", root)) return false;
  fs::create_directories(*root / "fs" / "Flash Disk", error);
  std::ofstream(*root / "device.ini") << "; a scratch device of fitkit check\n";
  std::ofstream registry(*root / "registry.reg");
  registry << "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Ident]\n\"Model\"=\""
           << RegistryString(model)
           << "\"\n\n[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\FlashDrv]\n"
              "\"Folder\"=\"Flash Disk\"\n";
  return !error && registry.good();
}

}  // namespace

bool IsDeviceRoot(const fs::path& root) {
  std::error_code error;
  return fs::is_regular_file(root / "device.ini", error);
}

std::u16string DevicePathIn(const fs::path& root, const fs::path& hostPath) {
  std::error_code error;
  const fs::path files = fs::weakly_canonical(root / "fs", error);
  const fs::path path = fs::weakly_canonical(hostPath, error);
  if (error) return {};
  const fs::path relative = path.lexically_relative(files);
  if (relative.empty() || *relative.begin() == "..") return {};
  std::u16string device;
  for (const fs::path& part : relative) {
    if (part == ".") continue;
    device.append(u"\\").append(platform::FromUtf8(part.string()));
  }
  return device.empty() ? u"\\" : device;
}

std::unique_ptr<CheckedDevice> CheckedDevice::Open(const fs::path& root, const std::string& model,
                                                   std::string* error) {
  std::unique_ptr<CheckedDevice> device(new CheckedDevice);
  fs::path opened = root;
  if (root.empty()) {
    if (!MakeScratchRoot(model, &device->scratchRoot_)) {
      *error = "cannot make a scratch device in the temporary folder";
      return nullptr;
    }
    device->scratch_ = true;
    opened = device->scratchRoot_;
  } else if (!IsDeviceRoot(root)) {
    *error = root.string() + " is no device root (it holds no device.ini)";
    return nullptr;
  }
  device->device_ = device::Device::Open(fs::absolute(opened));
  return device;
}

CheckedDevice::~CheckedDevice() {
  kernel_.reset();
  drivers_.reset();
  overlay_.reset();
  device_.reset();
  if (!scratchRoot_.empty()) {
    std::error_code ignored;
    fs::remove_all(scratchRoot_, ignored);
  }
}

std::u16string CheckedDevice::ShowToDevice(const fs::path& hostPath) {
  const std::u16string own = DevicePathIn(context().root, hostPath);
  if (!own.empty()) return own;
  fs::path host = fs::absolute(hostPath).lexically_normal();
  if (host.filename().empty()) host = host.parent_path();  // a folder named with a slash
  std::u16string shown = kShownFolder + platform::FromUtf8(host.filename().string());
  overlay_ = std::make_unique<OverlayFileSystem>(*device_->environment().files, shown, host);
  return shown;
}

std::string CheckedDevice::InHostWords(std::u16string_view text) const {
  std::u16string words(text);
  const std::u16string_view folder = kShownFolder;
  for (auto at = words.find(folder); at != std::u16string::npos; at = words.find(folder, at)) {
    words.erase(at, folder.size());
  }
  return platform::ToUtf8(words);
}

platform::Environment CheckedDevice::environment() {
  platform::Environment env = device_->environment();
  if (overlay_) env.files = overlay_.get();
  if (!drivers_) drivers_ = std::make_unique<QuietDrivers>(*context().config);
  if (!kernel_) kernel_ = std::make_unique<QuietKernel>(*context().config);
  env.drivers = drivers_.get();
  env.kernel = kernel_.get();
  return env;
}

}  // namespace fitkit
