// Decoding the file entries of a package ahead of the reader that extracts
// them: threads with a few readers each (all opened on the same package)
// decrypt and inflate the next entries, in turn, while the extracting reader
// writes the one before. Every entry has its own key chain and inflate
// stream, so the work divides along entries; the key chain within an entry
// stays serial, and a thread steps its readers' entries a piece at a time so
// that their refills decrypt several entries in one loop
// (CZipReader::ReadTogether). What it hands over, piece by piece, is exactly
// what the extracting reader's own calls would have given, each error at the
// call that would have raised it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

class CZipReader;

class ZipDecodeAhead {
 public:
  // Each of `readers` decodes every readers.size()-th entry from now on,
  // `readersPerThread` neighbours (at most ZipCryptKeys::kMostTogether) on
  // one thread of their own; `files` are the indices of the file entries in
  // the order they will be extracted; `pieceSize` is the size every read
  // will ask for.
  ZipDecodeAhead(std::vector<CZipReader*> readers, std::vector<uint16_t> files, unsigned pieceSize,
                 std::size_t readersPerThread);
  ~ZipDecodeAhead();
  ZipDecodeAhead(const ZipDecodeAhead&) = delete;
  ZipDecodeAhead& operator=(const ZipDecodeAhead&) = delete;

  unsigned PieceSize() const { return pieceSize_; }
  // Takes entry `index` over when a thread decodes it next (or did): false
  // when it is no entry of the list or was passed already (an entry tried
  // again), and the caller reads it itself. Raises the entry's opening error.
  bool Take(uint16_t index);
  // The next piece of the entry taken, as its own read would have given it;
  // raises that read's error.
  unsigned Read(void* buffer, unsigned size);
  // The end of the entry's stream: 1, or -1 when it ended short; raises a
  // CRC error.
  int End();
  // Lets the entry go; without `afterException` raises what checking its
  // trailing data descriptor raised.
  void Release(bool afterException);

 private:
  enum class Step { Opened, Data, Ended };
  struct Piece {
    std::size_t position = 0;  // in `files_`
    Step step = Step::Data;
    std::vector<uint8_t> bytes;
    int result = 0;
    std::exception_ptr error;         // raised by this step
    std::exception_ptr releaseError;  // raised when the entry is let go
  };

  // One reader and the pieces it decoded, in order. A lane that ran full is
  // not stepped until the extracting reader took half of what it holds, so
  // that many small entries cost a wake-up now and then, not one each.
  struct Lane {
    CZipReader* reader = nullptr;
    std::deque<Piece> pieces;
    std::size_t bytesHeld = 0;
    bool finished = false;
    bool full = false;
    std::size_t thread = 0;  // in `threads_`
    // Its thread's own: the entry open or to open next.
    std::size_t position = 0;
    bool open = false;
  };
  struct Thread {
    std::condition_variable room;
    bool waitingForRoom = false;
    std::thread thread;
  };

  static Piece Started(std::size_t position, Step step);
  void Run(std::size_t thread);
  bool WaitForRoom(std::size_t thread, std::vector<Lane*>& ready);
  void StepLane(Lane& lane, std::vector<uint8_t>& buffer);
  void OpenNext(Lane& lane);
  void ReadPiece(Lane& lane, std::vector<uint8_t>& buffer);
  void EndEntry(Lane& lane);
  void Push(Lane& lane, Piece piece);
  void DropBefore(std::size_t position);
  // Called with the mutex held, after pieces left `lane`.
  void Drained(Lane& lane);
  bool Fits(const Lane& lane, std::size_t bytes) const;
  bool HalfEmpty(const Lane& lane) const;
  void WaitForArrival(std::unique_lock<std::mutex>& lock);
  Lane& LaneOf(std::size_t position) { return lanes_[position % lanes_.size()]; }
  bool WaitForPiece(std::unique_lock<std::mutex>& lock);
  Piece PopFront(std::unique_lock<std::mutex>& lock);

  const std::vector<uint16_t> files_;
  const unsigned pieceSize_;
  std::size_t mostBytesHeld_;  // by one lane
  std::size_t mostPiecesHeld_;
  std::mutex mutex_;
  std::condition_variable arrived_;  // the extracting reader waits here
  bool readerWaiting_ = false;
  std::vector<Lane> lanes_;
  std::vector<Thread> threads_;
  std::size_t nextToTake_ = 0;  // positions below were taken or passed over
  bool stop_ = false;
  std::size_t taken_ = SIZE_MAX;  // the position of the entry taken
  std::exception_ptr releaseError_;
};
