// The console host on a real terminal: imagefit run in tmux on the demo
// device, its pane read back as text while a person would be looking at it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>

#include "tests/support/host_files.h"
#include "tests/support/program_runner.h"
#include "tests/support/temp_folder.h"

namespace ui_test {
namespace {

namespace fs = std::filesystem;
using test_support::CommandOutput;
using test_support::HaveCommand;
using test_support::Quote;
using test_support::ReadText;
using test_support::TempFolder;
using test_support::WriteText;

int Count(const std::string& text, const std::regex& pattern) {
  return static_cast<int>(std::distance(std::sregex_iterator(text.begin(), text.end(), pattern),
                                        std::sregex_iterator()));
}

// One tmux server of our own (a private socket in the test's folder), 100 x
// 30, ended with the test.
class Tmux {
 public:
  Tmux(const fs::path& folder, const std::string& command)
      : tmux_("tmux -f /dev/null -S " +
              Quote((folder / ("tmux-" + std::to_string(++count_))).string()) + " ") {
    std::system((tmux_ + "new-session -d -s run -x 100 -y 30 " + Quote(command)).c_str());
  }
  // The server ends with its only session.
  ~Tmux() { std::system((tmux_ + "kill-session -t run 2>/dev/null").c_str()); }

  std::string Pane() const { return CommandOutput(tmux_ + "capture-pane -p -t run"); }
  std::string Display(const std::string& format) const {
    return CommandOutput(tmux_ + "display-message -p -t run " + Quote(format));
  }
  void Keys(const std::string& keys) const {
    std::system((tmux_ + "send-keys -t run " + keys).c_str());
  }
  // The pane once it shows `pattern` (or no longer does), or after ten seconds.
  std::string WaitFor(const std::string& pattern, bool present = true) const {
    const std::regex wanted(pattern);
    std::string pane;
    for (int i = 0; i < 200; ++i) {
      pane = Pane();
      if (std::regex_search(pane, wanted) == present) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return pane;
  }

 private:
  static inline int count_ = 0;  // a server per session: one ends while the next starts
  std::string tmux_;
};

// The demo device, with the driver refusing the image version so that a
// Yes/No box opens once every image has been sent.
fs::path MakeDevice(const fs::path& folder) {
  const std::string make = "MAKE_BIN_IMAGE=" + Quote(FITKIT_MAKE_BIN_IMAGE) + " bash " +
                           Quote(std::string(FITKIT_SOURCE_DIR) + "/tools/make-demo-device.sh") +
                           " " + Quote(folder.string()) + " >/dev/null 2>&1";
  EXPECT_EQ(std::system(make.c_str()), 0);
  const std::string text = std::regex_replace(ReadText(folder / "device.ini"),
                                              std::regex("\nfail = *"), "\nfail = 80012070 ");
  WriteText(folder / "device.ini", text);
  return folder;
}

// The driver's journal shows the refused version and no restart.
bool RefusedAndNotRestarted(const fs::path& device) {
  const std::string calls = ReadText(device / "journal.log");
  return calls.find("80012070") != std::string::npos && calls.find("0101003C") == std::string::npos;
}

// imagefit on the device, with the console host.
std::string Imagefit(const fs::path& device, const std::string& environment = "") {
  return "env " + environment + " FITKIT_UI=console FITKIT_DEVICE=" + Quote(device.string()) + " " +
         Quote(FITKIT_IMAGEFIT_BIN) + " '\\Storage Card\\Update'";
}

// The pane keeps the exit code and the terminal's modes after the program.
std::string ThenReport(const std::string& command) {
  return command + "; echo \"exit=$?\"; stty -a; sleep 600";
}

// START with the mark of the button Enter presses.
const char kStartMarked[] = "< +START +>";

class TerminalView : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveCommand("tmux")) GTEST_SKIP() << "tmux is missing";
    root_ = folder_.path();
    device_ = MakeDevice(root_ / "device");
  }
  TempFolder folder_;
  fs::path root_, device_;
};

