#include <gtest/gtest.h>

#include "imagefit/image_set.h"
#include "imagefit/image_version.h"
#include "imagefit/imagefit_run.h"
#include "tests/imagefit/fakes.h"
#include "tests/support/bin_images.h"

namespace imagefit_test {

using namespace test_support;

namespace {

using namespace imagefit;

TEST(ImageVersion, FourPartsCarryTheRevisionThreePartsMeanRevisionThree) {
  EXPECT_EQ(ParseImageVersion("V1.0.7.4\r\n"), 0x04010007u);
  EXPECT_EQ(ParseImageVersion("V1.0.7\r\n"), 0x03010007u);
  EXPECT_EQ(ParseImageVersion("V2.300.1"), 0x03000000u + (2u << 16) + (300u << 8) + 1);
  EXPECT_EQ(ParseImageVersion("1.0.7.4"), 0u);
  EXPECT_EQ(ParseImageVersion("1.0.7"), 0u);
  EXPECT_EQ(ParseImageVersion("V1.0"), 0u);
  EXPECT_EQ(ParseImageVersion(""), 0u);
  EXPECT_EQ(ParseImageVersion("...."), 0u);
}

TEST(ImageVersion, EveryDotCountsWhenTheFormIsDecided) {
  EXPECT_EQ(ParseImageVersion("V1.0.7\r\nnk.bin\r\n"), 0u) << "four fields, but no fourth number";
  EXPECT_EQ(ParseImageVersion("V1..0...7"), 0u) << "runs of dots are one separator for the count";
  EXPECT_EQ(ParseImageVersion(std::string_view("V1.0.7\0.x.y", 11)), 0x03010007u)
      << "the text ends at its first zero byte";
}

// The numbers are read as "%d" reads them; numbers too large for 32 bits wrap
// (with sscanf they were undefined, and glibc gave -1 for this one).
TEST(ImageVersion, NumbersAsScanfReadsThemAndHugeOnesWrap) {
  EXPECT_EQ(ParseImageVersion("V 1.+0.7"), 0x03010007u) << "blanks and a sign before a number";
  EXPECT_EQ(ParseImageVersion("V1 .0.7"), 0u) << "nothing may stand before a dot";
  EXPECT_EQ(ParseImageVersion("V1.-.7"), 0u) << "a sign alone is no number";
  EXPECT_EQ(ParseImageVersion("V1.0.7.-1"), 0xFF010007u);
  EXPECT_EQ(ParseImageVersion("V18446744073709551617.0.7"), 0x03010007u) << "2^64 + 1 wraps to 1";
  EXPECT_EQ(ParseImageVersion("V1.0.7.4294967300"), 0x04010007u);
  EXPECT_EQ(ParseImageVersion("v1.0.7"), 0u) << "a capital V";
}

TEST(ImageVersion, ReadsOnlyTheFirst260Bytes) {
  FakeDevice device;
  device.files.Put(u"\\v.ini", std::string("V3.2.1") + std::string(254, ' ') + ".1.2");
  EXPECT_EQ(ReadImageVersion(u"\\v.ini"), 0x03030201u);
  EXPECT_EQ(ReadImageVersion(u"\\missing.ini"), 0u);
}

TEST(ImageVersion, InstalledVersionFromTheRegistry) {
  FakeDevice device;
  EXPECT_EQ(ReadInstalledVersion(), 0u);
  device.registry.SetString(u"Ident", u"Version", u"V2.3.4");
  EXPECT_EQ(ReadInstalledVersion(), 0x020304u);
  EXPECT_EQ(FormatShownVersion(0x04010007u), u"V1.0.7");
  device.registry.SetString(u"Ident", u"Version", u"2.3.4");
  EXPECT_EQ(ReadInstalledVersion(), 0u);
}

TEST(ImageFolderChoice, CommandLineOrProgramFolderWithoutTrailingBackslash) {
  FakeDevice device;
  EXPECT_EQ(ChooseImageFolder(u"\\Storage Card\\Update\\"), u"\\Storage Card\\Update");
  EXPECT_EQ(ChooseImageFolder(u" \"\\x\" "), u" \"\\x\" ") << "taken exactly as passed";
  device.system.module = u"\\Storage Card\\imagefit.exe";
  EXPECT_EQ(ChooseImageFolder(u""), u"\\Storage Card");
}

class PrepareImageSetTest : public ::testing::Test {
 protected:
  void PutImages(const std::u16string& folder) {
    for (std::u16string_view name : kImageFileNames)
      device.files.Put(folder + u"\\" + std::u16string(name), MakeBin(0x1000, 0, {}));
  }
  // The run's first two steps, as the frame calls them.
  bool Prepare(const std::u16string& commandLine) {
    run.Prepare(commandLine);
    return run.InitDialog(dialog);
  }
  FakeDevice device;
  RecordingDialog dialog;
  ImagefitRun run;
};

TEST_F(PrepareImageSetTest, FillsTitlePathsVersionsAndFields) {
  PutImages(u"\\SC\\Update");
  device.files.Put(u"\\SC\\Update\\KTR 60.ini", "V1.0.7.4\r\n");
  device.files.Put(u"\\SC\\Update\\aaa.ini", "V9.9.9\r\n");
  device.registry.SetString(u"Ident", u"Version", u"V1.0.5");
  ASSERT_TRUE(Prepare(u"\\SC\\Update\\"));
  EXPECT_EQ(run.title, u"KTR 60 OS UPDATE");
  EXPECT_EQ(dialog.title, u"KTR 60 OS UPDATE");
  EXPECT_EQ(run.set().version, 0x04010007u);
  EXPECT_EQ(run.set().paths[kNboot], u"\\SC\\Update\\nboot.bin");
  EXPECT_EQ(run.set().paths[kChain], u"\\SC\\Update\\chain.bin");
  EXPECT_EQ(dialog.texts[1002], u"V1.0.5");
  EXPECT_EQ(dialog.texts[1003], u"V1.0.7");
  EXPECT_EQ(dialog.texts[1005], u"Ready...");
  ASSERT_FALSE(dialog.ranges.empty());
  EXPECT_EQ(dialog.ranges.back(), (std::pair<uint16_t, uint16_t>(0, 100)));
  EXPECT_EQ(dialog.positions.back(), 0);
}

TEST_F(PrepareImageSetTest, AnyIniFileWhenNoneIsNamedAfterTheModel) {
  PutImages(u"\\U");
  device.files.Put(u"\\U\\b.ini", "V5.5.5\r\n");
  device.files.Put(u"\\U\\a.ini", "V1.2.3.2\r\n");
  ASSERT_TRUE(Prepare(u"\\U"));
  EXPECT_EQ(run.set().version, 0x02010203u) << "the first the search returns";
}

TEST_F(PrepareImageSetTest, NoVersionFileShowsZero) {
  PutImages(u"\\U");
  ASSERT_TRUE(Prepare(u"\\U"));
  EXPECT_EQ(run.set().version, 0u);
  EXPECT_EQ(dialog.texts[1003], u"V0.0.0");
  EXPECT_EQ(dialog.texts[1002], u"V0.0.0");
}

TEST_F(PrepareImageSetTest, MissingImageFailsWithoutFillingFields) {
  PutImages(u"\\U");
  device.files.DeleteFile(u"\\U\\drivers.bin");
  EXPECT_FALSE(Prepare(u"\\U"));
  EXPECT_EQ(dialog.texts.count(1003), 0u);
  EXPECT_TRUE(dialog.boxes.empty());
}

// A folder that leaves no room for "\drivers.bin" in 259 characters must not
// be cut into another path that might hold images.
TEST_F(PrepareImageSetTest, FolderTooLongForTheFileNamesIsRefused) {
  const std::u16string longFolder = u"\\" + std::u16string(247, u'd');  // + "\\drivers.bin" = 260
  PutImages(longFolder);
  // What cutting the path to 259 characters would have found instead.
  device.files.Put((longFolder + u"\\drivers.bin").substr(0, 259), MakeBin(0x1000, 0, {}));
  EXPECT_FALSE(Prepare(longFolder));
  EXPECT_EQ(dialog.texts.count(1003), 0u);

  const std::u16string fits = u"\\" + std::u16string(246, u'd');
  PutImages(fits);
  EXPECT_TRUE(Prepare(fits)) << "the longest folder that fits still works";
  EXPECT_EQ(run.set().paths[kDrivers].size(), 259u);
}

}  // namespace
}  // namespace imagefit_test
