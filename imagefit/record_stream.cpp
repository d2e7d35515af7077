// StreamImageRecords: one BIN image sent record by record, each record in its
// own exact-size allocation, so memory is bounded by the largest record.
#include <cstdlib>
#include <memory>
#include <string>

#include "imagefit/flash_driver.h"
#include "imagefit/image_files.h"
#include "imagefit/read_fully.h"
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
  uint64_t WireSize() const { return IsEnd() ? kRecordHeaderSize : kRecordHeaderSize + uint64_t(length); }
};

// Reads the next record header and moves back to its first byte.
bool PeekRecordHeader(platform::File& file, RecordHeader* header) {
  uint8_t bytes[kRecordHeaderSize];
  if (ReadFully(file, bytes, kRecordHeaderSize) != kRecordHeaderSize) return false;
  if (!file.Seek(-int64_t(kRecordHeaderSize), platform::SeekOrigin::Current, nullptr)) return false;
  header->address = ReadLittleEndian32(bytes);
  header->length = ReadLittleEndian32(bytes + 4);
  header->checksum = ReadLittleEndian32(bytes + 8);
  return true;
}

// What is left of the file from the current position.
uint64_t BytesLeft(platform::File& file) {
  uint64_t size = 0;
  uint64_t position = 0;
  if (!file.GetSize(&size) || !file.Seek(0, platform::SeekOrigin::Current, &position)) return 0;
  return size > position ? size - position : 0;
}

// A length field larger than the rest of the file is a damaged image: fail
// before asking for the memory it claims.
RecordBlock ReadRecord(platform::File& file, const RecordHeader& header) {
  const uint64_t size = header.WireSize();
  if (size > BytesLeft(file) || size > UINT32_MAX) return nullptr;
  RecordBlock block(static_cast<uint8_t*>(std::calloc(size, 1)));
  if (!block) return nullptr;
  if (ReadFully(file, block.get(), uint32_t(size)) != size) return nullptr;
  return block;
}

}  // namespace

bool StreamImageRecords(std::u16string_view path, platform::DriverHandle* driver,
                        ProgressCallback callback, void* context) {
  if (driver == nullptr) return false;
  std::unique_ptr<platform::File> file =
      platform::Files().Open(path, platform::AccessRead, platform::Disposition::OpenExisting);
  if (!file) return false;
  uint8_t imageHeader[kImageHeaderSize];
  if (ReadFully(*file, imageHeader, kImageHeaderSize) != kImageHeaderSize) return false;
  const uint32_t total = ReadLittleEndian32(imageHeader + kImageLengthOffset);
  const std::u16string pathText(path);  // the callback wants a terminated path
  uint32_t sent = 0;
  for (;;) {
    RecordHeader header;
    if (!PeekRecordHeader(*file, &header)) return false;
    RecordBlock block = ReadRecord(*file, header);
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
