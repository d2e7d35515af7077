// Both programs as real processes against a temporary device root: the
// console dialog, the named mutex, the silent early exits and the window.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "xvfb.h"

namespace frame_test {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

struct ProgramRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

class DeviceRoot {
 public:
  explicit DeviceRoot(const std::string& registry, const std::string& deviceIni = "") {
    std::string pattern = (fs::temp_directory_path() / "fitkit-frame-XXXXXX").string();
    root_ = mkdtemp(pattern.data());
    std::ofstream(root_ / "device.ini") << deviceIni;
    std::ofstream(root_ / "registry.reg") << "REGEDIT4\n\n" << registry;
    for (const char* folder : {"Flash Disk", "Storage Card", "Windows"}) {
      fs::create_directories(root_ / "fs" / folder);
    }
  }
  ~DeviceRoot() {
    std::error_code error;
    fs::remove_all(root_, error);
  }
  const fs::path& root() const { return root_; }

  // Runs a program on this device with the console host and `input` on stdin.
  ProgramRun RunConsole(const std::string& program, const std::string& args, const std::string& input) const {
    std::ofstream(root_ / "input.txt") << input;
    const std::string command = "FITKIT_UI=console FITKIT_DEVICE=" + Quote(root_.string()) + " " +
                                Quote(program) + " " + args + " <" + Quote((root_ / "input.txt").string()) +
                                " >" + Quote((root_ / "out.txt").string()) + " 2>" +
                                Quote((root_ / "err.txt").string());
    ProgramRun run;
    const int status = std::system(command.c_str());
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadFile(root_ / "out.txt");
    run.err = ReadFile(root_ / "err.txt");
    return run;
  }

 private:
  fs::path root_;
};

const std::string kRegistry =
    "[HKEY_LOCAL_MACHINE\\Ident]\n\"Model\"=\"KTR 60\"\n\n"
    "[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\FlashDrv]\n\"Folder\"=\"Flash Disk\"\n";
const std::string kSource = "'\\Storage Card'";

TEST(ShellfitProgram, EndOfInputPressesCancel) {
  DeviceRoot device(kRegistry);
  const ProgramRun run = device.RunConsole(FITKIT_SHELLFIT, kSource, "");
  EXPECT_EQ(run.exitCode, 2) << run.out << run.err;
  EXPECT_NE(run.out.find("title: [ KTR 60 SHELL UPDATE ]"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("|\\Storage Card|"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("|\\Flash Disk|"), std::string::npos) << run.out;
}

TEST(ShellfitProgram, EmptyLineOrStartPressesStart) {
  DeviceRoot device(kRegistry);
  EXPECT_EQ(device.RunConsole(FITKIT_SHELLFIT, kSource, "\n").exitCode, 1);
  EXPECT_EQ(device.RunConsole(FITKIT_SHELLFIT, kSource, "bogus\n START \n").exitCode, 1);
  EXPECT_EQ(device.RunConsole(FITKIT_SHELLFIT, kSource, "cancel\n").exitCode, 2);
}

TEST(ShellfitProgram, NoModelOrFlashDriveExitsSilently) {
  {
    DeviceRoot device(
        "[HKEY_LOCAL_MACHINE\\Ident]\n\"Version\"=\"V1.0.5\"\n\n"
        "[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\FlashDrv]\n\"Folder\"=\"Flash Disk\"\n");
    const ProgramRun run = device.RunConsole(FITKIT_SHELLFIT, kSource, "\n");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "");
  }
  {
    DeviceRoot device("[HKEY_LOCAL_MACHINE\\Ident]\n\"Model\"=\"KTR 60\"\n");
    const ProgramRun run = device.RunConsole(FITKIT_SHELLFIT, kSource, "\n");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "");
  }
}

TEST(ShellfitProgram, SecondInstanceExitsWhileTheFirstRuns) {
  DeviceRoot device(kRegistry);
  const fs::path firstOut = device.root() / "first.txt";
  const std::string command = "FITKIT_UI=console FITKIT_DEVICE=" + Quote(device.root().string()) +
                              " " + Quote(FITKIT_SHELLFIT) + " " + kSource + " >" +
                              Quote(firstOut.string()) + " 2>&1";
  // The first instance waits for input on the pipe until it is closed.
  FILE* first = popen(command.c_str(), "w");
  ASSERT_NE(first, nullptr);
  for (int i = 0; i < 100 && ReadFile(firstOut).find("dialog:") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_NE(ReadFile(firstOut).find("dialog:"), std::string::npos) << ReadFile(firstOut);

  const ProgramRun second = device.RunConsole(FITKIT_SHELLFIT, kSource, "\n");
  EXPECT_EQ(second.exitCode, 0);
  EXPECT_EQ(second.out, "");

  const int status = pclose(first);  // end of input: Cancel
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 2);

  // With the first gone, the mutex is free again.
  EXPECT_EQ(device.RunConsole(FITKIT_SHELLFIT, kSource, "cancel\n").exitCode, 2);
}

TEST(ShellfitProgram, WindowOfTheSimulatedScreenSize) {
  for (const char* tool : {"xvfb-run", "xwininfo", "xdotool", "import"}) {
    if (!HaveCommand(tool)) GTEST_SKIP() << tool << " is not installed";
  }
  DeviceRoot device(kRegistry, "[screen]\nwidth = 400\nheight = 240\nscroll = 13\n");
  const fs::path png = fs::path(FITKIT_TEST_OUTPUT) / "shellfit-window.png";
  fs::remove(png);
  // Cancel lies at 118,82 units: 236 + (400 - 346) / 2, 164 + 4 pixels.
  const std::string command = XvfbRun() + "bash " +
                              Quote(FITKIT_GUI_SCRIPT) + " " + Quote(FITKIT_SHELLFIT) + " " +
                              Quote(device.root().string()) + " " + Quote(png.string()) +
                              " 'ShowWindow' 311 182 " + kSource + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
  pclose(pipe);
  EXPECT_NE(output.find(" 400x240+0+0 "), std::string::npos) << output;
  EXPECT_NE(output.find("KTR 60 SHELL UPDATE"), std::string::npos) << output;
  EXPECT_NE(output.find("exit=2"), std::string::npos) << output;
  ASSERT_TRUE(fs::exists(png)) << output;
  EXPECT_GT(fs::file_size(png), 1000u);
}

}  // namespace
}  // namespace frame_test
