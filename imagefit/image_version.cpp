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

uint32_t Pack(int revision, int major, int minor, int build) {
  return uint32_t(revision) << 24 | uint32_t(major) << 16 | uint32_t(minor) << 8 | uint32_t(build);
}

}  // namespace

uint32_t ParseImageVersion(std::string_view text) {
  const std::string terminated(text.substr(0, text.find('\0')));
  int major = 0, minor = 0, build = 0, revision = 0;
  if (CountDotFields(terminated) >= 4) {
    if (std::sscanf(terminated.c_str(), "V%d.%d.%d.%d", &major, &minor, &build, &revision) != 4)
      return 0;
    return Pack(revision, major, minor, build);
  }
  if (std::sscanf(terminated.c_str(), "V%d.%d.%d", &major, &minor, &build) != 3) return 0;
  return Pack(3, major, minor, build);
}

uint32_t ReadImageVersion(std::u16string_view path) {
  std::unique_ptr<platform::File> file =
      platform::Files().Open(path, platform::AccessRead, platform::Disposition::OpenExisting);
  if (!file) return 0;
  char bytes[platform::kMaxPath] = {};
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
  std::snprintf(text, sizeof text, "V%d.%d.%d", int(version >> 16 & 0xFF),
                int(version >> 8 & 0xFF), int(version & 0xFF));
  return platform::FromUtf8(text);
}

}  // namespace imagefit
