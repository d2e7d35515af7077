#include "imagefit/whole_file_buffer.h"

#include <cstdlib>
#include <limits>

#include "imagefit/held_image_files.h"
#include "imagefit/read_fully.h"
#include "platform/environment.h"

namespace imagefit {

bool FileHolder::Open(std::u16string_view path, bool writable, HeldImageFiles* held) {
  if (IsOpen()) return false;
  file_ = writable ? platform::Files().Open(path, platform::AccessRead | platform::AccessWrite,
                                            platform::Disposition::OpenExisting)
                   : OpenImageFile(path, held);
  return IsOpen();
}

ByteBuffer::~ByteBuffer() { Clear(); }

uint8_t* ByteBuffer::Reserve(uint32_t size) {
  if (capacity_ < size) {
    uint64_t grown = capacity_;
    while (grown < size) grown += kGrowthStep;
    std::free(data_);
    data_ = grown > std::numeric_limits<uint32_t>::max()
                ? nullptr
                : static_cast<uint8_t*>(std::malloc(grown));
    if (data_ != nullptr) capacity_ = uint32_t(grown);
  }
  length_ = 0;
  return data_;
}

void ByteBuffer::Clear() {
  std::free(data_);
  data_ = nullptr;
  capacity_ = 0;
  length_ = 0;
}

WholeFileBuffer::~WholeFileBuffer() {
  Close();
  Clear();
}

bool WholeFileBuffer::Open(std::u16string_view path, bool writable) {
  return file_.Open(path, writable, held_);
}

void WholeFileBuffer::Close() {
  buffer_.set_length(0);
  file_.Close();
}

// The open file's size; 0 without a file, and 0 for a file too large to be
// held with its terminating zero (the read then comes up short and fails).
uint32_t WholeFileBuffer::OpenFileSize() const {
  uint64_t size = 0;
  if (file_.file() == nullptr || !file_.file()->GetSize(&size)) return 0;
  if (size >= std::numeric_limits<uint32_t>::max()) return std::numeric_limits<uint32_t>::max();
  return uint32_t(size);
}

bool WholeFileBuffer::Load(std::u16string_view path, uint32_t size) {
  if (!Open(path, false)) {
    Close();
    return false;
  }
  if (size == 0) size = OpenFileSize();
  if (size == std::numeric_limits<uint32_t>::max() || buffer_.Reserve(size + 1) == nullptr) {
    Close();
    return false;
  }
  if (ReadFully(*file_.file(), buffer_.data(), size) != size) {
    Close();
    Clear();
    return false;
  }
  buffer_.data()[size] = 0;
  if (buffer_.capacity() >= size) buffer_.set_length(size);
  return true;
}

}  // namespace imagefit
