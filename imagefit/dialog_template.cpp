#include "imagefit/dialog_template.h"

namespace imagefit {

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
    d.statusId = 1005;
    d.controls = {
        {1, ControlKind::DefaultPushButton, u"START", StyleTabStop, 75, 72, 46, 14},
        {2, ControlKind::PushButton, u"CANCEL", StyleTabStop, 125, 72, 46, 14},
        {1007, ControlKind::Static, u"Cur VER:", StyleLeft | StyleVCenter, 13, 26, 31, 11},
        {1002, ControlKind::Static, u"V0.0.0", StyleCenter | StyleVCenter | StyleBorder, 45, 26, 37, 11},
        {1008, ControlKind::Static, u"New VER:", StyleLeft | StyleVCenter, 86, 26, 39, 11},
        {1003, ControlKind::Static, u"V0.0.0", StyleCenter | StyleVCenter | StyleBorder, 126, 26, 38, 11},
        {1006, ControlKind::GroupBox, u"", 0, 7, 15, 164, 28},
        {1005, ControlKind::Static, u"", StyleLeft, 7, 46, 164, 8},
        {1004, ControlKind::Progress, u"Progress1", StyleSmooth | StyleStaticEdge, 7, 57, 164, 11},
    };
    return d;
  }();
  return dialog;
}

frame::UpdateProgram FrameProgram() {
  frame::UpdateProgram program{};
  program.mutexName = u"VKMORAN3_IMAGEFIT";
  program.dialog = &UpdateDialogTemplate();
  program.anchorId = 1006;
  program.moveOrder = {1006, 1007, 1002, 1008, 1003, 1005, 1004, 1, 2};
  program.statusFontControls = {1008, 1003, 1005};
  program.titleAtHalfMargin = false;
  return program;
}

}  // namespace imagefit
