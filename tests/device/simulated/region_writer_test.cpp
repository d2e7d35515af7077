// A region file written past the cache in whole blocks ends up byte for byte
// what the records said, whatever their alignment, order and overlap, also
// when the file system refuses the direct writes. The test binary is linked
// with pwrite wrapped, so that a test can have every direct write refused.
#include "device/simulated/region_writer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/bin_images.h"
#include "tests/support/temp_folder.h"

namespace {

// Which direct writes fail as a file system that takes none would fail them.
enum class Refused { None, All, ShortOfARun };
std::atomic<Refused> refused{Refused::None};
std::atomic<int> directWrites{0};

}  // namespace

extern "C" {
ssize_t __real_pwrite(int fd, const void* bytes, size_t count, off_t offset);

ssize_t __wrap_pwrite(int fd, const void* bytes, size_t count, off_t offset) {
  if ((::fcntl(fd, F_GETFL) & O_DIRECT) != 0) {
    ++directWrites;
    if (refused == Refused::All ||
        (refused == Refused::ShortOfARun && count < device::RegionWriter::kRunBytes)) {
      errno = EINVAL;
      return -1;
    }
  }
  return __real_pwrite(fd, bytes, count, offset);
}
}

namespace simulated_test {
namespace {

using device::RegionWriter;
using test_support::Bytes;
using test_support::Pattern;

// Direct writes taken; all refused (the first is a full run, on the
// writer's thread); refused from the first that settles a run's whole blocks
// in turn.
class RegionWriterTest : public ::testing::TestWithParam<Refused> {
 protected:
  void SetUp() override {
    refused = GetParam();
    directWrites = 0;
  }
  void TearDown() override { refused = Refused::None; }
};

TEST_P(RegionWriterTest, RecordsOfAnyAlignmentOrderAndOverlapLandAsWritten) {
  test_support::TempFolder folder;
  const auto path = folder.path() / "region.bin";
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  const bool directTaken = ::fcntl(fd, F_SETFL, O_RDWR | O_DIRECT) == 0;
  ::fcntl(fd, F_SETFL, O_RDWR);
  if (GetParam() != Refused::None && !directTaken)
    GTEST_SKIP() << "this file system takes no direct writes";
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
  // Refused once, the writer stops asking; taken, every full run went out directly.
  if (GetParam() == Refused::All) {
    EXPECT_EQ(directWrites, 1);
  } else if (GetParam() == Refused::ShortOfARun) {
    EXPECT_EQ(directWrites, 3);
  } else if (directTaken) {
    EXPECT_GE(directWrites, 3);
  }
}

std::string CaseName(const ::testing::TestParamInfo<Refused>& info) {
  switch (info.param) {
    case Refused::None:
      return "Taken";
    case Refused::All:
      return "AllRefused";
    case Refused::ShortOfARun:
      return "RefusedShortOfARun";
  }
  return "?";
}

INSTANTIATE_TEST_SUITE_P(DirectWrites, RegionWriterTest,
                         ::testing::Values(Refused::None, Refused::All, Refused::ShortOfARun),
                         CaseName);

}  // namespace
}  // namespace simulated_test
