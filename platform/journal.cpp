#include "platform/journal.h"

#include <zlib.h>

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

namespace {

// zlib's crc32 takes lengths as uInt; feed it in slices so any length works.
uint32_t Crc32(const void* input, uint32_t length) {
  uLong crc = crc32(0L, Z_NULL, 0);
  const Bytef* bytes = static_cast<const Bytef*>(input);
  while (length > 0 && bytes != nullptr) {
    const uInt slice = length > (1u << 30) ? (1u << 30) : uInt(length);
    crc = crc32(crc, bytes, slice);
    bytes += slice;
    length -= slice;
  }
  return uint32_t(crc);
}

}  // namespace

std::string Journal::FormatLine(std::string_view target, std::string_view what,
                                const void* input, uint32_t length, bool ok) {
  char tail[64];
  std::snprintf(tail, sizeof tail, " len=%u crc32=%08x %s", length,
                input == nullptr ? 0u : Crc32(input, length), ok ? "ok" : "fail");
  std::string line;
  line.append(target).append(" ").append(what).append(tail);
  return line;
}

void Journal::Record(std::string_view target, std::string_view what, const void* input,
                     uint32_t length, bool ok) {
  const std::string line = FormatLine(target, what, input, length, ok);
  Trace("journal: %s", line.c_str());
  if (stream_ == nullptr) stream_ = std::fopen(file_.c_str(), "ab");
  if (stream_ == nullptr) {
    std::fprintf(stderr, "fitkit: cannot append to %s\n", file_.c_str());
    return;
  }
  std::fprintf(stream_, "%s\n", line.c_str());
  std::fflush(stream_);
}

}  // namespace platform
