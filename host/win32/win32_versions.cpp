#include "host/win32/win32_versions.h"

#include <string>

// Last: its macros would replace the platform's constants of the same names.
#include <windows.h>

namespace host {
namespace {

class Win32VersionResources : public platform::VersionResources {
 public:
  explicit Win32VersionResources(const Win32Paths& paths) : paths_(paths) {}

  std::optional<std::vector<uint8_t>> ReadVersionBlock(std::u16string_view path) override {
    std::optional<std::vector<uint8_t>> block;
    if (const auto host = paths_.ResolveExisting(path)) block = Read(*host);
    return block;
  }

 private:
  static std::optional<std::vector<uint8_t>> Read(const std::wstring& host) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(host.c_str(), &ignored);
    if (size == 0) return std::nullopt;
    std::vector<uint8_t> data(size);
    if (GetFileVersionInfoW(host.c_str(), 0, size, data.data()) == 0) return std::nullopt;
    // Windows appends room of its own after the block; the block's first
    // WORD is its length, which is what the resource holds.
    const std::size_t length = data.size() >= 2 ? std::size_t(data[0] | data[1] << 8) : 0;
    if (length >= 6 && length <= data.size()) data.resize(length);
    return data;
  }

  const Win32Paths& paths_;
};

}  // namespace

std::unique_ptr<platform::VersionResources> CreateWin32VersionResources(const Win32Paths& paths) {
  return std::make_unique<Win32VersionResources>(paths);
}

}  // namespace host
