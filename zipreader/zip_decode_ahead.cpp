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
                               unsigned pieceSize, std::size_t readersPerThread)
    : files_(std::move(files)),
      pieceSize_(pieceSize),
      lanes_(std::max<std::size_t>(readers.size(), 1)) {
  const std::size_t perThread = std::clamp<std::size_t>(std::min(readersPerThread, readers.size()),
                                                        1, ZipCryptKeys::kMostTogether);
  // The lanes of a thread together hold what one would alone.
  mostBytesHeld_ = kMostBytesHeld / perThread;
  mostPiecesHeld_ = kMostPiecesHeld / perThread;
  for (std::size_t i = 0; i < readers.size(); ++i) {
    lanes_[i].reader = readers[i];
    lanes_[i].position = i;
    lanes_[i].thread = i / perThread;
  }
  threads_ = std::vector<Thread>((readers.size() + perThread - 1) / perThread);
  for (std::size_t i = 0; i < threads_.size(); ++i) {
    threads_[i].thread = std::thread([this, i] { Run(i); });
  }
  if (readers.empty()) lanes_[0].finished = true;
}

ZipDecodeAhead::~ZipDecodeAhead() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  arrived_.notify_all();
  for (Thread& thread : threads_) thread.room.notify_all();
  for (Thread& thread : threads_) {
    if (thread.thread.joinable()) thread.thread.join();
  }
  for (Lane& lane : lanes_) {
    if (lane.reader != nullptr) CloseQuietly(*lane.reader);
  }
}

ZipDecodeAhead::Piece ZipDecodeAhead::Started(std::size_t position, Step step) {
  Piece piece;
  piece.position = position;
  piece.step = step;
  return piece;
}

// Steps the thread's lanes, one piece each in turn, while they have room.
void ZipDecodeAhead::Run(std::size_t thread) {
  std::vector<CZipReader*> mine;
  for (Lane& lane : lanes_) {
    if (lane.thread == thread && lane.reader != nullptr) mine.push_back(lane.reader);
  }
  CZipReader::ReadTogether(mine);
  std::vector<uint8_t> buffer;
  std::vector<Lane*> ready;
  while (WaitForRoom(thread, ready)) {
    for (Lane* lane : ready) StepLane(*lane, buffer);
  }
  CZipReader::ReadApart(mine);
}

// Waits until one of the thread's lanes can take a piece; false once all of
// them are finished or the decoding stops.
bool ZipDecodeAhead::WaitForRoom(std::size_t thread, std::vector<Lane*>& ready) {
  std::unique_lock lock(mutex_);
  for (;;) {
    ready.clear();
    bool unfinished = false;
    for (Lane& lane : lanes_) {
      if (lane.thread != thread || lane.reader == nullptr || lane.finished) continue;
      unfinished = true;
      if (!lane.full) ready.push_back(&lane);
    }
    if (stop_ || !unfinished) return false;
    if (!ready.empty()) return true;
    threads_[thread].waitingForRoom = true;
    threads_[thread].room.wait(lock);
    threads_[thread].waitingForRoom = false;
  }
}

// One step of an entry as the extracting reader takes them: the open, a
// read of one piece (with the stream's end and the release after the one
// that comes short), or the lane's end once its entries are done.
void ZipDecodeAhead::StepLane(Lane& lane, std::vector<uint8_t>& buffer) {
  if (lane.open) {
    ReadPiece(lane, buffer);
  } else if (lane.position < files_.size()) {
    OpenNext(lane);
  } else {
    {
      std::lock_guard lock(mutex_);
      lane.finished = true;
    }
    arrived_.notify_all();
  }
}

void ZipDecodeAhead::OpenNext(Lane& lane) {
  Piece opened = Started(lane.position, Step::Opened);
  try {
    opened.result = lane.reader->OpenEntry(files_[lane.position]) ? 1 : 0;
  } catch (...) {
    opened.error = std::current_exception();
    CloseQuietly(*lane.reader);
  }
  lane.open = opened.result == 1 && !opened.error;
  if (!lane.open) lane.position += lanes_.size();
  Push(lane, std::move(opened));
}

void ZipDecodeAhead::ReadPiece(Lane& lane, std::vector<uint8_t>& buffer) {
  Piece data = Started(lane.position, Step::Data);
  buffer.resize(pieceSize_);
  unsigned got = 0;
  try {
    got = lane.reader->ReadEntry(buffer.data(), pieceSize_);
  } catch (...) {
    data.error = std::current_exception();
    CloseQuietly(*lane.reader);
    lane.open = false;
    lane.position += lanes_.size();
    Push(lane, std::move(data));
    return;
  }
  data.bytes.assign(buffer.begin(), buffer.begin() + got);
  Push(lane, std::move(data));
  if (got != pieceSize_) {
    EndEntry(lane);
    // Open at once, the lane's reader lends its next runs to its neighbours'
    // refills, which decrypt them side by side with their own.
    if (lane.position < files_.size()) OpenNext(lane);
  }
}

void ZipDecodeAhead::EndEntry(Lane& lane) {
  CZipReader& reader = *lane.reader;
  Piece ended = Started(lane.position, Step::Ended);
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
  lane.open = false;
  lane.position += lanes_.size();
  Push(lane, std::move(ended));
}

bool ZipDecodeAhead::Fits(const Lane& lane, std::size_t bytes) const {
  return lane.pieces.empty() ||
         (lane.bytesHeld + bytes <= mostBytesHeld_ && lane.pieces.size() < mostPiecesHeld_);
}

bool ZipDecodeAhead::HalfEmpty(const Lane& lane) const {
  return lane.bytesHeld <= mostBytesHeld_ / 2 && lane.pieces.size() <= mostPiecesHeld_ / 2;
}

// Never waits: a lane is stepped only while it has room for a whole piece,
// so that a thread never sits on one lane while the extracting reader waits
// for the other.
void ZipDecodeAhead::Push(Lane& lane, Piece piece) {
  {
    std::lock_guard lock(mutex_);
    if (stop_) return;
    lane.bytesHeld += piece.bytes.size();
    lane.pieces.push_back(std::move(piece));
    lane.full = !Fits(lane, pieceSize_);
    if (!readerWaiting_) return;
  }
  arrived_.notify_one();
}

void ZipDecodeAhead::Drained(Lane& lane) {
  if (!lane.full || !HalfEmpty(lane)) return;
  lane.full = false;
  Thread& thread = threads_[lane.thread];
  if (thread.waitingForRoom) thread.room.notify_one();
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
