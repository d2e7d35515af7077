// Opening a host file by its std::filesystem::path with stdio: the path's own
// characters on every host (wide ones on Windows, where fopen would take the
// ANSI code page).
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

namespace platform {

inline std::FILE* OpenHostFile(const std::filesystem::path& file, const char* mode) {
#ifdef _WIN32
  const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
  return _wfopen(file.c_str(), wideMode.c_str());
#else
  return std::fopen(file.c_str(), mode);
#endif
}

// The path as UTF-8 text, for messages.
inline std::string HostPathText(const std::filesystem::path& file) {
  const std::u8string text = file.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace platform
