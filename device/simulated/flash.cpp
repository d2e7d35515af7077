#include "device/simulated/flash.h"

#include <cstdio>
#include <cstring>
#include <system_error>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "device/simulated/host_file.h"
#include "platform/trace.h"

namespace platform {

namespace {

constexpr uint32_t kImageHeaderSize = 15;
constexpr uint32_t kRecordHeaderSize = 12;
constexpr uint32_t kMultiHeaderSize = 47;
constexpr uint32_t kRegionTableOffset = 15;
constexpr char kMultiSignature[7] = {'X', '0', '0', '0', 'F', 'F', '\n'};

uint32_t Le32(const uint8_t* bytes) {
  return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
         uint32_t(bytes[3]) << 24;
}

// The record checksum: the byte sum modulo 2^32. Records are large, so the
// bytes are summed a vector at a time (the sum of absolute differences
// against zero adds eight bytes into each 64-bit lane), the rest one by one.
#if defined(__x86_64__)
__attribute__((target("avx2")))
uint64_t WideByteSum(const uint8_t*& bytes, uint32_t& count) {
  __m256i sums = _mm256_setzero_si256();
  const __m256i zero = _mm256_setzero_si256();
  for (; count >= 32; count -= 32, bytes += 32) {
    const __m256i block = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes));
    sums = _mm256_add_epi64(sums, _mm256_sad_epu8(block, zero));
  }
  uint64_t lanes[4];
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(lanes), sums);
  return lanes[0] + lanes[1] + lanes[2] + lanes[3];
}

uint64_t NarrowByteSum(const uint8_t*& bytes, uint32_t& count) {
  __m128i sums = _mm_setzero_si128();
  const __m128i zero = _mm_setzero_si128();
  for (; count >= 16; count -= 16, bytes += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
    sums = _mm_add_epi64(sums, _mm_sad_epu8(block, zero));
  }
  uint64_t halves[2];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(halves), sums);
  return halves[0] + halves[1];
}
#endif

uint32_t ByteSum(const uint8_t* bytes, uint32_t count) {
  uint64_t total = 0;
#if defined(__x86_64__)
  static const bool hasAvx2 = __builtin_cpu_supports("avx2");
  total = hasAvx2 ? WideByteSum(bytes, count) : NarrowByteSum(bytes, count);
#endif
  while (count-- > 0) total += *bytes++;
  return uint32_t(total);
}

// Flushed at once, so a record the driver accepts is on the host's disk (and a
// failing write fails that record, not a later one).
bool WriteAll(std::fstream& file, const uint8_t* bytes, uint64_t count, uint64_t offset) {
  file.seekp(std::streamoff(offset));
  file.write(reinterpret_cast<const char*>(bytes), std::streamsize(count));
  file.flush();
  return bool(file);
}

}  // namespace

SimulatedFlash::SimulatedFlash(std::filesystem::path folder, uint32_t boardRevision)
    : folder_(std::move(folder)), boardRevision_(boardRevision) {}

SimulatedFlash::~SimulatedFlash() { CloseRegionFile(); }

bool SimulatedFlash::Control(uint32_t code, const void* input, uint32_t inputLength,
                             void* output, uint32_t outputLength) {
  const auto* bytes = static_cast<const uint8_t*>(input);
  if (bytes == nullptr) inputLength = 0;
  switch (code) {
    case flash_codes::kWriteNboot: return WriteBootLoader("nboot.bin", bytes, inputLength);
    case flash_codes::kWriteEboot: return WriteBootLoader("eboot.nb0", bytes, inputLength);
    case flash_codes::kGetBoardRevision: return ReportBoardRevision(output, outputLength);
    case flash_codes::kKernelOpen: return OpenKernel();
    case flash_codes::kMultiHeader: return AcceptMultiHeader(bytes, inputLength);
    case flash_codes::kImageHeader: return AcceptImageHeader(bytes, inputLength);
    case flash_codes::kImageRecord: return AcceptRecord(bytes, inputLength);
    case flash_codes::kSetVersion: return AcceptVersion(bytes, inputLength);
    case flash_codes::kKernelFinish: return Advance(Phase::VersionSet, Phase::Finished);
    case flash_codes::kKernelClose:
      if (!Advance(Phase::Finished, Phase::Idle)) return false;
      CloseRegionFile();
      return true;
    default: return false;
  }
}

bool SimulatedFlash::EnsureFolder() {
  std::error_code error;
  std::filesystem::create_directories(folder_, error);
  return !error;
}

