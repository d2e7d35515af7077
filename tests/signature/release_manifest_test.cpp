// The release manifest's text and the block tree it names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "signature/release_manifest.h"

namespace {

using signature::FileRole;
using signature::ParseManifest;
using signature::ReleaseKind;

std::string Hex(char digit) { return std::string(64, digit); }

const std::string kPackage =
    "fitkit release manifest 1\nkind shell-package\nmodel KTR 60\n"
    "version 1.2.4.0\nfile package 207436800 " +
    Hex('a') + "\n";

// `text` with its first `from` replaced by `to`.
std::string With(std::string text, const std::string& from, const std::string& to) {
  return text.replace(text.find(from), from.size(), to);
}

TEST(ReleaseManifestTest, ReadsBackWhatItWritesAndRefusesAnythingElse) {
  const auto package = ParseManifest(kPackage);
  ASSERT_TRUE(package);
  EXPECT_EQ(package->kind, ReleaseKind::ShellPackage);
  EXPECT_EQ(package->model, "KTR 60");
  EXPECT_EQ(package->securityVersion, 0u);  // absent: 0
  ASSERT_NE(package->Find(FileRole::Package), nullptr);
  EXPECT_EQ(package->Find(FileRole::Package)->size, 207436800u);

  signature::ReleaseManifest set;
  set.kind = ReleaseKind::ImageSet;
  set.model = "KTR 60";
  set.version = "V1.0.8";
  set.securityVersion = 4294967295u;
  uint64_t size = 0;
  for (FileRole role : signature::kImageSetRoles)
    set.files.push_back({role, size++, {uint8_t(size)}});
  const auto again = ParseManifest(signature::FormatManifest(set));
  ASSERT_TRUE(again);
  EXPECT_EQ(signature::FormatManifest(*again), signature::FormatManifest(set));
  EXPECT_EQ(again->Find(FileRole::Nk)->size, 5u);
  EXPECT_EQ(again->Find(FileRole::Chain)->hash[0], 7);
  EXPECT_TRUE(ParseManifest(With(kPackage, "\n", "\r\n")));

  const std::vector<std::string> refused = {
      With(kPackage, "manifest 1", "manifest 2"),                   // another format
      kPackage + "model KTR 70\n",                                  // repeated field
      kPackage + "colour blue\n",                                   // unknown field
      With(kPackage, "version 1.2.4.0\n", ""),                      // missing field
      kPackage + "file package 1 " + Hex('b') + "\n",               // role twice
      With(kPackage, "package", "nk"),                              // role of the other kind
      With(kPackage, "207436800", "0207436800"),                    // leading zero
      With(kPackage, "207436800", "99999999999999999999"),          // too large
      With(kPackage, Hex('a'), Hex('A')),                           // upper-case hex
      With(kPackage, Hex('a'), Hex('a') + "0"),                     // hash too long
      kPackage + "security-version -1\n",                           // not a whole number
      kPackage + "security-version 4294967296\n",                   // over 32 bits
      With(kPackage, "KTR 60", "K\xC1\x8BTR 60"),                   // overlong UTF-8
      With(kPackage, "KTR 60", "KTR\t60"),                          // control character
      kPackage.substr(0, kPackage.size() - 1),                      // no line end
      kPackage + std::string(signature::kMostManifestBytes, '\n'),  // too large
      With(With(kPackage, "shell-package", "image-set"), "package", "version"),  // set of one
  };
  for (std::size_t i = 0; i < refused.size(); ++i) {
    EXPECT_FALSE(ParseManifest(refused[i])) << "case " << i << ":\n" << refused[i];
  }
}

TEST(ReleaseManifestTest, TreeOfPiecesIsTheTreeOfTheWhole) {
  std::vector<uint8_t> bytes(3 * signature::kTreeBlockBytes + 100);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 7 + i / 4096);
  signature::BlockTreeHasher whole, pieces;
  whole.Update(bytes.data(), bytes.size());
  for (std::size_t at = 0; at < bytes.size(); at += 1000) {
    pieces.Update(bytes.data() + at, std::min<std::size_t>(1000, bytes.size() - at));
  }
  const signature::BlockTree a = whole.Finish(), b = pieces.Finish();
  ASSERT_EQ(a.blocks.size(), 4u);
  EXPECT_EQ(a.blocks, b.blocks);
  EXPECT_EQ(a.blocks[3], signature::HashBlock(bytes.data() + 3 * 65536, 100));
  EXPECT_EQ(signature::TreeRoot(a), signature::TreeRoot(b));
  // The size is part of the hash: an empty file and a file of no blocks
  // differ from one whose last block is cut.
  signature::BlockTree cut = a;
  cut.size -= 1;
  EXPECT_NE(signature::TreeRoot(cut), signature::TreeRoot(a));
}

}  // namespace
