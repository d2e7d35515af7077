// A device root in a fresh temporary folder, removed again afterwards.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace platform_test {

class TempDeviceRoot {
 public:
  TempDeviceRoot() {
    std::string pattern = (std::filesystem::temp_directory_path() / "fitkit-dev-XXXXXX").string();
    root_ = mkdtemp(pattern.data());
    std::filesystem::create_directory(root_ / "fs");
  }
  ~TempDeviceRoot() {
    std::error_code error;
    // Read-only files inside must not stop the clean-up.
    std::filesystem::remove_all(root_, error);
  }
  TempDeviceRoot(const TempDeviceRoot&) = delete;
  TempDeviceRoot& operator=(const TempDeviceRoot&) = delete;

  const std::filesystem::path& root() const { return root_; }
  std::filesystem::path fs() const { return root_ / "fs"; }

  // Writes `content` to `relative` under the root, creating folders.
  void Write(const std::filesystem::path& relative, const std::string& content) const {
    const auto path = root_ / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
  }

 private:
  std::filesystem::path root_;
};

}  // namespace platform_test
