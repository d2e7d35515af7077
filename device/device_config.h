// device.ini: the simulated hardware of a device root. Every key is optional;
// the typed getters fall back to the values a stock device has.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace device {

class DeviceConfig {
 public:
  // A missing file gives a configuration of defaults, and so does one that is
  // no regular file or is larger than 1 MB (reported on stderr). Lines that cannot be
  // read are reported on stderr as "<file>:<line>: ..." and skipped.
  static DeviceConfig Load(const std::filesystem::path& file);
  static DeviceConfig Parse(std::string_view text, const std::string& fileName);

  // Sections and keys match case-insensitively; values are trimmed and have
  // their ";" comment removed. None when the key is absent.
  std::optional<std::string> Get(std::string_view section, std::string_view key) const;
  bool HasSection(std::string_view section) const;

  std::string GetString(std::string_view section, std::string_view key,
                        std::string_view fallback) const;
  // Decimal or 0x-prefixed hexadecimal; the fallback when absent or unreadable.
  int64_t GetInt(std::string_view section, std::string_view key, int64_t fallback) const;
  // yes/no, true/false, on/off, 1/0.
  bool GetBool(std::string_view section, std::string_view key, bool fallback) const;

  // Pixels up to 32767; a value outside 1.. (0.. for scroll) falls back too.
  int ScreenWidth() const;           // [screen] width, 480
  int ScreenHeight() const;          // [screen] height, 272
  int ScrollHeight() const;          // [screen] scroll, 13
  int AcLineStatus() const;          // [power] ac_line, 1
  int BoardRevision() const;         // [board] revision, 3
  uint32_t StorePages() const;       // [memory] store_pages, 2048
  uint32_t ProgramPages() const;     // [memory] program_pages, 6144
  uint32_t PageSize() const;         // [memory] page_size, 4096
  uint32_t SetMemoryResult() const;  // [memory] set_result, 0
  // The kind of driver ("flash", "power") under that device name ("SCD1"),
  // none when the device has no such driver. Without a [drivers] section
  // the stock drivers SCD1 = flash and PWR1 = power exist; with one, only
  // the drivers it lists with a non-empty kind.
  std::optional<std::string> DriverKind(std::string_view name) const;
  // [drivers] fail: control codes the drivers answer with failure.
  std::vector<uint32_t> FailingCodes() const;
  bool HasCoreDll() const;           // [kernel] coredll, yes
  bool HasToolhelp() const;          // [kernel] toolhelp, yes
  std::string AnsiCodePage() const;  // [locale] acp, CP1252
  uint64_t FsCapacity() const;       // [fs] capacity, 0 = no limit

 private:
  static constexpr int64_t kLargestScreen = 32767;
  int ScreenDimension(std::string_view key, int fallback, int least) const;

  // Keys are "section\nkey", lower-cased.
  std::map<std::string, std::string> values_;
  std::map<std::string, bool> sections_;
};

}  // namespace device
