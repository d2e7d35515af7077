// Deleting the old shell while keeping the registry hives, the GPS files and
// folders whose name begins with a dot.
#include <algorithm>

#include "shellfit_fixture.h"

namespace shellfit_test {
namespace {

std::vector<std::string> Remaining(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    names.push_back(e.path().lexically_relative(folder).string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(ShellfitTest, DeleteOldFilesKeepsOnlyPreservedNamesAndDotFolders) {
  const fs::path flash = Fs("Flash Disk");
  WriteText(flash / "main.exe", "old");
  WriteText(flash / "user.hv", "hive");
  WriteText(flash / "GPSPARA1.BIN", "gps");
  WriteText(flash / "user.hv.bak", "not kept");
  WriteText(flash / "Sys" / "Boot.HV", "hive");
  WriteText(flash / "Sys" / "driver.dll", "old");
  WriteText(flash / "Sys" / "Deep" / "gpspara3.bin", "gps");
  WriteText(flash / "Sys" / "Deep" / "readonly.dat", "old");
  WriteText(flash / "Gone" / "Deeper" / "hidden.dat", "old");
  WriteText(flash / ".config" / "settings.ini", "kept");
  WriteText(flash / ".config" / "inner" / "x.exe", "kept");
  fs::permissions(flash / "Sys" / "Deep" / "readonly.dat", fs::perms::owner_read);

  const int count = shellfit::DeleteOldFiles(dialog_, u"\\Flash Disk");

  EXPECT_EQ(count, 5);
  EXPECT_EQ(Remaining(flash),
            (std::vector<std::string>{".config", ".config/inner", ".config/inner/x.exe",
                                      ".config/settings.ini", "GPSPARA1.BIN", "Sys", "Sys/Boot.HV",
                                      "Sys/Deep", "Sys/Deep/gpspara3.bin", "user.hv"}));
  // Each deletion is announced with the bare name.
  EXPECT_NE(std::find(dialog_.statuses.begin(), dialog_.statuses.end(), "Deleting... readonly.dat"),
            dialog_.statuses.end());
  EXPECT_EQ(dialog_.statuses.size(), 5u);
}

TEST_F(ShellfitTest, DeleteOldFilesRemovesALinkButNotWhatItPointsAt) {
  const fs::path flash = Fs("Flash Disk");
  WriteText(flash / "main.exe", "old");
  WriteText(Fs("Other/precious.txt"), "elsewhere on the device");
  fs::create_directory_symlink("../Other", flash / "link");

  shellfit::DeleteOldFiles(dialog_, u"\\Flash Disk");

  EXPECT_EQ(ReadText(Fs("Other/precious.txt")), "elsewhere on the device");
  EXPECT_FALSE(fs::exists(fs::symlink_status(flash / "link")));
  EXPECT_FALSE(fs::exists(flash / "main.exe"));
}

// The file to keep is known by its folder and name in any letter case; the
// same name elsewhere goes.
TEST_F(ShellfitTest, DeleteOldFilesKeepsTheNamedFileOnlyInItsOwnFolder) {
  const fs::path flash = Fs("Flash Disk");
  WriteText(flash / "Pkg" / "Shell.zip", "package");
  WriteText(flash / "Shell.zip", "old");
  WriteText(flash / "Other" / "Pkg" / "Shell.zip", "old");

  EXPECT_EQ(shellfit::DeleteOldFiles(dialog_, u"\\Flash Disk", u"\\FLASH DISK\\pkg\\SHELL.ZIP"), 2);

  EXPECT_EQ(Remaining(flash), (std::vector<std::string>{"Pkg", "Pkg/Shell.zip"}));
}

TEST_F(ShellfitTest, DeleteOldFilesOfAnEmptyOrMissingFolderDoesNothing) {
  WriteText(Fs("Flash Disk/main.exe"), "old");
  EXPECT_EQ(shellfit::DeleteOldFiles(dialog_, u""), 0);
  EXPECT_EQ(shellfit::DeleteOldFiles(dialog_, u"\\No Such Folder"), 0);
  EXPECT_TRUE(fs::exists(Fs("Flash Disk/main.exe")));
  EXPECT_TRUE(dialog_.statuses.empty());
}

}  // namespace
}  // namespace shellfit_test
