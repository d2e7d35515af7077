// The traditional PKWARE decryption of the ZIP application note: three keys
// stepped by every plain byte, with zlib's CRC-32 table.
#pragma once

#include <cstdint>

class CZipByteBuffer;

struct ZipCryptKeys {
  uint32_t key0 = 0x12345678;
  uint32_t key1 = 0x23456789;
  uint32_t key2 = 0x34567890;

  void Init(const CZipByteBuffer& password);
  void Update(uint8_t plain);
  uint8_t DecryptByte() const;
  void Decrypt(uint8_t* bytes, uint32_t count);
  // The same as keys[j]->Decrypt(runs[j], counts[j]) for each of `n` (up to
  // kMostTogether) runs, in one loop: each key chain is one long chain of
  // dependent steps that leaves most of the core idle, so chains side by
  // side cost little more than one.
  static constexpr int kMostTogether = 4;
  static void DecryptTogether(ZipCryptKeys* const* keys, uint8_t* const* runs,
                              const uint32_t* counts, int n);
};
