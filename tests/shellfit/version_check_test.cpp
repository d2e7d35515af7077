// The installed and packaged main.exe versions, read from real PE files.
#include "shellfit_fixture.h"

namespace shellfit_test {
namespace {

class VersionCheckTest : public ShellfitTest {
 protected:
  void Install(const std::string& fixture) {
    fs::copy_file(PeFixture(fixture), Fs("Flash Disk/main.exe"),
                  fs::copy_options::overwrite_existing);
  }
  // A package whose root main.exe is a copy of `fixture`.
  std::u16string Package(const std::string& fixture) {
    fs::copy_file(PeFixture(fixture), Stage("main.exe"), fs::copy_options::overwrite_existing);
    WriteText(Stage("readme.txt"), "shell");
    Zip(Fs("Storage Card/KTR 60 SHELL.ZIP"), staging_.path(), {"readme.txt", "main.exe"});
    return u"\\Storage Card\\KTR 60 SHELL.ZIP";
  }
  bool TempCopyLeft() const { return fs::exists(Fs("Flash Disk/_main.exe")); }
};

TEST_F(VersionCheckTest, GetFileVersionStringReadsTheFirstTranslation) {
  struct Case {
    const char* fixture;
    bool result;
    std::u16string version;
  };
  const Case cases[] = {
      {"v123.exe", true, u"1.2.3"},        {"commas.exe", true, u"1, 2, 3, 4"},
      {"arm.exe", true, u"2.0.1"},         {"no_file_version.exe", true, u""},
      {"two_translations.exe", true, u""}, {"no_translation.exe", true, u""},
      {"no_resources.exe", false, u""},    {"rcdata_only.exe", false, u""},
      {"not_pe.exe", false, u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fixture);
    Install(c.fixture);
    std::u16string version = u"stale";
    EXPECT_EQ(shellfit::GetFileVersionString(u"\\Flash Disk\\main.exe", &version), c.result);
    EXPECT_EQ(version, c.version);
  }
  std::u16string version = u"stale";
  EXPECT_FALSE(shellfit::GetFileVersionString(u"\\Flash Disk\\missing.exe", &version));
  EXPECT_EQ(version, u"");
}

TEST_F(VersionCheckTest, ComparesInstalledWithPackagedVersion) {
  struct Case {
    const char* installed;  // nullptr: no main.exe on the flash drive
    const char* packaged;
    bool newer;
  };
  const Case cases[] = {
      {"v123.exe", "v123.exe", false},
      {"v123.exe", "v124.exe", true},
      {"v124.exe", "v123.exe", false},
      {nullptr, "v123.exe", true},
      {"no_file_version.exe", "v123.exe", true},
      // "1, 2, 3, 4" does not parse and packs to 0: older than any real version.
      {"commas.exe", "v123.exe", true},
      {"v123.exe", "commas.exe", false},
      // A packaged main.exe without a version string always counts as newer.
      {"v124.exe", "no_resources.exe", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.installed ? c.installed : "none") + " vs " + c.packaged);
    fs::remove(Fs("Flash Disk/main.exe"));
    if (c.installed) Install(c.installed);
    const auto package = Package(c.packaged);
    EXPECT_EQ(shellfit::IsPackageNewer(package, u"\\Flash Disk"), c.newer);
    EXPECT_FALSE(TempCopyLeft());
  }
}

TEST_F(VersionCheckTest, OnlyARootMainExeCounts) {
  Install("v123.exe");
  fs::create_directories(Stage("bin"));
  fs::copy_file(PeFixture("v124.exe"), Stage("bin/main.exe"));
  Zip(Fs("Storage Card/KTR 60 SHELL.ZIP"), staging_.path(), {"bin"});
  EXPECT_FALSE(shellfit::IsPackageNewer(u"\\Storage Card\\KTR 60 SHELL.ZIP", u"\\Flash Disk"));
  EXPECT_FALSE(shellfit::IsPackageNewer(u"\\Storage Card\\missing.zip", u"\\Flash Disk"));
}

TEST_F(VersionCheckTest, UnreadablePackagesAreNeverNewerAndLeaveNoTempCopy) {
  Install("v123.exe");
  const auto package = Package("v124.exe");
  const fs::path zip = Fs("Storage Card/KTR 60 SHELL.ZIP");
  const std::string good = ReadText(zip);

  // Wrong password.
  Zip(Stage("other.zip"), staging_.path(), {"main.exe"}, "secret");
  fs::copy_file(Stage("other.zip"), zip, fs::copy_options::overwrite_existing);
  EXPECT_FALSE(shellfit::IsPackageNewer(package, u"\\Flash Disk"));
  EXPECT_FALSE(TempCopyLeft());

  // Not a ZIP archive at all.
  WriteText(zip, "this is no archive");
  EXPECT_FALSE(shellfit::IsPackageNewer(package, u"\\Flash Disk"));

  // A damaged byte inside main.exe's data: the reader raises during extraction,
  // after the temporary copy was created.
  std::string damaged = good;
  const std::size_t mainAt = damaged.find("main.exe");
  ASSERT_NE(mainAt, std::string::npos);
  damaged[mainAt + 8 + 12 + 40] ^= 0x55;  // name, encryption header, data
  WriteText(zip, damaged);
  EXPECT_FALSE(shellfit::IsPackageNewer(package, u"\\Flash Disk"));
  EXPECT_FALSE(TempCopyLeft());
}

}  // namespace
}  // namespace shellfit_test
