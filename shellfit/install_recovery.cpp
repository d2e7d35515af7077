#include "shellfit/install_recovery.h"

#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/held_stops.h"
#include "platform/outcome_report.h"
#include "shellfit/shellfit.h"
#include "shellfit/staged_install.h"

namespace shellfit {
namespace {

const char* Words(Recovery::What what) {
  switch (what) {
    case Recovery::What::FinishedStaged:
      return "finished the staged install the last run had committed";
    case Recovery::What::StagedUnfinished:
      return "could not yet finish the staged install the last run had committed";
    case Recovery::What::DiscardedStaging:
      return "removed the staged files of an install that never committed; the old shell was whole";
    case Recovery::What::InterruptedInPlace:
      return "found an in-place install that was interrupted; the shell is incomplete until it "
             "is installed again";
    case Recovery::What::Nothing:
      break;
  }
  return "";
}

void NoteRecovery(const Recovery& recovery) {
  if (recovery.what == Recovery::What::Nothing || !platform::Outcome().Active()) return;
  platform::Outcome().Set("recovery.action", platform::ReportText(Words(recovery.what)));
  if (recovery.record) {
    platform::Outcome().Set("recovery.package", platform::ReportText(recovery.record->package));
  }
}

}  // namespace

Recovery RecoverInterruptedInstall(std::u16string_view target) {
  Recovery recovery;
  // The usual start: one look-up.
  if (platform::Files().GetAttributes(InstallFolder(target)) == platform::kInvalidAttributes) {
    return recovery;
  }
  recovery.record = ReadInstallRecord(target);
  const bool staging =
      platform::Files().GetAttributes(StagingFolder(target)) != platform::kInvalidAttributes;
  // Finishing or undoing is a change of the device like an install.
  const platform::HeldStops held;
  if (recovery.record && recovery.record->mode == InstallRecord::Mode::Staged) {
    recovery.what = FinishStagedInstall(nullptr, *recovery.record, target)
                        ? Recovery::What::FinishedStaged
                        : Recovery::What::StagedUnfinished;
  } else {
    DiscardStaging(target);
    if (recovery.record) {
      recovery.what = Recovery::What::InterruptedInPlace;
    } else if (staging) {
      recovery.what = Recovery::What::DiscardedStaging;
    }
  }
  NoteRecovery(recovery);
  return recovery;
}

bool IsRecordedPackage(const InstallRecord& record, std::u16string_view package) {
  InstallRecord now;
  return CanonicalDevicePath(record.package) == CanonicalDevicePath(package) &&
         DescribePackage(package, &now) && now.packageSize == record.packageSize &&
         now.packageTailCrc == record.packageTailCrc;
}

}  // namespace shellfit
