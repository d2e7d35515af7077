#include "signature/model_name.h"

#include <cstdint>

namespace signature {
namespace {

// One character of well-formed UTF-8 at `at`: its code point and length, or
// a length of 0 when the bytes there form none.
struct Decoded {
  char32_t point = 0;
  std::size_t length = 0;
};

Decoded DecodeOne(std::string_view bytes, std::size_t at) {
  const auto lead = uint8_t(bytes[at]);
  if (lead < 0x80) return {lead, 1};
  const std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                             : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                            : 0;
  if (length == 0 || at + length > bytes.size()) return {};
  char32_t point = lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = uint8_t(bytes[at + i]);
    if ((next & 0xC0) != 0x80) return {};
    point = point << 6 | (next & 0x3F);
  }
  // The shortest form only, and no surrogate halves.
  constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  if (point < kLeast[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
    return {};
  }
  return {point, length};
}

void Append(std::u16string& out, char32_t point) {
  if (point < 0x10000) {
    out += char16_t(point);
    return;
  }
  point -= 0x10000;
  out += char16_t(0xD800 + (point >> 10));
  out += char16_t(0xDC00 + (point & 0x3FF));
}

void AppendByte(std::u16string& out, uint8_t byte) {
  constexpr char16_t kHex[] = u"0123456789ABCDEF";
  out += u"\\x";
  out += kHex[byte >> 4];
  out += kHex[byte & 0xF];
}

char16_t FoldAscii(char16_t unit) { return unit >= u'a' && unit <= u'z' ? unit - 32 : unit; }

}  // namespace

std::optional<std::u16string> DecodeStrictUtf8(std::string_view bytes) {
  std::u16string text;
  for (std::size_t at = 0; at < bytes.size();) {
    const Decoded one = DecodeOne(bytes, at);
    if (one.length == 0) return std::nullopt;
    Append(text, one.point);
    at += one.length;
  }
  return text;
}

bool IsDeviceModel(std::string_view signedModel, std::u16string_view deviceModel) {
  const auto text = DecodeStrictUtf8(signedModel);
  if (!text || text->size() != deviceModel.size()) return false;
  for (std::size_t i = 0; i < text->size(); ++i) {
    if (FoldAscii((*text)[i]) != FoldAscii(deviceModel[i])) return false;
  }
  return true;
}

std::u16string ShownSafely(std::string_view bytes) {
  std::u16string out;
  for (std::size_t at = 0; at < bytes.size();) {
    const Decoded one = DecodeOne(bytes, at);
    const bool control =
        one.length != 0 && (one.point < 0x20 || (one.point >= 0x7F && one.point < 0xA0));
    if (one.length == 0 || control) {
      AppendByte(out, uint8_t(bytes[at]));
      ++at;
      continue;
    }
    Append(out, one.point);
    at += one.length;
  }
  return out;
}

}  // namespace signature
