// Both programs as real processes against a temporary device root: the
// console dialog, the named mutex, the silent early exits and the window.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "tests/support/device_root.h"
#include "tests/support/host_files.h"
#include "tests/support/program_runner.h"

namespace frame_test {
namespace {

namespace fs = std::filesystem;
using test_support::CommandOutput;
using test_support::HaveCommand;
using test_support::Quote;
using test_support::ReadText;
using test_support::RunProgram;
using test_support::RunResult;
using test_support::XvfbRun;

// A device root with `registry` (after the REGEDIT4 header), `deviceIni` and
// the stock folders.
class DeviceRoot {
 public:
  explicit DeviceRoot(const std::string& registry, const std::string& deviceIni = "") {
    root_.WriteDeviceIni(deviceIni);
    root_.WriteRegistry("REGEDIT4\n\n" + registry);
    root_.MakeStockFolders();
  }
  const fs::path& root() const { return root_.root(); }

  // Runs a program on this device with the console host and `input` on stdin.
  RunResult RunConsole(const std::string& program, const std::string& args,
                       const std::string& input) const {
    return RunProgram(program, {args},
                      {{"FITKIT_UI", "console"}, {"FITKIT_DEVICE", root().string()}}, input);
  }

 private:
  test_support::DeviceRoot root_;
};

const std::string kRegistry =
    "[HKEY_LOCAL_MACHINE\\Ident]\n\"Model\"=\"KTR 60\"\n\n"
    "[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\FlashDrv]\n\"Folder\"=\"Flash Disk\"\n";
const std::string kSource = "\\Storage Card";

TEST(ShellfitProgram, EndOfInputPressesCancel) {
  DeviceRoot device(kRegistry);
  const RunResult run = device.RunConsole(FITKIT_SHELLFIT_BIN, kSource, "");
  EXPECT_EQ(run.exitCode, 2) << run.out << run.err;
  EXPECT_NE(run.out.find("title: [ KTR 60 SHELL UPDATE ]"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("|\\Storage Card|"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("|\\Flash Disk|"), std::string::npos) << run.out;
}

TEST(ShellfitProgram, EmptyLineOrStartPressesStart) {
  DeviceRoot device(kRegistry);
  EXPECT_EQ(device.RunConsole(FITKIT_SHELLFIT_BIN, kSource, "\n").exitCode, 1);
  EXPECT_EQ(device.RunConsole(FITKIT_SHELLFIT_BIN, kSource, "bogus\n START \n").exitCode, 1);
  EXPECT_EQ(device.RunConsole(FITKIT_SHELLFIT_BIN, kSource, "cancel\n").exitCode, 2);
}

TEST(ShellfitProgram, NoModelOrFlashDriveExitsSilently) {
  {
    DeviceRoot device(
        "[HKEY_LOCAL_MACHINE\\Ident]\n\"Version\"=\"V1.0.5\"\n\n"
        "[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\FlashDrv]\n\"Folder\"=\"Flash "
        "Disk\"\n");
    const RunResult run = device.RunConsole(FITKIT_SHELLFIT_BIN, kSource, "\n");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "");
  }
  {
    DeviceRoot device("[HKEY_LOCAL_MACHINE\\Ident]\n\"Model\"=\"KTR 60\"\n");
    const RunResult run = device.RunConsole(FITKIT_SHELLFIT_BIN, kSource, "\n");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "");
  }
}

TEST(ShellfitProgram, SecondInstanceExitsWhileTheFirstRuns) {
  DeviceRoot device(kRegistry);
  const fs::path firstOut = device.root() / "first.txt";
  const std::string command = "FITKIT_UI=console FITKIT_DEVICE=" + Quote(device.root().string()) +
                              " " + Quote(FITKIT_SHELLFIT_BIN) + " " + Quote(kSource) + " >" +
                              Quote(firstOut.string()) + " 2>&1";
  // The first instance waits for input on the pipe until it is closed.
  FILE* first = popen(command.c_str(), "w");
  ASSERT_NE(first, nullptr);
  for (int i = 0; i < 100 && ReadText(firstOut).find("dialog:") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_NE(ReadText(firstOut).find("dialog:"), std::string::npos) << ReadText(firstOut);

  const RunResult second = device.RunConsole(FITKIT_SHELLFIT_BIN, kSource, "\n");
  EXPECT_EQ(second.exitCode, 0);
  EXPECT_EQ(second.out, "");

  const int status = pclose(first);  // end of input: Cancel
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 2);

  // With the first gone, the mutex is free again.
  EXPECT_EQ(device.RunConsole(FITKIT_SHELLFIT_BIN, kSource, "cancel\n").exitCode, 2);
}

// One update at a time per device, whichever program: while one waits in its
// dialog the other refuses with its own status; once the first ended (its
// lock file left behind), the other runs.
TEST(BothPrograms, SecondUpdaterOnTheDeviceRefusesWhileTheFirstWaits) {
  DeviceRoot device(kRegistry);
  const std::string images = "\\Storage Card\\Update";
  for (const char* name :
       {"nboot.bin", "eboot.nb0", "tinynk.bin", "drivers.bin", "nk.bin", "chain.bin"}) {
    test_support::WriteText(device.root() / "fs/Storage Card/Update" / name, "image");
  }
  struct Updater {
    const char* name;
    const char* program;
    std::string args;
  };
  const Updater shellfit{"shellfit", FITKIT_SHELLFIT_BIN, kSource};
  const Updater imagefit{"imagefit", FITKIT_IMAGEFIT_BIN, images};
  for (const auto& [first, second] :
       {std::pair{shellfit, imagefit}, std::pair{imagefit, shellfit}}) {
    const fs::path firstOut = device.root() / "first.txt";
    fs::remove(firstOut);
    const std::string command = "FITKIT_UI=console FITKIT_DEVICE=" + Quote(device.root().string()) +
                                " " + Quote(first.program) + " " + Quote(first.args) + " >" +
                                Quote(firstOut.string()) + " 2>&1";
    FILE* waiting = popen(command.c_str(), "w");  // in its dialog until the pipe closes
    ASSERT_NE(waiting, nullptr);
    for (int i = 0; i < 100 && ReadText(firstOut).find("dialog:") == std::string::npos; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_NE(ReadText(firstOut).find("dialog:"), std::string::npos) << ReadText(firstOut);

    const RunResult refused = device.RunConsole(second.program, second.args, "start\n");
    EXPECT_EQ(refused.exitCode, 3) << second.name << ": " << refused.out << refused.err;
    EXPECT_EQ(refused.out, "");
    EXPECT_NE(refused.err.find(std::string("update-running: an update is already running on this "
                                           "device (") +
                               first.name + ")"),
              std::string::npos)
        << refused.err;

    const int status = pclose(waiting);  // end of input: Cancel
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_EQ(device.RunConsole(second.program, second.args, "cancel\n").exitCode, 2)
        << second.name << " after " << first.name << " ended";
  }
}

TEST(ShellfitProgram, WindowOfTheSimulatedScreenSize) {
  for (const char* tool : {"xvfb-run", "xwininfo", "xdotool", "import"}) {
    if (!HaveCommand(tool)) GTEST_SKIP() << tool << " is not installed";
  }
  DeviceRoot device(kRegistry, "[screen]\nwidth = 400\nheight = 240\nscroll = 13\n");
  const fs::path png = fs::path(FITKIT_TEST_OUTPUT) / "shellfit-window.png";
  fs::remove(png);
  // Cancel lies at 118,82 units: 236 + (400 - 346) / 2, 164 + 4 pixels.
  const std::string command =
      XvfbRun() + "bash " + Quote(FITKIT_TEST_SOURCE_DIR "/gui_screenshot.sh") + " " +
      Quote(FITKIT_SHELLFIT_BIN) + " " + Quote(device.root().string()) + " " + Quote(png.string()) +
      " 'ShowWindow' 311 182 " + Quote(kSource) + " 2>&1";
  const std::string output = CommandOutput(command);
  EXPECT_NE(output.find(" 400x240+0+0 "), std::string::npos) << output;
  EXPECT_NE(output.find("KTR 60 SHELL UPDATE"), std::string::npos) << output;
  EXPECT_NE(output.find("exit=2"), std::string::npos) << output;
  ASSERT_TRUE(fs::exists(png)) << output;
  EXPECT_GT(fs::file_size(png), 1000u);
}

}  // namespace
}  // namespace frame_test
