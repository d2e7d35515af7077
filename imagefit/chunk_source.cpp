#include "imagefit/chunk_source.h"

#include <algorithm>

#include "platform/byte_order.h"

namespace imagefit {

namespace {

// Below this a second thread costs about what it saves.
constexpr uint64_t kShareFrom = 8ull << 20;

void SumBlocks(std::span<const uint8_t> bytes, std::vector<uint32_t>& sums) {
  sums.clear();
  for (std::size_t at = 0; at < bytes.size(); at += Chunk::kSumBlock) {
    const std::size_t count = std::min<std::size_t>(Chunk::kSumBlock, bytes.size() - at);
    sums.push_back(platform::SumBytes(bytes.data() + at, count));
  }
}

}  // namespace

// Whole blocks come from their sums; only the ends are summed here.
uint32_t Chunk::SumOf(std::size_t from, std::size_t count) const {
  const std::size_t end = from + count;
  const std::size_t firstWhole = (from + kSumBlock - 1) / kSumBlock;
  const std::size_t endWhole = end / kSumBlock;
  if (blockSums.empty() || firstWhole >= endWhole) {
    return platform::SumBytes(bytes.data() + from, count);
  }
  uint32_t total = platform::SumBytes(bytes.data() + from, firstWhole * kSumBlock - from);
  for (std::size_t block = firstWhole; block < endWhole; ++block) total += blockSums[block];
  return total +
         platform::SumBytes(bytes.data() + endWhole * kSumBlock, end - endWhole * kSumBlock);
}

ChunkSource::ChunkSource(platform::File& file, uint64_t size) : file_(file), own_(kChunkSize) {
  uint32_t got = 0;
  atOffsets_ = file_.ReadAt(0, own_.data(), 0, &got) &&
               file_.Seek(0, platform::SeekOrigin::Current, &offset_) && offset_ == 0;
  if (atOffsets_ && size >= kShareFrom) {
    for (Slot& slot : slots_) {
      slot.bytes.resize(kChunkSize);
      slot.blockSums.reserve(kChunkSize / Chunk::kSumBlock);
    }
    helper_ = std::thread([this] { ReadOddChunks(); });
  }
}

ChunkSource::~ChunkSource() { StopHelper(); }

void ChunkSource::ReadOddChunks() {
  for (uint64_t chunk = 1;; chunk += 2) {
    Slot& slot = SlotOf(chunk);
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return stop_ || !slot.full; });
      if (stop_) return;
    }
    uint32_t got = 0;
    const bool ok = file_.ReadAt(chunk * kChunkSize, slot.bytes.data(), kChunkSize, &got);
    if (ok) SumBlocks({slot.bytes.data(), got}, slot.blockSums);
    {
      std::lock_guard lock(mutex_);
      slot.got = got;
      slot.ok = ok;
      slot.full = true;
    }
    changed_.notify_all();
    if (!ok || got < kChunkSize) return;
  }
}

bool ChunkSource::Next(Chunk* chunk) {
  GiveBackSlot();
  if (helper_.joinable() && index_ % 2 == 1) return TakeOddChunk(chunk);
  uint32_t got = 0;
  const bool ok = atOffsets_ ? file_.ReadAt(offset_, own_.data(), kChunkSize, &got)
                             : file_.Read(own_.data(), kChunkSize, &got);
  if (!ok) return false;
  *chunk = {{own_.data(), got}, {}};
  offset_ += got;
  ++index_;
  // Past a short chunk the second thread's offsets no longer follow on.
  if (got < kChunkSize) StopHelper();
  return true;
}

bool ChunkSource::TakeOddChunk(Chunk* chunk) {
  Slot& slot = SlotOf(index_);
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return slot.full; });
  }
  if (!slot.ok) return false;
  lent_ = &slot;
  *chunk = {{slot.bytes.data(), slot.got}, slot.blockSums};
  offset_ += slot.got;
  ++index_;
  if (slot.got < kChunkSize) StopHelper();
  return true;
}

void ChunkSource::GiveBackSlot() {
  if (lent_ == nullptr) return;
  {
    std::lock_guard lock(mutex_);
    lent_->full = false;
  }
  lent_ = nullptr;
  changed_.notify_all();
}

void ChunkSource::StopHelper() {
  if (!helper_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  helper_.join();
}

}  // namespace imagefit
