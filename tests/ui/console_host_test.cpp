// The console host's own behaviour: message box answers, the modal loop's
// input and what it refuses.
#include <gtest/gtest.h>

#include <sstream>

#include "ui/console/console_host.h"
#include "ui/console/console_view.h"

namespace ui_test {
namespace {

using ui::AskMessageBox;

int Ask(const std::string& input, uint32_t style, std::string* output = nullptr) {
  std::istringstream in(input);
  std::ostringstream out;
  const int answer =
      ui::AskMessageBox(in, out, u"Board revision differs.\nCONTINUE?", u"KTR 60 OS UPDATE", style);
  if (output != nullptr) *output = out.str();
  return answer;
}

TEST(ConsoleMessageBox, AnswersByFirstLetterOrDefault) {
  const uint32_t yesNo = platform::MB_YESNO | platform::MB_ICONQUESTION;
  EXPECT_EQ(Ask("y\n", yesNo), platform::IDYES);
  EXPECT_EQ(Ask("  NO \n", yesNo), platform::IDNO);
  EXPECT_EQ(Ask("\n", yesNo), platform::IDYES);
  EXPECT_EQ(Ask("\n", yesNo | platform::MB_DEFBUTTON2), platform::IDNO);
  EXPECT_EQ(Ask("", yesNo | platform::MB_DEFBUTTON2), platform::IDNO);  // end of input
  EXPECT_EQ(Ask("", platform::MB_OK), platform::IDOK);
  EXPECT_EQ(Ask("ok\n", platform::MB_OK), platform::IDOK);
}

TEST(ConsoleMessageBox, UnknownAnswersAskAgain) {
  std::string output;
  EXPECT_EQ(Ask("maybe\nok\nyes\n", platform::MB_YESNO | platform::MB_DEFBUTTON2, &output),
            platform::IDYES);
  EXPECT_NE(output.find("message box: KTR 60 OS UPDATE\nBoard revision differs.\nCONTINUE?\n"),
            std::string::npos)
      << output;
  EXPECT_NE(output.find("buttons: [Yes] <No>\n"), std::string::npos) << output;
  // Three prompts: "maybe" and "ok" name no button of a Yes/No box.
  std::size_t prompts = 0;
  for (std::size_t at = output.find("answer: "); at != std::string::npos;
       at = output.find("answer: ", at + 1)) {
    ++prompts;
  }
  EXPECT_EQ(prompts, 3u);
}

intptr_t StartDisabledProc(platform::Dialog& dialog, uint32_t message, uintptr_t wParam, intptr_t) {
  if (message == platform::WM_INITDIALOG) {
    dialog.EnableItem(1, false);
    dialog.Show();
  }
  if (message == platform::WM_COMMAND) dialog.EndDialog(static_cast<int>(wParam));
  return 0;
}

platform::DialogTemplate TwoButtons() {
  platform::DialogTemplate dialog;
  dialog.cx = 100;
  dialog.cy = 50;
  dialog.controls = {
      {1, platform::ControlKind::DefaultPushButton, u"START", 0, 10, 30, 40, 14},
      {2, platform::ControlKind::PushButton, u"Cancel", 0, 55, 30, 40, 14},
  };
  return dialog;
}

TEST(ConsoleModalLoop, DisabledButtonsCannotBePressed) {
  const platform::DialogTemplate dialog = TwoButtons();
  std::istringstream in("start\n\nwhat\n");
  std::ostringstream out;
  ui::ConsoleDialogHost host(ui::ScreenMetrics{}, in, out);
  EXPECT_EQ(host.RunModal(dialog, &StartDisabledProc, 0), 2);  // end of input: Cancel
  const std::string text = out.str();
  EXPECT_NE(text.find("START is disabled\n"), std::string::npos) << text;
  EXPECT_NE(text.find("unknown input \"what\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("(START)  [Cancel]"), std::string::npos) << text;
}

TEST(ConsoleModalLoop, ProgressStaysInsideItsRange) {
  const platform::DialogTemplate dialog = [] {
    platform::DialogTemplate d = TwoButtons();
    d.controls.push_back({1006, platform::ControlKind::Progress, u"", 0, 5, 5, 90, 10});
    return d;
  }();
  std::istringstream in;
  std::ostringstream out;
  auto console = ui::CreateConsoleDialog(dialog, &StartDisabledProc, ui::ScreenMetrics{}, in, out);
  console->SetProgressRange(1006, 0, 1024);
  console->SetProgressPos(1006, 5000);
  EXPECT_EQ(console->Find(1006)->position, 1024);
  console->SetProgressPos(1006, -3);
  EXPECT_EQ(console->Find(1006)->position, 0);
  console->SetProgressPos(1006, 512);
  console->SetProgressRange(1006, 0, 100);
  EXPECT_EQ(console->Find(1006)->position, 100);
}

intptr_t BurstProc(platform::Dialog& dialog, uint32_t message, uintptr_t wParam, intptr_t) {
  if (message == platform::WM_INITDIALOG) {
    dialog.Show();
    dialog.SetProgressRange(1006, 0, 100);
    for (int i = 1; i <= 50; ++i) dialog.SetProgressPos(1006, i);
    dialog.MessageBox(u"Half done.", u"Update", platform::MB_OK);
    for (int i = 51; i <= 100; ++i) dialog.SetProgressPos(1006, i);
  }
  if (message == platform::WM_COMMAND) dialog.EndDialog(static_cast<int>(wParam));
  return 0;
}

// A burst of lines is written a moment later in one piece, but always
// before a message box or a prompt for input: what the console shows stays
// in the order it happened.
TEST(ConsoleModalLoop, ABurstOfLinesComesBeforeTheBoxOrPromptAfterIt) {
  platform::DialogTemplate dialog = TwoButtons();
  dialog.controls.push_back({1006, platform::ControlKind::Progress, u"", 0, 5, 5, 90, 10});
  std::istringstream in("ok\n");
  std::ostringstream out;
  ui::ConsoleDialogHost host(ui::ScreenMetrics{}, in, out);
  EXPECT_EQ(host.RunModal(dialog, &BurstProc, 0), 2);
  const std::string text = out.str();
  EXPECT_LT(text.find("progress: 50/100\n"), text.find("message box: Update")) << text;
  EXPECT_LT(text.find("progress: 100/100\n"), text.find("\n> ")) << text;
}

}  // namespace
}  // namespace ui_test
