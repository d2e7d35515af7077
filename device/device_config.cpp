#include "device/device_config.h"

#include <cctype>
#include <charconv>
#include <cstdio>

#include "host/config_file.h"

namespace device {
namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (auto& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

std::string_view StripComment(std::string_view line) {
  const auto semicolon = line.find(';');
  return semicolon == std::string_view::npos ? line : line.substr(0, semicolon);
}

std::string Join(std::string_view section, std::string_view key) {
  return Lower(section) + '\n' + Lower(key);
}

std::optional<int64_t> ParseInt(std::string_view text) {
  int base = 10;
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
    return std::nullopt;
  }
  return negative ? -value : value;
}

void Warn(const std::string& file, int line, const char* what) {
  std::fprintf(stderr, "%s:%d: %s\n", file.c_str(), line, what);
}

}  // namespace

DeviceConfig DeviceConfig::Load(const std::filesystem::path& file) {
  const auto text = host::ReadConfigFile(file, host::kDeviceIniLimit);
  if (!text) return DeviceConfig();
  return Parse(*text, file.string());
}

DeviceConfig DeviceConfig::Parse(std::string_view text, const std::string& fileName) {
  DeviceConfig config;
  std::string section;
  bool haveSection = false;
  int number = 0;
  while (!text.empty()) {
    const auto newline = text.find('\n');
    const std::string_view raw = text.substr(0, newline);
    text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
    ++number;
    const std::string_view line = Trim(StripComment(raw));
    if (line.empty()) continue;
    if (line.front() == '[') {
      if (line.back() != ']') {
        Warn(fileName, number, "section header without ']'");
        continue;
      }
      section = Lower(Trim(line.substr(1, line.size() - 2)));
      haveSection = true;
      config.sections_[section] = true;
      continue;
    }
    const auto equals = line.find('=');
    const std::string_view key =
        equals == std::string_view::npos ? "" : Trim(line.substr(0, equals));
    if (key.empty()) {
      Warn(fileName, number, "expected 'key = value'");
      continue;
    }
    if (!haveSection) {
      Warn(fileName, number, "key outside a [section]");
      continue;
    }
    config.values_[Join(section, key)] = std::string(Trim(line.substr(equals + 1)));
  }
  return config;
}

std::optional<std::string> DeviceConfig::Get(std::string_view section, std::string_view key) const {
  const auto found = values_.find(Join(section, key));
  if (found == values_.end()) return std::nullopt;
  return found->second;
}

bool DeviceConfig::HasSection(std::string_view section) const {
  return sections_.count(Lower(section)) != 0;
}

std::string DeviceConfig::GetString(std::string_view section, std::string_view key,
                                    std::string_view fallback) const {
  auto value = Get(section, key);
  return value ? *value : std::string(fallback);
}

int64_t DeviceConfig::GetInt(std::string_view section, std::string_view key,
                             int64_t fallback) const {
  const auto value = Get(section, key);
  if (!value) return fallback;
  const auto parsed = ParseInt(*value);
  return parsed ? *parsed : fallback;
}

bool DeviceConfig::GetBool(std::string_view section, std::string_view key, bool fallback) const {
  const auto value = Get(section, key);
  if (!value) return fallback;
  const std::string word = Lower(*value);
  if (word == "yes" || word == "true" || word == "on" || word == "1") return true;
  if (word == "no" || word == "false" || word == "off" || word == "0") return false;
  return fallback;
}

// A screen no window fits on (no pixels, or more than a window can span)
// is as unreadable as a word would be.
int DeviceConfig::ScreenDimension(std::string_view key, int fallback, int least) const {
  const int64_t value = GetInt("screen", key, fallback);
  return value < least || value > kLargestScreen ? fallback : static_cast<int>(value);
}

int DeviceConfig::ScreenWidth() const { return ScreenDimension("width", 480, 1); }
int DeviceConfig::ScreenHeight() const { return ScreenDimension("height", 272, 1); }
int DeviceConfig::ScrollHeight() const { return ScreenDimension("scroll", 13, 0); }
int DeviceConfig::AcLineStatus() const { return static_cast<int>(GetInt("power", "ac_line", 1)); }
int DeviceConfig::BoardRevision() const { return static_cast<int>(GetInt("board", "revision", 3)); }

uint32_t DeviceConfig::StorePages() const {
  return static_cast<uint32_t>(GetInt("memory", "store_pages", 2048));
}
uint32_t DeviceConfig::ProgramPages() const {
  return static_cast<uint32_t>(GetInt("memory", "program_pages", 6144));
}
uint32_t DeviceConfig::PageSize() const {
  return static_cast<uint32_t>(GetInt("memory", "page_size", 4096));
}
uint32_t DeviceConfig::SetMemoryResult() const {
  return static_cast<uint32_t>(GetInt("memory", "set_result", 0));
}

std::optional<std::string> DeviceConfig::DriverKind(std::string_view name) const {
  if (!HasSection("drivers")) {
    const std::string device = Lower(name);
    if (device == "scd1") return "flash";
    if (device == "pwr1") return "power";
    return std::nullopt;
  }
  if (Lower(name) == "fail") return std::nullopt;
  auto kind = Get("drivers", name);
  if (!kind || kind->empty()) return std::nullopt;
  return Lower(*kind);
}

std::vector<uint32_t> DeviceConfig::FailingCodes() const {
  std::vector<uint32_t> codes;
  const std::string list = GetString("drivers", "fail", "");
  std::string_view rest = list;
  while (!rest.empty()) {
    const auto comma = rest.find(',');
    std::string_view item = Trim(rest.substr(0, comma));
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    if (item.size() > 2 && item[0] == '0' && (item[1] == 'x' || item[1] == 'X')) {
      item.remove_prefix(2);
    }
    uint32_t code = 0;
    const auto [end, error] = std::from_chars(item.data(), item.data() + item.size(), code, 16);
    if (!item.empty() && error == std::errc() && end == item.data() + item.size()) {
      codes.push_back(code);
    } else if (!item.empty()) {
      std::fprintf(stderr, "device.ini: [drivers] fail: '%.*s' is no hex control code\n",
                   static_cast<int>(item.size()), item.data());
    }
  }
  return codes;
}

bool DeviceConfig::HasCoreDll() const { return GetBool("kernel", "coredll", true); }
bool DeviceConfig::HasToolhelp() const { return GetBool("kernel", "toolhelp", true); }

std::string DeviceConfig::AnsiCodePage() const {
  const std::string acp = GetString("locale", "acp", "");
  return acp.empty() ? "CP1252" : acp;
}

uint64_t DeviceConfig::FsCapacity() const {
  const int64_t capacity = GetInt("fs", "capacity", 0);
  return capacity > 0 ? static_cast<uint64_t>(capacity) : 0;
}

}  // namespace device
