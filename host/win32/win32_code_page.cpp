#include "host/win32/win32_code_page.h"

#include <cctype>
#include <charconv>
#include <optional>

// Last: its macros would replace the platform's constants of the same names.
#include <windows.h>

namespace host {
namespace {

std::optional<UINT> CodePageNumber(std::string name) {
  for (auto& c : name) c = char(std::toupper(static_cast<unsigned char>(c)));
  if (name == "UTF-8" || name == "UTF8") return CP_UTF8;
  std::string_view digits = name;
  if (digits.rfind("CP", 0) == 0) digits.remove_prefix(2);
  UINT number = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) {
    return std::nullopt;
  }
  return number;
}

// Nothing is ever replaced by a default character: text the code page cannot
// hold makes the conversion fail, both ways.
class Win32CodePage : public platform::CodePage {
 public:
  explicit Win32CodePage(UINT codePage) : codePage_(codePage) {}

  bool WideToAnsi(std::u16string_view text, std::string* bytes) override {
    if (text.empty()) {
      bytes->clear();
      return true;
    }
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const bool utf8 = codePage_ == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* defaultUsed = utf8 ? nullptr : &usedDefault;
    const int size = WideCharToMultiByte(codePage_, flags, wide, int(text.size()), nullptr, 0,
                                         nullptr, defaultUsed);
    if (size <= 0 || usedDefault) return false;
    std::string out(std::size_t(size), '\0');
    if (WideCharToMultiByte(codePage_, flags, wide, int(text.size()), out.data(), size, nullptr,
                            defaultUsed) != size ||
        usedDefault) {
      return false;
    }
    *bytes = std::move(out);
    return true;
  }

  bool AnsiToWide(std::string_view bytes, std::u16string* text) override {
    if (bytes.empty()) {
      text->clear();
      return true;
    }
    const int size = MultiByteToWideChar(codePage_, MB_ERR_INVALID_CHARS, bytes.data(),
                                         int(bytes.size()), nullptr, 0);
    if (size <= 0) return false;
    std::u16string out(std::size_t(size), u'\0');
    if (MultiByteToWideChar(codePage_, MB_ERR_INVALID_CHARS, bytes.data(), int(bytes.size()),
                            reinterpret_cast<wchar_t*>(out.data()), size) != size) {
      return false;
    }
    *text = std::move(out);
    return true;
  }

 private:
  UINT codePage_;
};

}  // namespace

std::unique_ptr<platform::CodePage> CreateWin32CodePage(const std::string& name) {
  const auto number = CodePageNumber(name);
  if (!number || IsValidCodePage(*number) == 0) return nullptr;
  return std::make_unique<Win32CodePage>(*number);
}

}  // namespace host
