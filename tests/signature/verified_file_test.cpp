// Reads through the verifying file: the bytes as verified, and nothing of a
// block that changed in place after the check.
#include <gtest/gtest.h>

#include <string>

#include "signature/verified_file.h"
#include "tests/support/memory_file_system.h"

namespace {

using platform::AccessRead;
using platform::Disposition;

TEST(VerifiedFileTest, HandsOutVerifiedBytesAndNothingOfAChangedBlock) {
  test_support::MemoryFileSystem files;
  std::string bytes(3 * signature::kTreeBlockBytes + 5000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = char(i * 31 + i / 977);
  files.Put(u"\\Card\\P.ZIP", bytes);
  auto verified = std::make_shared<signature::VerifiedTree>();
  {
    auto plain = files.Open(u"\\Card\\P.ZIP", AccessRead, Disposition::OpenExisting);
    ASSERT_TRUE(signature::TreeOfOpenFile(*plain, &verified->tree));
  }
  signature::VerifyingFileSystem verifying(files, u"\\Card\\P.ZIP", verified);
  auto file = verifying.Open(u"\\card\\p.zip", AccessRead, Disposition::OpenExisting);
  // Pieces of every size and alignment, one of them over two whole blocks.
  std::string read;
  for (uint32_t piece : {7u, 65529u, 2u * 65536u, 100u, 99999u}) {
    std::string part(piece, '\0');
    uint32_t got = 0;
    ASSERT_TRUE(file->Read(part.data(), piece, &got));
    read += part.substr(0, got);
  }
  EXPECT_EQ(read, bytes);
  uint64_t at = 0, size = 0;
  ASSERT_TRUE(file->Seek(-10, platform::SeekOrigin::End, &at));
  EXPECT_EQ(at, bytes.size() - 10);
  EXPECT_FALSE(file->Write("x", 1));
  // No read at an offset may pass the block checks: the caller reads in order.
  char byte = 0;
  uint32_t none = 1;
  EXPECT_FALSE(file->ReadAt(0, &byte, 1, &none));
  EXPECT_EQ(none, 0u);

  // One byte of the third block changed in place, and the file grown.
  (*files.Node("\\Card\\P.ZIP")->bytes)[2 * 65536 + 3] ^= 1;
  files.Node("\\Card\\P.ZIP")->bytes->append("more");
  auto again = verifying.Open(u"\\Card\\P.ZIP", AccessRead, Disposition::OpenExisting);
  ASSERT_TRUE(again->GetSize(&size));
  EXPECT_EQ(size, bytes.size());
  std::string part(65536 + 10, '\1');
  uint32_t got = 0;
  ASSERT_TRUE(again->Read(part.data(), 65536, &got));  // the first block is as it was
  EXPECT_FALSE(verified->changed);
  ASSERT_TRUE(again->Read(part.data(), 100, &got));  // so is the second
  EXPECT_FALSE(verified->changed);
  // A read that reaches into the third block hands out nothing at all.
  part.assign(part.size(), '\1');
  EXPECT_FALSE(again->Read(part.data(), uint32_t(part.size()), &got));
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(part.find_first_not_of(std::string("\0\1", 2)), std::string::npos)
      << "nothing of the read was handed out";
  EXPECT_TRUE(verified->changed);
  // Other files, and writes, are not wrapped.
  EXPECT_TRUE(verifying.Open(u"\\Card\\Q.TXT", platform::AccessWrite, Disposition::CreateAlways)
                  ->Write("x", 1));
}

}  // namespace
