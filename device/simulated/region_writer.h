// A region file written record by record, its bytes sent to the medium in
// large aligned blocks past the file system's cache where the host allows it.
// A region is written once and flushed as soon as it is whole: caching its
// bytes would cost a copy into memory that must first be found, and a
// write-back that the flush then waits for, for bytes nobody reads again.
// A full block goes out on a thread of its own while the next one fills.
// The bytes of a run of contiguous records that do not fill a whole block at
// either end, and every write where the host has no such path, go through
// the cache; the flush at the commit puts them on the medium with the rest.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

namespace device {

// Writes one block at a time on a thread of its own.
class BlockSender {
 public:
  explicit BlockSender(int fd);
  ~BlockSender();
  BlockSender(const BlockSender&) = delete;
  BlockSender& operator=(const BlockSender&) = delete;

  // Starts writing `count` bytes at `offset`; the bytes stay untouched until
  // Wait returns. Only after Wait.
  void Send(const uint8_t* bytes, uint32_t count, uint64_t offset);
  // Whether the last block sent was written; true when none was.
  bool Wait();

 private:
  void Run();

  int fd_;
  std::mutex mutex_;
  std::condition_variable changed_;
  const uint8_t* bytes_ = nullptr;  // the block being written; null when idle
  uint32_t count_ = 0;
  uint64_t offset_ = 0;
  bool written_ = true;
  bool stop_ = false;
  std::thread thread_;
};

class RegionWriter {
 public:
  // Writes to `fd`, which stays the caller's.
  explicit RegionWriter(int fd);
  RegionWriter(const RegionWriter&) = delete;
  RegionWriter& operator=(const RegionWriter&) = delete;

  // `length` bytes at `offset` of the file; false when they cannot be written.
  bool Write(const uint8_t* data, uint32_t length, uint64_t offset);
  // Everything written so far handed to the file.
  bool Finish();

  // The alignment of a direct write (offset, length and memory) and how much
  // of a run is held before it is written.
  static constexpr uint32_t kBlock = 4096;
  static constexpr uint32_t kRunBytes = 2u << 20;

  // Memory a direct write can take, aligned to its own size: a host with
  // large pages can then back it with one, and pinning it for each write
  // takes one page, not hundreds.
  struct AlignedDelete {
    void operator()(uint8_t* bytes) const {
      ::operator delete[](bytes, std::align_val_t(kRunBytes));
    }
  };
  using Buffer = std::unique_ptr<uint8_t[], AlignedDelete>;

 private:
  bool StartRun(const uint8_t*& data, uint32_t& length, uint64_t& offset);
  bool SendRun();
  bool SentWritten();
  bool WriteBlocks(uint32_t count);
  bool Settle();
  bool WriteCached(const uint8_t* data, uint32_t length, uint64_t offset);
  void StopDirect();

  int fd_;
  bool direct_;
  Buffer run_;             // the run being filled
  Buffer sent_;            // the block the sender writes, or a spare
  uint64_t runStart_ = 0;  // the file offset of run_[0], a multiple of kBlock
  uint32_t runLength_ = 0;
  uint64_t sentStart_ = 0;
  bool sending_ = false;                 // sent_ is out with the sender
  std::unique_ptr<BlockSender> sender_;  // made with the first full block
  uint64_t unsentBytes_ = 0;  // written through the cache since its write-back last started
};

}  // namespace device
