#include "zipreader/zip_crypt.h"

#include <zlib.h>

#include "zipreader/zip_byte_buffer.h"

namespace {

const z_crc_t* CrcTable() {
  static const z_crc_t* table = get_crc_table();
  return table;
}

inline uint32_t CrcStep(uint32_t crc, uint8_t byte) {
  return (crc >> 8) ^ static_cast<uint32_t>(CrcTable()[(crc ^ byte) & 0xFF]);
}

// One key chain held in registers while a run is decrypted.
struct Chain {
  uint32_t k0 = 0, k1 = 0, k2 = 0;
  uint8_t* bytes = nullptr;
  uint32_t end = 0;
  ZipCryptKeys* keys = nullptr;

  Chain() = default;
  Chain(ZipCryptKeys& from, uint8_t* run, uint32_t count)
      : k0(from.key0), k1(from.key1), k2(from.key2), bytes(run), end(count), keys(&from) {}

  inline void Step(const z_crc_t* table, uint32_t i) {
    uint32_t temp = (k2 | 2) & 0xFFFF;
    uint8_t plain = bytes[i] ^ static_cast<uint8_t>((temp * (temp ^ 1)) >> 8);
    bytes[i] = plain;
    k0 = (k0 >> 8) ^ static_cast<uint32_t>(table[(k0 ^ plain) & 0xFF]);
    k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1;
    k2 = (k2 >> 8) ^ static_cast<uint32_t>(table[(k2 ^ (k1 >> 24)) & 0xFF]);
  }

  void Store() const {
    keys->key0 = k0;
    keys->key1 = k1;
    keys->key2 = k2;
  }
};

// Steps N chains side by side over bytes [from, to) of their runs; a
// constant N keeps every chain in registers.
template <int N>
void Interleave(Chain* chains, const z_crc_t* table, uint32_t from, uint32_t to) {
  Chain local[N];
  for (int j = 0; j < N; ++j) local[j] = chains[j];
  for (uint32_t i = from; i < to; ++i) {
    for (int j = 0; j < N; ++j) local[j].Step(table, i);
  }
  for (int j = 0; j < N; ++j) chains[j] = local[j];
}

}  // namespace

void ZipCryptKeys::Init(const CZipByteBuffer& password) {
  key0 = 0x12345678;
  key1 = 0x23456789;
  key2 = 0x34567890;
  for (uint32_t i = 0; i < password.Size(); ++i) Update(password.Data()[i]);
}

void ZipCryptKeys::Update(uint8_t plain) {
  key0 = CrcStep(key0, plain);
  key1 = (key1 + (key0 & 0xFF)) * 134775813u + 1;
  key2 = CrcStep(key2, static_cast<uint8_t>(key1 >> 24));
}

uint8_t ZipCryptKeys::DecryptByte() const {
  uint32_t temp = (key2 | 2) & 0xFFFF;
  return static_cast<uint8_t>((temp * (temp ^ 1)) >> 8);
}

void ZipCryptKeys::Decrypt(uint8_t* bytes, uint32_t count) {
  ZipCryptKeys* self = this;
  DecryptTogether(&self, &bytes, &count, 1);
}

// All chains side by side up to the shortest run's end, then those left,
// until every run is done.
void ZipCryptKeys::DecryptTogether(ZipCryptKeys* const* keys, uint8_t* const* runs,
                                   const uint32_t* counts, int n) {
  const z_crc_t* table = CrcTable();
  Chain chains[kMostTogether];
  n = n < kMostTogether ? n : kMostTogether;
  for (int j = 0; j < n; ++j) chains[j] = Chain(*keys[j], runs[j], counts[j]);
  uint32_t done = 0;
  while (n > 0) {
    uint32_t to = chains[0].end;
    for (int j = 1; j < n; ++j) to = chains[j].end < to ? chains[j].end : to;
    switch (n) {
      case 1:
        Interleave<1>(chains, table, done, to);
        break;
      case 2:
        Interleave<2>(chains, table, done, to);
        break;
      case 3:
        Interleave<3>(chains, table, done, to);
        break;
      default:
        Interleave<4>(chains, table, done, to);
        break;
    }
    done = to;
    for (int j = n - 1; j >= 0; --j) {
      if (chains[j].end != done) continue;
      chains[j].Store();
      chains[j] = chains[--n];
    }
  }
}
