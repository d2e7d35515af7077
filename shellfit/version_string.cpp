// The "FileVersion" string of an executable's version resource.
#include "shellfit/version_string.h"

#include <cstdio>

#include "frame/device_identity.h"
#include "platform/environment.h"
#include "platform/text.h"
#include "platform/version_query.h"
#include "platform/version_resources.h"
#include "shellfit/shellfit.h"

namespace shellfit {
namespace {

// "%04x%04x": language, then code page, of the first translation.
std::u16string FirstTranslation(const std::vector<uint8_t>& block) {
  const auto value = platform::QueryVersionValue(block, u"\\VarFileInfo\\Translation");
  if (!value || value->length == 0 || value->bytes.size() < 4) return {};
  const auto& b = value->bytes;
  char text[9];
  std::snprintf(text, sizeof text, "%04x%04x", b[0] | b[1] << 8, b[2] | b[3] << 8);
  return std::u16string(text, text + 8);
}

}  // namespace

std::u16string FileVersionIn(const std::vector<uint8_t>& block) {
  const std::u16string translation = FirstTranslation(block);
  if (translation.empty()) return {};
  const auto value =
      platform::QueryVersionValue(block, u"\\StringFileInfo\\" + translation + u"\\FileVersion");
  if (!value || value->length == 0) return {};
  return platform::VersionValueText(*value).substr(0, platform::kMaxPath - 1);
}

bool GetFileVersionString(std::u16string_view path, std::u16string* out) {
  out->clear();
  if (!frame::FileExists(path)) return false;
  const auto block = platform::Versions().ReadVersionBlock(path);
  if (!block || block->empty()) return false;
  *out = FileVersionIn(*block);
  return true;
}

}  // namespace shellfit
