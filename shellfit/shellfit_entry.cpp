// The shell updater's entry: the device model, the flash drive and source
// folders, the command line ("/force", "/upgrade" or a source folder), then
// the update dialog. Every early exit is silent and ends with 0.
#include "shellfit/shellfit_entry.h"

#include "frame/device_identity.h"
#include "frame/update_dialog.h"
#include "platform/outcome_report.h"
#include "platform/text.h"
#include "shellfit/dialog_template.h"
#include "shellfit/shellfit.h"

namespace shellfit {
namespace {

// "/upgrade": go on only when a package is there and it is newer.
bool UpgradeWanted() {
  std::u16string package;
  return FindPackage(&package) && IsPackageNewer(package, TargetFolder);
}

bool Prepare(const std::u16string& commandLine) {
  if (!frame::ReadRegistryString(u"Ident", u"Model", &Model) || Model.empty()) return false;
  if (!frame::GetFlashDriveFolder(&TargetFolder)) return false;
  frame::GetModuleFolder(&SourceFolder);
  if (platform::EqualsNoCase(commandLine, u"/force")) {
    ForceStart = true;
  } else if (platform::EqualsNoCase(commandLine, u"/upgrade")) {
    if (!UpgradeWanted()) {
      platform::SetOutcome("not-newer");
      return false;
    }
  } else if (!commandLine.empty()) {
    SourceFolder = commandLine.substr(0, platform::kMaxPath - 1);
  }
  if (SourceFolder.empty()) return false;
  if (SourceFolder.back() == u'\\') SourceFolder.pop_back();
  // The layout measures and shows the title before it hands over to us.
  frame::TitleText = Model + u" SHELL UPDATE";
  return true;
}

void FillFields(platform::Dialog& dialog) {
  dialog.SetItemText(kSourceControl, SourceFolder);
  dialog.SetItemText(kTargetControl, TargetFolder);
  dialog.SetItemText(kStatusControl, u"Ready...");
  dialog.SetProgressRange(kProgressControl, 0, 100);
  dialog.SetProgressPos(kProgressControl, 0);
}

}  // namespace

int ShellfitMain(const std::u16string& commandLine) {
  static frame::UpdateProgram program = [] {
    frame::UpdateProgram p = FrameProgram();
    p.prepare = &Prepare;
    p.afterLayout = &FillFields;
    p.forceStart = &ForceStart;
    p.onStart = &RunUpdate;
    return p;
  }();
  return frame::RunUpdateProgram(program, commandLine);
}

}  // namespace shellfit
