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
  // The link is neither followed nor lost. The kit cannot see a link that
  // leads out, so one that came under its hands as a folder's name changed
  // may stay aside in its folder; then the run never says that nothing
  // changed.
  const fs::path aside = flash / ".fitkit" / "old";
  int links = 0, linksAside = 0;
  for (const fs::path& place : {flash / "Data", flash / "swap", aside / "Data", aside / "swap"}) {
    links += fs::is_symlink(place) ? 1 : 0;
    linksAside += fs::is_symlink(place) && place.parent_path() == aside ? 1 : 0;
  }
  EXPECT_EQ(links, 1);
  if (run.out.find("Nothing was changed") != std::string::npos) {
    EXPECT_EQ(linksAside, 0) << run.out;
  }
}

}  // namespace
}  // namespace shellfit_test
