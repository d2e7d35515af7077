#include "signature/release_manifest.h"

#include <algorithm>
#include <charconv>
#include <map>

namespace signature {
namespace {

constexpr FileRole kAllRoles[] = {FileRole::Package, FileRole::Version, FileRole::Nboot,
                                  FileRole::Eboot,   FileRole::Tinynk,  FileRole::Drivers,
                                  FileRole::Nk,      FileRole::Chain};
constexpr std::size_t kMostValueBytes = 128;

std::optional<FileRole> RoleNamed(std::string_view name) {
  for (FileRole role : kAllRoles) {
    if (RoleName(role) == name) return role;
  }
  return std::nullopt;
}

// Decimal digits alone, no leading zero, no larger than `most`.
std::optional<uint64_t> ParseNumber(std::string_view text, uint64_t most) {
  if (text.empty() || text.size() > 20 || (text.size() > 1 && text[0] == '0')) return std::nullopt;
  uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value > most) return std::nullopt;
  return value;
}

std::optional<BlockHash> ParseHash(std::string_view text) {
  if (text.size() != 2 * sizeof(BlockHash)) return std::nullopt;
  BlockHash hash{};
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (digit < 0) return std::nullopt;
    hash[i / 2] = uint8_t(hash[i / 2] << 4 | digit);
  }
  return hash;
}

std::string HashText(const BlockHash& hash) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (uint8_t byte : hash) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 15];
  }
  return text;
}

// Well-formed UTF-8 without control characters: the model and the version
// are shown to people and compared.
bool IsPlainText(std::string_view text) {
  if (text.empty() || text.size() > kMostValueBytes) return false;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = uint8_t(text[i]);
    if (lead < 0x80) {
      if (lead < 0x20 || lead == 0x7F) return false;
      ++i;
      continue;
    }
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || i + length > text.size()) return false;
    uint32_t code = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = uint8_t(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = code << 6 | (next & 0x3F);
    }
    const uint32_t least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

// "file ROLE SIZE HASH" after its name.
bool ParseFile(std::string_view value, ReleaseManifest* manifest) {
  const std::size_t first = value.find(' ');
  const std::size_t second = value.find(' ', first == value.npos ? first : first + 1);
  if (first == value.npos || second == value.npos) return false;
  const auto role = RoleNamed(value.substr(0, first));
  const auto size = ParseNumber(value.substr(first + 1, second - first - 1), uint64_t(1) << 62);
  const auto hash = ParseHash(value.substr(second + 1));
  if (!role || !size || !hash || manifest->Find(*role) != nullptr) return false;
  manifest->files.push_back({*role, *size, *hash});
  return true;
}

bool ParseField(std::string_view name, std::string_view value, ReleaseManifest* manifest) {
  if (name == "file") return ParseFile(value, manifest);
  if (name == "kind") {
    if (value == KindName(ReleaseKind::ShellPackage)) {
      manifest->kind = ReleaseKind::ShellPackage;
    } else if (value == KindName(ReleaseKind::ImageSet)) {
      manifest->kind = ReleaseKind::ImageSet;
    } else {
      return false;
    }
    return true;
  }
  if (name == "model" || name == "version") {
    if (!IsPlainText(value)) return false;
    (name == "model" ? manifest->model : manifest->version) = std::string(value);
    return true;
  }
  if (name == "security-version") {
    const auto number = ParseNumber(value, UINT32_MAX);
    if (!number) return false;
    manifest->securityVersion = uint32_t(*number);
    return true;
  }
  return false;
}

// Exactly the roles of the kind, each once (repeats are refused as read).
bool HasKindsRoles(const ReleaseManifest& manifest) {
  if (manifest.kind == ReleaseKind::ShellPackage) {
    return manifest.files.size() == 1 && manifest.files[0].role == FileRole::Package;
  }
  return manifest.files.size() == std::size(kImageSetRoles) &&
         manifest.Find(FileRole::Package) == nullptr;
}

}  // namespace

const ManifestFile* ReleaseManifest::Find(FileRole role) const {
  for (const ManifestFile& file : files) {
    if (file.role == role) return &file;
  }
  return nullptr;
}

std::string_view RoleName(FileRole role) {
  switch (role) {
    case FileRole::Package:
      return "package";
    case FileRole::Version:
      return "version";
    case FileRole::Nboot:
      return "nboot";
    case FileRole::Eboot:
      return "eboot";
    case FileRole::Tinynk:
      return "tinynk";
    case FileRole::Drivers:
      return "drivers";
    case FileRole::Nk:
      return "nk";
    case FileRole::Chain:
      return "chain";
  }
  return "package";
}

std::string_view KindName(ReleaseKind kind) {
  return kind == ReleaseKind::ShellPackage ? "shell-package" : "image-set";
}

std::optional<ReleaseManifest> ParseManifest(std::string_view text) {
  if (text.size() > kMostManifestBytes || text.empty() || text.back() != '\n') return std::nullopt;
  ReleaseManifest manifest;
  std::map<std::string_view, int> seen;
  bool first = true;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (first) {
      if (line != kManifestFirstLine) return std::nullopt;
      first = false;
      continue;
    }
    const std::size_t space = line.find(' ');
    if (space == line.npos) return std::nullopt;
    const std::string_view name = line.substr(0, space);
    if (name != "file" && seen[name]++ > 0) return std::nullopt;
    if (!ParseField(name, line.substr(space + 1), &manifest)) return std::nullopt;
  }
  if (!seen.contains("kind") || !seen.contains("model") || !seen.contains("version") ||
      !HasKindsRoles(manifest)) {
    return std::nullopt;
  }
  return manifest;
}

std::string FormatManifest(const ReleaseManifest& manifest) {
  std::string text(kManifestFirstLine);
  text += "\nkind " + std::string(KindName(manifest.kind)) + "\nmodel " + manifest.model +
          "\nversion " + manifest.version + "\nsecurity-version " +
          std::to_string(manifest.securityVersion) + "\n";
  for (FileRole role : kAllRoles) {
    if (const ManifestFile* file = manifest.Find(role)) {
      text += "file " + std::string(RoleName(role)) + " " + std::to_string(file->size) + " " +
              HashText(file->hash) + "\n";
    }
  }
  return text;
}

}  // namespace signature
