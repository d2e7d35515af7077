#include "device/simulated/region_writer.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "host/root_files.h"

namespace device {

namespace {

// Bytes written through the cache start their write-back once this many are
// waiting, so that the flush at the commit has less left to wait for.
constexpr uint64_t kWriteBackBytes = 8u << 20;

uint64_t NextBlockStart(uint64_t offset) {
  return (offset + RegionWriter::kBlock - 1) / RegionWriter::kBlock * RegionWriter::kBlock;
}

}  // namespace

BlockSender::BlockSender(int fd) : fd_(fd), thread_([this] { Run(); }) {}

BlockSender::~BlockSender() {
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return bytes_ == nullptr; });
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void BlockSender::Send(const uint8_t* bytes, uint32_t count, uint64_t offset) {
  {
    std::lock_guard lock(mutex_);
    bytes_ = bytes;
    count_ = count;
    offset_ = offset;
  }
  changed_.notify_all();
}

bool BlockSender::Wait() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return bytes_ == nullptr; });
  const bool written = written_;
  written_ = true;
  return written;
}

void BlockSender::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return bytes_ != nullptr || stop_; });
    if (bytes_ == nullptr) return;
    const uint8_t* bytes = bytes_;
    const uint32_t count = count_;
    const uint64_t offset = offset_;
    lock.unlock();
    const bool written = host::WriteAt(fd_, bytes, count, offset);
    lock.lock();
    written_ = written;
    bytes_ = nullptr;
    changed_.notify_all();
  }
}

namespace {

RegionWriter::Buffer NewBuffer() {
  constexpr uint32_t size = RegionWriter::kRunBytes;
  RegionWriter::Buffer buffer(
      static_cast<uint8_t*>(::operator new[](size, std::align_val_t(size), std::nothrow)));
  if (buffer) host::PreferLargePages(buffer.get(), size);
  return buffer;
}

std::unique_ptr<BlockSender> NewSender(int fd) {
  try {
    return std::make_unique<BlockSender>(fd);
  } catch (const std::exception&) {  // no thread to be had: the blocks are written in turn
    return nullptr;
  }
}

}  // namespace

RegionWriter::RegionWriter(int fd) : fd_(fd), direct_(host::WriteThrough(fd, true)) {
  if (!direct_) return;
  run_ = NewBuffer();
  sent_ = NewBuffer();
  if (!run_ || !sent_) StopDirect();
}

bool RegionWriter::Write(const uint8_t* data, uint32_t length, uint64_t offset) {
  // What the run still holds goes first when direct writes stopped within it.
  if (!direct_) return Settle() && WriteCached(data, length, offset);
  if (offset != runStart_ + runLength_ && !StartRun(data, length, offset)) return false;
  while (length > 0) {
    const uint32_t take = std::min(length, kRunBytes - runLength_);
    std::memcpy(run_.get() + runLength_, data, take);
    runLength_ += take;
    data += take;
    length -= take;
    if (runLength_ == kRunBytes && !SendRun()) return false;
  }
  return true;
}

bool RegionWriter::Finish() { return Settle(); }

// A record that does not continue the run: the run is settled and a new one
// begins at the first block boundary from `offset` on, the bytes before it
// written through the cache.
bool RegionWriter::StartRun(const uint8_t*& data, uint32_t& length, uint64_t& offset) {
  if (!Settle()) return false;
  const uint32_t head = uint32_t(std::min<uint64_t>(length, NextBlockStart(offset) - offset));
  if (head > 0 && !WriteCached(data, head, offset)) return false;
  data += head;
  length -= head;
  offset += head;
  runStart_ = NextBlockStart(offset);
  return true;
}

// A full run goes out on the sender's thread once the block sent before it
// is written, and the other buffer takes the run's next bytes.
bool RegionWriter::SendRun() {
  if (!SentWritten()) return false;
  if (direct_ && !sender_) sender_ = NewSender(fd_);
  if (!direct_ || !sender_) return WriteBlocks(kRunBytes);
  std::swap(run_, sent_);
  sentStart_ = runStart_;
  sending_ = true;
  sender_->Send(sent_.get(), kRunBytes, sentStart_);
  runStart_ += kRunBytes;
  runLength_ = 0;
  return true;
}

// Waits for the block out with the sender; one the file system refused
// after all is written through the cache, as is everything after it.
bool RegionWriter::SentWritten() {
  if (!sending_) return true;
  sending_ = false;
  if (sender_->Wait()) return true;
  StopDirect();
  return WriteCached(sent_.get(), kRunBytes, sentStart_);
}

// The run's first `count` bytes, whole blocks, written in turn; the rest of
// the run moves to the front.
bool RegionWriter::WriteBlocks(uint32_t count) {
  if (direct_ && !host::WriteAt(fd_, run_.get(), count, runStart_)) StopDirect();
  if (!direct_ && !WriteCached(run_.get(), count, runStart_)) return false;
  runStart_ += count;
  runLength_ -= count;
  std::memmove(run_.get(), run_.get() + count, runLength_);
  return true;
}

// Everything held written: the whole blocks past the cache, a last partial
// block through it.
bool RegionWriter::Settle() {
  if (!SentWritten()) return false;
  const uint32_t whole = runLength_ - runLength_ % kBlock;
  if (whole > 0 && !WriteBlocks(whole)) return false;
  if (runLength_ > 0 && !WriteCached(run_.get(), runLength_, runStart_)) return false;
  runStart_ = NextBlockStart(runStart_ + runLength_);
  runLength_ = 0;
  return true;
}

// A direct write takes whole blocks only: the file is switched to the cache
// for this write, with no direct write under way beside it.
bool RegionWriter::WriteCached(const uint8_t* data, uint32_t length, uint64_t offset) {
  if (!SentWritten()) return false;
  if (direct_) host::WriteThrough(fd_, false);
  const bool written = host::WriteAt(fd_, data, length, offset);
  if (direct_ && !host::WriteThrough(fd_, true)) direct_ = false;
  if (!written) return false;
  unsentBytes_ += length;
  if (unsentBytes_ >= kWriteBackBytes) {
    host::StartWriteBack(fd_);
    unsentBytes_ = 0;
  }
  return true;
}

void RegionWriter::StopDirect() {
  host::WriteThrough(fd_, false);
  direct_ = false;
}

}  // namespace device