TEST_F(TerminalView, DrawsTheDialogInPlaceAndAnswersKeys) {
  Tmux tmux(root_, ThenReport(Imagefit(device_)));
  std::string pane = tmux.WaitFor(kStartMarked);
  EXPECT_TRUE(std::regex_search(pane, std::regex(kStartMarked))) << pane;
  EXPECT_NE(pane.find("[ KTR 60 OS UPDATE ]"), std::string::npos) << pane;
  EXPECT_NE(pane.find("Cur VER:"), std::string::npos) << pane;
  EXPECT_NE(pane.find("V1.0.5"), std::string::npos) << pane;
  EXPECT_NE(pane.find("V1.0.7"), std::string::npos) << pane;
  EXPECT_NE(pane.find("Ready..."), std::string::npos) << pane;
  EXPECT_TRUE(std::regex_search(pane, std::regex(R"(\[ +CANCEL +\])"))) << pane;
  EXPECT_EQ(Count(pane, std::regex(R"(\[\.{20,}\] 0%)")), 1) << pane;
  EXPECT_EQ(tmux.Display("#{alternate_on}"), "1\n");

  // Enter presses START; the run ends at the driver's refusal, with a box.
  tmux.Keys("Enter");
  pane = tmux.WaitFor("CONTINUE\\?");
  EXPECT_NE(pane.find("UpdateKernel() failed!"), std::string::npos) << pane;
  EXPECT_NE(pane.find("< Yes >"), std::string::npos) << pane;
  EXPECT_NE(pane.find("[ No"), std::string::npos) << pane;
  // About 150 progress steps went by: one bar (the box covers its middle),
  // filled, and no line per step.
  EXPECT_EQ(Count(pane, std::regex(R"(\d+%)")), 1) << pane;
  EXPECT_EQ(Count(pane, std::regex(R"(\[#{5,})")), 1) << pane;
  EXPECT_EQ(Count(pane, std::regex(R"(#{5,}\] 100%)")), 1) << pane;
  EXPECT_EQ(pane.find("progress:"), std::string::npos) << pane;

  // n answers No: the run stops and the buttons come back.
  tmux.Keys("n");
  pane = tmux.WaitFor("CONTINUE\\?", false);
  pane = tmux.WaitFor(kStartMarked);
  EXPECT_TRUE(std::regex_search(pane, std::regex(kStartMarked))) << pane;
  EXPECT_EQ(pane.find("CONTINUE?"), std::string::npos) << pane;
  EXPECT_NE(pane.find("Downloading...  chain.bin"), std::string::npos) << pane;
  EXPECT_EQ(Count(pane, std::regex(R"(\[#+\] 100%)")), 1) << pane;

  // Tab moves to CANCEL; Escape cancels; the terminal is given back.
  tmux.Keys("Tab");
  pane = tmux.WaitFor("< +CANCEL +>");
  EXPECT_TRUE(std::regex_search(pane, std::regex(R"(\[ +START +\])"))) << pane;
  tmux.Keys("Escape");
  pane = tmux.WaitFor("exit=");
  EXPECT_NE(pane.find("exit=2"), std::string::npos) << pane;
  EXPECT_NE(pane.find("dialog: KTR 60 OS UPDATE (closed)\n"
                      "title: [ KTR 60 OS UPDATE ]\n"
                      "  Cur VER:  |V1.0.5|  New VER:  |V1.0.7|\n"
                      "  Downloading...  chain.bin\n"
                      "  [####################] 16384/16384\n"),
            std::string::npos)
      << pane;
  EXPECT_EQ(tmux.Display("#{alternate_on} #{cursor_flag}"), "0 1\n");
  // No restart was asked for: the run was stopped.
  EXPECT_TRUE(RefusedAndNotRestarted(device_));
}

TEST_F(TerminalView, LinesWhenAskedAndTheTerminalBackAfterSigterm) {
  {
    Tmux tmux(root_, ThenReport(Imagefit(device_, "FITKIT_CONSOLE=lines")));
    const std::string pane = tmux.WaitFor("> ");
    EXPECT_NE(pane.find("dialog: KTR 60 OS UPDATE (480x272)\ntitle: [ KTR 60 OS UPDATE ]\n"),
              std::string::npos)
        << pane;
    EXPECT_EQ(tmux.Display("#{alternate_on}"), "0\n");
  }
  const fs::path pidFile = root_ / "pid";
  const std::string program = "echo $$ >" + Quote(pidFile.string()) + "; exec " + Imagefit(device_);
  Tmux tmux(root_, ThenReport("sh -c " + Quote(program)));
  ASSERT_TRUE(std::regex_search(tmux.WaitFor(kStartMarked), std::regex(kStartMarked)));
  int pid = 0;
  std::ifstream(pidFile) >> pid;
  ASSERT_GT(pid, 0);
  ASSERT_EQ(kill(pid, SIGTERM), 0);
  const std::string pane = tmux.WaitFor("exit=[^$]*icanon");
  EXPECT_NE(pane.find("exit=143"), std::string::npos) << pane;
  EXPECT_EQ(tmux.Display("#{alternate_on} #{cursor_flag}"), "0 1\n");
  // Line editing and echo are back on.
  EXPECT_TRUE(std::regex_search(pane, std::regex(R"((^|\s)icanon\s)"))) << pane;
  EXPECT_TRUE(std::regex_search(pane, std::regex(R"((^|\s)echo\s)"))) << pane;
}

// Input piped in keeps the line view's words while the dialog is drawn.
TEST_F(TerminalView, PipedInputAnswersInLines) {
  Tmux tmux(root_, ThenReport("printf 'start\\nno\\ncancel\\n' | " + Imagefit(device_)));
  const std::string pane = tmux.WaitFor("exit=");
  EXPECT_NE(pane.find("exit=2"), std::string::npos) << pane;
  EXPECT_NE(pane.find("dialog: KTR 60 OS UPDATE (closed)\n"), std::string::npos) << pane;
  EXPECT_EQ(pane.find("progress:"), std::string::npos) << pane;
  EXPECT_TRUE(RefusedAndNotRestarted(device_));
}

}  // namespace
}  // namespace ui_test
