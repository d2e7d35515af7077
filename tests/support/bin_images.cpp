#include "tests/support/bin_images.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>

namespace test_support {

void PutWord(Bytes& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

Bytes Word(uint32_t value) {
  Bytes bytes;
  PutWord(bytes, value);
  return bytes;
}

uint32_t ReadWord(const uint8_t* at) {
  return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

uint32_t ReadWord(const Bytes& bytes, std::size_t at) { return ReadWord(bytes.data() + at); }

Bytes Pattern(std::size_t size, uint8_t seed) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = uint8_t(seed + i * 7 + (i >> 8));
  return bytes;
}

uint32_t Sum(const Bytes& bytes) {
  uint32_t sum = 0;
  for (uint8_t b : bytes) sum += b;
  return sum;
}

std::string Crc32Text(const Bytes& bytes) {
  char text[9];
  std::snprintf(text, sizeof text, "%08lx", crc32(0, bytes.data(), uInt(bytes.size())));
  return text;
}

Bytes ImageHeader(uint32_t start, uint32_t length) {
  Bytes out = {'B', '0', '0', '0', 'F', 'F', '\n'};
  PutWord(out, start);
  PutWord(out, length);
  return out;
}

namespace {

void PutRecord(Bytes& out, uint32_t address, const Bytes& data, int64_t checksum,
               int64_t lengthField) {
  PutWord(out, address);
  PutWord(out, lengthField >= 0 ? uint32_t(lengthField) : uint32_t(data.size()));
  PutWord(out, checksum >= 0 ? uint32_t(checksum) : Sum(data));
  out.insert(out.end(), data.begin(), data.end());
}

}  // namespace

Bytes Record(uint32_t address, const Bytes& data, int64_t checksum) {
  Bytes out;
  PutRecord(out, address, data, checksum, -1);
  return out;
}

Bytes MakeBin(uint32_t start, uint32_t length, const std::vector<TestRecord>& records,
              bool endRecord, uint32_t launch) {
  Bytes out = ImageHeader(start, length);
  for (const TestRecord& r : records) PutRecord(out, r.address, r.data, r.checksum, r.lengthField);
  if (endRecord) {
    PutWord(out, 0);
    PutWord(out, launch);
    PutWord(out, 0);
  }
  return out;
}

Bytes MakeFlatBin(uint32_t start, const Bytes& data, std::size_t recordSize) {
  std::vector<TestRecord> records;
  for (std::size_t at = 0; at < data.size(); at += recordSize) {
    const std::size_t n = std::min(recordSize, data.size() - at);
    records.push_back({uint32_t(start + at), {data.begin() + at, data.begin() + at + n}});
  }
  return MakeBin(start, uint32_t(data.size()), records);
}

Bytes MultiHeader(const std::vector<std::pair<uint32_t, uint32_t>>& regions) {
  Bytes out = {'X', '0', '0', '0', 'F', 'F', '\n', 0, 0, 0, 0};
  PutWord(out, uint32_t(regions.size()));
  Bytes table;
  for (auto [start, length] : regions) {
    PutWord(table, start);
    PutWord(table, length);
  }
  const uint32_t sum = Sum(table);
  for (int i = 0; i < 4; ++i) out[7 + i] = uint8_t(sum >> (8 * i));
  out.insert(out.end(), table.begin(), table.end());
  return out;
}

}  // namespace test_support
