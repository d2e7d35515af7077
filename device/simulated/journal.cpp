#include "device/simulated/journal.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "device/simulated/journal_crc32.h"
#include "platform/outcome_report.h"
#include "platform/trace.h"

namespace device {

namespace {

// Both journals of a process (drivers and kernel) share the file and the
// one line on stderr.
bool g_lossSaid = false;

std::string HostPath(const std::filesystem::path& file) {
  const std::u8string path = file.u8string();
  return std::string(path.begin(), path.end());
}

}  // namespace

// Opened beside the device's other files, never through a link, and only
// when it is the root's own plain file: appending to a hard link would
// change a file elsewhere.
bool Journal::Open() {
  const host::RootDescriptor root = host::OpenRootFolder(file_.parent_path());
  std::string why = "cannot be opened";
  const std::string name = file_.filename().string();
  fd_ = root.valid() ? host::OpenForAppend(root.get(), name.c_str(), &why) : host::RootDescriptor();
  if (!fd_.valid()) {
    refused_ = true;
    LineLost(why + "; driver and kernel calls are not journaled");
  }
  return fd_.valid();
}

void Journal::LineLost(const std::string& why) {
  platform::NoteJournalLineLost();
  if (g_lossSaid) return;
  g_lossSaid = true;
  std::fprintf(stderr, "fitkit: %s %s\n", HostPath(file_).c_str(), why.c_str());
}

std::string Journal::CodeText(uint32_t code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", code);
  return text;
}

std::string Journal::FormatLine(std::string_view target, std::string_view what, const void* input,
                                uint32_t length, bool ok) {
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
  platform::Trace("journal: %s", line.c_str());
  if (refused_) {
    platform::NoteJournalLineLost();
    return;
  }
  if (!fd_.valid() && !Open()) return;
  if (!host::AppendWhole(fd_.get(), line + "\n")) {
    LineLost(std::string("could not take a line (") + std::strerror(errno) +
             "); the journal of this run's driver and kernel calls is incomplete");
  }
}

}  // namespace device
