// A fresh host folder for one test, removed afterwards with everything in it
// (read-only parts included).
#pragma once

#include <filesystem>
#include <string>

namespace test_support {

class TempFolder {
 public:
  explicit TempFolder(const std::string& prefix = "fitkit-test");
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace test_support
