// An image file's bytes in order, a large chunk at a time. A large file that
// can be read at an offset is read on both cores: a second thread reads every
// other chunk while the caller reads and uses its own, and sums that chunk's
// bytes a block at a time, so that the caller, which checks every record's
// byte sum, adds up the second thread's chunks mostly from those sums.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "platform/file_system.h"

namespace imagefit {

// Bytes of a chunk, with the byte sum of each kSumBlock of them when the
// second thread read it.
struct Chunk {
  static constexpr uint32_t kSumBlock = 1024;

  std::span<const uint8_t> bytes;
  std::span<const uint32_t> blockSums;  // empty when not summed ahead

  // The byte sum, modulo 2^32, of `count` bytes from `from` on.
  uint32_t SumOf(std::size_t from, std::size_t count) const;
};

class ChunkSource {
 public:
  static constexpr uint32_t kChunkSize = 256u << 10;

  // Reads `file` from its current position; only from its start does it read
  // at offsets, which leaves the position where it is. `size`, the file's
  // size as known, decides whether a second thread pays for itself.
  ChunkSource(platform::File& file, uint64_t size);
  ~ChunkSource();
  ChunkSource(const ChunkSource&) = delete;
  ChunkSource& operator=(const ChunkSource&) = delete;

  // The next chunk, valid until the next call; empty at the end. False when
  // a read fails.
  bool Next(Chunk* chunk);

 private:
  struct Slot {
    std::vector<uint8_t> bytes;
    std::vector<uint32_t> blockSums;
    uint32_t got = 0;
    bool ok = false;
    bool full = false;
  };

  void ReadOddChunks();
  Slot& SlotOf(uint64_t chunk) { return slots_[(chunk / 2) % 2]; }
  bool TakeOddChunk(Chunk* chunk);
  void GiveBackSlot();
  void StopHelper();

  platform::File& file_;
  std::vector<uint8_t> own_;
  bool atOffsets_ = false;
  uint64_t offset_ = 0;  // where the next chunk starts
  uint64_t index_ = 0;   // which chunk that is

  // The second thread's chunks (1, 3, 5, ...), two of them read ahead.
  std::mutex mutex_;
  std::condition_variable changed_;
  Slot slots_[2];
  Slot* lent_ = nullptr;
  bool stop_ = false;
  std::thread helper_;
};

}  // namespace imagefit
