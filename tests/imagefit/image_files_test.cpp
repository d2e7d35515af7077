#include <gtest/gtest.h>

#include <random>

#include "imagefit/chunk_source.h"
#include "imagefit/image_files.h"
#include "imagefit/image_set_check.h"
#include "imagefit/whole_file_buffer.h"
#include "platform/byte_order.h"
#include "tests/imagefit/fakes.h"
#include "tests/support/bin_images.h"

namespace imagefit_test {

using namespace test_support;

namespace {

using imagefit::BuildMultiImageHeader;
using imagefit::kHeaderBlockSize;

TEST(SumBytes, AddsUnsignedBytesAndWraps) {
  const uint8_t bytes[] = {0xFF, 0x01, 0x80};
  EXPECT_EQ(platform::SumBytes(bytes, 3), 0x180u);
  EXPECT_EQ(platform::SumBytes(bytes, 0), 0u);
  std::vector<uint8_t> many(0x01010102, 0xFF);  // 255 * n overflows 32 bits
  EXPECT_EQ(platform::SumBytes(many.data(), many.size()), uint32_t(255ull * many.size()));
}

// A chunk read ahead sums any range from its kilobyte sums and its ends as its
// bytes add up: ranges inside one kilobyte, on and off the kilobyte seams, and
// up to the end of a chunk whose last kilobyte is short.
TEST(ChunkSums, AnyRangeSumsAsItsBytes) {
  Bytes bytes(imagefit::ChunkSource::kChunkSize - 777);
  std::mt19937 random(9);  // kilobytes whose sums differ
  for (uint8_t& byte : bytes) byte = uint8_t(random());
  std::vector<uint32_t> blockSums;
  for (std::size_t at = 0; at < bytes.size(); at += imagefit::Chunk::kSumBlock) {
    const std::size_t count = std::min<std::size_t>(imagefit::Chunk::kSumBlock, bytes.size() - at);
    blockSums.push_back(platform::SumBytes(bytes.data() + at, count));
  }
  const imagefit::Chunk chunk{bytes, blockSums};
  for (const std::size_t from : {0u, 1u, 1023u, 1024u, 1025u, 70000u}) {
    for (const std::size_t count : {0u, 1u, 1023u, 1024u, 2047u, 2048u, 100000u}) {
      EXPECT_EQ(chunk.SumOf(from, count), platform::SumBytes(bytes.data() + from, count))
          << from << " + " << count;
    }
    const std::size_t rest = bytes.size() - from;
    EXPECT_EQ(chunk.SumOf(from, rest), platform::SumBytes(bytes.data() + from, rest)) << from;
  }
}

// The check reads in pieces of 1 MB: records of 100,003 bytes put record
// headers and data across those seams, and damage far behind the first piece
// must still be found and counted right.
TEST(BinImageCheck, RecordsAcrossReadPiecesAreCheckedToTheEnd) {
  FakeDevice device;
  const Bytes data = Pattern(3000000, 7);
  Bytes bin = MakeFlatBin(0x80000000, data, 100003);
  auto check = [&](const Bytes& image) {
    device.files.Put(u"\\nk.bin", image);
    auto file =
        device.files.Open(u"\\nk.bin", platform::AccessRead, platform::Disposition::OpenExisting);
    return imagefit::CheckBinImage(*file);
  };
  EXPECT_EQ(check(bin), "");
  const std::size_t record25 = 15 + 24 * (12 + 100003);  // past two seams
  Bytes damaged = bin;
  damaged[record25 + 12 + 50000] ^= 1;
  EXPECT_EQ(check(damaged), "record 25 does not match its checksum");
  damaged = bin;
  damaged[record25 + 3] = 0x70;  // an address below the image's start
  EXPECT_EQ(check(damaged), "record 25 lies outside the image's address range");
  damaged.assign(bin.begin(), bin.end() - 12);
  EXPECT_EQ(check(damaged), "it ends without an end record");
  damaged.assign(bin.begin(), bin.end() - 15);
  EXPECT_EQ(check(damaged), "record 30 is longer than the rest of the file");
  damaged.assign(bin.begin(), bin.end() - 5);
  EXPECT_EQ(check(damaged), "record 31 is cut short in its header");
}

// A large image is read on two threads, every other chunk by the second: damage
// and cuts in chunks read by either must be found as a reading in order finds
// them, and a file that cannot be read at offsets is checked in order.
TEST(BinImageCheck, ALargeImageReadOnBothCoresIsCheckedAsInOrder) {
  FakeDevice device;
  const Bytes bin = MakeFlatBin(0x80000000, Pattern(9000000, 3), 100003);
  auto check = [&](const Bytes& image) {
    device.files.Put(u"\\nk.bin", image);
    auto file =
        device.files.Open(u"\\nk.bin", platform::AccessRead, platform::Disposition::OpenExisting);
    return imagefit::CheckBinImage(*file);
  };
  auto recordAt = [](int record) { return std::size_t(15 + (record - 1) * (12 + 100003)); };
  EXPECT_EQ(check(bin), "");
  for (const int record : {4, 60, 62, 89}) {  // in chunks 1, 22, 23 and 33
    Bytes damaged = bin;
    damaged[recordAt(record) + 12 + 777] ^= 0x10;
    EXPECT_EQ(check(damaged), "record " + std::to_string(record) + " does not match its checksum");
  }
  Bytes cut(bin.begin(), bin.begin() + std::ptrdiff_t(recordAt(62) + 12 + 500));
  EXPECT_EQ(check(cut), "record 62 is longer than the rest of the file");
  cut.assign(bin.begin(), bin.begin() + std::ptrdiff_t(recordAt(62) + 5));
  EXPECT_EQ(check(cut), "record 62 is cut short in its header");
}

TEST(MultiImageHeader, WorkedExampleOfFourRegions) {
  FakeDevice device;
  const char16_t* paths[] = {u"\\u\\drivers.bin", u"\\u\\tinynk.bin", u"\\u\\nk.bin",
                             u"\\u\\chain.bin"};
  for (int i = 0; i < 4; ++i)
    device.files.Put(paths[i], MakeBin(0x100 * (i + 1), 16 * (i + 1), {}));
  uint8_t block[kHeaderBlockSize];
  ASSERT_TRUE(BuildMultiImageHeader(paths[0], paths[1], paths[2], paths[3], block));

  EXPECT_EQ(std::string(reinterpret_cast<char*>(block), 7), "X000FF\n");
  EXPECT_EQ(std::vector<uint8_t>(block + 7, block + 15),
            (std::vector<uint8_t>{0xAA, 0, 0, 0, 4, 0, 0, 0}));
  const uint32_t table[] = {0x100, 16, 0x200, 32, 0x300, 48, 0x400, 64};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(platform::LoadLe32(block + 15 + 4 * i), table[i]);
  for (int i = 0; i < 4; ++i) {
    const uint8_t* slot = block + 47 + 15 * i;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(slot), 7), "B000FF\n");
    EXPECT_EQ(platform::LoadLe32(slot + 7), table[2 * i]);
    EXPECT_EQ(platform::LoadLe32(slot + 11), table[2 * i + 1]);
  }
}

