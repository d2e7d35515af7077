// A BIN image's records read on a second thread while the caller sends the
// ones before them, so the copy out of the file and the driver's work on a
// record overlap. Records arrive whole, header first, in file order.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/file_system.h"

namespace imagefit {

struct FreeDeleter {
  void operator()(uint8_t* block) const { std::free(block); }
};
using RecordBlock = std::unique_ptr<uint8_t, FreeDeleter>;

struct ImageRecord {
  RecordBlock block;  // header and data, in one exact-size allocation
  uint32_t size = 0;
  bool end = false;  // the end record, the image's last
};

class RecordReadAhead {
 public:
  // Records read ahead of the caller, in bytes; a larger record is read only
  // when the caller holds none, so memory stays bounded by the larger of this
  // and the largest record.
  static constexpr uint64_t kAheadBytes = 1u << 20;

  // Reads `file` from just past its image header, which the caller has read;
  // the file is this object's until it is destroyed.
  RecordReadAhead(platform::File& file, uint64_t position);
  ~RecordReadAhead();
  RecordReadAhead(const RecordReadAhead&) = delete;
  RecordReadAhead& operator=(const RecordReadAhead&) = delete;

  // The next record, the one before it given back; false when it could not be
  // read (a read error, a record cut short or longer than the file).
  bool Next(ImageRecord* record);

 private:
  void ReadRecords();
  bool WaitForRoom(uint64_t size);
  void Deliver(ImageRecord record);

  platform::File& file_;
  uint64_t position_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<ImageRecord> ready_;
  uint64_t inFlight_ = 0;  // bytes queued or held by the caller
  uint64_t held_ = 0;      // of which the caller holds these
  bool failed_ = false;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace imagefit
