#include "platform/text.h"

#include <clocale>
#include <cwctype>

namespace platform {
namespace {

// towlower only maps non-ASCII letters in a UTF-8 locale; the kit never
// depends on the user's locale otherwise, so it sets LC_CTYPE once here.
// The Windows C runtime knows no "C.UTF-8" but maps every letter in any
// named locale; ".ACP" (the system's ANSI code page) is always there.
void EnsureUtf8Ctype() {
  static const bool done = [] {
    if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) std::setlocale(LC_CTYPE, ".ACP");
    return true;
  }();
  (void)done;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out += static_cast<char16_t>(cp);
  } else {
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 | (cp >> 10));
    out += static_cast<char16_t>(0xDC00 | (cp & 0x3FF));
  }
}

}  // namespace

std::string ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] < 0x80) {  // the usual case, spared the code point's work
      out += static_cast<char>(text[i]);
      continue;
    }
    char32_t cp = text[i];
    const bool high = cp >= 0xD800 && cp <= 0xDBFF;
    if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;  // a lone surrogate has no UTF-8 form
    }
    AppendUtf8(out, cp);
  }
  return out;
}

std::u16string FromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      out += static_cast<char16_t>(lead);
      ++i;
      continue;
    }
    const int extra = lead < 0x80           ? 0
                      : (lead >> 5) == 0x6  ? 1
                      : (lead >> 4) == 0xE  ? 2
                      : (lead >> 3) == 0x1E ? 3
                                            : -1;
    char32_t cp = lead & (0x7F >> (extra > 0 ? extra + 1 : 0));
    bool valid = extra >= 0 && i + static_cast<std::size_t>(extra) < text.size();
    for (int k = 1; valid && k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) valid = false;
      cp = (cp << 6) | (next & 0x3F);
    }
    if (!valid || cp > 0x10FFFF) {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    AppendUtf16(out, cp);
    i += static_cast<std::size_t>(extra) + 1;
  }
  return out;
}

char16_t LowerUnit(char16_t unit) {
  // ASCII, by far the most of every name, maps the same in every locale.
  if (unit < 0x80) return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit + 32) : unit;
  EnsureUtf8Ctype();
  if (unit >= 0xD800 && unit <= 0xDFFF) return unit;
  // As a 32-bit value: wint_t is 16 bits wide on Windows, 32 on Linux.
  const auto mapped = static_cast<uint32_t>(std::towlower(static_cast<wint_t>(unit)));
  return mapped <= 0xFFFF ? static_cast<char16_t>(mapped) : unit;
}

char16_t UpperUnit(char16_t unit) {
  if (unit < 0x80) return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - 32) : unit;
  EnsureUtf8Ctype();
  if (unit >= 0xD800 && unit <= 0xDFFF) return unit;
  // As a 32-bit value: wint_t is 16 bits wide on Windows, 32 on Linux.
  const auto mapped = static_cast<uint32_t>(std::towupper(static_cast<wint_t>(unit)));
  return mapped <= 0xFFFF ? static_cast<char16_t>(mapped) : unit;
}

std::u16string ToLower(std::u16string_view text) {
  std::u16string out(text);
  for (auto& unit : out) unit = LowerUnit(unit);
  return out;
}

std::u16string ToUpper(std::u16string_view text) {
  std::u16string out(text);
  for (auto& unit : out) unit = UpperUnit(unit);
  return out;
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerUnit(a[i]) != LowerUnit(b[i])) return false;
  }
  return true;
}

std::vector<std::u16string> SplitPathComponents(std::u16string_view path) {
  // Each part is made once at its full length, into a vector sized once:
  // every look-up of a path splits it.
  const auto isSeparator = [](char16_t unit) { return unit == u'\\' || unit == u'/'; };
  std::size_t count = 0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (!isSeparator(path[i]) && (i == 0 || isSeparator(path[i - 1]))) ++count;
  }
  std::vector<std::u16string> parts;
  parts.reserve(count);
  for (std::size_t start = 0; start < path.size();) {
    std::size_t end = start;
    while (end < path.size() && !isSeparator(path[end])) ++end;
    if (end > start) parts.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

}  // namespace platform
