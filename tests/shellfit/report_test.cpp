// The outcome report (FITKIT_REPORT) of real shellfit runs: one that installs,
// one whose package is refused and one left incomplete by a full flash drive,
// each read back with a JSON parser.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "package_files.h"

namespace shellfit_test {
namespace {

using Json = nlohmann::json;
using namespace std::chrono_literals;

class ShellfitReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeStockDevice(root_.path());
    fs::copy_file(FITKIT_SHELLFIT_BIN, Card("shellfit.exe"));
    fs::copy_file(PeFixture("v123.exe"), Flash("main.exe"));
    WriteText(Flash("old.dll"), "old library");
    WriteText(Flash("Hives/user.hv"), "user hive");
    fs::copy_file(PeFixture("v124.exe"), Stage("main.exe"));
    WriteText(Stage("Res/strings.txt"), std::string(3000, 's'));
  }

  fs::path Flash(const std::string& relative) const {
    return root_.path() / "fs" / "Flash Disk" / relative;
  }
  fs::path Card(const std::string& relative) const {
    return root_.path() / "fs" / "Storage Card" / relative;
  }
  fs::path Stage(const std::string& relative) const { return staging_.path() / relative; }
  fs::path Package() const { return Card("KTR 60 SHELL.ZIP"); }

  // Runs the program from the storage card with `input`; returns the report.
  Json Run(const std::string& input, const std::vector<std::string>& args = {}) {
    const fs::path file = reports_.path() / "report.json";
    run_ = RunProgram(Card("shellfit.exe"), args,
                      {{"FITKIT_UI", "console"},
                       {"FITKIT_DEVICE", root_.path().string()},
                       {"FITKIT_REPORT", file.string()}},
                      input);
    // Only the renamed document is left behind, never its temporary.
    EXPECT_EQ(std::distance(fs::directory_iterator(reports_.path()), fs::directory_iterator()), 1);
    return Json::parse(ReadText(file));
  }

  void ExpectCommonFields(const Json& report, int exitCode) {
    EXPECT_EQ(report["program"], "shellfit");
    EXPECT_EQ(report["device_root"], root_.path().string());
    EXPECT_EQ(report["exit_code"], exitCode);
    EXPECT_EQ(run_.exitCode, exitCode) << "the report changes no exit code";
    EXPECT_LE(report["started"].get<std::string>(), report["ended"].get<std::string>());
    EXPECT_EQ(report["package"]["path"], "\\Storage Card\\KTR 60 SHELL.ZIP");
    EXPECT_EQ(report["package"]["size"], fs::file_size(Package()));
    EXPECT_EQ(report["package"]["entries"], 3) << "main.exe, Res/ and Res/strings.txt";
  }

  TempFolder root_, staging_, reports_;
  RunResult run_;
};

TEST_F(ShellfitReportTest, InstalledRunNamesEverythingItDid) {
  Zip(Package(), staging_.path(), {"main.exe", "Res"});
  fs::copy_file("/bin/sleep", Flash("sleeper.exe"));
  ChildProcess sleeper(Flash("sleeper.exe"), {"30"});

  // The versions here are the ones the /upgrade check compared.
  const Json report = Run("\n", {"/upgrade"});
  ExpectCommonFields(report, 1);
  EXPECT_EQ(report["command_line"], "/upgrade");
  EXPECT_EQ(report["outcome"], "installed");
  EXPECT_EQ(report["message_boxes"], Json::array());
  EXPECT_EQ(report["main_exe"]["installed"], "1.2.3");
  EXPECT_EQ(report["main_exe"]["packaged"], "1.2.4");
  EXPECT_EQ(report["programs"]["ended"], 1);
  EXPECT_EQ(report["programs"]["ended_paths"][0]["path"], "\\Flash Disk\\sleeper.exe");
  EXPECT_TRUE(sleeper.WaitForEnd(5s));
  EXPECT_EQ(report["deleted"]["files"], 3) << "main.exe, old.dll, sleeper.exe";
  EXPECT_EQ(report["deleted"]["folders"], 0);
  EXPECT_EQ(report["deleted"]["kept_folders"][0]["path"], "\\Flash Disk\\Hives");
  EXPECT_FALSE(report["deleted"].contains("failed_files"));
  EXPECT_EQ(report["entries"]["total"], 3);
  EXPECT_EQ(report["entries"]["written"], 3);
  EXPECT_EQ(report["entries"]["verified"], 3);
  EXPECT_FALSE(report["entries"].contains("failed"));
}

TEST_F(ShellfitReportTest, RefusedPackageLeavesTheDriveAndSaysWhy) {
  test_support::AskForInPlaceInstall(root_.path());  // the check before the unpacking refuses
  ZipFixedHeaders(Package(), staging_.path(), {"main.exe", "Res"}, "wrong password");

  const Json report = Run("\nok\n");
  ExpectCommonFields(report, 1);
  EXPECT_EQ(report["outcome"], "refused");
  EXPECT_EQ(report["refused_zip_error"], 110);
  ASSERT_EQ(report["message_boxes"].size(), 1u);
  EXPECT_EQ(report["message_boxes"][0]["text"], "\\Storage Card\\KTR 60 SHELL.ZIP ZIP error 110!");
  EXPECT_EQ(report["message_boxes"][0]["caption"], "KTR 60 SHELL UPDATE");
  EXPECT_EQ(report["message_boxes"][0]["answer"], "OK");
  EXPECT_FALSE(report.contains("deleted"));
  EXPECT_FALSE(report.contains("entries"));
  EXPECT_TRUE(fs::exists(Flash("old.dll")));
}

TEST_F(ShellfitReportTest, IncompleteRunListsTheEntryThatFailed) {
  test_support::AskForInPlaceInstall(root_.path());
  Zip(Package(), staging_.path(), {"main.exe", "Res"});
  for (int i = 0; i < 1000; ++i) WriteText(Flash("Old/f" + std::to_string(i)), "old file");
  // The check finds nothing in the way; a folder another program makes at
  // strings.txt's place while the old files are deleted leaves that entry
  // unwritable.
  const fs::path file = reports_.path() / "report.json";
  BackgroundRun run(Card("shellfit.exe"), {"/force"},
                    {{"FITKIT_UI", "console"},
                     {"FITKIT_DEVICE", root_.path().string()},
                     {"FITKIT_REPORT", file.string()}},
                    reports_.path() / "run.out");
  EXPECT_TRUE(run.WaitForOutput("status: Deleting"));
  fs::create_directories(Flash("Res/strings.txt"));
  run_.exitCode = run.Finish();
  const Json report = Json::parse(ReadText(file));
  ExpectCommonFields(report, 1);
  EXPECT_EQ(report["outcome"], "incomplete");
  // Read before the deletion and from the unpacked file.
  EXPECT_EQ(report["main_exe"]["installed"], "1.2.3");
  EXPECT_EQ(report["main_exe"]["packaged"], "1.2.4");
  EXPECT_EQ(report["entries"]["total"], 3);
  EXPECT_EQ(report["entries"]["verified"], 2);
  ASSERT_EQ(report["entries"]["failed"].size(), 1u);
  EXPECT_EQ(report["entries"]["failed"][0]["name"], "Res\\strings.txt");
  EXPECT_EQ(report["entries"]["failed"][0]["reason"], "not written");
  EXPECT_EQ(report["entries"]["failed"][0]["attempts"], 3);
  ASSERT_EQ(report["message_boxes"].size(), 3u) << "one per attempt";
  EXPECT_EQ(report["message_boxes"][2]["text"], "Res\\strings.txt CRC error!");
}

}  // namespace
}  // namespace shellfit_test
