#include "zipreader/zip_decode_ahead.h"

#include <algorithm>
#include <cstring>

#include "zipreader/zip_reader.h"

namespace {

// Decoded bytes held at once: a few pieces, whatever the package's size.
constexpr std::size_t kMostBytesHeld = 1u << 20;

void CloseQuietly(CZipReader& reader) {
  try {
    reader.CloseEntry(nullptr, true);
  } catch (...) {
  }
}

}  // namespace

ZipDecodeAhead::ZipDecodeAhead(CZipReader& reader, std::vector<uint16_t> files,
                               unsigned pieceSize)
    : reader_(reader), files_(std::move(files)), pieceSize_(pieceSize) {
  thread_ = std::thread([this] { Run(); });
}

ZipDecodeAhead::~ZipDecodeAhead() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
  CloseQuietly(reader_);
}

ZipDecodeAhead::Piece ZipDecodeAhead::Started(std::size_t position, Step step) {
  Piece piece;
  piece.position = position;
  piece.step = step;
  return piece;
}

void ZipDecodeAhead::Run() {
  std::vector<uint8_t> buffer;
  for (std::size_t position = 0; position < files_.size(); ++position) {
    {
      std::lock_guard lock(mutex_);
      if (stop_) break;
    }
    Decode(position, buffer);
  }
  {
    std::lock_guard lock(mutex_);
    finished_ = true;
  }
  changed_.notify_all();
}

// The steps of one entry as the extracting reader takes them: open, reads
// of one piece each until one comes short, the stream's end, the release.
void ZipDecodeAhead::Decode(std::size_t position, std::vector<uint8_t>& buffer) {
  Piece opened = Started(position, Step::Opened);
  try {
    opened.result = reader_.OpenEntry(files_[position]) ? 1 : 0;
  } catch (...) {
    opened.error = std::current_exception();
    CloseQuietly(reader_);
  }
  const bool open = opened.result == 1 && !opened.error;
  Push(std::move(opened));
  if (!open) return;
  for (;;) {
    Piece data = Started(position, Step::Data);
    buffer.resize(pieceSize_);
    unsigned got = 0;
    try {
      got = reader_.ReadEntry(buffer.data(), pieceSize_);
    } catch (...) {
      data.error = std::current_exception();
      CloseQuietly(reader_);
      Push(std::move(data));
      return;
    }
    data.bytes.assign(buffer.begin(), buffer.begin() + got);
    Push(std::move(data));
    if (got != pieceSize_) break;
  }
  Piece ended = Started(position, Step::Ended);
  try {
    ended.result = reader_.EndStream(*reader_.directory.CurrentHeader());
    try {
      reader_.ReleaseEntry(false);
    } catch (...) {
      ended.releaseError = std::current_exception();
      CloseQuietly(reader_);
    }
  } catch (...) {
    ended.error = std::current_exception();
    CloseQuietly(reader_);
  }
  Push(std::move(ended));
}

void ZipDecodeAhead::Push(Piece piece) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] {
    return stop_ || pieces_.empty() || bytesHeld_ + piece.bytes.size() <= kMostBytesHeld;
  });
  if (stop_) return;
  bytesHeld_ += piece.bytes.size();
  pieces_.push_back(std::move(piece));
  lock.unlock();
  changed_.notify_all();
}

void ZipDecodeAhead::DropBefore(std::size_t position, std::unique_lock<std::mutex>&) {
  bool dropped = false;
  while (!pieces_.empty() && pieces_.front().position < position) {
    bytesHeld_ -= pieces_.front().bytes.size();
    pieces_.pop_front();
    dropped = true;
  }
  if (dropped) changed_.notify_all();
}

bool ZipDecodeAhead::Take(uint16_t index) {
  const auto found = std::lower_bound(files_.begin(), files_.end(), index);
  if (found == files_.end() || *found != index) return false;
  const auto position = static_cast<std::size_t>(found - files_.begin());
  std::unique_lock lock(mutex_);
  if (position < nextToTake_) return false;
  nextToTake_ = position + 1;
  taken_ = SIZE_MAX;
  for (;;) {
    DropBefore(position, lock);
    if (!pieces_.empty() || finished_) break;
    changed_.wait(lock);
  }
  if (pieces_.empty() || pieces_.front().position != position) return false;
  Piece opened = std::move(pieces_.front());
  pieces_.pop_front();
  lock.unlock();
  changed_.notify_all();
  if (opened.error) std::rethrow_exception(opened.error);
  if (opened.result != 1) return false;
  taken_ = position;
  return true;
}

// Waits for the next piece of the entry taken; false when there is none.
bool ZipDecodeAhead::WaitForPiece(std::unique_lock<std::mutex>& lock) {
  changed_.wait(lock, [&] { return !pieces_.empty() || finished_ || stop_; });
  return !pieces_.empty() && pieces_.front().position == taken_;
}

ZipDecodeAhead::Piece ZipDecodeAhead::PopFront(std::unique_lock<std::mutex>& lock) {
  Piece piece = std::move(pieces_.front());
  pieces_.pop_front();
  bytesHeld_ -= piece.bytes.size();
  lock.unlock();
  changed_.notify_all();
  return piece;
}

unsigned ZipDecodeAhead::Read(void* buffer, unsigned size) {
  std::unique_lock lock(mutex_);
  if (!WaitForPiece(lock) || pieces_.front().step != Step::Data) return 0;
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
