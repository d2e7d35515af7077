#include "frame/device_identity.h"

#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "platform/text.h"

namespace frame {
namespace {

// The registry query buffer of the device: 260 UTF-16 units.
constexpr std::size_t kValueBufferBytes = platform::kMaxPath * 2;

constexpr std::u16string_view kFlashDrvKey = u"System\\StorageManager\\Profiles\\FlashDrv";
constexpr std::u16string_view kNewFlashDrvKey = u"System\\StorageManager\\Profiles\\NewFlashDrv";
constexpr std::u16string_view kFolderValue = u"Folder";

// The value's bytes as the zeroed 520-byte query buffer would hold them, read
// as UTF-16LE up to the first NUL unit. A value that fills the whole buffer
// without a terminator keeps its first 259 units, so the copy always has room
// for its terminator.
std::u16string UnitsUpToTerminator(const std::vector<uint8_t>& data) {
  std::u16string text;
  const std::size_t maxUnits = platform::kMaxPath - 1;
  for (std::size_t i = 0; i < data.size() && text.size() < maxUnits; i += 2) {
    const uint8_t low = data[i];
    const uint8_t high = i + 1 < data.size() ? data[i + 1] : 0;
    const auto unit = static_cast<char16_t>(low | (high << 8));
    if (unit == 0) break;
    text += unit;
  }
  return text;
}

// Reads a "Folder" value and makes "\<value>" of it when non-empty.
bool ReadProfileFolder(std::u16string_view key, std::u16string* out) {
  std::u16string value;
  if (!ReadRegistryString(key, kFolderValue, &value) || value.empty()) return false;
  *out = u"\\" + value;
  if (out->size() > platform::kMaxPath - 1) out->resize(platform::kMaxPath - 1);
  return true;
}

bool IsSpace(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

// One "%d" conversion as swscanf does it: leading white space, an optional
// sign, at least one digit. Overflow wraps like the device's 32-bit int.
bool ScanInt(std::u16string_view text, std::size_t* pos, int32_t* value) {
  std::size_t i = *pos;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  const std::size_t firstDigit = i;
  uint32_t magnitude = 0;
  while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') {
    magnitude = magnitude * 10 + static_cast<uint32_t>(text[i] - u'0');
    ++i;
  }
  if (i == firstDigit) return false;
  *value = static_cast<int32_t>(negative ? 0u - magnitude : magnitude);
  *pos = i;
  return true;
}

bool ScanLiteral(std::u16string_view text, std::size_t* pos, char16_t expected) {
  if (*pos >= text.size() || text[*pos] != expected) return false;
  ++*pos;
  return true;
}

}  // namespace

bool ReadRegistryString(std::u16string_view subkey, std::u16string_view valueName,
                        std::u16string* out) {
  if (out == nullptr) return false;
  out->clear();
  platform::Registry& registry = platform::Reg();
  if (!registry.KeyExists(subkey)) return false;
  const std::optional<platform::RegistryValue> value = registry.QueryValue(subkey, valueName);
  // A value larger than the buffer makes the query itself fail on the device.
  if (!value || value->data.size() > kValueBufferBytes) return false;
  *out = UnitsUpToTerminator(value->data);
  return true;
}

bool GetModuleFolder(std::u16string* out) {
  if (out == nullptr) return false;
  out->clear();
  const std::optional<std::u16string> module = platform::System().ModuleFileName();
  if (!module) return false;
  *out = module->substr(0, platform::kMaxPath - 1);
  const std::size_t slash = out->rfind(u'\\');
  if (slash == std::u16string::npos) return false;
  out->resize(slash + 1);
  return true;
}

bool GetFlashDriveFolder(std::u16string* out) {
  if (out == nullptr) return false;
  out->clear();
  if (ReadProfileFolder(kFlashDrvKey, out)) return true;
  if (ReadProfileFolder(kNewFlashDrvKey, out)) return true;
  out->clear();
  return false;
}

bool FileExists(std::u16string_view path) {
  if (path.empty()) return false;
  return platform::Files().GetAttributes(path) != platform::kInvalidAttributes;
}

bool ForceDeleteFile(std::u16string_view path) {
  platform::FileSystem& files = platform::Files();
  files.SetAttributes(path, platform::FILE_ATTRIBUTE_NORMAL | platform::FILE_ATTRIBUTE_ARCHIVE);
  return files.DeleteFile(path);
}

uint32_t ParseVersion(std::u16string_view text, VersionForm form) {
  std::size_t pos = 0;
  if (form == VersionForm::LeadingV && !ScanLiteral(text, &pos, u'V')) return 0;
  int32_t parts[3] = {};
  for (int i = 0; i < 3; ++i) {
    if (i > 0 && !ScanLiteral(text, &pos, u'.')) return 0;
    if (!ScanInt(text, &pos, &parts[i])) return 0;
  }
  return static_cast<uint32_t>(parts[0]) << 16 | static_cast<uint32_t>(parts[1]) << 8 |
         static_cast<uint32_t>(parts[2]);
}

}  // namespace frame
