// An owned run of bytes with its length; the record readers' working storage.
#pragma once

#include <cstdint>

class CZipByteBuffer {
 public:
  CZipByteBuffer() = default;
  CZipByteBuffer(uint32_t size, bool zeroFill);
  CZipByteBuffer(const CZipByteBuffer& other);
  CZipByteBuffer& operator=(const CZipByteBuffer& other);
  ~CZipByteBuffer();

  // Keeps the memory when the size is unchanged; size 0 empties the buffer.
  uint8_t* Allocate(uint32_t size, bool zeroFill);
  void Release();
  void Swap(CZipByteBuffer& other);

  uint8_t* Data() { return bytes_; }
  const uint8_t* Data() const { return bytes_; }
  uint32_t Size() const { return length_; }
  bool IsEmpty() const { return length_ == 0; }

 private:
  uint8_t* bytes_ = nullptr;
  uint32_t length_ = 0;
};
