// A run in a real window under a virtual X server, photographed while the
// status line reads "Copying...". The picture stays in the build folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include <unistd.h>

#include "package_files.h"

namespace shellfit_test {
namespace {

TEST(ShellfitWindow, ScreenshotWhileCopying) {
  if (!fs::exists("/usr/bin/xvfb-run")) GTEST_SKIP() << "xvfb-run is not installed";
  TempFolder root;
  TempFolder staging;
  MakeStockDevice(root.path());
  fs::copy_file(FITKIT_SHELLFIT_BIN, root.path() / "fs" / "Storage Card" / "shellfit.exe");
  WriteText(root.path() / "fs" / "Flash Disk" / "main.exe", "old");
  WriteText(staging.path() / "main.exe", "new");
  // Enough entries that the run is still copying when the picture is taken.
  std::mt19937 random(7);
  for (int i = 0; i < 150; ++i) {
    std::string bytes(40000, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    WriteText(staging.path() / ("module" + std::to_string(i) + ".dll"), bytes);
  }
  Zip(root.path() / "fs" / "Storage Card" / "KTR 60 SHELL.ZIP", staging.path(), {"."});

  const fs::path png = fs::path(FITKIT_TEST_OUTPUT) / "shellfit-copying.png";
  fs::remove(png);
  // An authority file of the test's own: xvfb-run then makes no temporary
  // folder, whose removal failed now and then under load (exit 5).
  const fs::path authority = staging.path() / "Xauthority";
  WriteText(authority, "");
  const RunResult run = RunProgram(
      "/usr/bin/xvfb-run",
      {"-a", "-n", std::to_string(1000 + getpid() % 800), "-f", authority.string(), "-s",
       "-screen 0 480x272x24", "bash", fs::path(FITKIT_TEST_SOURCE_DIR) / "gui_screenshot.sh",
       root.path() / "fs" / "Storage Card" / "shellfit.exe", root.path().string(), png.string()},
      {}, "");

  EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
  EXPECT_NE(run.out.find("screenshot taken: "), std::string::npos) << run.out << run.err;
  const std::string image = ReadText(png);
  ASSERT_GT(image.size(), 1000u);
  EXPECT_EQ(image.substr(1, 3), "PNG");
  EXPECT_EQ(ReadText(root.path() / "fs" / "Flash Disk" / "module149.dll").size(), 40000u);
  // The window was still up: a closed one leaves a blank screen of one colour.
  if (fs::exists("/usr/bin/convert") || fs::exists("/usr/local/bin/convert")) {
    const RunResult colours =
        RunProgram("/usr/bin/env", {"convert", png.string(), "-format", "%k", "info:"}, {}, "");
    EXPECT_GT(std::atoi(colours.out.c_str()), 4) << colours.out << colours.err;
  }
}

}  // namespace
}  // namespace shellfit_test
