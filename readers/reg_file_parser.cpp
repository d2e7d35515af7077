// The text format registry editors export, read into a FileRegistry.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/text.h"
#include "readers/file_registry.h"

namespace readers {
namespace {

constexpr std::u16string_view kRootName = u"HKEY_LOCAL_MACHINE";

struct Line {
  int number = 0;  // the first physical line
  std::u16string text;
};

std::u16string DecodeText(std::string_view bytes) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    std::u16string text;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
      text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                    static_cast<unsigned char>(bytes[i + 1]) << 8);
    }
    return text;
  }
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  return platform::FromUtf8(bytes);
}

std::u16string_view TrimLeft(std::u16string_view text) {
  while (!text.empty() && (text.front() == u' ' || text.front() == u'\t')) text.remove_prefix(1);
  return text;
}

std::u16string_view TrimRight(std::u16string_view text) {
  while (!text.empty() && (text.back() == u' ' || text.back() == u'\t' || text.back() == u'\r')) {
    text.remove_suffix(1);
  }
  return text;
}

std::vector<std::u16string> PhysicalLines(std::u16string_view text) {
  std::vector<std::u16string> lines;
  while (!text.empty()) {
    const auto newline = text.find(u'\n');
    lines.emplace_back(TrimRight(text.substr(0, newline)));
    if (newline == std::u16string_view::npos) break;
    text.remove_prefix(newline + 1);
  }
  return lines;
}

// Joins value lines that end in "\" with the lines that continue them.
std::vector<Line> LogicalLines(const std::vector<std::u16string>& physical) {
  std::vector<Line> lines;
  bool continuing = false;
  for (std::size_t i = 0; i < physical.size(); ++i) {
    std::u16string_view text = physical[i];
    if (continuing) {
      lines.back().text += TrimLeft(text);
    } else {
      lines.push_back(Line{static_cast<int>(i + 1), std::u16string(TrimLeft(text))});
    }
    const std::u16string& joined = lines.back().text;
    continuing = !joined.empty() && joined.back() == u'\\' && joined.front() != u'[' &&
                 joined.front() != u';';
    if (continuing) lines.back().text.pop_back();
  }
  return lines;
}

class Cursor {
 public:
  explicit Cursor(std::u16string_view text) : text_(text) {}
  bool AtEnd() const { return text_.empty(); }
  char16_t Peek() const { return text_.empty() ? u'\0' : text_.front(); }
  void Skip(std::size_t count) { text_.remove_prefix(std::min(count, text_.size())); }
  void SkipBlanks() { text_ = TrimLeft(text_); }
  bool Take(char16_t unit) {
    if (Peek() != unit) return false;
    Skip(1);
    return true;
  }
  bool TakeWordNoCase(std::u16string_view word) {
    if (!platform::EqualsNoCase(text_.substr(0, word.size()), word)) return false;
    Skip(word.size());
    return true;
  }
  // Nothing but blanks and a comment left.
  bool OnlyCommentLeft() const {
    const auto rest = TrimLeft(text_);
    return rest.empty() || rest.front() == u';';
  }
  // A quoted string with \\ and \" escapes; the cursor stands on the quote.
  std::optional<std::u16string> QuotedString() {
    if (!Take(u'"')) return std::nullopt;
    std::u16string out;
    while (!AtEnd()) {
      const char16_t unit = Peek();
      Skip(1);
      if (unit == u'"') return out;
      if (unit == u'\\' && (Peek() == u'\\' || Peek() == u'"')) {
        out += Peek();
        Skip(1);
      } else {
        out += unit;
      }
    }
    return std::nullopt;  // no closing quote
  }
  std::u16string_view Rest() const { return text_; }

 private:
  std::u16string_view text_;
};

std::u16string_view CutComment(std::u16string_view text) { return text.substr(0, text.find(u';')); }

int HexDigit(char16_t unit) {
  if (unit >= u'0' && unit <= u'9') return unit - u'0';
  if (unit >= u'a' && unit <= u'f') return unit - u'a' + 10;
  if (unit >= u'A' && unit <= u'F') return unit - u'A' + 10;
  return -1;
}

// 1 to `maxDigits` hex digits; none when there are none or too many.
std::optional<uint32_t> HexNumber(std::u16string_view text, std::size_t maxDigits) {
  if (text.empty() || text.size() > maxDigits) return std::nullopt;
  uint32_t value = 0;
  for (const char16_t unit : text) {
    const int digit = HexDigit(unit);
    if (digit < 0) return std::nullopt;
    value = value << 4 | static_cast<uint32_t>(digit);
  }
  return value;
}

// "01,02, ff" (an empty list is allowed, and so is a trailing comma).
std::optional<std::vector<uint8_t>> HexBytes(std::u16string_view text) {
  std::vector<uint8_t> bytes;
  text = TrimRight(TrimLeft(text));
  while (!text.empty()) {
    const auto comma = text.find(u',');
    const auto item = TrimRight(TrimLeft(text.substr(0, comma)));
    const auto byte = HexNumber(item, 2);
    if (!byte) return std::nullopt;
    bytes.push_back(static_cast<uint8_t>(*byte));
    if (comma == std::u16string_view::npos) break;
    text = TrimLeft(text.substr(comma + 1));
  }
  return bytes;
}

platform::RegistryValue StringValue(std::u16string_view text) {
  platform::RegistryValue value;
  value.type = platform::REG_SZ;
  for (const char16_t unit : text) {
    value.data.push_back(static_cast<uint8_t>(unit & 0xFF));
    value.data.push_back(static_cast<uint8_t>(unit >> 8));
  }
  value.data.push_back(0);
  value.data.push_back(0);
  return value;
}