// A boot loader is written whole, outside a kernel update; an empty one is refused.
bool SimulatedFlash::WriteBootLoader(const char* name, const void* input, uint32_t length) {
  if (phase_ != Phase::Idle || length == 0 || !EnsureFolder()) return false;
  std::FILE* file = OpenHostFile(folder_ / name, "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(input, 1, length, file) == length;
  return std::fclose(file) == 0 && written;
}

bool SimulatedFlash::ReportBoardRevision(void* output, uint32_t outputLength) {
  if (output == nullptr || outputLength < 4) return false;
  auto* bytes = static_cast<uint8_t*>(output);
  for (int i = 0; i < 4; ++i) bytes[i] = uint8_t(boardRevision_ >> (8 * i));
  return true;
}

// KERNEL_OPEN starts over, also when an earlier update was left open.
bool SimulatedFlash::OpenKernel() {
  CloseRegionFile();
  phase_ = Phase::Opened;
  currentRegion_ = -1;
  endRecordSeen_ = false;
  return true;
}

bool SimulatedFlash::Advance(Phase from, Phase to) {
  if (phase_ != from) return false;
  phase_ = to;
  return true;
}

bool SimulatedFlash::AcceptMultiHeader(const uint8_t* input, uint32_t length) {
  if (phase_ != Phase::Opened || length != kMultiHeaderSize) return false;
  if (std::memcmp(input, kMultiSignature, sizeof kMultiSignature) != 0) return false;
  if (Le32(input + 11) != regions_.size()) return false;
  if (Le32(input + 7) != ByteSum(input + kRegionTableOffset, 8 * regions_.size())) return false;
  for (std::size_t i = 0; i < regions_.size(); ++i) {
    regions_[i].start = Le32(input + kRegionTableOffset + 8 * i);
    regions_[i].length = Le32(input + kRegionTableOffset + 8 * i + 4);
  }
  phase_ = Phase::HeaderAccepted;
  return true;
}

// The next region's image header; a region may follow one whose stream broke
// off before its end record.
bool SimulatedFlash::AcceptImageHeader(const uint8_t* input, uint32_t length) {
  const bool expected = phase_ == Phase::HeaderAccepted ||
                        (phase_ == Phase::InImage && currentRegion_ + 1 < int(regions_.size()));
  if (!expected || length != kImageHeaderSize) return false;
  const Region& next = regions_[currentRegion_ + 1];
  if (Le32(input + 7) != next.start || Le32(input + 11) != next.length) return false;
  CloseRegionFile();
  if (!EnsureFolder()) return false;
  char name[32];
  std::snprintf(name, sizeof name, "region%d.bin", currentRegion_ + 1);
  if (!OpenRegionFile(folder_ / name, next.length)) return false;
  ++currentRegion_;
  endRecordSeen_ = false;
  phase_ = Phase::InImage;
  return true;
}

bool SimulatedFlash::AcceptRecord(const uint8_t* input, uint32_t length) {
  if (phase_ != Phase::InImage || endRecordSeen_ || length < kRecordHeaderSize) return false;
  const uint32_t address = Le32(input), dataLength = Le32(input + 4), checksum = Le32(input + 8);
  if (address == 0 && checksum == 0) {
    if (length != kRecordHeaderSize) return false;
    endRecordSeen_ = true;
    return true;
  }
  if (uint64_t(length) != kRecordHeaderSize + uint64_t(dataLength)) return false;
  const Region& region = regions_[currentRegion_];
  if (address < region.start ||
      uint64_t(address - region.start) + dataLength > region.length) return false;
  const uint8_t* data = input + kRecordHeaderSize;
  if (ByteSum(data, dataLength) != checksum) return false;
  return WriteAll(regionFile_, data, dataLength, address - region.start);
}

bool SimulatedFlash::AcceptVersion(const uint8_t* input, uint32_t length) {
  const bool lastRegion = phase_ == Phase::InImage && currentRegion_ + 1 == int(regions_.size());
  if (!lastRegion || length != 4 || !EnsureFolder()) return false;
  CloseRegionFile();
  std::FILE* file = OpenHostFile(folder_ / "version", "wb");
  if (file == nullptr) return false;
  const bool written = std::fprintf(file, "0x%08X", Le32(input)) == 10;
  if (std::fclose(file) != 0 || !written) return false;
  phase_ = Phase::VersionSet;
  return true;
}

// The region's file, emptied and then made its full length (gaps read zero).
bool SimulatedFlash::OpenRegionFile(const std::filesystem::path& file, uint32_t length) {
  std::FILE* created = OpenHostFile(file, "wb");
  if (created == nullptr || std::fclose(created) != 0) return false;
  std::error_code error;
  std::filesystem::resize_file(file, length, error);
  if (error) return false;
  regionFile_.open(file, std::ios::in | std::ios::out | std::ios::binary);
  return regionFile_.is_open();
}

void SimulatedFlash::CloseRegionFile() {
  if (regionFile_.is_open()) regionFile_.close();
  regionFile_.clear();
}

}  // namespace platform