TEST(MultiImageHeader, ShortFilesReadAsZerosAndOddSyncBytesPass) {
  FakeDevice device;
  device.files.Put(u"\\a", Bytes{'Z', 'Z', 'Z', 'Z', 'Z', 'Z', 'Z', 0x11, 0x22, 0x33});
  device.files.Put(u"\\b", Bytes{1, 2, 3});
  device.files.Put(u"\\c", MakeBin(0x300, 48, {}));
  device.files.Put(u"\\d", Bytes{});
  uint8_t block[kHeaderBlockSize];
  ASSERT_TRUE(BuildMultiImageHeader(u"\\a", u"\\b", u"\\c", u"\\d", block));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(block + 47), 7), "ZZZZZZZ");
  EXPECT_EQ(platform::LoadLe32(block + 15), 0x332211u);  // 3 bytes into a zeroed word
  EXPECT_EQ(platform::LoadLe32(block + 19), 0u);
  EXPECT_EQ(std::vector<uint8_t>(block + 62, block + 77),
            (std::vector<uint8_t>{1, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(platform::LoadLe32(block + 31), 0x300u);
  EXPECT_EQ(platform::LoadLe32(block + 7), platform::SumBytes(block + 15, 32));
}

TEST(MultiImageHeader, MissingFileFails) {
  FakeDevice device;
  device.files.Put(u"\\a", MakeBin(0x100, 16, {}));
  uint8_t block[kHeaderBlockSize];
  EXPECT_FALSE(BuildMultiImageHeader(u"\\a", u"\\a", u"\\missing", u"\\a", block));
}

TEST(WholeFileBuffer, CapacityGrowsInSteps) {
  FakeDevice device;
  device.files.Put(u"\\empty", Bytes{});
  device.files.Put(u"\\511", Pattern(511, 1));
  device.files.Put(u"\\512", Pattern(512, 2));
  {
    imagefit::WholeFileBuffer buffer;
    ASSERT_TRUE(buffer.Load(u"\\empty", 0));
    EXPECT_EQ(buffer.length(), 0u);
    EXPECT_EQ(buffer.capacity(), 512u);
    EXPECT_EQ(buffer.data()[0], 0);
  }
  {
    imagefit::WholeFileBuffer buffer;
    ASSERT_TRUE(buffer.Load(u"\\511", 0));
    EXPECT_EQ(buffer.capacity(), 512u);
    EXPECT_EQ(buffer.length(), 511u);
    EXPECT_EQ(Bytes(buffer.data(), buffer.data() + 511), Pattern(511, 1));
    EXPECT_EQ(buffer.data()[511], 0);
  }
  imagefit::WholeFileBuffer buffer;
  ASSERT_TRUE(buffer.Load(u"\\512", 0));
  EXPECT_EQ(buffer.capacity(), 1024u);
  EXPECT_FALSE(buffer.Open(u"\\512", false)) << "a second open on a held file must fail";
}

TEST(WholeFileBuffer, MissingOrShortFileFails) {
  FakeDevice device;
  device.files.Put(u"\\ten", Pattern(10, 3));
  imagefit::WholeFileBuffer buffer;
  EXPECT_FALSE(buffer.Load(u"\\missing", 0));
  EXPECT_FALSE(buffer.Load(u"\\ten", 20));
  EXPECT_EQ(buffer.length(), 0u);
  EXPECT_EQ(buffer.capacity(), 0u) << "a short read leaves the buffer empty";
  EXPECT_TRUE(buffer.Load(u"\\ten", 4)) << "the failed load left no file open";
  EXPECT_EQ(buffer.length(), 4u);
}

}  // namespace
}  // namespace imagefit_test