// What follows "=": a string, dword:, hex:, hex(N):, or "-" (delete).
// None when it cannot be read; a value of type REG_NONE with no data and
// `*erase` set for "-".
std::optional<platform::RegistryValue> ValueData(Cursor& cursor, bool* erase) {
  *erase = false;
  if (cursor.Peek() == u'"') {
    const auto text = cursor.QuotedString();
    if (!text || !cursor.OnlyCommentLeft()) return std::nullopt;
    return StringValue(*text);
  }
  if (cursor.Take(u'-')) {
    *erase = true;
    return cursor.OnlyCommentLeft()
               ? std::optional<platform::RegistryValue>(platform::RegistryValue{})
               : std::nullopt;
  }
  if (cursor.TakeWordNoCase(u"dword:")) {
    const auto number = HexNumber(TrimRight(CutComment(cursor.Rest())), 8);
    if (!number) return std::nullopt;
    platform::RegistryValue value;
    value.type = platform::REG_DWORD;
    for (int shift = 0; shift < 32; shift += 8) {
      value.data.push_back(static_cast<uint8_t>(*number >> shift));
    }
    return value;
  }
  if (!cursor.TakeWordNoCase(u"hex")) return std::nullopt;
  platform::RegistryValue value;
  value.type = platform::REG_BINARY;
  if (cursor.Take(u'(')) {
    const auto close = cursor.Rest().find(u')');
    const auto type = close == std::u16string_view::npos
                          ? std::nullopt
                          : HexNumber(cursor.Rest().substr(0, close), 8);
    if (!type) return std::nullopt;
    value.type = *type;
    cursor.Skip(close + 1);
  }
  if (!cursor.Take(u':')) return std::nullopt;
  auto bytes = HexBytes(CutComment(cursor.Rest()));
  if (!bytes) return std::nullopt;
  value.data = std::move(*bytes);
  return value;
}

class RegFileReader {
 public:
  RegFileReader(const std::string& fileName, FileRegistry* registry)
      : fileName_(fileName), registry_(registry) {}

  void ReadLine(const Line& line) {
    const std::u16string_view text = line.text;
    if (text.empty() || text.front() == u';') return;
    if (text.front() == u'[') return ReadKey(line);
    if (text.front() == u'"' || text.front() == u'@') return ReadValue(line);
    Report(line, "not a key, a value or a comment");
  }

  void Report(const Line& line, const char* what) {
    std::fprintf(stderr, "%s:%d: %s, line skipped\n", fileName_.c_str(), line.number, what);
  }

 private:
  enum class KeyState { None, Ignored, Open };

  void ReadKey(const Line& line) {
    std::u16string_view text = line.text;
    const auto close = text.rfind(u']');
    if (close == std::u16string_view::npos || !TrimLeft(text.substr(close + 1)).empty()) {
      keyState_ = KeyState::Ignored;
      return Report(line, "key without ']'");
    }
    text = text.substr(1, close - 1);
    const bool erase = !text.empty() && text.front() == u'-';
    if (erase) text.remove_prefix(1);
    const auto separator = text.find(u'\\');
    const std::u16string_view rootName = text.substr(0, separator);
    if (!platform::EqualsNoCase(rootName, kRootName)) {
      keyState_ = KeyState::Ignored;
      std::fprintf(stderr, "%s:%d: only HKEY_LOCAL_MACHINE exists; key ignored\n",
                   fileName_.c_str(), line.number);
      return;
    }
    const std::u16string_view key =
        separator == std::u16string_view::npos ? u"" : text.substr(separator + 1);
    openKey_ = nullptr;
    keyState_ = KeyState::Ignored;
    if (FileRegistry::KeyDepth(key) > FileRegistry::kMaxKeyDepth) {
      return Report(line, "key deeper than 512 levels");
    }
    if (erase) {
      registry_->DeleteKey(key);
    } else {
      openKey_ = registry_->MakeKey(key);
      keyState_ = openKey_ != nullptr ? KeyState::Open : KeyState::Ignored;
    }
  }

  void ReadValue(const Line& line) {
    if (keyState_ == KeyState::None) return Report(line, "value before any key");
    Cursor cursor(line.text);
    std::optional<std::u16string> name;
    if (cursor.Take(u'@')) {
      name = u"";
    } else {
      name = cursor.QuotedString();
    }
    cursor.SkipBlanks();
    if (!name || !cursor.Take(u'=')) return Report(line, "value name without '='");
    cursor.SkipBlanks();
    bool erase = false;
    auto value = ValueData(cursor, &erase);
    if (!value) return Report(line, "value data cannot be read");
    if (keyState_ != KeyState::Open) return;
    if (erase) {
      openKey_->Delete(*name);
    } else {
      openKey_->Set(*name, std::move(*value));
    }
  }

  const std::string& fileName_;
  FileRegistry* registry_;
  KeyState keyState_ = KeyState::None;
  FileRegistry::Key* openKey_ = nullptr;  // set while keyState_ is Open
};

}  // namespace

bool ParseRegFile(std::string_view bytes, const std::string& fileName, FileRegistry* registry) {
  const auto physical = PhysicalLines(DecodeText(bytes));
  const std::u16string_view header = physical.empty() ? u"" : TrimLeft(physical[0]);
  if (header != u"REGEDIT4" && header != u"Windows Registry Editor Version 5.00") {
    std::fprintf(stderr,
                 "%s:1: not a registry export (the first line must be REGEDIT4 or "
                 "Windows Registry Editor Version 5.00); nothing read\n",
                 fileName.c_str());
    return false;
  }
  RegFileReader reader(fileName, registry);
  const auto lines = LogicalLines(physical);
  for (std::size_t i = 1; i < lines.size(); ++i) reader.ReadLine(lines[i]);
  return true;
}

}  // namespace readers
