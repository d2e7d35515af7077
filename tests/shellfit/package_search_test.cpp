// Which file of the source folder is the package.
#include "shellfit_fixture.h"

namespace shellfit_test {
namespace {

std::u16string Found(const shellfit::UpdateSite& site) {
  std::u16string package = u"stale";
  if (!shellfit::FindPackage(site, &package)) {
    EXPECT_EQ(package, u"");
    return u"<none>";
  }
  return package;
}

TEST_F(ShellfitTest, FindPackagePrefersTheModelNamedPackage) {
  WriteText(Fs("Storage Card/A SHELL.ZIP"), "x");
  WriteText(Fs("Storage Card/ktr 60 shell.zip"), "x");
  // The device's file system ignores case, so the model-named path finds it.
  EXPECT_EQ(Found(site_), u"\\Storage Card\\KTR 60 SHELL.ZIP");
  // A source folder that still ends with "\" (the /upgrade check) joins once.
  site_.sourceFolder = u"\\Storage Card\\";
  EXPECT_EQ(Found(site_), u"\\Storage Card\\KTR 60 SHELL.ZIP");
}

TEST_F(ShellfitTest, FindPackageFallsBackToTheFirstZipOnly) {
  EXPECT_EQ(Found(site_), u"<none>");
  WriteText(Fs("Storage Card/KTR 61 Shell.zip"), "x");
  WriteText(Fs("Storage Card/notes.txt"), "x");
  EXPECT_EQ(Found(site_), u"\\Storage Card\\KTR 61 Shell.zip");
  // update.zip comes first in the search: the matching name after it is not looked at.
  WriteText(Fs("Storage Card/A update.zip"), "x");
  EXPECT_EQ(Found(site_), u"<none>");
  // " SHELL.ZIP" needs its leading blank.
  fs::remove(Fs("Storage Card/A update.zip"));
  fs::remove(Fs("Storage Card/KTR 61 Shell.zip"));
  WriteText(Fs("Storage Card/XSHELL.ZIP"), "x");
  EXPECT_EQ(Found(site_), u"<none>");
}

}  // namespace
}  // namespace shellfit_test
