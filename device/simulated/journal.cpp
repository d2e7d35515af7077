#include "device/simulated/journal.h"

#include "device/simulated/host_file.h"
#include "device/simulated/journal_crc32.h"
#include "platform/trace.h"

namespace platform {

Journal::~Journal() {
  if (stream_ != nullptr) std::fclose(stream_);
}

std::string Journal::CodeText(uint32_t code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", code);
  return text;
}

std::string Journal::FormatLine(std::string_view target, std::string_view what,
                                const void* input, uint32_t length, bool ok) {
  const uint32_t crc =
      input == nullptr ? 0u : JournalCrc32(0, static_cast<const uint8_t*>(input), length);
  char tail[64];
  std::snprintf(tail, sizeof tail, " len=%u crc32=%08x %s", length, crc, ok ? "ok" : "fail");
  std::string line;
  line.append(target).append(" ").append(what).append(tail);
  return line;
}

void Journal::Record(std::string_view target, std::string_view what, const void* input,
                     uint32_t length, bool ok) {
  const std::string line = FormatLine(target, what, input, length, ok);
  Trace("journal: %s", line.c_str());
  if (stream_ == nullptr) stream_ = OpenHostFile(file_, "ab");
  if (stream_ == nullptr) {
    std::fprintf(stderr, "fitkit: cannot append to %s\n", HostPathText(file_).c_str());
    return;
  }
  std::fprintf(stream_, "%s\n", line.c_str());
  std::fflush(stream_);
}

}  // namespace platform
