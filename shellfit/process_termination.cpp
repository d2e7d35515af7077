// Ending the programs that run from the flash drive, so their files can be
// replaced.
#include "shellfit/process_termination.h"

#include "platform/environment.h"
#include "platform/processes.h"
#include "platform/text.h"
#include "shellfit/shellfit.h"
#include "shellfit/update_report.h"

namespace shellfit {
namespace {

bool FolderMatches(std::u16string_view path, std::u16string_view folder, int mode) {
  if (mode < 0) return path == folder;
  if (mode == 0) return path.starts_with(folder);
  return path.ends_with(folder);
}

bool IsExeName(std::u16string_view lowerName) {
  return lowerName.size() > 4 && lowerName.ends_with(u".exe");
}

}  // namespace

int TerminateProcessesInFolder(std::u16string_view folder, int mode) {
  platform::ProcessTable& processes = platform::Processes();
  const auto snapshot = processes.Snapshot();
  if (!snapshot) return 0;
  const std::u16string lowerFolder = platform::ToLower(folder);
  int ended = 0;
  for (const platform::ProcessEntry& process : *snapshot) {
    if (!IsExeName(platform::ToLower(process.exeName))) continue;
    const auto path = processes.ProgramPath(process.id);
    if (!path || path->empty()) continue;
    const std::u16string lowerPath = platform::ToLower(path->substr(0, platform::kMaxPath - 1));
    if (FolderMatches(lowerPath, lowerFolder, mode) && processes.Terminate(process.id, 0)) {
      NoteProgramEnded(*path);
      ++ended;
    }
  }
  return ended;
}

}  // namespace shellfit
