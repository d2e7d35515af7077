#include "imagefit/update_mark.h"

#include <string>

#include "frame/device_identity.h"
#include "platform/environment.h"
#include "platform/file_system.h"

namespace imagefit {

namespace {

constexpr std::string_view kBootLoaderWord = "boot loader\n";
constexpr std::string_view kKernelWord = "kernel\n";
constexpr uint32_t kMostMarkBytes = 64;

// The mark's folder begins with a dot: the shell updater's removal of old
// files passes such folders by, so a shell update does not erase the mark.
bool MarkFolder(std::u16string* folder) {
  if (!frame::GetFlashDriveFolder(folder)) return false;
  folder->append(u"\\.imagefit");
  return true;
}

std::u16string MarkPath(const std::u16string& folder) { return folder + u"\\update.mark"; }

bool WriteWhole(const std::u16string& path, std::string_view text) {
  auto file =
      platform::Files().Open(path, platform::AccessWrite, platform::Disposition::CreateAlways);
  return file != nullptr && file->Write(text.data(), uint32_t(text.size())) && file->Flush();
}

}  // namespace

MarkedStep ReadUpdateMark() {
  std::u16string folder;
  if (!MarkFolder(&folder)) return MarkedStep::None;
  auto file = platform::Files().Open(MarkPath(folder), platform::AccessRead,
                                     platform::Disposition::OpenExisting);
  if (file == nullptr) return MarkedStep::None;
  char bytes[kMostMarkBytes] = {};
  uint32_t got = 0;
  if (!file->Read(bytes, sizeof bytes, &got)) got = 0;
  // A mark that reads as neither word still says an update stopped half-way;
  // the boot loaders are the first thing written.
  return std::string_view(bytes, got) == kKernelWord ? MarkedStep::Kernel : MarkedStep::BootLoader;
}

// Written beside, flushed, renamed over the old mark, the folder flushed; a
// folder made here is flushed into the flash drive's folder first.
bool WriteUpdateMark(MarkedStep step) {
  std::u16string flashDrive, folder;
  if (step == MarkedStep::None || !frame::GetFlashDriveFolder(&flashDrive) ||
      !MarkFolder(&folder)) {
    return false;
  }
  if (platform::Files().CreateDirectory(folder) && !platform::Files().Flush(flashDrive)) {
    return false;
  }
  const std::u16string fresh = folder + u"\\update.new";
  return WriteWhole(fresh, step == MarkedStep::Kernel ? kKernelWord : kBootLoaderWord) &&
         platform::Files().MoveFile(fresh, MarkPath(folder)) && platform::Files().Flush(folder);
}

void DropUpdateMark() {
  std::u16string folder;
  if (!MarkFolder(&folder)) return;
  if (platform::Files().DeleteFile(MarkPath(folder))) platform::Files().Flush(folder);
  platform::Files().RemoveDirectory(folder);
}

std::u16string_view InterruptedUpdateText(MarkedStep step) {
  switch (step) {
    case MarkedStep::BootLoader:
      return u"The last update was interrupted while the boot loader was written: run it again.";
    case MarkedStep::Kernel:
      return u"The last update was interrupted while the kernel was written: run it again.";
    case MarkedStep::None:
      break;
  }
  return {};
}

std::u16string_view InterruptedStatusText(MarkedStep step) {
  switch (step) {
    case MarkedStep::BootLoader:
      return u"Boot loader update interrupted: run it again.";
    case MarkedStep::Kernel:
      return u"Kernel update interrupted: run it again.";
    case MarkedStep::None:
      break;
  }
  return {};
}

}  // namespace imagefit
