#include "platform/byte_order.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace platform {
namespace {

// Records are large, so their bytes are summed a vector at a time (the sum of
// absolute differences against zero adds eight bytes into each 64-bit lane),
// the rest one by one.
#if defined(__x86_64__)
__attribute__((target("avx2"))) uint64_t WideByteSum(const uint8_t*& bytes, std::size_t& count) {
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

uint64_t NarrowByteSum(const uint8_t*& bytes, std::size_t& count) {
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

}  // namespace

uint32_t SumBytes(const uint8_t* bytes, std::size_t count) {
  uint64_t total = 0;
#if defined(__x86_64__)
  static const bool hasAvx2 = __builtin_cpu_supports("avx2");
  total = hasAvx2 ? WideByteSum(bytes, count) : NarrowByteSum(bytes, count);
#endif
  while (count-- > 0) total += *bytes++;
  return static_cast<uint32_t>(total);
}

}  // namespace platform
