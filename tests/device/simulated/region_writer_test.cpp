// A region file written past the cache in whole blocks ends up byte for byte
// what the records said, whatever their alignment, order and overlap.
#include "device/simulated/region_writer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "tests/support/bin_images.h"
#include "tests/support/temp_folder.h"

namespace simulated_test {
namespace {

using device::RegionWriter;
using test_support::Bytes;
using test_support::Pattern;

TEST(RegionWriter, RecordsOfAnyAlignmentOrderAndOverlapLandAsWritten) {
  test_support::TempFolder folder;
  const auto path = folder.path() / "region.bin";
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  constexpr uint32_t kSize = 3 * RegionWriter::kRunBytes + 12345;
  ASSERT_EQ(::ftruncate(fd, kSize), 0);
  Bytes expected(kSize, 0);
  struct Record {
    uint64_t offset;
    uint32_t length;
  };
  // An unaligned start; odd-sized contiguous records over more than two
  // full runs; a record smaller than the way to the next block, then one
  // continuing it; a step back into bytes already sent; a gap; the end.
  std::vector<Record> records = {{100, 5000}};
  for (uint64_t at = 5100; at < 5100 + 2 * RegionWriter::kRunBytes + 70000; at += 65547)
    records.push_back({at, 65547});
  const uint64_t end = records.back().offset + records.back().length;
  records.insert(records.end(), {{end + 10, 7},
                                 {end + 17, 9000},
                                 {3000, 10000},
                                 {RegionWriter::kRunBytes + 4096, 3 * 4096},
                                 {kSize - 50000, 50000}});
  {
    RegionWriter writer(fd);
    uint8_t seed = 1;
    for (const Record& record : records) {
      const Bytes data = Pattern(record.length, seed++);
      std::copy(data.begin(), data.end(), expected.begin() + std::ptrdiff_t(record.offset));
      ASSERT_TRUE(writer.Write(data.data(), record.length, record.offset)) << record.offset;
    }
    ASSERT_TRUE(writer.Finish());
  }
  ::close(fd);
  std::ifstream in(path, std::ios::binary);
  const Bytes written{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  ASSERT_EQ(written.size(), expected.size());
  EXPECT_TRUE(written == expected);
}

}  // namespace
}  // namespace simulated_test
