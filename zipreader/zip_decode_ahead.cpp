#include "zipreader/zip_decode_ahead.h"

#include <algorithm>
#include <cstring>

#include "zipreader/zip_reader.h"

namespace {

// Decoded bytes held at once by a lane: a few pieces, whatever the
// package's size; and so many pieces of small entries at most.
constexpr std::size_t kMostBytesHeld = 1u << 20;
constexpr std::size_t kMostPiecesHeld = 64;

void CloseQuietly(CZipReader& reader) {
  try {
    reader.CloseEntry(nullptr, true);
  } catch (...) {
  }
}

}  // namespace

ZipDecodeAhead::ZipDecodeAhead(std::vector<CZipReader*> readers, std::vector<uint16_t> files,
                               unsigned pieceSize)
    : files_(std::move(files)),
      pieceSize_(pieceSize),
      lanes_(std::max<std::size_t>(readers.size(), 1)) {
  for (std::size_t i = 0; i < readers.size(); ++i) lanes_[i].reader = readers[i];
  for (std::size_t i = 0; i < readers.size(); ++i) {
    lanes_[i].thread = std::thread([this, i] { Run(lanes_[i], i); });
  }
  if (readers.empty()) lanes_[0].finished = true;
}

ZipDecodeAhead::~ZipDecodeAhead() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  arrived_.notify_all();
  for (Lane& lane : lanes_) lane.room.notify_all();
  for (Lane& lane : lanes_) {
    if (lane.thread.joinable()) lane.thread.join();
    if (lane.reader != nullptr) CloseQuietly(*lane.reader);
  }
}

ZipDecodeAhead::Piece ZipDecodeAhead::Started(std::size_t position, Step step) {
  Piece piece;
  piece.position = position;
  piece.step = step;
  return piece;
}

void ZipDecodeAhead::Run(Lane& lane, std::size_t first) {
  std::vector<uint8_t> buffer;
  for (std::size_t position = first; position < files_.size(); position += lanes_.size()) {
    {
      std::lock_guard lock(mutex_);
      if (stop_) break;
    }
    Decode(*lane.reader, lane, position, buffer);
  }
  {
    std::lock_guard lock(mutex_);
    lane.finished = true;
  }
  arrived_.notify_all();
}

// The steps of one entry as the extracting reader takes them: open, reads
// of one piece each until one comes short, the stream's end, the release.
void ZipDecodeAhead::Decode(CZipReader& reader, Lane& lane, std::size_t position,
                            std::vector<uint8_t>& buffer) {
  Piece opened = Started(position, Step::Opened);
  try {
    opened.result = reader.OpenEntry(files_[position]) ? 1 : 0;
  } catch (...) {
    opened.error = std::current_exception();
    CloseQuietly(reader);
  }
  const bool open = opened.result == 1 && !opened.error;
  Push(lane, std::move(opened));
  if (!open) return;
  for (;;) {
    Piece data = Started(position, Step::Data);
    buffer.resize(pieceSize_);
    unsigned got = 0;
    try {
      got = reader.ReadEntry(buffer.data(), pieceSize_);
    } catch (...) {
      data.error = std::current_exception();
      CloseQuietly(reader);
      Push(lane, std::move(data));
      return;
    }
    data.bytes.assign(buffer.begin(), buffer.begin() + got);
    Push(lane, std::move(data));
    if (got != pieceSize_) break;
  }
  Piece ended = Started(position, Step::Ended);
  try {
    ended.result = reader.EndStream(*reader.directory.CurrentHeader());
    try {
      reader.ReleaseEntry(false);
    } catch (...) {
      ended.releaseError = std::current_exception();
      CloseQuietly(reader);
    }
  } catch (...) {
    ended.error = std::current_exception();
    CloseQuietly(reader);
  }
  Push(lane, std::move(ended));
}

bool ZipDecodeAhead::Fits(const Lane& lane, std::size_t bytes) {
  return lane.pieces.empty() ||
         (lane.bytesHeld + bytes <= kMostBytesHeld && lane.pieces.size() < kMostPiecesHeld);
}

bool ZipDecodeAhead::HalfEmpty(const Lane& lane) {
  return lane.bytesHeld <= kMostBytesHeld / 2 && lane.pieces.size() <= kMostPiecesHeld / 2;
}

