#include "imagefit/record_read_ahead.h"

#include <cstring>
#include <utility>

#include "imagefit/image_files.h"
#include "imagefit/read_fully.h"
#include "platform/byte_order.h"

namespace imagefit {

namespace {

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

}  // namespace

RecordReadAhead::RecordReadAhead(platform::File& file, uint64_t position)
    : file_(file), position_(position), thread_([this] { ReadRecords(); }) {}

RecordReadAhead::~RecordReadAhead() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

bool RecordReadAhead::Next(ImageRecord* record) {
  std::unique_lock lock(mutex_);
  inFlight_ -= held_;
  held_ = 0;
  changed_.notify_all();
  changed_.wait(lock, [&] { return !ready_.empty() || failed_; });
  if (ready_.empty()) return false;
  *record = std::move(ready_.front());
  ready_.pop_front();
  held_ = record->size;
  return true;
}

void RecordReadAhead::ReadRecords() {
  uint64_t size = 0;
  for (;;) {
    uint8_t bytes[kRecordHeaderSize];
    RecordHeader header;
    bool ok = ReadFully(file_, bytes, kRecordHeaderSize) == kRecordHeaderSize;
    if (ok) {
      header = {platform::LoadLe32(bytes), platform::LoadLe32(bytes + 4),
                platform::LoadLe32(bytes + 8)};
      position_ += kRecordHeaderSize;
      if (!WaitForRoom(header.WireSize())) return;
      // A length field larger than the rest of the file is a damaged image:
      // fail before asking for the memory it claims (the size is asked again
      // in case the file grew).
      const uint64_t rest = header.WireSize() - kRecordHeaderSize;
      ok = header.WireSize() <= UINT32_MAX &&
           (position_ + rest <= size || (file_.GetSize(&size) && position_ + rest <= size));
    }
    ImageRecord record;
    if (ok) {
      record.size = uint32_t(header.WireSize());
      record.end = header.IsEnd();
      // Not zero-filled: the read below fills every byte or the block is dropped.
      record.block.reset(static_cast<uint8_t*>(std::malloc(record.size)));
      ok = record.block != nullptr;
    }
    if (ok) {
      std::memcpy(record.block.get(), bytes, kRecordHeaderSize);
      const uint32_t rest = record.size - kRecordHeaderSize;
      ok = ReadFully(file_, record.block.get() + kRecordHeaderSize, rest) == rest;
      position_ += rest;
    }
    if (!ok) record = {};
    const bool end = record.end;
    Deliver(std::move(record));
    if (!ok || end) return;
  }
}

bool RecordReadAhead::WaitForRoom(uint64_t size) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return stop_ || inFlight_ == 0 || inFlight_ + size <= kAheadBytes; });
  if (stop_) return false;
  inFlight_ += size;  // counted from now on: the block is about to be taken
  return true;
}

void RecordReadAhead::Deliver(ImageRecord record) {
  {
    std::lock_guard lock(mutex_);
    if (record.block) {
      ready_.push_back(std::move(record));
    } else {
      failed_ = true;
    }
  }
  changed_.notify_all();
}

}  // namespace imagefit
