// BIN images built in memory for the tests: the image header (sync
// "B000FF\n", start, length), records, the end record and the multi-image
// header (sync "X000FF\n"). Written here from the file format, not from the
// updater's code, so that a fault in one cannot hide in the other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace test_support {

using Bytes = std::vector<uint8_t>;

struct TestRecord {
  uint32_t address = 0;
  Bytes data;
  int64_t checksum = -1;     // -1: the right byte sum
  int64_t lengthField = -1;  // -1: the data's length
};

void PutWord(Bytes& out, uint32_t value);  // little-endian
Bytes Word(uint32_t value);
uint32_t ReadWord(const uint8_t* at);
uint32_t ReadWord(const Bytes& bytes, std::size_t at);
// A repeatable byte pattern that is not periodic in 256.
Bytes Pattern(std::size_t size, uint8_t seed);
uint32_t Sum(const Bytes& bytes);  // the records' byte sum
// zlib's CRC-32 of `bytes` in eight hex digits, as the journal prints it.
std::string Crc32Text(const Bytes& bytes);

Bytes ImageHeader(uint32_t start, uint32_t length);
Bytes Record(uint32_t address, const Bytes& data, int64_t checksum = -1);
// The header, the records and, unless told otherwise, an end record
// carrying `launch`.
Bytes MakeBin(uint32_t start, uint32_t length, const std::vector<TestRecord>& records,
              bool endRecord = true, uint32_t launch = 0x80001000);
// One record per `recordSize` bytes of `data`, laid out from `start` without gaps.
Bytes MakeFlatBin(uint32_t start, const Bytes& data, std::size_t recordSize);
// The 47-byte multi-image header over four (start, length) regions.
Bytes MultiHeader(const std::vector<std::pair<uint32_t, uint32_t>>& regions);

}  // namespace test_support