void ZipDecodeAhead::Push(Lane& lane, Piece piece) {
  std::unique_lock lock(mutex_);
  if (!stop_ && !Fits(lane, piece.bytes.size())) {
    lane.waitingForRoom = true;
    lane.room.wait(lock, [&] { return stop_ || HalfEmpty(lane); });
    lane.waitingForRoom = false;
  }
  if (stop_) return;
  lane.bytesHeld += piece.bytes.size();
  lane.pieces.push_back(std::move(piece));
  if (readerWaiting_) arrived_.notify_one();
}

void ZipDecodeAhead::Drained(Lane& lane) {
  if (lane.waitingForRoom && HalfEmpty(lane)) lane.room.notify_one();
}

void ZipDecodeAhead::WaitForArrival(std::unique_lock<std::mutex>& lock) {
  readerWaiting_ = true;
  arrived_.wait(lock);
  readerWaiting_ = false;
}

// Called with the mutex held.
void ZipDecodeAhead::DropBefore(std::size_t position) {
  for (Lane& lane : lanes_) {
    while (!lane.pieces.empty() && lane.pieces.front().position < position) {
      lane.bytesHeld -= lane.pieces.front().bytes.size();
      lane.pieces.pop_front();
    }
    Drained(lane);
  }
}

bool ZipDecodeAhead::Take(uint16_t index) {
  const auto found = std::lower_bound(files_.begin(), files_.end(), index);
  if (found == files_.end() || *found != index) return false;
  const auto position = static_cast<std::size_t>(found - files_.begin());
  std::unique_lock lock(mutex_);
  if (position < nextToTake_) return false;
  nextToTake_ = position + 1;
  taken_ = SIZE_MAX;
  Lane& lane = LaneOf(position);
  for (;;) {
    DropBefore(position);
    if (!lane.pieces.empty() || lane.finished) break;
    WaitForArrival(lock);
  }
  if (lane.pieces.empty() || lane.pieces.front().position != position) return false;
  Piece opened = std::move(lane.pieces.front());
  lane.pieces.pop_front();
  Drained(lane);
  lock.unlock();
  if (opened.error) std::rethrow_exception(opened.error);
  if (opened.result != 1) return false;
  taken_ = position;
  return true;
}

// Waits for the next piece of the entry taken; false when there is none.
bool ZipDecodeAhead::WaitForPiece(std::unique_lock<std::mutex>& lock) {
  if (taken_ == SIZE_MAX) return false;
  Lane& lane = LaneOf(taken_);
  while (lane.pieces.empty() && !lane.finished && !stop_) WaitForArrival(lock);
  return !lane.pieces.empty() && lane.pieces.front().position == taken_;
}

ZipDecodeAhead::Piece ZipDecodeAhead::PopFront(std::unique_lock<std::mutex>& lock) {
  Lane& lane = LaneOf(taken_);
  Piece piece = std::move(lane.pieces.front());
  lane.pieces.pop_front();
  lane.bytesHeld -= piece.bytes.size();
  Drained(lane);
  lock.unlock();
  return piece;
}

unsigned ZipDecodeAhead::Read(void* buffer, unsigned size) {
  std::unique_lock lock(mutex_);
  if (!WaitForPiece(lock) || LaneOf(taken_).pieces.front().step != Step::Data) return 0;
  Piece piece = PopFront(lock);
  if (piece.error) std::rethrow_exception(piece.error);
  const unsigned got = std::min<unsigned>(size, static_cast<unsigned>(piece.bytes.size()));
  if (got > 0) std::memcpy(buffer, piece.bytes.data(), got);
  return got;
}

int ZipDecodeAhead::End() {
  int result = 1;
  for (;;) {
    std::unique_lock lock(mutex_);
    if (!WaitForPiece(lock)) return -1;
    Piece piece = PopFront(lock);
    if (piece.step != Step::Ended) {
      result = -1;  // pieces nobody read: the entry was not read to its end
      continue;
    }
    if (piece.error) std::rethrow_exception(piece.error);
    releaseError_ = piece.releaseError;
    return result == 1 ? piece.result : result;
  }
}

void ZipDecodeAhead::Release(bool afterException) {
  std::exception_ptr error;
  if (!afterException) std::swap(error, releaseError_);
  releaseError_ = nullptr;
  if (error) std::rethrow_exception(error);
  taken_ = SIZE_MAX;
}
