// The window host under Xvfb: fonts and the default button of message
// boxes. The FltkHost tests run only inside the X server that the
// FltkHostUnderXvfb test starts for them (it runs this binary again there).
#include <gtest/gtest.h>

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/program_runner.h"
#include "ui/fltk/fltk_host.h"
#include "ui/fltk/fltk_message_box.h"
#include "ui/fltk/fltk_painter.h"

namespace ui_test {
namespace {

using test_support::HaveCommand;
using test_support::XvfbRun;

bool InsideXvfb() { return std::getenv("FITKIT_IN_XVFB") != nullptr; }

TEST(FltkHostUnderXvfb, RunsTheWindowTests) {
  if (InsideXvfb()) GTEST_SKIP() << "already inside the X server it starts";
  for (const char* tool : {"xvfb-run", "xdotool"}) {
    if (!HaveCommand(tool)) GTEST_SKIP() << tool << " is not installed, so no window can be tried";
  }
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  const std::string command =
      "FITKIT_IN_XVFB=1 " + XvfbRun() + "'" + self + "' --gtest_filter='FltkHost.*' 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
  const int status = pclose(pipe);
  EXPECT_EQ(status, 0) << output;
  EXPECT_NE(output.find("[  PASSED  ] 2 tests."), std::string::npos) << output;
}

// Presses a key on whatever lies at the middle of the simulated screen after
// a moment, while the message box waits.
void PressLater(const std::string& keys) {
  const std::string command = "(sleep 0.5; xdotool mousemove 240 136; for k in " + keys +
                              "; do xdotool key $k; sleep 0.2; done) &";
  ASSERT_EQ(std::system(command.c_str()), 0);
}

int AskWindow(uint32_t style, const std::string& keys) {
  PressLater(keys);
  return ui::RunFltkMessageBox(u"CONTINUE?", u"KTR 60 OS UPDATE", style, ui::ScreenMetrics{});
}

TEST(FltkHost, TitleFontHasTheTitleCellHeight) {
  if (!InsideXvfb()) GTEST_SKIP() << "runs only inside the X server FltkHostUnderXvfb starts";
  ASSERT_TRUE(ui::FltkDisplayAvailable());
  const ui::FltkFont title = ui::ToFltkFont(platform::LogFont{27, 900, u"System"});
  EXPECT_EQ(title.face, FL_HELVETICA_BOLD);
  fl_font(title.face, title.size);
  EXPECT_EQ(fl_height(), 27);
  const ui::FltkFont system = ui::ToFltkFont(platform::LogFont{16, 400, u"System"});
  EXPECT_EQ(system.face, FL_HELVETICA);
  fl_font(system.face, system.size);
  EXPECT_LE(fl_height(), 16);
}

TEST(FltkHost, ReturnTakesTheDefaultButton) {
  if (!InsideXvfb()) GTEST_SKIP() << "runs only inside the X server FltkHostUnderXvfb starts";
  ASSERT_TRUE(ui::FltkDisplayAvailable());
  EXPECT_EQ(AskWindow(platform::MB_YESNO | platform::MB_DEFBUTTON2, "Return"), platform::IDNO);
  EXPECT_EQ(AskWindow(platform::MB_YESNO, "Return"), platform::IDYES);
}

}  // namespace
}  // namespace ui_test
