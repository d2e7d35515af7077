#include "host/linux/iconv_code_page.h"

#include <algorithm>
#include <cctype>
#include <cerrno>

#include "platform/text.h"

namespace host {
namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

bool IsUnassigned1252(uint32_t unit) {
  return unit == 0x81 || unit == 0x8D || unit == 0x8F || unit == 0x90 || unit == 0x9D;
}

std::string IconvName(std::string name) {
  for (auto& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const bool number = !name.empty() && name.find_first_not_of("0123456789") == std::string::npos;
  return number ? "CP" + name : name;
}

bool Is1252(const std::string& name) {
  return name == "CP1252" || name == "WINDOWS-1252" || name == "MS-ANSI";
}

// Runs `in` through `converter` into `out`; false on any unconvertible or
// incomplete input.
bool RunIconv(iconv_t converter, const char* in, std::size_t inLength, std::string* out) {
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  auto* input = const_cast<char*>(in);
  char chunk[1024];
  while (inLength > 0) {
    char* output = chunk;
    std::size_t room = sizeof chunk;
    const std::size_t result = iconv(converter, &input, &inLength, &output, &room);
    out->append(chunk, static_cast<std::size_t>(output - chunk));
    if (result == static_cast<std::size_t>(-1) && errno != E2BIG) return false;
  }
  char* output = chunk;
  std::size_t room = sizeof chunk;
  if (iconv(converter, nullptr, nullptr, &output, &room) == static_cast<std::size_t>(-1)) {
    return false;
  }
  out->append(chunk, static_cast<std::size_t>(output - chunk));
  return true;
}

std::string Utf16LeBytes(std::u16string_view text) {
  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (const char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

bool IsAscii(std::string_view bytes) {
  return std::all_of(bytes.begin(), bytes.end(),
                     [](char byte) { return static_cast<unsigned char>(byte) < 0x80; });
}

bool IsAscii(std::u16string_view text) {
  return std::all_of(text.begin(), text.end(), [](char16_t unit) { return unit < 0x80; });
}

void AppendUtf16Le(std::string_view bytes, std::u16string* text) {
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    *text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                   static_cast<unsigned char>(bytes[i + 1]) << 8);
  }
}

}  // namespace

std::unique_ptr<IconvCodePage> IconvCodePage::Create(const std::string& name) {
  const std::string iconvName = IconvName(name);
  iconv_t toAnsi = iconv_open(iconvName.c_str(), "UTF-16LE");
  iconv_t toWide = iconv_open("UTF-16LE", iconvName.c_str());
  if (toAnsi == kNoConverter || toWide == kNoConverter) {
    if (toAnsi != kNoConverter) iconv_close(toAnsi);
    if (toWide != kNoConverter) iconv_close(toWide);
    return nullptr;
  }
  return std::unique_ptr<IconvCodePage>(new IconvCodePage(iconvName, toAnsi, toWide));
}

IconvCodePage::IconvCodePage(std::string name, iconv_t toAnsi, iconv_t toWide)
    : name_(std::move(name)), toAnsi_(toAnsi), toWide_(toWide), passUnassigned1252_(Is1252(name_)) {
  std::string ascii(0x80, '\0');
  std::u16string wide(0x80, u'\0');
  for (int unit = 0; unit < 0x80; ++unit) {
    ascii[unit] = static_cast<char>(unit);
    wide[unit] = static_cast<char16_t>(unit);
  }
  std::u16string asWide;
  std::string asAnsi;
  asciiIsItself_ = ConvertToWide(ascii, &asWide) && asWide == wide &&
                   ConvertToAnsi(wide, &asAnsi) && asAnsi == ascii;
}

IconvCodePage::~IconvCodePage() {
  iconv_close(toAnsi_);
  iconv_close(toWide_);
}

bool IconvCodePage::ConvertToAnsi(std::u16string_view text, std::string* bytes) {
  const std::string units = Utf16LeBytes(text);
  return RunIconv(toAnsi_, units.data(), units.size(), bytes);
}

bool IconvCodePage::ConvertToWide(std::string_view bytes, std::u16string* text) {
  std::string units;
  if (!RunIconv(toWide_, bytes.data(), bytes.size(), &units)) return false;
  AppendUtf16Le(units, text);
  return true;
}

bool IconvCodePage::WideToAnsi(std::u16string_view text, std::string* bytes) {
  if (bytes == nullptr) return false;
  bytes->clear();
  if (asciiIsItself_ && IsAscii(text)) {
    bytes->resize(text.size());
    std::copy(text.begin(), text.end(), bytes->begin());
    return true;
  }
  bool ok = true;
  // Runs between the passed-through units go through iconv as a whole.
  std::size_t start = 0;
  for (std::size_t i = 0; ok && i <= text.size(); ++i) {
    const bool pass = i < text.size() && passUnassigned1252_ && IsUnassigned1252(text[i]);
    if (i < text.size() && !pass) continue;
    ok = ConvertToAnsi(text.substr(start, i - start), bytes);
    if (pass) *bytes += static_cast<char>(text[i]);
    start = i + 1;
  }
  if (!ok) bytes->clear();
  return ok;
}

bool IconvCodePage::AnsiToWide(std::string_view bytes, std::u16string* text) {
  if (text == nullptr) return false;
  text->clear();
  if (asciiIsItself_ && IsAscii(bytes)) {
    text->resize(bytes.size());
    std::copy(bytes.begin(), bytes.end(), text->begin());
    return true;
  }
  bool ok = true;
  std::size_t start = 0;
  for (std::size_t i = 0; ok && i <= bytes.size(); ++i) {
    const bool pass = i < bytes.size() && passUnassigned1252_ &&
                      IsUnassigned1252(static_cast<unsigned char>(bytes[i]));
    if (i < bytes.size() && !pass) continue;
    ok = ConvertToWide(bytes.substr(start, i - start), text);
    if (pass) *text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]));
    start = i + 1;
  }
  if (!ok) text->clear();
  return ok;
}

}  // namespace host
