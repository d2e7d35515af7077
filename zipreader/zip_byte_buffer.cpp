#include "zipreader/zip_byte_buffer.h"

#include <cstring>
#include <utility>

CZipByteBuffer::CZipByteBuffer(uint32_t size, bool zeroFill) { Allocate(size, zeroFill); }

CZipByteBuffer::CZipByteBuffer(const CZipByteBuffer& other) { *this = other; }

CZipByteBuffer& CZipByteBuffer::operator=(const CZipByteBuffer& other) {
  if (this == &other) return *this;
  if (other.length_ == 0) {
    Release();
    return *this;
  }
  Allocate(other.length_, false);
  std::memcpy(bytes_, other.bytes_, length_);
  return *this;
}

CZipByteBuffer::~CZipByteBuffer() { Release(); }

uint8_t* CZipByteBuffer::Allocate(uint32_t size, bool zeroFill) {
  if (size != length_) {
    Release();
    if (size == 0) return nullptr;
    bytes_ = new uint8_t[size];
    length_ = size;
  }
  if (zeroFill && bytes_ != nullptr) std::memset(bytes_, 0, length_);
  return bytes_;
}

void CZipByteBuffer::Release() {
  delete[] bytes_;
  bytes_ = nullptr;
  length_ = 0;
}

void CZipByteBuffer::Swap(CZipByteBuffer& other) {
  std::swap(bytes_, other.bytes_);
  std::swap(length_, other.length_);
}
