// The window under Xvfb: a real gui run, stopped while it sends nk.bin for a
// screenshot that is kept in the build folder.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

std::string CommandOutput(const std::string& command) {
  std::string output;
  if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
    ::pclose(pipe);
  }
  return output;
}

TEST(GuiRun, ScreenshotWhileDownloadingNk) {
  if (std::system("command -v xvfb-run >/dev/null 2>&1") != 0) GTEST_SKIP() << "no xvfb-run";
  const std::filesystem::path shot = std::filesystem::path(TEST_OUTPUT_DIR) / "imagefit-gui.png";
  std::filesystem::remove(shot);
  const std::string command = "BUILD_DIR='" + std::string(BUILD_DIR) + "' bash '" +
                              std::string(SOURCE_DIR) + "/tools/screenshot-imagefit.sh' '" +
                              shot.string() + "' 2>&1";
  const std::string output = CommandOutput(command);
  ASSERT_TRUE(std::filesystem::exists(shot)) << output;
  // A window, not a blank screen: the title, fields, bar and buttons bring colours.
  const std::string colours = CommandOutput("identify -format %k '" + shot.string() + "'");
  EXPECT_GT(std::atoi(colours.c_str()), 8) << colours;
  EXPECT_EQ(CommandOutput("identify -format %wx%h '" + shot.string() + "'"), "480x272");
}

}  // namespace
