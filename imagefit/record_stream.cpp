// StreamImageRecords: one BIN image sent record by record, each record in its
// own exact-size allocation, so memory is bounded by the largest record.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "imagefit/flash_driver.h"
#include "imagefit/held_image_files.h"
#include "imagefit/image_files.h"
#include "imagefit/read_fully.h"
#include "platform/byte_order.h"
#include "platform/environment.h"
#include "platform/file_system.h"

namespace imagefit {

namespace {

struct FreeDeleter {
  void operator()(uint8_t* block) const { std::free(block); }
};
using RecordBlock = std::unique_ptr<uint8_t, FreeDeleter>;

struct RecordHeader {
  uint32_t address = 0;
  uint32_t length = 0;
  uint32_t checksum = 0;
  bool IsEnd() const { return address == 0 && checksum == 0; }
  // The end record carries the launch address in its length and no data.
  uint64_t WireSize() const {
    return IsEnd() ? kRecordHeaderSize : kRecordHeaderSize + uint64_t(length);
  }
};

// The image file with the reading position kept here, so that checking a
// record's length against the rest of the file costs no calls per record.
class RecordFile {
 public:
  explicit RecordFile(platform::File& file) : file_(file) {}

  bool ReadImageHeader(uint8_t* bytes) {
    if (!file_.GetSize(&size_)) return false;
    return Take(bytes, kImageHeaderSize);
  }

  // Reads the next record header; its bytes are kept to start the record.
  bool PeekRecordHeader(RecordHeader* header) {
    if (!Take(header_, kRecordHeaderSize)) return false;
    header->address = platform::LoadLe32(header_);
    header->length = platform::LoadLe32(header_ + 4);
    header->checksum = platform::LoadLe32(header_ + 8);
    return true;
  }

  // The record the header just read begins, header included. A length field
  // larger than the rest of the file is a damaged image: fail before asking
  // for the memory it claims.
  RecordBlock ReadRecord(const RecordHeader& header) {
    const uint64_t size = header.WireSize();
    if (size > UINT32_MAX || !FitsInFile(size - kRecordHeaderSize)) return nullptr;
    // Not zero-filled: the read below fills every byte or the block is dropped.
    RecordBlock block(static_cast<uint8_t*>(std::malloc(size)));
    if (!block) return nullptr;
    std::memcpy(block.get(), header_, kRecordHeaderSize);
    const uint32_t rest = uint32_t(size - kRecordHeaderSize);
    if (rest > 0 && !Take(block.get() + kRecordHeaderSize, rest)) return nullptr;
    return block;
  }

 private:
  bool Take(uint8_t* bytes, uint32_t count) {
    if (ReadFully(file_, bytes, count) != count) return false;
    position_ += count;
    return true;
  }

  // The size is asked again before refusing, in case the file grew.
  bool FitsInFile(uint64_t count) {
    if (position_ + count <= size_) return true;
    return file_.GetSize(&size_) && position_ + count <= size_;
  }

  platform::File& file_;
  uint8_t header_[kRecordHeaderSize] = {};
  uint64_t size_ = 0;
  uint64_t position_ = 0;
};

}  // namespace

bool StreamImageRecords(std::u16string_view path, platform::DriverHandle* driver,
                        ProgressCallback callback, void* context, HeldImageFiles* held) {
  if (driver == nullptr) return false;
  std::unique_ptr<platform::File> file = OpenImageFile(path, held);
  if (!file) return false;
  RecordFile records(*file);
  uint8_t imageHeader[kImageHeaderSize];
  if (!records.ReadImageHeader(imageHeader)) return false;
  const uint32_t total = platform::LoadLe32(imageHeader + kImageLengthOffset);
  const std::u16string pathText(path);  // the callback wants a terminated path
  uint32_t sent = 0;
  for (;;) {
    RecordHeader header;
    if (!records.PeekRecordHeader(&header)) return false;
    RecordBlock block = records.ReadRecord(header);
    if (!block) return false;
    const uint32_t size = uint32_t(header.WireSize());
    if (!DriverControl(driver, SCD_IOCTL_IMAGE_RECORD, block.get(), size, nullptr, 0)) return false;
    block.reset();
    sent += size;
    if (callback != nullptr) callback(pathText.c_str(), sent, total, context);
    if (header.IsEnd()) return true;
  }
}

}  // namespace imagefit
