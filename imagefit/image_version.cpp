#include "imagefit/image_version.h"

#include <cstdio>
#include <memory>
#include <string>

#include "frame/device_identity.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/text.h"

namespace imagefit {

namespace {

// Non-empty fields between dots, as a tokenizer with the delimiter "." sees them.
int CountDotFields(std::string_view text) {
  int fields = 0;
  bool inField = false;
  for (char c : text) {
    if (c == '.') {
      inField = false;
    } else if (!inField) {
      inField = true;
      ++fields;
    }
  }
  return fields;
}

uint32_t Pack(uint32_t revision, uint32_t major, uint32_t minor, uint32_t build) {
  return revision << 24 | major << 16 | minor << 8 | build;
}

// One "%d" as sscanf reads it: white space, an optional sign, at least one
// digit. A number past 32 bits wraps as the device's int does, where
// sscanf's result would be undefined.
bool ScanNumber(std::string_view text, std::size_t* pos, uint32_t* value) {
  std::size_t i = *pos;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  const bool negative = i < text.size() && text[i] == '-';
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  const std::size_t firstDigit = i;
  uint32_t magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    magnitude = magnitude * 10 + uint32_t(text[i] - '0');
  if (i == firstDigit) return false;
  *value = negative ? 0u - magnitude : magnitude;
  *pos = i;
  return true;
}

// "V" and `count` numbers separated by single dots, as the format
// "V%d.%d.%d" (or with a fourth "%d") must convert them all.
bool ScanVersion(std::string_view text, int count, uint32_t parts[4]) {
  if (text.empty() || text[0] != 'V') return false;
  std::size_t pos = 1;
  for (int i = 0; i < count; ++i) {
    if (i > 0 && (pos >= text.size() || text[pos++] != '.')) return false;
    if (!ScanNumber(text, &pos, &parts[i])) return false;
  }
  return true;
}

}  // namespace

uint32_t ParseImageVersion(std::string_view text) {
  const std::string_view terminated = text.substr(0, text.find('\0'));
  uint32_t parts[4] = {};  // major, minor, build, revision
  if (CountDotFields(terminated) >= 4) {
    if (!ScanVersion(terminated, 4, parts)) return 0;
    return Pack(parts[3], parts[0], parts[1], parts[2]);
  }
  if (!ScanVersion(terminated, 3, parts)) return 0;
  return Pack(3, parts[0], parts[1], parts[2]);
}

uint32_t ReadImageVersion(std::u16string_view path) {
  std::unique_ptr<platform::File> file =
      platform::Files().Open(path, platform::AccessRead, platform::Disposition::OpenExisting);
  if (!file) return 0;
  char bytes[kVersionFileBytes] = {};
  uint32_t got = 0;
  file->Read(bytes, sizeof bytes, &got);
  file.reset();
  return ParseImageVersion(std::string_view(bytes, got));
}

uint32_t ReadInstalledVersion() {
  std::u16string text;
  if (!frame::ReadRegistryString(u"Ident", u"Version", &text)) return 0;
  return frame::ParseVersion(text, frame::VersionForm::LeadingV);
}

std::u16string FormatShownVersion(uint32_t version) {
  char text[48];
  std::snprintf(text, sizeof text, "V%d.%d.%d", int(version >> 16 & 0xFF), int(version >> 8 & 0xFF),
                int(version & 0xFF));
  return platform::FromUtf8(text);
}

}  // namespace imagefit
