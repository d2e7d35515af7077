// The shell updater's entry: the device model, the flash drive and source
// folders, the command line ("/force", "/upgrade" or a source folder), then
// the update dialog. Every early exit ends with 0; one the registry causes
// is said on stderr, where a technician at a console looks.
#include "shellfit/shellfit_entry.h"

#include <cstdio>

#include "frame/device_identity.h"
#include "frame/update_dialog.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/outcome_report.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "shellfit/dialog_template.h"
#include "shellfit/install_recovery.h"
#include "shellfit/package_signature.h"
#include "shellfit/shellfit.h"

namespace shellfit {
namespace {

// The first status line after a start that found the last install
// interrupted: what was found, and what is on the flash drive now.
std::u16string_view FoundWords(const Recovery& recovery) {
  switch (recovery.what) {
    case Recovery::What::InterruptedInPlace:
      return u"Ready... The last update was interrupted.";
    case Recovery::What::ForeignRecord:
      return u"Ready... An install record that belongs to no install here was found and not "
             u"followed; the old shell is kept.";
    case Recovery::What::DamagedStaging:
      return u"Ready... The last update's staged files were damaged; the old shell was restored.";
    case Recovery::What::DamagedRecord:
      return u"Ready... The last update's record was damaged; the old shell was restored.";
    case Recovery::What::PutBack:
      return u"Ready... The last update did not verify in place; the old shell was restored.";
    case Recovery::What::PutBackInPart:
      return u"Ready... The last update did not verify in place; not all of the old shell could "
             u"be put back.";
    case Recovery::What::StagedUnfinished:
      return u"Ready... The last update is not finished yet; the old shell is kept aside.";
    case Recovery::What::FinishedVerified:
      return u"Ready... The last update's record was damaged; the new shell verified whole in "
             u"place and was kept.";
    case Recovery::What::FinishedStaged:
      return u"Ready... The last update was finished; the new shell verified in place.";
    default:
      break;
  }
  return recovery.setAside > 0
             ? u"Ready... Something the updater did not make was found in its folder and moved "
               u"aside."
             : u"";
}

// "/upgrade": go on only when a package is there and it is newer. Nothing
// of a package whose signature the device would refuse is unpacked to be
// compared: the dialog comes up, and START says why it is refused. The very
// package whose in-place install was interrupted counts as newer, since the
// shell it left is incomplete whatever its main.exe says.
bool UpgradeWanted(const UpdateSite& site, const Recovery& recovery) {
  std::u16string package;
  if (!FindPackage(site, &package)) return false;
  if (recovery.what == Recovery::What::InterruptedInPlace &&
      IsRecordedPackage(*recovery.record, package)) {
    return true;
  }
  return !PackageSignatureHolds(package, site.model) || IsPackageNewer(package, site.targetFolder);
}

void PrintOnStderr(const std::string& text) {
  std::fprintf(stderr, "shellfit: %s\n", text.c_str());
}

// Said on stderr, and the report's reason.
void NotStarted(const std::string& text) {
  PrintOnStderr(text);
  platform::Outcome().Set("reason", platform::ReportText(text));
}

}  // namespace

// Why the model cannot be used, or what it costs; false when it cannot.
bool ShellfitRun::ReadModel() {
  std::u16string& model = site_.model;
  if (frame::ReadRegistryString(u"Ident", u"Model", &model) && !model.empty()) {
    for (char16_t unit : model) {
      if (unit < 0x20) {
        PrintOnStderr(
            "the model name (HKEY_LOCAL_MACHINE\\Ident, \"Model\") holds a line break or "
            "another control character, which no file name can hold: only a package found "
            "as \"* SHELL.ZIP\" can be used");
        break;
      }
    }
    return true;
  }
  const auto value = platform::Reg().QueryValue(u"Ident", u"Model");
  if (!value) {
    NotStarted("no model name in the registry (HKEY_LOCAL_MACHINE\\Ident, \"Model\"); not started");
  } else if (model.empty() && value->data.size() <= 2) {
    NotStarted(
        "the model name in the registry (HKEY_LOCAL_MACHINE\\Ident, \"Model\") is empty; "
        "not started");
  } else {
    NotStarted("the model name in the registry (HKEY_LOCAL_MACHINE\\Ident, \"Model\") has " +
               std::to_string(value->data.size() / 2 - 1) +
               " characters; it must have fewer than 260; not started");
  }
  return false;
}

bool ShellfitRun::Prepare(const std::u16string& commandLine) {
  if (!ReadModel()) return false;
  std::u16string& source = site_.sourceFolder;
  const std::u16string& target = site_.targetFolder;
  if (!frame::GetFlashDriveFolder(&site_.targetFolder)) {
    NotStarted(
        "no flash drive folder in the registry (HKEY_LOCAL_MACHINE\\System\\"
        "StorageManager\\Profiles\\FlashDrv or NewFlashDrv, \"Folder\"); not started");
    return false;
  }
  // Before anything else looks at the flash drive.
  const Recovery recovery = RecoverInterruptedInstall(target);
  found_ = FoundWords(recovery);
  // The packaged main.exe an interrupted version check left beside the shell.
  const std::u16string leftover = WithBackslash(target) + u"_main.exe";
  if (platform::Files().GetEntryKind(leftover) == platform::EntryKind::File) {
    frame::ForceDeleteFile(leftover);
  }
  frame::GetModuleFolder(&source);
  if (platform::EqualsNoCase(commandLine, u"/force")) {
    forceStart_ = true;
  } else if (platform::EqualsNoCase(commandLine, u"/upgrade")) {
    if (!UpgradeWanted(site_, recovery)) {
      platform::SetOutcome(platform::RunOutcome::kNotNewer);
      return false;
    }
  } else if (!commandLine.empty()) {
    source = commandLine.substr(0, platform::kMaxPath - 1);
  }
  if (source.empty()) return false;
  if (source.back() == u'\\') source.pop_back();
  // The layout measures and shows the title before it hands over to us.
  title = site_.model + u" SHELL UPDATE";
  return true;
}

void ShellfitRun::AfterLayout(platform::Dialog& dialog) {
  dialog.SetItemText(kSourceControl, site_.sourceFolder);
  dialog.SetItemText(kTargetControl, site_.targetFolder);
  dialog.SetItemText(kStatusControl, found_.empty() ? u"Ready..." : found_);
  dialog.SetProgressRange(kProgressControl, 0, 100);
  dialog.SetProgressPos(kProgressControl, 0);
}

int ShellfitMain(const std::u16string& commandLine) {
  static const frame::UpdateProgram program = FrameProgram();
  ShellfitRun run;
  return frame::RunUpdateProgram(program, run, commandLine);
}

}  // namespace shellfit
