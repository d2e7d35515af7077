// The device's ANSI code page through the host's iconv.
#pragma once

#include <iconv.h>

#include <memory>
#include <string>

#include "platform/code_page.h"

namespace host {

class IconvCodePage : public platform::CodePage {
 public:
  // Null when iconv does not know `name` ("CP1252", "CP949"; a bare number
  // such as "1252" means "CP1252").
  static std::unique_ptr<IconvCodePage> Create(const std::string& name);
  ~IconvCodePage() override;
  IconvCodePage(const IconvCodePage&) = delete;
  IconvCodePage& operator=(const IconvCodePage&) = delete;

  bool WideToAnsi(std::u16string_view text, std::string* bytes) override;
  bool AnsiToWide(std::string_view bytes, std::u16string* text) override;
  bool KeepsAscii() const override { return asciiIsItself_; }

  const std::string& name() const { return name_; }

 private:
  IconvCodePage(std::string name, iconv_t toAnsi, iconv_t toWide);
  bool ConvertToAnsi(std::u16string_view text, std::string* bytes);
  bool ConvertToWide(std::string_view bytes, std::u16string* text);

  std::string name_;
  iconv_t toAnsi_;
  iconv_t toWide_;
  // CP1252's five unassigned bytes, which the device passes through as
  // U+0081, U+008D, U+008F, U+0090 and U+009D; glibc refuses them.
  bool passUnassigned1252_;
  // The code page gives the bytes 0x00-0x7F their own code points, both
  // ways (not so in Shift_JIS or a code page that shifts): text made of
  // them alone needs no converter, which is what most names are.
  bool asciiIsItself_ = false;
};

}  // namespace host
