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
  // The same as a.Decrypt(aBytes, aCount) and b.Decrypt(bBytes, bCount), in
  // one loop: each key chain is one long chain of dependent steps that leaves
  // most of the core idle, so two chains side by side cost little more than one.
  static void DecryptTogether(ZipCryptKeys& a, uint8_t* aBytes, uint32_t aCount, ZipCryptKeys& b,
                              uint8_t* bBytes, uint32_t bCount);
};
