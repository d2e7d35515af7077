// The dialog frame driven through its dialog procedure: layout arithmetic for
// both templates on two screens, fonts, painting and the message handling.
#include <gtest/gtest.h>

#include <functional>
#include <list>

#include "frame/update_dialog.h"
#include "imagefit/dialog_template.h"
#include "platform/environment.h"
#include "shellfit/dialog_template.h"
#include "tests/support/painting_dialog.h"
#include "ui/console/console_host.h"

namespace frame_test {
namespace {

using test_support::PaintingDialog;

using platform::Rect;
using ui::ScreenMetrics;

// A program run whose steps a test sets.
class TestRun : public frame::ProgramRun {
 public:
  bool InitDialog(platform::Dialog& dialog) override { return !initDialog || initDialog(dialog); }
  bool ForceStart() const override { return force; }
  void OnStart(platform::Dialog& dialog) override {
    if (onStart) onStart(dialog);
  }

  std::function<bool(platform::Dialog&)> initDialog;
  std::function<void(platform::Dialog&)> onStart;
  bool force = false;
};

class FrameTest : public ::testing::Test {
 protected:
  void Use(const ui::ScreenMetrics& screen) {
    scope_.reset();  // restores the outer environment before the next is installed
    host_ = std::make_unique<ui::ConsoleDialogHost>(screen, in_, out_);
    platform::Environment env;
    env.dialogs = host_.get();
    scope_ = std::make_unique<platform::ScopedEnvironment>(env);
  }

  // The frame's state for a dialog of `program`, as RunUpdateProgram makes
  // it, passed as WM_INITDIALOG's lParam.
  intptr_t FrameFor(const frame::UpdateProgram& program) {
    frames_.push_back(frame::FrameRun{program, run_});
    return reinterpret_cast<intptr_t>(&frames_.back());
  }

  // Runs WM_INITDIALOG and returns the dialog, still open.
  std::unique_ptr<PaintingDialog> Open(const frame::UpdateProgram& program,
                                       const ui::ScreenMetrics& screen) {
    Use(screen);
    auto dialog =
        std::make_unique<PaintingDialog>(*program.dialog, frame::UpdateDialogProc, screen);
    dialog->SendMessage(platform::WM_INITDIALOG, 0, FrameFor(program));
    return dialog;
  }

  frame::FrameRun& FrameOf(PaintingDialog& dialog) { return frame::RunOf(dialog); }

  // The control's client position before the layout, in pixels.
  static std::pair<int, int> Origin(const platform::DialogTemplate& dialog, int id) {
    for (const auto& control : dialog.controls) {
      if (control.id == id) return {control.x * 2, control.y * 2};
    }
    ADD_FAILURE() << "no control " << id;
    return {0, 0};
  }

  void ExpectShifted(PaintingDialog& dialog, const frame::UpdateProgram& program, int dx, int dy) {
    for (const auto& control : program.dialog->controls) {
      const auto [x, y] = Origin(*program.dialog, control.id);
      const Rect r = dialog.GetWindowRect(control.id);
      EXPECT_EQ(r.left, x + dx) << "control " << control.id;
      EXPECT_EQ(r.top, y + dy) << "control " << control.id;
      EXPECT_EQ(r.Width(), control.cx * 2) << "control " << control.id;
      EXPECT_EQ(r.Height(), control.cy * 2) << "control " << control.id;
    }
  }

