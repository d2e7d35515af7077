// The real shellfit against an attacker who keeps swapping the folder it
// works in for a link to outside the device: whatever the timing, nothing
// outside the device root is created, changed or deleted.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdio.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "package_files.h"

namespace shellfit_test {
namespace {

TEST(SwapRace, FolderSwappedForAnOutwardLinkNeverLeadsOut) {
  TempFolder root, staging, outside;
  MakeStockDevice(root.path());
  const fs::path card = root.path() / "fs" / "Storage Card";
  const fs::path flash = root.path() / "fs" / "Flash Disk";
  fs::copy_file(FITKIT_SHELLFIT_BIN, card / "shellfit.exe");
  // Old files to delete and a package to write, both in the folder that is
  // swapped; the outside holds files of the same names.
  for (int i = 0; i < 300; ++i) {
    const std::string name = "Data/f" + std::to_string(i) + ".txt";
    WriteText(staging.path() / name, "new " + std::to_string(i));
    WriteText(flash / name, "old");
    WriteText(outside.path() / name, "outside " + std::to_string(i));
  }
  WriteText(outside.path() / "sentinel.txt", "untouched");
  Zip(card / "KTR 60 SHELL.ZIP", staging.path(), {"Data"});
  fs::create_directory_symlink(outside.path() / "Data", flash / "swap");
  const auto before = SnapshotTree(outside.path());

  std::atomic<bool> running{true};
  std::atomic<int> exchanges{0};
  const std::string data = (flash / "Data").string(), swap = (flash / "swap").string();
  std::thread attacker([&] {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (running && std::chrono::steady_clock::now() < end) {
      if (renameat2(AT_FDCWD, data.c_str(), AT_FDCWD, swap.c_str(), RENAME_EXCHANGE) == 0) {
        ++exchanges;
      }
    }
  });
  const RunResult run =
      RunProgram(card / "shellfit.exe", {"/force"},
                 {{"FITKIT_UI", "console"}, {"FITKIT_DEVICE", root.path().string()}}, "");
  running = false;
  attacker.join();

  EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
  EXPECT_GT(exchanges, 100) << "the folder was hardly swapped during the run";
  EXPECT_EQ(SnapshotTree(outside.path()), before);
  // Whichever name the real folder has now, it is still a folder inside.
  EXPECT_TRUE(fs::is_symlink(flash / "Data") != fs::is_symlink(flash / "swap"));
}

}  // namespace
}  // namespace shellfit_test
