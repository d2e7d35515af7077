// StreamImageRecords: one BIN image sent record by record. Records are read a
// piece of the file at a time and sent from where they lie in it; only a
// record larger than a piece takes memory of its own, of its exact size.
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

// The image file read a large piece at a time: a record costs no read of its
// own, and the bytes sent are those read, in memory nobody else writes.
class RecordFile {
 public:
  static constexpr uint32_t kPiece = 1u << 20;

  explicit RecordFile(platform::File& file)
      : file_(file), piece_(static_cast<uint8_t*>(std::malloc(kPiece))) {}

  bool ReadImageHeader(uint8_t* bytes) {
    if (!piece_ || !file_.GetSize(&size_)) return false;
    const uint8_t* header = Need(kImageHeaderSize);
    if (header == nullptr) return false;
    std::memcpy(bytes, header, kImageHeaderSize);
    Consume(kImageHeaderSize);
    return true;
  }

  // The next record header; the record still begins with it.
  bool PeekRecordHeader(RecordHeader* header) {
    const uint8_t* bytes = Need(kRecordHeaderSize);
    if (bytes == nullptr) return false;
    header->address = platform::LoadLe32(bytes);
    header->length = platform::LoadLe32(bytes + 4);
    header->checksum = platform::LoadLe32(bytes + 8);
    return true;
  }

  // The record the header just read begins, header included, or null. A
  // length field larger than the rest of the file is a damaged image: fail
  // before asking for the memory it claims.
  const uint8_t* ReadRecord(const RecordHeader& header) {
    const uint64_t size = header.WireSize();
    if (size > UINT32_MAX || !FitsInFile(size)) return nullptr;
    if (size <= kPiece) {
      const uint8_t* record = Need(uint32_t(size));
      if (record != nullptr) Consume(uint32_t(size));
      return record;
    }
    return ReadLargeRecord(uint32_t(size));
  }

 private:
  // `count` bytes from the reading position on, in the piece; null when the
  // file ends first or cannot be read.
  const uint8_t* Need(uint32_t count) {
    if (end_ - begin_ < count) {
      std::memmove(piece_.get(), piece_.get() + begin_, end_ - begin_);
      end_ -= begin_;
      begin_ = 0;
      end_ += ReadFully(file_, piece_.get() + end_, kPiece - end_);
      if (end_ < count) return nullptr;
    }
    return piece_.get() + begin_;
  }

  void Consume(uint32_t count) {
    begin_ += count;
    position_ += count;
  }

  // Not zero-filled: what the piece holds and the read below fill every byte,
  // or the block is dropped.
  const uint8_t* ReadLargeRecord(uint32_t size) {
    large_.reset();
    large_.reset(static_cast<uint8_t*>(std::malloc(size)));
    if (!large_) return nullptr;
    const uint32_t held = end_ - begin_;
    std::memcpy(large_.get(), piece_.get() + begin_, held);
    begin_ = end_ = 0;
    if (ReadFully(file_, large_.get() + held, size - held) != size - held) return nullptr;
    position_ += size;
    return large_.get();
  }

  // The size is asked again before refusing, in case the file grew.
  bool FitsInFile(uint64_t count) {
    if (position_ + count <= size_) return true;
    return file_.GetSize(&size_) && position_ + count <= size_;
  }

  platform::File& file_;
  RecordBlock piece_;
  uint32_t begin_ = 0;  // the reading position within the piece
  uint32_t end_ = 0;    // the end of the bytes read into it
  RecordBlock large_;   // the last record too large for the piece
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
    const uint8_t* record = records.ReadRecord(header);
    if (record == nullptr) return false;
    const uint32_t size = uint32_t(header.WireSize());
    if (!DriverControl(driver, SCD_IOCTL_IMAGE_RECORD, record, size, nullptr, 0)) return false;
    sent += size;
    if (callback != nullptr) callback(pathText.c_str(), sent, total, context);
    if (header.IsEnd()) return true;
  }
}

}  // namespace imagefit
