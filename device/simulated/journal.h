// journal.log of a device root: one line per driver or kernel call,
//   <target> <code-or-function> len=<input length> crc32=<crc> <ok|fail>
// appended whole at once, so a crash loses no line and a line that does not
// fit (a full drive, the file's size limit) leaves no torn line behind. A
// journal that cannot take a line is said once on stderr and in the outcome
// report; a journal.log that is a link, or no plain file of the root, is
// refused the same way and left alone.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "host/root_files.h"

namespace device {

class Journal {
 public:
  explicit Journal(std::filesystem::path file) : file_(std::move(file)) {}
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  // One line for a call with its input bytes (null/0 for none).
  void Record(std::string_view target, std::string_view what, const void* input, uint32_t length,
              bool ok);

  // "0x80012004": how driver calls name their control code.
  static std::string CodeText(uint32_t code);
  // The journal's line for a call, without the line end.
  static std::string FormatLine(std::string_view target, std::string_view what, const void* input,
                                uint32_t length, bool ok);

 private:
  bool Open();
  void LineLost(const std::string& why);

  std::filesystem::path file_;
  host::RootDescriptor fd_;
  bool refused_ = false;
};

}  // namespace device
