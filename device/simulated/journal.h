// journal.log of a device root: one line per driver or kernel call,
//   <target> <code-or-function> len=<input length> crc32=<crc> <ok|fail>
// appended and flushed at once, so a crash loses no line. A journal.log that
// is a link, or no plain file of the root, is refused once on stderr and
// left alone.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace platform {

class Journal {
 public:
  explicit Journal(std::filesystem::path file) : file_(std::move(file)) {}
  ~Journal();
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  // One line for a call with its input bytes (null/0 for none).
  void Record(std::string_view target, std::string_view what, const void* input,
              uint32_t length, bool ok);

  // "0x80012004": how driver calls name their control code.
  static std::string CodeText(uint32_t code);
  // The journal's line for a call, without the line end.
  static std::string FormatLine(std::string_view target, std::string_view what,
                                const void* input, uint32_t length, bool ok);

 private:
  std::FILE* OpenStream();

  std::filesystem::path file_;
  std::FILE* stream_ = nullptr;
  bool refused_ = false;
};

}  // namespace platform
