// ShowStatus's shortening, measured in the console's fixed cell: the status
// control of shellfit is 318 pixels wide, so a line of 39 units fits and one
// of 40 does not.
#include <gtest/gtest.h>

#include <optional>

#include "frame/update_dialog.h"
#include "platform/environment.h"
#include "platform/text.h"
#include "shellfit/dialog_template.h"
#include "tests/support/painting_dialog.h"
#include "ui/console/console_host.h"

namespace frame_test {
namespace {

using test_support::PaintingDialog;

constexpr std::size_t kFittingUnits = 318 / ui::kConsoleCellWidth;  // 39

class StatusLineTest : public ::testing::Test {
 protected:
  StatusLineTest()
      : program_(shellfit::FrameProgram()),
        host_(screen_, in_, out_),
        scope_(Services()),
        dialog_(*program_.dialog, frame::UpdateDialogProc, screen_) {
    dialog_.SendMessage(platform::WM_INITDIALOG, 0, reinterpret_cast<intptr_t>(&frame_));
  }
  ~StatusLineTest() override { dialog_.SendMessage(platform::WM_DESTROY); }

  platform::Environment Services() {
    platform::Environment env;
    env.dialogs = &host_;
    return env;
  }

  std::u16string StatusLineAfter(std::u16string_view action, std::u16string_view name) {
    frame::ShowStatus(dialog_, action, name);
    return dialog_.GetItemText(1005);
  }

  ui::ScreenMetrics screen_{480, 272, 13};
  std::istringstream in_;
  std::ostringstream out_;
  frame::UpdateProgram program_;
  frame::ProgramRun run_;
  frame::FrameRun frame_{program_, run_};
  ui::ConsoleDialogHost host_;
  platform::ScopedEnvironment scope_;
  PaintingDialog dialog_;
};

TEST_F(StatusLineTest, StatusControlIsAsWideAsAssumed) {
  EXPECT_EQ(dialog_.GetClientRect(1005).Width(), 318);
}

TEST_F(StatusLineTest, NameThatFitsIsShownInFull) {
  EXPECT_EQ(StatusLineAfter(u"Deleting...", u"boot.dll"), u"Deleting... boot.dll");
  // As wide as whole cells fill the control (312 of its 318 pixels).
  const std::u16string name(kFittingUnits - 11, u'n');
  EXPECT_EQ(StatusLineAfter(u"Copying...", name), u"Copying... " + name);
  EXPECT_EQ(StatusLineAfter(u"Copying...", u""), u"Copying...");
  EXPECT_EQ(dialog_.openPainters, 0);
}

TEST_F(StatusLineTest, SeveralComponentsShrinkToFirstAndLast) {
  EXPECT_EQ(StatusLineAfter(u"Copying...", u"Program Files\\Navigation\\Maps\\de.map"),
            u"Copying... Program Files\\...\\de.map");
  // A leading backslash makes the first component empty.
  EXPECT_EQ(StatusLineAfter(u"Copying...", u"\\Flash Disk\\Navi\\a.txt\\b\\c\\d.bin"),
            u"Copying... \\...\\d.bin");
}

TEST_F(StatusLineTest, CharactersAreDroppedFromTheFront) {
  const std::u16string single = u"AVeryLongFileNameWithoutAnyFolderPart.dat";
  const std::size_t keep = kFittingUnits - 11 - 3;
  EXPECT_EQ(StatusLineAfter(u"Copying...", single),
            u"Copying... ..." + single.substr(single.size() - keep));

  // First and last are still too wide: then the front goes too.
  const std::u16string last = u"AnExtremelyLongFileNameThatDoesNotFit.txt";
  const std::u16string nested = u"Folder\\Sub\\" + last;
  EXPECT_EQ(StatusLineAfter(u"Copying...", nested),
            u"Copying... ..." + last.substr(last.size() - keep));
}

TEST_F(StatusLineTest, ShortNamesThatDoNotFitLeaveTheActionAlone) {
  const std::u16string wide(35, u'a');  // 35 + 1 + 4 = 40 units
  EXPECT_EQ(StatusLineAfter(wide, u"abcd"), wide);
  // A longer name shrinks one unit per cut until it fits: 33 + 1 + 5.
  const std::u16string action(33, u'a');
  EXPECT_EQ(StatusLineAfter(action, u"abcdefghij"), action + u" ...ij");
  // Five units that never fit: cut to "...e", still too wide, then alone.
  EXPECT_EQ(StatusLineAfter(std::u16string(38, u'a'), u"abcde"), std::u16string(38, u'a'));
}

// Shellfit's dialog with its status control `cx` dialog units (two pixels
// each) wide.
struct StatusOfWidth {
  explicit StatusOfWidth(int cx) : wide(shellfit::UpdateDialogTemplate()) {
    for (auto& control : wide.controls) {
      if (control.id == 1005) control.cx = cx;
    }
    program.dialog = &wide;
    env.dialogs = &host;
    scope.emplace(env);
    dialog.emplace(wide, frame::UpdateDialogProc, screen);
  }
  std::u16string StatusLineAfter(std::u16string_view action, std::u16string_view name) {
    frame::ShowStatus(*dialog, action, name);
    return dialog->GetItemText(1005);
  }

