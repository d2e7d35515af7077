#include "shellfit/dialog_template.h"

namespace shellfit {

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
    d.statusId = 1005;
    d.controls = {
        {1, ControlKind::DefaultPushButton, u"START", StyleTabStop, 66, 82, 48, 14},
        {2, ControlKind::PushButton, u"Cancel", StyleTabStop, 118, 82, 48, 14},
        {1001, ControlKind::Static, u"", StyleLeft | StyleVCenter | StyleBorder, 40, 21, 126, 11},
        {1002, ControlKind::Static, u"", StyleLeft | StyleVCenter | StyleBorder, 40, 36, 126, 11},
        {1003, ControlKind::Static, u"Source:", StyleLeft | StyleVCenter, 7, 21, 29, 11},
        {1004, ControlKind::Static, u"Target:", StyleLeft | StyleVCenter, 7, 36, 29, 11},
        {1005, ControlKind::Static, u"Ready...", StyleLeft | StyleVCenter, 7, 54, 159, 9},
        {1006, ControlKind::Progress, u"Progress1", StyleSmooth | StyleStaticEdge, 7, 65, 159, 11},
    };
    return d;
  }();
  return dialog;
}

frame::UpdateProgram FrameProgram() {
  frame::UpdateProgram program{};
  program.mutexName = u"VKMORAN3_SHELLFIT";
  program.dialog = &UpdateDialogTemplate();
  program.anchorId = 1003;
  program.moveOrder = {1003, 1001, 1004, 1002, 1005, 1006, 1, 2};
  program.statusFontControls = {1005};
  program.titleAtHalfMargin = true;
  return program;
}

}  // namespace shellfit
