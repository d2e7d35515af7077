#include "device/simulated/journal_crc32.h"

#include <zlib.h>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace device {

namespace {

uint32_t ZlibCrc32(uint32_t crc, const uint8_t* bytes, std::size_t length) {
  uLong value = crc;
  while (length > 0) {
    const uInt slice = length > (1u << 30) ? (1u << 30) : uInt(length);
    value = crc32(value, bytes, slice);
    bytes += slice;
    length -= slice;
  }
  return uint32_t(value);
}

#if defined(__x86_64__)

// Folding constants of the bit-reflected CRC-32 (x^n mod P for the fold
// distances of 2048, 512, 128 and 64 bits) and the Barrett pair (P and its
// quotient) for the final reduction.
alignas(16) const uint64_t kFold2048[2] = {0x011542778a, 0x01322d1430};
alignas(16) const uint64_t kFold512[2] = {0x0154442bd4, 0x01c6e41596};
alignas(16) const uint64_t kFold128[2] = {0x01751997d0, 0x00ccaa009e};
alignas(16) const uint64_t kFold64[2] = {0x0163cd6124, 0x0000000000};
alignas(16) const uint64_t kBarrett[2] = {0x01db710641, 0x01f7011641};

__attribute__((target("pclmul,sse4.1"))) __m128i Fold(__m128i value, __m128i constants,
                                                      __m128i next) {
  const __m128i low = _mm_clmulepi64_si128(value, constants, 0x00);
  const __m128i high = _mm_clmulepi64_si128(value, constants, 0x11);
  return _mm_xor_si128(_mm_xor_si128(high, low), next);
}

bool HasWideCarrylessMultiply() {
  static const bool has = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("vpclmulqdq");
  return has;
}

__attribute__((target("avx512f,vpclmulqdq"))) __m512i FoldWide(__m512i value, __m512i constants,
                                                               __m512i next) {
  const __m512i low = _mm512_clmulepi64_epi128(value, constants, 0x00);
  const __m512i high = _mm512_clmulepi64_epi128(value, constants, 0x11);
  return _mm512_ternarylogic_epi64(low, high, next, 0x96);  // low ^ high ^ next
}

// A pair of fold constants in each 128-bit lane.
__attribute__((target("avx512f"))) __m512i EveryLane(const uint64_t* pair) {
  return _mm512_set4_epi64(int64_t(pair[1]), int64_t(pair[0]), int64_t(pair[1]), int64_t(pair[0]));
}

__attribute__((target("avx512f"))) __m512i LoadWide(const uint8_t* at) {
  return _mm512_loadu_si512(at);
}

// The first `length` bytes (a multiple of 256) folded 256 at a time, four
// 128-bit lanes per instruction, then down to one 64-byte block: `x` gets
// the four accumulators the 16-byte folding below goes on with.
__attribute__((target("avx512f,vpclmulqdq"))) void WideFold(uint32_t crc, const uint8_t* bytes,
                                                            std::size_t length, __m128i* x) {
  __m512i z1 =
      _mm512_xor_si512(LoadWide(bytes), _mm512_zextsi128_si512(_mm_cvtsi32_si128(int(crc))));
  __m512i z2 = LoadWide(bytes + 64), z3 = LoadWide(bytes + 128), z4 = LoadWide(bytes + 192);
  __m512i k = EveryLane(kFold2048);
  for (std::size_t at = 256; at < length; at += 256) {
    z1 = FoldWide(z1, k, LoadWide(bytes + at));
    z2 = FoldWide(z2, k, LoadWide(bytes + at + 64));
    z3 = FoldWide(z3, k, LoadWide(bytes + at + 128));
    z4 = FoldWide(z4, k, LoadWide(bytes + at + 192));
  }
  // Each lane moves 64 bytes on, onto the same lane of the next block.
  k = EveryLane(kFold512);
  z1 = FoldWide(FoldWide(FoldWide(z1, k, z2), k, z3), k, z4);
  _mm512_storeu_si512(x, z1);
}

// The CRC register (pre-inverted) over `length` bytes, a multiple of 16 and
// at least 64.
__attribute__((target("pclmul,sse4.1"))) uint32_t FoldedCrc(uint32_t crc, const uint8_t* bytes,
                                                            std::size_t length) {
  auto load = [](const uint8_t* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  };
  __m128i x[4];
  std::size_t done = 64;
  if (length >= 256 && HasWideCarrylessMultiply()) {
    done = length & ~std::size_t(255);
    WideFold(crc, bytes, done, x);
  } else {
    x[0] = _mm_xor_si128(load(bytes), _mm_cvtsi32_si128(int(crc)));
    for (int i = 1; i < 4; ++i) x[i] = load(bytes + 16 * i);
  }
  __m128i x1 = x[0], x2 = x[1], x3 = x[2], x4 = x[3];
  bytes += done;
  length -= done;
  __m128i k = _mm_load_si128(reinterpret_cast<const __m128i*>(kFold512));
  for (; length >= 64; bytes += 64, length -= 64) {
    x1 = Fold(x1, k, load(bytes));
    x2 = Fold(x2, k, load(bytes + 16));
    x3 = Fold(x3, k, load(bytes + 32));
    x4 = Fold(x4, k, load(bytes + 48));
  }
  k = _mm_load_si128(reinterpret_cast<const __m128i*>(kFold128));
  x1 = Fold(Fold(Fold(x1, k, x2), k, x3), k, x4);
  for (; length >= 16; bytes += 16, length -= 16) x1 = Fold(x1, k, load(bytes));

  // 128 bits to 64, then Barrett reduction to 32.
  const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k, 0x10));
  k = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kFold64));
  x1 =
      _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), k, 0x00), _mm_srli_si128(x1, 4));
  k = _mm_load_si128(reinterpret_cast<const __m128i*>(kBarrett));
  __m128i x2r = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), k, 0x10);
  x2r = _mm_clmulepi64_si128(_mm_and_si128(x2r, low32), k, 0x00);
  return uint32_t(_mm_extract_epi32(_mm_xor_si128(x1, x2r), 1));
}

bool HasCarrylessMultiply() {
  static const bool has = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  return has;
}

#endif

}  // namespace

uint32_t JournalCrc32(uint32_t crc, const uint8_t* bytes, std::size_t length) {
#if defined(__x86_64__)
  if (length >= 64 && HasCarrylessMultiply()) {
    const std::size_t folded = length & ~std::size_t(15);
    crc = ~FoldedCrc(~crc, bytes, folded);
    bytes += folded;
    length -= folded;
  }
#endif
  return ZlibCrc32(crc, bytes, length);
}

}  // namespace device
