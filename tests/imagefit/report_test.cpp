// The outcome report (FITKIT_REPORT) of real imagefit runs on device roots
// made with fitkit-device: a run that restarts the device, one stopped with No
// and one whose failure was passed over, read back with a JSON parser.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <nlohmann/json.hpp>

#include "tests/support/bin_images.h"
#include "tests/support/host_files.h"
#include "tests/support/temp_folder.h"

namespace imagefit_test {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using test_support::Bytes;
using test_support::MakeFlatBin;
using test_support::Pattern;
using test_support::Quote;
using test_support::ReadText;
using test_support::TempFolder;
using test_support::WriteBytes;
using test_support::WriteText;

class ImagefitReportTest : public ::testing::Test {
 protected:
  // A device root from fitkit-device with `options`, and an image set in
  // \Storage Card\Update.
  void MakeDevice(const std::string& options) {
    const std::string command = "bash " + Quote(FITKIT_SOURCE_DIR "/tools/fitkit-device.sh") +
                                " create " + Quote(root_.path() / "dev") + " " + options +
                                " >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const fs::path update = Update();
    fs::create_directories(update);
    WriteBytes(update / "nboot.bin", Pattern(3000, 1));
    WriteBytes(update / "eboot.nb0", Pattern(5000, 2));
    const char* names[] = {"drivers.bin", "tinynk.bin", "nk.bin", "chain.bin"};
    const uint32_t starts[] = {0x80000000, 0x80100000, 0x80200000, 0x80400000};
    for (int i = 0; i < 4; ++i) {
      WriteBytes(update / names[i], MakeFlatBin(starts[i], Pattern(9000, uint8_t(i)), 4096));
    }
    WriteText(update / "KTR 60.ini", "V1.0.9\r\n");
  }

  fs::path Update() const { return root_.path() / "dev" / "fs" / "Storage Card" / "Update"; }

  // Runs the program on the console with `input`, after the shell command
  // `before` (a ulimit); returns the report. Standard error goes to err.txt.
  Json Run(const std::string& input, const std::string& before = "true") {
    WriteText(root_.path() / "stdin.txt", input);
    const fs::path report = root_.path() / "report.json";
    const std::string command = before +
                                "; FITKIT_UI=console FITKIT_DEVICE=" + Quote(root_.path() / "dev") +
                                " FITKIT_REPORT=" + Quote(report) + " " + FITKIT_IMAGEFIT_BIN +
                                " '\\Storage Card\\Update' <" + Quote(root_.path() / "stdin.txt") +
                                " >/dev/null 2>" + Quote(root_.path() / "err.txt");
    const int status = std::system(("bash -c " + Quote(command)).c_str());
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return Json::parse(ReadText(report));
  }

  // The result of every step of the last run, in order, as "step=result".
  static std::vector<std::string> Steps(const Json& report) {
    std::vector<std::string> steps;
    for (const Json& step : report["steps"]) {
      if (step["run"] == report["runs"]) {
        steps.push_back(step["step"].get<std::string>() + "=" + step["result"].get<std::string>());
      }
    }
    return steps;
  }

