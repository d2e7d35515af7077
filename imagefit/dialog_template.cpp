#include "imagefit/dialog_template.h"

#include "platform/dialog_controls.h"

namespace imagefit {

namespace ids = platform::controls;
using platform::ControlKind;
using platform::StyleBorder;
using platform::StyleCenter;
using platform::StyleLeft;
using platform::StyleSmooth;
using platform::StyleStaticEdge;
using platform::StyleTabStop;
using platform::StyleVCenter;

const platform::DialogTemplate& UpdateDialogTemplate() {
  static const platform::DialogTemplate dialog = [] {
    platform::DialogTemplate d;
    d.cx = 178;
    d.cy = 93;
    d.visible = false;
    d.statusId = ids::kStatus;
    d.controls = {
        {ids::kStart, ControlKind::DefaultPushButton, u"START", StyleTabStop, 75, 72, 46, 14},
        {ids::kCancel, ControlKind::PushButton, u"CANCEL", StyleTabStop, 125, 72, 46, 14},
        {ids::kImageInstalledLabel, ControlKind::Static, u"Cur VER:", StyleLeft | StyleVCenter, 13,
         26, 31, 11},
        {ids::kImageInstalledVersion, ControlKind::Static, u"V0.0.0",
         StyleCenter | StyleVCenter | StyleBorder, 45, 26, 37, 11},
        {ids::kImageNewLabel, ControlKind::Static, u"New VER:", StyleLeft | StyleVCenter, 86, 26,
         39, 11},
        {ids::kImageNewVersion, ControlKind::Static, u"V0.0.0",
         StyleCenter | StyleVCenter | StyleBorder, 126, 26, 38, 11},
        {ids::kImageGroup, ControlKind::GroupBox, u"", 0, 7, 15, 164, 28},
        {ids::kStatus, ControlKind::Static, u"", StyleLeft, 7, 46, 164, 8},
        {ids::kImageProgress, ControlKind::Progress, u"Progress1", StyleSmooth | StyleStaticEdge, 7,
         57, 164, 11},
    };
    return d;
  }();
  return dialog;
}

frame::UpdateProgram FrameProgram() {
  frame::UpdateProgram program{};
  program.name = u"imagefit";
  program.mutexName = u"VKMORAN3_IMAGEFIT";
  program.dialog = &UpdateDialogTemplate();
  program.anchorId = ids::kImageGroup;
  program.moveOrder = {ids::kImageGroup,
                       ids::kImageInstalledLabel,
                       ids::kImageInstalledVersion,
                       ids::kImageNewLabel,
                       ids::kImageNewVersion,
                       ids::kStatus,
                       ids::kImageProgress,
                       ids::kStart,
                       ids::kCancel};
  program.statusFontControls = {ids::kImageNewLabel, ids::kImageNewVersion, ids::kStatus};
  program.titleAtHalfMargin = false;
  return program;
}

}  // namespace imagefit