  std::istringstream in_;
  std::ostringstream out_;
  std::unique_ptr<ui::ConsoleDialogHost> host_;
  std::unique_ptr<platform::ScopedEnvironment> scope_;
  TestRun run_;
  std::list<frame::FrameRun> frames_;
};

const ui::ScreenMetrics kSmall{480, 272, 13};
const ui::ScreenMetrics kLarge{640, 480, 17};

TEST_F(FrameTest, ShellfitLayoutOnTwoScreens) {
  const frame::UpdateProgram program = shellfit::FrameProgram();
  run_.title = u"KTR 60 SHELL UPDATE";
  {
    auto dialog = Open(program, kSmall);
    // dx = (480 - 346) / 2; dy = 13 + 6 + 27 - 42 ("Source:" at 21 units).
    ExpectShifted(*dialog, program, 67, 4);
    EXPECT_EQ(dialog->windowText(), u"KTR 60 SHELL UPDATE");
    EXPECT_EQ(dialog->GetWindowRect(0), (Rect{0, 0, 480, 272}));
    EXPECT_TRUE(dialog->shown());
  }
  {
    auto dialog = Open(program, kLarge);
    // dx = (640 - 346) / 2; dy = 17 + 8 + 27 - 42.
    ExpectShifted(*dialog, program, 147, 10);
    EXPECT_EQ(dialog->GetWindowRect(0), (Rect{0, 0, 640, 480}));
  }
}

TEST_F(FrameTest, ImagefitLayoutMeasuresTheEmptyTitle) {
  const frame::UpdateProgram program = imagefit::FrameProgram();
  {
    auto dialog = Open(program, kSmall);
    // dx = (480 - 356) / 2; dy = 13 + 6 + 27 - 30 (group box at 15 units):
    // the empty title still has the title font's height.
    ExpectShifted(*dialog, program, 62, 16);
    EXPECT_EQ(dialog->windowText(), u"");
  }
  {
    auto dialog = Open(program, kLarge);
    ExpectShifted(*dialog, program, 142, 22);
  }
}

TEST_F(FrameTest, OddWidthsAndMarginsRoundTowardZero) {
  const frame::UpdateProgram program = shellfit::FrameProgram();
  run_.title = u"T";
  auto dialog = Open(program, ui::ScreenMetrics{347, 300, 1});
  // dx = (347 - 346) / 2 = 0; m / 2 = 0, so dy = 1 + 0 + 27 - 42.
  ExpectShifted(*dialog, program, 0, -14);

  // A screen narrower than the dialog shifts to the left.
  auto narrow = Open(program, ui::ScreenMetrics{320, 240, 13});
  ExpectShifted(*narrow, program, -13, 4);
}

TEST_F(FrameTest, FontsGoToTheRightControlsAndAreDeletedAtDestroy) {
  const frame::UpdateProgram program = imagefit::FrameProgram();
  auto dialog = Open(program, kSmall);
  const frame::FrameRun& frame = FrameOf(*dialog);
  ASSERT_NE(frame.statusFont, 0u);
  ASSERT_NE(frame.titleFont, 0u);
  EXPECT_EQ(dialog->FontOf(frame.statusFont).weight, 900);
  EXPECT_EQ(dialog->FontOf(frame.statusFont).height, ui::SystemLogFont().height);
  EXPECT_EQ(dialog->FontOf(frame.titleFont).weight, 900);
  EXPECT_EQ(dialog->FontOf(frame.titleFont).height, 27);
  for (const auto& control : dialog->controls()) {
    const bool bold =
        control.source.id == 1008 || control.source.id == 1003 || control.source.id == 1005;
    EXPECT_EQ(control.font, bold ? frame.statusFont : 0u) << "control " << control.source.id;
  }
  const platform::FontHandle title = frame.titleFont;
  dialog->SendMessage(platform::WM_DESTROY);
  EXPECT_EQ(frame.statusFont, 0u);
  EXPECT_EQ(frame.titleFont, 0u);
  // Deleted: the handle no longer names the bold font.
  EXPECT_EQ(dialog->FontOf(title).weight, ui::SystemLogFont().weight);
  EXPECT_EQ(dialog->openPainters, 0);
}

TEST_F(FrameTest, PaintDrawsTheBracketedTitleAtHalfOrFullMargin) {
  run_.title = u"KTR 60 SHELL UPDATE";
  {
    const frame::UpdateProgram program = shellfit::FrameProgram();
    auto dialog = Open(program, kLarge);
    EXPECT_EQ(dialog->SendMessage(platform::WM_PAINT), 0);
    ASSERT_EQ(dialog->drawn.size(), 1u);
    const test_support::DrawnText& title = dialog->drawn[0];
    EXPECT_EQ(title.text, u"[ KTR 60 SHELL UPDATE ]");
    EXPECT_EQ(title.rect, (Rect{0, 8, 640, 8 + 27}));
    EXPECT_EQ(title.format, platform::DT_CENTER | platform::DT_NOPREFIX);
    EXPECT_EQ(title.color, 0x800000u);
    EXPECT_EQ(title.font.height, 27);
    EXPECT_EQ(title.bkMode, platform::TRANSPARENT);
    // The background came first, in the static colour over the whole client.
    ASSERT_EQ(dialog->filled.size(), 1u);
    EXPECT_EQ(dialog->filled[0].first, (Rect{0, 0, 640, 480}));
    EXPECT_EQ(dialog->filled[0].second, dialog->GetSysColor(platform::COLOR_STATIC));
  }
  {
    run_.title = u"KTR 60 OS UPDATE";
    const frame::UpdateProgram program = imagefit::FrameProgram();
    auto dialog = Open(program, kLarge);
    dialog->SendMessage(platform::WM_PAINT);
    ASSERT_EQ(dialog->drawn.size(), 1u);
    EXPECT_EQ(dialog->drawn[0].text, u"[ KTR 60 OS UPDATE ]");
    EXPECT_EQ(dialog->drawn[0].rect.top, 17);
    EXPECT_EQ(dialog->openPainters, 0);
  }
}

TEST_F(FrameTest, PaintWithoutTitleFontUsesTheContextsFont) {
  const frame::UpdateProgram program = shellfit::FrameProgram();
  auto dialog = Open(program, kSmall);
  dialog->SendMessage(platform::WM_DESTROY);  // fonts gone
  dialog->SendMessage(platform::WM_PAINT);
  ASSERT_EQ(dialog->drawn.size(), 1u);
  EXPECT_EQ(dialog->drawn[0].font.height, ui::SystemLogFont().height);
  EXPECT_EQ(dialog->drawn[0].rect.Height(), ui::SystemLogFont().height);
}

TEST_F(FrameTest, EraseWithoutContextDoesNothing) {
  const frame::UpdateProgram program = shellfit::FrameProgram();
  auto dialog = Open(program, kSmall);
  EXPECT_EQ(dialog->SendMessage(platform::WM_ERASEBKGND, 0), 0);
  EXPECT_TRUE(dialog->filled.empty());
}

TEST_F(FrameTest, CommandsStartCancelAndIgnoreOthers) {
  const frame::UpdateProgram program = shellfit::FrameProgram();
  int starts = 0;
  run_.onStart = [&starts](platform::Dialog&) { ++starts; };
  auto dialog = Open(program, kSmall);
  EXPECT_EQ(dialog->SendMessage(platform::WM_COMMAND, 7), 0);
  // The notification code in the high word is not looked at.
  dialog->SendMessage(platform::WM_COMMAND, (5u << 16) | 1u);
  EXPECT_EQ(starts, 1);
  EXPECT_FALSE(dialog->ended());
  dialog->SendMessage(platform::WM_COMMAND, 2);
  EXPECT_TRUE(dialog->ended());
  EXPECT_EQ(dialog->RunModal(FrameFor(program)), 2);
}

TEST_F(FrameTest, ForceStartPressesStartOnceShown) {
  const frame::UpdateProgram program = shellfit::FrameProgram();
  run_.force = true;
  run_.onStart = [](platform::Dialog& dialog) { dialog.EndDialog(1); };
  Use(kSmall);
  PaintingDialog dialog(*program.dialog, frame::UpdateDialogProc, kSmall);
  // No input at all: the posted START runs before the loop asks for any.
  EXPECT_EQ(dialog.RunModal(FrameFor(program)), 1);
}

// START's work as shellfit does it: both buttons off, then the status line
// pumps one message per change.
void DisableAndPump(platform::Dialog& dialog, int* starts) {
  ++*starts;
  dialog.EnableItem(1, false);
  dialog.EnableItem(2, false);
  frame::ShowStatus(dialog, u"Copying...", u"a.txt");
  frame::ShowStatus(dialog, u"Copying...", u"b.txt");
  dialog.EndDialog(1);
}

TEST_F(FrameTest, ClicksQueuedBeforeTheButtonsWentOffAreDropped) {
  const frame::UpdateProgram program = shellfit::FrameProgram();
  int starts = 0;
  run_.onStart = [&starts](platform::Dialog& dialog) { DisableAndPump(dialog, &starts); };
  Use(kSmall);
  PaintingDialog dialog(*program.dialog, frame::UpdateDialogProc, kSmall);
  // Clicked in quick succession, before START's work disabled the buttons:
  // the pump must neither cancel the run nor start it a second time.
  dialog.Click(1);
  dialog.Click(2);
  dialog.Click(1);
  EXPECT_EQ(dialog.RunModal(FrameFor(program)), 1);
  EXPECT_EQ(starts, 1);
}

TEST_F(FrameTest, FailedStartChecksEndWithMinusOneUnseen) {
  const frame::UpdateProgram program = imagefit::FrameProgram();
  run_.initDialog = [](platform::Dialog&) { return false; };
  Use(kSmall);
  PaintingDialog dialog(*program.dialog, frame::UpdateDialogProc, kSmall);
  EXPECT_EQ(dialog.RunModal(FrameFor(program)), -1);
  EXPECT_FALSE(dialog.shown());
}

TEST_F(FrameTest, MessageBoxesCarryTheTitleAndAreTopmost) {
  const frame::UpdateProgram program = shellfit::FrameProgram();
  run_.title = u"KTR 60 SHELL UPDATE";
  auto dialog = Open(program, kSmall);
  EXPECT_EQ(frame::ShowMessageBox(*dialog, u"x", platform::MB_OK | platform::MB_ICONINFORMATION),
            platform::IDOK);
  EXPECT_EQ(dialog->lastCaption, u"KTR 60 SHELL UPDATE");
  EXPECT_EQ(dialog->lastStyle,
            platform::MB_OK | platform::MB_ICONINFORMATION | platform::MB_TOPMOST);
}

}  // namespace
}  // namespace frame_test
