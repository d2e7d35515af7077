#include "shellfit/dialog_template.h"

#include "platform/dialog_controls.h"

namespace shellfit {

namespace ids = platform::controls;
using platform::ControlKind;
using platform::StyleBorder;
using platform::StyleLeft;
using platform::StyleSmooth;
using platform::StyleStaticEdge;
using platform::StyleTabStop;
using platform::StyleVCenter;

const platform::DialogTemplate& UpdateDialogTemplate() {
  static const platform::DialogTemplate dialog = [] {
    platform::DialogTemplate d;
    d.cx = 173;
    d.cy = 103;
    d.visible = true;
    d.statusId = ids::kStatus;
    d.controls = {
        {ids::kStart, ControlKind::DefaultPushButton, u"START", StyleTabStop, 66, 82, 48, 14},
        {ids::kCancel, ControlKind::PushButton, u"Cancel", StyleTabStop, 118, 82, 48, 14},
        {ids::kShellSource, ControlKind::Static, u"", StyleLeft | StyleVCenter | StyleBorder, 40,
         21, 126, 11},
        {ids::kShellTarget, ControlKind::Static, u"", StyleLeft | StyleVCenter | StyleBorder, 40,
         36, 126, 11},
        {ids::kShellSourceLabel, ControlKind::Static, u"Source:", StyleLeft | StyleVCenter, 7, 21,
         29, 11},
        {ids::kShellTargetLabel, ControlKind::Static, u"Target:", StyleLeft | StyleVCenter, 7, 36,
         29, 11},
        {ids::kStatus, ControlKind::Static, u"Ready...", StyleLeft | StyleVCenter, 7, 54, 159, 9},
        {ids::kShellProgress, ControlKind::Progress, u"Progress1", StyleSmooth | StyleStaticEdge, 7,
         65, 159, 11},
    };
    return d;
  }();
  return dialog;
}

frame::UpdateProgram FrameProgram() {
  frame::UpdateProgram program{};
  program.name = u"shellfit";
  program.mutexName = u"VKMORAN3_SHELLFIT";
  program.dialog = &UpdateDialogTemplate();
  program.anchorId = ids::kShellSourceLabel;
  program.moveOrder = {ids::kShellSourceLabel,
                       ids::kShellSource,
                       ids::kShellTargetLabel,
                       ids::kShellTarget,
                       ids::kStatus,
                       ids::kShellProgress,
                       ids::kStart,
                       ids::kCancel};
  program.statusFontControls = {ids::kStatus};
  program.titleAtHalfMargin = true;
  return program;
}

}  // namespace shellfit
