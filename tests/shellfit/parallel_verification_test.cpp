// The verification pass read by several workers at once still reports the
// entry a single pass in directory order stops at.
#include <memory>
#include <vector>

#include "shellfit/entry_check_pool.h"
#include "shellfit_fixture.h"
#include "zipreader/zip_reader.h"

namespace shellfit_test {
namespace {

const std::u16string kPackage = u"\\Storage Card\\KTR 60 SHELL.ZIP";

class ParallelVerificationTest : public ShellfitTest {
 protected:
  // big.bin (stored, large: its worker is still busy when the others are
  // done), then three small files; `Offsets` gives their local headers.
  void SetUp() override {
    ShellfitTest::SetUp();
    WriteText(Stage("big.bin"), std::string(3 << 20, 'b'));
    for (const char* name : {"s1.txt", "s2.txt", "s3.txt"}) WriteText(Stage(name), name);
    const std::string command = "cd '" + staging_.path().string() +
                                "' && zip -q -0 -X -P .TORVA. '" + Zipped().string() +
                                "' big.bin s1.txt s2.txt s3.txt";
    ASSERT_EQ(std::system(command.c_str()), 0);
    CZipReader reader;
    reader.OpenArchive(kPackage, 1, 0);
    for (const auto& header : reader.Headers()) offsets_.push_back(header->localHeaderOffset);
    ASSERT_EQ(offsets_.size(), 4u);
  }

  fs::path Zipped() const { return Fs("Storage Card/KTR 60 SHELL.ZIP"); }

  // Flips a byte in big.bin's data (a CRC error at its very end) and/or
  // breaks the local header of entry `brokenHeader` (a damaged archive).
  void Damage(bool bigData, int brokenHeader) {
    std::string zip = ReadText(Zipped());
    if (bigData) zip[FirstEntryDataOffset(Zipped()) + 12 + (2 << 20)] ^= 0x01;
    if (brokenHeader >= 0) zip[offsets_[brokenHeader]] = 'X';
    WriteText(Zipped(), zip);
  }

  // With `paired`, each worker reads a second entry alongside.
  std::optional<shellfit::EntryFailure> Check(unsigned workers, int* doneCalls,
                                              bool paired = false) {
    std::vector<std::unique_ptr<CZipReader>> owned;
    std::vector<CZipReader*> readers, partners;
    for (unsigned i = 0; i < workers * (paired ? 2 : 1); ++i) {
      owned.push_back(std::make_unique<CZipReader>());
      owned.back()->OpenArchive(kPackage, 1, 0);
      owned.back()->SetPassword(u".TORVA.");
      (i < workers ? readers : partners).push_back(owned.back().get());
    }
    *doneCalls = 0;
    return shellfit::CheckEntries(readers, partners, {0, 1, 2, 3}, [doneCalls] { ++*doneCalls; });
  }

  std::vector<uint32_t> offsets_;
};

TEST_F(ParallelVerificationTest, TheFirstFailingEntryInOrderIsReportedWhateverFinishesFirst) {
  int done = 0;
  for (bool paired : {false, true}) {
    for (unsigned workers : {1u, 2u, 4u}) {
      EXPECT_FALSE(Check(workers, &done, paired)) << workers << " workers, good package";
      EXPECT_EQ(done, 4) << "one call per entry";
    }
  }
  EXPECT_TRUE(shellfit::VerifyPackage(kPackage, &dialog_).ok());

  // A later entry fails at once while the first one's CRC error shows only
  // after 3 MB: the first still wins, as in one pass.
  Damage(true, 2);
  for (bool paired : {false, true}) {
    for (unsigned workers : {1u, 2u, 4u}) {
      const auto failure = Check(workers, &done, paired);
      ASSERT_TRUE(failure) << workers << " workers";
      EXPECT_EQ(failure->position, 0u) << workers << " workers";
      EXPECT_EQ(failure->code, ErrBadCrc) << workers << " workers";
    }
  }
  EXPECT_EQ(shellfit::VerifyPackage(kPackage, &dialog_).zipError(), ErrBadCrc);
}

TEST_F(ParallelVerificationTest, EveryEntryBeforeTheFailureIsStillRead) {
  // Only entry 3 is damaged: entries 0 to 2 must pass first, whichever
  // worker reads them; a failure at 1 must be found before a later one at 3.
  Damage(false, 3);
  int done = 0;
  for (bool paired : {false, true}) {
    for (unsigned workers : {1u, 2u, 3u}) {
      const auto failure = Check(workers, &done, paired);
      ASSERT_TRUE(failure);
      EXPECT_EQ(failure->position, 3u);
      EXPECT_EQ(failure->code, ErrBadArchive);
      EXPECT_EQ(done, 4);
    }
  }
  Damage(false, 1);
  for (bool paired : {false, true}) {
    for (unsigned workers : {1u, 2u, 3u}) {
      const auto failure = Check(workers, &done, paired);
      ASSERT_TRUE(failure);
      EXPECT_EQ(failure->position, 1u) << workers << " workers";
    }
  }
  EXPECT_EQ(shellfit::VerifyPackage(kPackage).zipError(), ErrBadArchive);
}

}  // namespace
}  // namespace shellfit_test
