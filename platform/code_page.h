// The device's ANSI code page (entry names, passwords).
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Threads: not callable from two threads at once (a host's converter keeps
// state between calls); names and passwords are converted before work is
// handed to other threads.
class CodePage {
 public:
  virtual ~CodePage() = default;
  // Both return false when the text cannot be converted.
  virtual bool WideToAnsi(std::u16string_view text, std::string* bytes) = 0;
  virtual bool AnsiToWide(std::string_view bytes, std::u16string* text) = 0;
  // True when the bytes 0x00-0x7F are the characters U+0000-U+007F both ways
  // and never part of another character's bytes but as a second byte: then a
  // text's last byte alone tells whether it ends in an ASCII character.
  // False when unknown.
  virtual bool KeepsAscii() const { return false; }
};

}  // namespace platform
