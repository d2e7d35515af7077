// The check before deletion at its edges: the room to the byte, the path
// length to the unit, and a folder whose name starts with the target's.
#include <utility>
#include <vector>

#include "platform/text.h"
#include "shellfit/package_fit.h"
#include "shellfit_fixture.h"
#include "tests/zipreader/zip_builder.h"
#include "zipreader/zip_reader.h"

namespace shellfit_test {
namespace {

const std::u16string kPackage = u"\\Storage Card\\KTR 60 SHELL.ZIP";

class PackageFitTest : public ShellfitTest {
 protected:
  // Entries of `size` bytes each, stored.
  void Package(const std::vector<std::pair<std::string, std::size_t>>& entries) {
    zip_test::ZipBuilder b;
    for (const auto& [name, size] : entries) {
      b.entries.push_back({.name = name, .data = std::string(size, 'n'), .method = 0});
    }
    WriteText(Fs("Storage Card/KTR 60 SHELL.ZIP"), b.Build().bytes);
  }
  // Empty when the package fits the flash drive; else why not.
  std::string Check() {
    CZipReader reader;
    reader.OpenArchive(kPackage, 1, 0);
    const shellfit::PackageStatus fits =
        shellfit::CheckPackageFits(reader, kPackage, u"\\Flash Disk");
    EXPECT_EQ(fits.ok(), fits.words().empty());
    return platform::ToUtf8(fits.words());
  }
  // A drive with exactly `free` bytes left.
  void FreeBytes(uint64_t free) {
    uint64_t used = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root_.path() / "fs")) {
      if (entry.is_regular_file() && !entry.is_symlink()) used += entry.file_size();
    }
    OpenDevice("[fs]\ncapacity = " + std::to_string(used + free) + "\n");
  }
};

// A kept hive and a file outside the flash drive folder are overwritten:
// their old sizes come free as they are written.
TEST_F(PackageFitTest, OverwrittenSurvivorsFreeTheirOldSize) {
  WriteText(Fs("Flash Disk/user.hv"), std::string(5000, 'h'));
  WriteText(Fs("Flash Disk/old.dll"), std::string(3000, 'o'));
  WriteText(Fs("Storage Card/notes.txt"), std::string(2000, 't'));
  Package({{"user.hv", 8000}, {"main.exe", 10000}, {"\\Storage Card\\notes.txt", 2000}});
  // 20000 needed: 10000 free, 3000 deleted, 5000 and 2000 overwritten.
  FreeBytes(10000);
  EXPECT_EQ(Check(), "");
  FreeBytes(9999);
  EXPECT_NE(Check().find("(1 bytes missing)"), std::string::npos);
}

TEST_F(PackageFitTest, WholePathLimitCountsTheTerminator) {
  // "\Flash Disk\" and two parts: 12 + 120 + 1 + n units.
  const std::string first(120, 'p');
  Package({{first + "\\" + std::string(126, 'q'), 1}});
  EXPECT_EQ(Check(), "");  // 259 units
  Package({{first + "\\" + std::string(127, 'q'), 1}});
  EXPECT_NE(Check().find("longer than 259 characters"), std::string::npos);
}

TEST_F(PackageFitTest, FolderNamedLikeTheTargetIsNotBelowIt) {
  WriteText(Fs("Flash Disk/a"), "deleted first");
  WriteText(Fs("Flash Disk2/a"), "stays");
  Package({{"\\Flash Disk\\a\\b.txt", 1}});
  EXPECT_EQ(Check(), "");
  Package({{"\\Flash Disk2\\a\\b.txt", 1}});
  EXPECT_NE(Check().find("\"\\Flash Disk2\\a\" stays a file on the device"), std::string::npos);
}

}  // namespace
}  // namespace shellfit_test
