#include "device/simulated/journal.h"

#include "device/simulated/journal_crc32.h"
#include "host/root_files.h"
#include "platform/trace.h"

namespace platform {

// Opened beside the device's other files, never through a link, and only
// when it is the root's own plain file: appending to a hard link would
// change a file elsewhere.
std::FILE* Journal::OpenStream() {
  const RootDescriptor root = OpenRootFolder(file_.parent_path());
  std::string why = "cannot be opened";
  const std::string name = file_.filename().string();
  RootDescriptor fd = root.valid() ? OpenForAppend(root.get(), name.c_str(), &why) : RootDescriptor();
  std::FILE* stream = AppendStream(fd);
  if (stream == nullptr) {
    const std::u8string path = file_.u8string();
    std::fprintf(stderr, "fitkit: %s %s; driver and kernel calls are not journaled\n",
                 std::string(path.begin(), path.end()).c_str(), why.c_str());
    refused_ = true;
    return nullptr;
  }
  return stream;
}

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
  if (stream_ == nullptr && !refused_) stream_ = OpenStream();
  if (stream_ == nullptr) return;
  std::fprintf(stream_, "%s\n", line.c_str());
  std::fflush(stream_);
}

}  // namespace platform