  platform::DialogTemplate wide;
  frame::UpdateProgram program = shellfit::FrameProgram();
  const ui::ScreenMetrics screen{480, 272, 13};
  std::istringstream in;
  std::ostringstream out;
  ui::ConsoleDialogHost host{screen, in, out};
  platform::Environment env;
  std::optional<platform::ScopedEnvironment> scope;
  std::optional<PaintingDialog> dialog;
};

TEST(StatusLine, NeverLongerThanTheStatusBuffer) {
  // A status control wide enough for 500 units still gets at most 259.
  StatusOfWidth line(2000);
  std::u16string name;
  for (int i = 0; i < 300; ++i) name += static_cast<char16_t>(u'a' + i % 26);
  const std::u16string shown = line.StatusLineAfter(u"Copying...", name);
  EXPECT_EQ(shown.size(), platform::kMaxPath - 1);
  EXPECT_EQ(shown, u"Copying... ..." + name.substr(name.size() - (259 - 14)));
}

TEST(StatusLine, TextExactlyAsWideAsTheControlIsShownInFull) {
  StatusOfWidth line(160);
  ASSERT_EQ(line.dialog->GetClientRect(1005).Width(), 40 * ui::kConsoleCellWidth);
  const std::u16string name(40 - 11, u'n');
  EXPECT_EQ(line.StatusLineAfter(u"Copying...", name), u"Copying... " + name);
  EXPECT_EQ(line.StatusLineAfter(u"Copying...", name + u"m"),
            u"Copying... ..." + (name + u"m").substr(4));
}

TEST_F(StatusLineTest, EachStatusPumpsExactlyOneMessage) {
  dialog_.PostCommand(7);  // ignored by the dialog procedure
  dialog_.PostCommand(2);  // Cancel
  StatusLineAfter(u"Deleting...", u"a.txt");
  EXPECT_FALSE(dialog_.ended());
  StatusLineAfter(u"Deleting...", u"b.txt");
  EXPECT_TRUE(dialog_.ended());
}

TEST_F(StatusLineTest, ConsolePrintsEveryStatusChange) {
  std::istringstream in("cancel\n");
  std::ostringstream out;
  auto console =
      ui::CreateConsoleDialog(*program_.dialog, frame::UpdateDialogProc, screen_, in, out);
  console->SetUserData(reinterpret_cast<intptr_t>(&frame_));  // paints the run's title
  console->Show();
  frame::ShowStatus(*console, u"Copying...", u"a\\b\\c.txt");
  console->SetProgressRange(1006, 0, 10);
  console->SetProgressPos(1006, 3);
  console->SetProgressPos(1006, 3);
  console->EnableItem(1, false);
  // Lines that come in a burst are written together a moment later; all
  // of them once the dialog goes.
  console.reset();
  const std::string text = out.str();
  EXPECT_NE(text.find("status: Copying... a\\b\\c.txt\n"), std::string::npos) << text;
  EXPECT_NE(text.find("progress: 3/10\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("progress: 3/10\n"), text.rfind("progress: 3/10\n")) << text;
  EXPECT_NE(text.find("START: disabled\n"), std::string::npos) << text;
}

}  // namespace
}  // namespace frame_test
