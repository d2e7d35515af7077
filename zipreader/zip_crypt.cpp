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
  uint32_t k0, k1, k2;
  uint8_t* bytes;

  Chain(const ZipCryptKeys& keys, uint8_t* run)
      : k0(keys.key0), k1(keys.key1), k2(keys.key2), bytes(run) {}

  inline void Step(const z_crc_t* table, uint32_t i) {
    uint32_t temp = (k2 | 2) & 0xFFFF;
    uint8_t plain = bytes[i] ^ static_cast<uint8_t>((temp * (temp ^ 1)) >> 8);
    bytes[i] = plain;
    k0 = (k0 >> 8) ^ static_cast<uint32_t>(table[(k0 ^ plain) & 0xFF]);
    k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1;
    k2 = (k2 >> 8) ^ static_cast<uint32_t>(table[(k2 ^ (k1 >> 24)) & 0xFF]);
  }

  void Store(ZipCryptKeys& keys) const {
    keys.key0 = k0;
    keys.key1 = k1;
    keys.key2 = k2;
  }
};

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
  const z_crc_t* table = CrcTable();
  Chain chain(*this, bytes);
  for (uint32_t i = 0; i < count; ++i) chain.Step(table, i);
  chain.Store(*this);
}

void ZipCryptKeys::DecryptTogether(ZipCryptKeys& a, uint8_t* aBytes, uint32_t aCount,
                                   ZipCryptKeys& b, uint8_t* bBytes, uint32_t bCount) {
  const z_crc_t* table = CrcTable();
  Chain first(a, aBytes);
  Chain second(b, bBytes);
  const uint32_t both = aCount < bCount ? aCount : bCount;
  for (uint32_t i = 0; i < both; ++i) {
    first.Step(table, i);
    second.Step(table, i);
  }
  for (uint32_t i = both; i < aCount; ++i) first.Step(table, i);
  for (uint32_t i = both; i < bCount; ++i) second.Step(table, i);
  first.Store(a);
  second.Store(b);
}
