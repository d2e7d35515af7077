// Two updates through shellfit's core in one process, as fitkit rehearse runs
// a program: each run reads its own device and writes its own report, and
// nothing the first run found reaches the second.
#include <gtest/gtest.h>

#include <sstream>

#include <nlohmann/json.hpp>

#include "device/device.h"
#include "package_files.h"
#include "platform/environment.h"
#include "platform/outcome_report.h"
#include "report/json_report.h"
#include "shellfit/shellfit_entry.h"
#include "ui/console/console_host.h"

namespace shellfit_test {
namespace {

// A stock device whose flash drive holds main.exe `installed`, with a
// package on its card whose main.exe is `packaged`.
void MakeDevice(const fs::path& root, const fs::path& stage, const std::string& installed,
                const std::string& packaged) {
  MakeStockDevice(root);
  fs::copy_file(PeFixture(installed), root / "fs/Flash Disk/main.exe");
  fs::copy_file(PeFixture(packaged), stage / "main.exe");
  Zip(root / "fs/Storage Card/KTR 60 SHELL.ZIP", stage, {"main.exe"});
}

// One start of shellfit on `root` with START pressed; its report.
nlohmann::ordered_json RunOn(const fs::path& root) {
  const auto device = device::Device::Open(root);
  std::istringstream in("start\n");
  std::ostringstream out;
  ui::ConsoleDialogHost host(ui::ScreenMetrics{}, in, out);
  platform::Environment env = device->environment();
  env.dialogs = &host;
  platform::ScopedEnvironment installed(env);
  report::JsonReport report("shellfit", "\\Storage Card", root);
  {
    platform::ScopedOutcomeRecorder recorder(report);
    EXPECT_EQ(shellfit::ShellfitMain(u"\\Storage Card"), 1) << out.str();
  }
  return report.document();
}

TEST(ShellfitTwoRuns, EachRunInOneProcessHasItsOwnDeviceAndReport) {
  TempFolder first, second, firstStage, secondStage;
  MakeDevice(first.path(), firstStage.path(), "v123.exe", "v124.exe");
  MakeDevice(second.path(), secondStage.path(), "v124.exe", "v123.exe");

  const auto one = RunOn(first.path());
  const auto two = RunOn(second.path());

  EXPECT_EQ(one["outcome"], "installed");
  EXPECT_EQ(one["main_exe"]["installed"], "1.2.3");
  EXPECT_EQ(one["main_exe"]["packaged"], "1.2.4");
  EXPECT_EQ(two["outcome"], "installed");
  ASSERT_TRUE(two.contains("main_exe")) << two.dump(2);
  EXPECT_EQ(two["main_exe"]["installed"], "1.2.4") << "the second run's own installed version";
  EXPECT_EQ(two["main_exe"]["packaged"], "1.2.3");
  EXPECT_EQ(ReadText(second.path() / "fs/Flash Disk/main.exe"), ReadText(PeFixture("v123.exe")));
}

}  // namespace
}  // namespace shellfit_test
