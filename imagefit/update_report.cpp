#include "imagefit/update_report.h"

#include <cstdio>
#include <string>
#include <vector>

#include "imagefit/image_set.h"
#include "imagefit/image_version.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/outcome_report.h"

namespace imagefit {
namespace {

using platform::Outcome;
using platform::ReportFlag;
using platform::ReportNumber;
using platform::ReportText;

platform::ReportItem ImageFileItem(std::u16string_view folder, std::u16string_view name) {
  std::u16string path;
  platform::ReportItem item = {{"name", ReportText(name)}};
  if (!JoinImagePath(folder, name, &path)) {
    item.emplace_back("missing", ReportFlag(true));  // its path would not fit
    return item;
  }
  item.emplace_back("path", ReportText(path));
  const std::vector<platform::FindData> found = platform::Files().Find(path);
  if (found.empty()) {
    item.emplace_back("missing", ReportFlag(true));
  } else {
    item.emplace_back("size", ReportNumber(int64_t(found.front().size)));
  }
  return item;
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

}  // namespace

void NoteImageSet(const LocatedImageSet& located) {
  if (!Outcome().Active()) return;
  const ImageSet& set = located.set;
  Outcome().Set("image_set.folder", ReportText(set.folder));
  for (std::u16string_view name : kImageFileNames) {
    Outcome().Append("image_set.files", ImageFileItem(set.folder, name));
  }
  Outcome().Set("image_set.version_file", ReportText(located.versionFile));
  Outcome().Set("image_set.version", ReportText(FormatShownVersion(set.version)));
  Outcome().Set("image_set.version_code", ReportText(Hex(set.version)));
  Outcome().Set("image_set.revision", ReportNumber(set.version >> 24));
  Outcome().Set("installed_version", ReportText(FormatShownVersion(located.installed)));
  Outcome().Set("image_set.complete", ReportFlag(located.complete));
  if (!located.complete) platform::SetOutcome(platform::RunOutcome::kIncompleteSet);
}

void NoteInterruptedUpdate(MarkedStep step) {
  if (step == MarkedStep::None) return;
  Outcome().Set("interrupted_update.step",
                ReportText(step == MarkedStep::Kernel ? "kernel" : "boot loader"));
  Outcome().Set("interrupted_update.action", ReportText(InterruptedUpdateText(step)));
}

void UpdateReport::NoteFailedSteps() const {
  Outcome().Set("failed_steps", ReportText(failedSteps_));
}

void UpdateReport::NoteRunBegins() {
  ++starts_;
  failedSteps_.clear();
  Outcome().Set("runs", ReportNumber(starts_));
}

void UpdateReport::NoteImageSetCheck(std::u16string_view path, std::string_view what) {
  NoteStep("image set check", path.empty());
  if (path.empty()) return;
  Outcome().Set("refused.file", ReportText(path));
  Outcome().Set("refused.reason", ReportText(what));
  platform::SetOutcome(platform::RunOutcome::kRefused);
}

void UpdateReport::NoteStep(std::string_view step, std::string_view result) {
  if (result != kStepOk) {
    if (!failedSteps_.empty()) failedSteps_ += ", ";
    failedSteps_ += step;
  }
  Outcome().Append(
      "steps",
      {{"run", ReportNumber(starts_)}, {"step", ReportText(step)}, {"result", ReportText(result)}});
  if (result != kStepOk) NoteFailedSteps();
}

void UpdateReport::NoteRevisionCheck(uint32_t board, bool confirmed) {
  Outcome().Set("board_revision", ReportNumber(board));
  NoteStep("revision check", confirmed ? kStepOk : kStepStopped);
  if (!confirmed) platform::SetOutcome(platform::RunOutcome::kDeclined);
}

void UpdateReport::NoteRunResult(int result) {
  Outcome().Set("run_image_update", ReportNumber(result));
  Outcome().Set("restarted", ReportFlag(false));
  NoteFailedSteps();
  if (result < 0) platform::SetOutcome(platform::RunOutcome::kStopped);
}

void UpdateReport::NoteRestart(bool restarted, int result) {
  NoteStep("restart", restarted);
  Outcome().Set("restarted", ReportFlag(restarted));
  if (!restarted) {
    platform::SetOutcome(platform::RunOutcome::kNotRestarted);
  } else {
    platform::SetOutcome(result > 0 && failedSteps_.empty()
                             ? platform::RunOutcome::kRestarted
                             : platform::RunOutcome::kRestartedAfterErrors);
  }
}

}  // namespace imagefit
