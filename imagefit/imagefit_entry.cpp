// The OS image updater's entry: the frame's start-up skeleton with one
// ImagefitRun: the image folder chosen from the command line, the image set
// prepared when the dialog is created, and START running the update.
#include "imagefit/imagefit_entry.h"

#include "frame/update_dialog.h"
#include "imagefit/dialog_template.h"
#include "imagefit/imagefit_run.h"

namespace imagefit {
namespace {

// Until the frame calls a run object: the frame's hooks are plain functions,
// so they reach the run that ImagefitMain made through this.
ImagefitRun* g_current = nullptr;

bool Prepare(const std::u16string& commandLine) { return g_current->Prepare(commandLine); }
bool InitDialog(platform::Dialog& dialog) { return g_current->InitDialog(dialog); }
void OnStart(platform::Dialog& dialog) { g_current->OnStart(dialog); }

}  // namespace

int ImagefitMain(const std::u16string& commandLine) {
  static const frame::UpdateProgram program = [] {
    frame::UpdateProgram p = FrameProgram();
    p.prepare = &Prepare;
    p.initDialog = &InitDialog;
    p.onStart = &OnStart;
    return p;
  }();
  ImagefitRun run;
  g_current = &run;
  const int status = frame::RunUpdateProgram(program, commandLine);
  g_current = nullptr;
  return status;
}

}  // namespace imagefit
