// The window under Xvfb: a real gui run, stopped while it sends nk.bin for a
// screenshot that is kept in the build folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/program_runner.h"

namespace {

using test_support::CommandOutput;
using test_support::HaveCommand;

TEST(GuiRun, ScreenshotWhileDownloadingNk) {
  if (!HaveCommand("xvfb-run")) GTEST_SKIP() << "no xvfb-run";
  const std::filesystem::path shot = std::filesystem::path(FITKIT_TEST_OUTPUT) / "imagefit-gui.png";
  std::filesystem::remove(shot);
  const std::string command = "BUILD_DIR='" + std::string(FITKIT_BUILD_DIR) + "' bash '" +
                              std::string(FITKIT_SOURCE_DIR) + "/tools/screenshot-imagefit.sh' '" +
                              shot.string() + "' 2>&1";
  const std::string output = CommandOutput(command);
  ASSERT_TRUE(std::filesystem::exists(shot)) << output;
  // A window, not a blank screen: the title, fields, bar and buttons bring colours.
  const std::string colours = CommandOutput("identify -format %k '" + shot.string() + "'");
  EXPECT_GT(std::atoi(colours.c_str()), 8) << colours;
  EXPECT_EQ(CommandOutput("identify -format %wx%h '" + shot.string() + "'"), "480x272");
}

}  // namespace
