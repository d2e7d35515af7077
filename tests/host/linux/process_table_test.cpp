// The device's process list over real host processes: programs started from
// <root>/fs are listed with their device paths and can be ended; programs
// outside the device are invisible and can never be ended.
#include <gtest/gtest.h>

#include <algorithm>

#include "device/device_config.h"
#include "host/linux/processes.h"
#include "platform/processes.h"
#include "tests/support/program_runner.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using test_support::ChildProcess;
using test_support::TempFolder;
using namespace std::chrono_literals;

class ProcessTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root_.path() / "fs" / "Flash Disk" / "Bin");
    fs::copy_file("/bin/sleep", root_.path() / "fs" / "Flash Disk" / "Bin" / "Shell.exe");
    fs::copy_file("/bin/sleep", outside_.path() / "shell.exe");
  }

  std::unique_ptr<platform::ProcessTable> Table(const std::string& ini) {
    config_ = device::DeviceConfig::Parse(ini, "device.ini");
    return host::CreateHostProcessTable(root_.path(), config_.HasToolhelp());
  }

  TempFolder root_;
  TempFolder outside_;
  device::DeviceConfig config_ = device::DeviceConfig::Parse("", "device.ini");
};

bool Lists(const std::vector<platform::ProcessEntry>& list, uint32_t id, std::u16string name) {
  return std::any_of(list.begin(), list.end(), [&](const platform::ProcessEntry& e) {
    return e.id == id && e.exeName == name;
  });
}

TEST_F(ProcessTableTest, ListsAndEndsOnlyProgramsOfTheDevice) {
  ChildProcess inside(root_.path() / "fs" / "Flash Disk" / "Bin" / "Shell.exe", {"60"});
  ChildProcess outside(outside_.path() / "shell.exe", {"60"});
  auto table = Table("");

  const auto list = table->Snapshot();
  ASSERT_TRUE(list.has_value());
  EXPECT_TRUE(Lists(*list, inside.pid(), u"Shell.exe"));
  for (const auto& e : *list) EXPECT_NE(e.id, static_cast<uint32_t>(outside.pid()));

  EXPECT_EQ(table->ProgramPath(inside.pid()), u"\\Flash Disk\\Bin\\Shell.exe");
  EXPECT_EQ(table->ProgramPath(outside.pid()), std::nullopt);

  EXPECT_FALSE(table->Terminate(outside.pid(), 0));
  EXPECT_TRUE(table->Terminate(inside.pid(), 0));
  EXPECT_TRUE(inside.WaitForEnd(5s));
  EXPECT_TRUE(outside.Alive());
  // Gone processes have no program path and cannot be ended again.
  EXPECT_EQ(table->ProgramPath(inside.pid()), std::nullopt);
  EXPECT_FALSE(table->Terminate(inside.pid(), 0));
}

TEST_F(ProcessTableTest, ProgramWhoseFileWasDeletedIsStillOnTheDevice) {
  const fs::path exe = root_.path() / "fs" / "Flash Disk" / "Bin" / "Shell.exe";
  ChildProcess inside(exe, {"60"});
  fs::remove(exe);
  auto table = Table("");
  EXPECT_EQ(table->ProgramPath(inside.pid()), u"\\Flash Disk\\Bin\\Shell.exe");
}

TEST_F(ProcessTableTest, WithoutToolhelpThereIsNoList) {
  ChildProcess inside(root_.path() / "fs" / "Flash Disk" / "Bin" / "Shell.exe", {"60"});
  auto table = Table("[kernel]\ntoolhelp = no\n");
  EXPECT_FALSE(table->Snapshot().has_value());
  EXPECT_TRUE(inside.Alive());
}

}  // namespace