  TempFolder root_;
  int exitCode_ = -1;
};

TEST_F(ImagefitReportTest, RestartedRunReportsTheImageSetAndEveryStep) {
  MakeDevice("--os-version V1.0.4");
  const Json report = Run("start\n");
  EXPECT_EQ(exitCode_, 1);
  EXPECT_EQ(report["program"], "imagefit");
  EXPECT_EQ(report["device_root"], (root_.path() / "dev").string());
  EXPECT_EQ(report["exit_code"], 1);
  EXPECT_EQ(report["outcome"], "restarted");
  EXPECT_EQ(report["message_boxes"], Json::array());
  EXPECT_EQ(report["image_set"]["folder"], "\\Storage Card\\Update");
  ASSERT_EQ(report["image_set"]["files"].size(), 6u);
  for (const Json& file : report["image_set"]["files"]) {
    EXPECT_EQ(file["size"], fs::file_size(Update() / file["name"].get<std::string>()))
        << file.dump();
  }
  EXPECT_EQ(report["image_set"]["version"], "V1.0.9");
  EXPECT_EQ(report["image_set"]["version_code"], "0x03010009");
  EXPECT_EQ(report["installed_version"], "V1.0.4");
  EXPECT_EQ(report["board_revision"], 3);
  EXPECT_EQ(report["run_image_update"], 1);
  EXPECT_EQ(report["restarted"], true);
  const std::vector<std::string> steps = Steps(report);
  ASSERT_EQ(steps.size(), 27u) << ::testing::PrintToString(steps);
  EXPECT_EQ(steps.front(), "revision check=ok");
  EXPECT_EQ(steps[1], "image set check=ok");
  EXPECT_EQ(steps[6], "nboot=ok");
  EXPECT_EQ(steps[17], "records nk.bin=ok");
  EXPECT_EQ(steps.back(), "restart=ok");
  for (const std::string& step : steps) EXPECT_TRUE(step.ends_with("=ok")) << step;
}

TEST_F(ImagefitReportTest, StoppedAndPassedOverRunsSayWhichStepFailed) {
  // The registry from an export in UTF-16, as a device's registry editor writes it.
  const std::u16string exported =
      u"\uFEFFWindows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Ident]\r\n"
      u"\"Model\"=\"KTR 60\"\r\n\"Version\"=\"V0.9.1\"\r\n";
  WriteText(root_.path() / "export.reg",
            std::string(reinterpret_cast<const char*>(exported.data()), exported.size() * 2));
  MakeDevice("--fail 0x80012004 --registry " +
             Quote(root_.path() / "export.reg"));  // the driver refuses nboot
  Json report = Run("start\nno\n");
  EXPECT_EQ(report["installed_version"], "V0.9.1");
  EXPECT_EQ(exitCode_, 2) << "No gives the buttons back; the end of input cancels";
  EXPECT_EQ(report["exit_code"], 2);
  EXPECT_EQ(report["outcome"], "stopped");
  EXPECT_EQ(report["run_image_update"], -1);
  EXPECT_EQ(report["restarted"], false);
  ASSERT_EQ(report["message_boxes"].size(), 1u);
  EXPECT_EQ(report["message_boxes"][0]["text"], "ERROR!\r\nUpdateNBOOT() failed!\r\nCONTINUE?");
  EXPECT_EQ(report["message_boxes"][0]["buttons"], "Yes/No");
  EXPECT_EQ(report["message_boxes"][0]["answer"], "No");
  std::vector<std::string> steps = Steps(report);
  ASSERT_GE(steps.size(), 8u);
  EXPECT_EQ(steps[6], "nboot=stopped");
  EXPECT_EQ(steps[7], "restore memory division=ok");
  EXPECT_EQ(steps.back(), "power driver leave=ok");

  report = Run("start\nyes\n");
  EXPECT_EQ(exitCode_, 1);
  EXPECT_EQ(report["outcome"], "restarted-after-errors");
  EXPECT_EQ(report["run_image_update"], 0);
  EXPECT_EQ(report["restarted"], true);
  EXPECT_EQ(report["message_boxes"][0]["answer"], "Yes");
  steps = Steps(report);
  ASSERT_GE(steps.size(), 8u);
  EXPECT_EQ(steps[6], "nboot=passed-over");
  EXPECT_EQ(steps[7], "eboot=ok");
}

// Whatever the user answers, a kernel that did not go through is never
// reported as a clean restart, and a refused set says which file and why.
TEST_F(ImagefitReportTest, BrokenImagesNeverReportACleanRestart) {
  MakeDevice("--fail 0x80012068");  // the driver refuses every record
  Json report = Run("start\nyes\n");
  EXPECT_EQ(report["outcome"], "restarted-after-errors");
  EXPECT_EQ(report["failed_steps"], "records drivers.bin, kernel");
  EXPECT_EQ(report["message_boxes"][0]["text"], "ERROR!\r\nUpdateKernel() failed!\r\nCONTINUE?");
  report = Run("start\nno\n");
  EXPECT_EQ(report["outcome"], "stopped");
  EXPECT_EQ(report["failed_steps"], "records drivers.bin, kernel");

  Bytes cut = MakeFlatBin(0x80200000, Pattern(9000, 2), 4096);
  cut.resize(cut.size() - 20);
  WriteBytes(Update() / "nk.bin", cut);
  report = Run("start\n");
  EXPECT_EQ(report["outcome"], "refused");
  EXPECT_EQ(report["refused"]["file"], "\\Storage Card\\Update\\nk.bin");
  EXPECT_EQ(report["refused"]["reason"], "record 3 is longer than the rest of the file");
  EXPECT_EQ(Steps(report),
            (std::vector<std::string>{"revision check=ok", "image set check=failed"}));
}

// A journal at its size limit: the lines that do not fit are said once on
// stderr and in the report, the journal holds no torn line, and the run does
// not claim to have gone through without an error.
TEST_F(ImagefitReportTest, JournalThatCannotTakeALineIsSaid) {
  MakeDevice("");
  const fs::path journal = root_.path() / "dev" / "journal.log";
  WriteText(journal, std::string(64 * 1024 - 100, 'x') + "\n");
  const Json report = Run("start\n", "ulimit -f 64");
  EXPECT_EQ(exitCode_, 1);
  EXPECT_EQ(report["outcome"], "restarted-after-errors");
  EXPECT_EQ(report["journal"]["complete"], false);
  EXPECT_GT(report["journal"]["lost_lines"].get<int>(), 20);
  const std::string err = ReadText(root_.path() / "err.txt");
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 2)
      << "said once, then the closing line: " << err;
  EXPECT_NE(err.find("journal.log could not take a line"), std::string::npos) << err;
  EXPECT_NE(err.find("\nimagefit: restarted-after-errors: the device restarted, but its journal "
                     "lost "),
            std::string::npos)
      << err;
  const std::string kept = ReadText(journal);
  ASSERT_FALSE(kept.empty());
  EXPECT_EQ(kept.back(), '\n') << "no torn line at the end";
  EXPECT_LE(kept.size(), 64u * 1024);
}

}  // namespace
}  // namespace imagefit_test
