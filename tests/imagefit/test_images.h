// BIN images built in memory for the tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace imagefit_test {

using Bytes = std::vector<uint8_t>;

struct TestRecord {
  uint32_t address = 0;
  std::vector<uint8_t> data;
  int64_t checksum = -1;  // -1: the right byte sum
  int64_t lengthField = -1;  // -1: the data's length
};

inline void PutWord(std::vector<uint8_t>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

inline std::vector<uint8_t> Pattern(std::size_t size, uint8_t seed) {
  std::vector<uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = uint8_t(seed + i * 7 + (i >> 8));
  return bytes;
}

inline uint32_t Sum(const std::vector<uint8_t>& bytes) {
  uint32_t sum = 0;
  for (uint8_t b : bytes) sum += b;
  return sum;
}

// Header (sync "B000FF\n", start, length), the records and, unless told
// otherwise, an end record carrying `launch`.
inline std::vector<uint8_t> MakeBin(uint32_t start, uint32_t length,
                                    const std::vector<TestRecord>& records, bool endRecord = true,
                                    uint32_t launch = 0x80001000) {
  std::vector<uint8_t> out = {'B', '0', '0', '0', 'F', 'F', '\n'};
  PutWord(out, start);
  PutWord(out, length);
  for (const TestRecord& r : records) {
    PutWord(out, r.address);
    PutWord(out, r.lengthField >= 0 ? uint32_t(r.lengthField) : uint32_t(r.data.size()));
    PutWord(out, r.checksum >= 0 ? uint32_t(r.checksum) : Sum(r.data));
    out.insert(out.end(), r.data.begin(), r.data.end());
  }
  if (endRecord) {
    PutWord(out, 0);
    PutWord(out, launch);
    PutWord(out, 0);
  }
  return out;
}

// One record per `recordSize` bytes of `data`, laid out from `start` without gaps.
inline std::vector<uint8_t> MakeFlatBin(uint32_t start, const std::vector<uint8_t>& data,
                                        std::size_t recordSize) {
  std::vector<TestRecord> records;
  for (std::size_t at = 0; at < data.size(); at += recordSize) {
    const std::size_t n = std::min(recordSize, data.size() - at);
    records.push_back({uint32_t(start + at), {data.begin() + at, data.begin() + at + n}});
  }
  return MakeBin(start, uint32_t(data.size()), records);
}

}  // namespace imagefit_test
