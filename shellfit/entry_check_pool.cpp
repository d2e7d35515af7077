#include "shellfit/entry_check_pool.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "zipreader/zip_reader.h"

namespace shellfit {
namespace {

constexpr unsigned kChunk = 65536;
constexpr unsigned kMostWorkers = 8;
constexpr std::chrono::milliseconds kLookInterval{5};
// With the program's own 7 MB and a 20,000-entry table (about 4 MB), two
// workers stay under 16 MB; larger tables are read by one.
constexpr std::size_t kExtraDirectoryBytes = 5 << 20;

// One file entry decrypted, inflated and checked against its CRC-32; the
// check itself raises ErrBadCrc. An entry that cannot be opened or ends
// short is a damaged archive.
void ReadEntryThrough(CZipReader& reader, uint16_t index, std::vector<uint8_t>& buffer) {
  bool complete = reader.OpenEntry(index);
  if (complete) {
    while (reader.ReadEntry(buffer.data(), kChunk) == kChunk) {
    }
    complete = reader.CloseEntry(nullptr, false) == 1;
  }
  if (!complete) RaiseZipError(ErrBadArchive, nullptr);
}

// What the workers share. Positions are handed out in increasing order, so
// when the lowest failure is at position f every position below f has been
// handed out and will be finished: the lowest failure found is the first.
class CheckState {
 public:
  explicit CheckState(std::size_t count) : count_(count) {}

  // The next position to read, or none once past the end or a failure.
  std::optional<std::size_t> Next() {
    const std::size_t position = next_.fetch_add(1);
    if (position >= count_ || position > lowestFailure_.load()) return std::nullopt;
    return position;
  }

  void Fail(EntryFailure failure) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!failure_ || failure.position < failure_->position) {
      lowestFailure_ = failure.position;
      failure_ = std::move(failure);
    }
  }

  // Counted without a wake-up: the waiting thread looks every few
  // milliseconds, which costs far less than a wake-up per entry.
  void Done() { done_.fetch_add(1); }

  void WorkerEnded() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++workersEnded_;
    }
    changed_.notify_one();
  }

  // Waits a little; calls `entryDone` once per entry finished since the last
  // call. False once all `workers` have ended and every call was made.
  bool Wait(unsigned workers, std::size_t* reported, const std::function<void()>& entryDone) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, kLookInterval, [&] { return workersEnded_ == workers; });
    const bool ended = workersEnded_ == workers;
    lock.unlock();
    const std::size_t done = done_.load();
    for (; *reported < done; ++*reported) {
      if (entryDone) entryDone();
    }
    return !ended;
  }

  std::optional<EntryFailure> Failure() {
    std::lock_guard<std::mutex> lock(mutex_);
    return failure_;
  }

 private:
  const std::size_t count_;
  std::atomic<std::size_t> next_{0};
  std::atomic<std::size_t> lowestFailure_{SIZE_MAX};
  std::mutex mutex_;
  std::condition_variable changed_;
  std::atomic<std::size_t> done_{0};
  unsigned workersEnded_ = 0;
  std::optional<EntryFailure> failure_;
};

// What an entry's error becomes: the failure at `position`, the reader
// closed so that it stays usable for the entries still below it.
EntryFailure FailureOf(CZipReader& reader, std::size_t position, std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const CZipException& zipError) {
    try {
      reader.CloseEntry(nullptr, true);
    } catch (const CZipException&) {
    }
    return EntryFailure{position, zipError.code, nullptr};
  } catch (...) {
    return EntryFailure{position, 0, std::current_exception()};
  }
}

// Reads one entry; its failure, if any, with the position given.
std::optional<EntryFailure> CheckOne(CZipReader& reader, uint16_t index, std::size_t position,
                                     std::vector<uint8_t>& buffer) {
  try {
    ReadEntryThrough(reader, index, buffer);
    return std::nullopt;
  } catch (...) {
    return FailureOf(reader, position, std::current_exception());
  }
}

// A worker's reader walking through the entries it is handed, a piece at a
// time, so that a worker with two readers can keep both going: their refills
// then decrypt two entries in one loop (CZipReader::ReadTogether).
class EntryWalk {
 public:
  EntryWalk(CZipReader& reader, const std::vector<uint16_t>& indices, CheckState& state)
      : reader_(reader), indices_(indices), state_(state) {}

  // Opens the next entry handed out when none is open; false once there is
  // none left.
  bool Ready() {
    while (!position_) {
      position_ = state_.Next();
      if (!position_) return false;
      try {
        if (!reader_.OpenEntry(indices_[*position_])) RaiseZipError(ErrBadArchive, nullptr);
      } catch (...) {
        Finish(Failed(std::current_exception()));
      }
    }
    return true;
  }

  // Reads one piece of the open entry; past its end, checks its CRC-32.
  void Step(std::vector<uint8_t>& buffer) {
    try {
      if (reader_.ReadEntry(buffer.data(), kChunk) == kChunk) return;
      if (reader_.CloseEntry(nullptr, false) != 1) RaiseZipError(ErrBadArchive, nullptr);
      Finish(std::nullopt);
    } catch (...) {
      Finish(Failed(std::current_exception()));
    }
  }

 private:
  EntryFailure Failed(std::exception_ptr error) {
    return FailureOf(reader_, *position_, std::move(error));
  }

  void Finish(std::optional<EntryFailure> failure) {
    if (failure) state_.Fail(std::move(*failure));
    state_.Done();
    position_.reset();
  }

  CZipReader& reader_;
  const std::vector<uint16_t>& indices_;
  CheckState& state_;
  std::optional<std::size_t> position_;
};

// Both readers open an entry before either reads, so that even entries of a
// single refill are decrypted two at a time.
void Work(CZipReader& reader, CZipReader* partner, const std::vector<uint16_t>& indices,
          CheckState& state) {
  std::vector<uint8_t> buffer(kChunk);
  EntryWalk first(reader, indices, state);
  if (partner == nullptr) {
    while (first.Ready()) first.Step(buffer);
    return;
  }
  EntryWalk second(*partner, indices, state);
  CZipReader* const both[] = {&reader, partner};
  CZipReader::ReadTogether(both);
  for (;;) {
    const bool firstReady = first.Ready();
    const bool secondReady = second.Ready();
    if (!firstReady && !secondReady) break;
    if (firstReady) first.Step(buffer);
    if (secondReady) second.Step(buffer);
  }
  CZipReader::ReadApart(both);
}

}  // namespace

unsigned CheckWorkerCount(std::size_t entries, std::size_t directoryBytes) {
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const std::size_t affordable =
      1 + kExtraDirectoryBytes / std::max<std::size_t>(directoryBytes, 1);
  return static_cast<unsigned>(std::min<std::size_t>({cores, kMostWorkers, entries, affordable}));
}

std::size_t DirectoryBytes(const CZipReader& reader) {
  // Each header and each of its three byte buffers is a heap block of its own.
  constexpr std::size_t kBlockOverhead = 16;
  std::size_t bytes = 0;
  for (const auto& header : reader.Headers()) {
    bytes += sizeof(CZipEntryHeader) + 4 * kBlockOverhead + sizeof(header) + header->name.Size() +
             header->extraField.Size() + header->comment.Size();
  }
  return bytes;
}

std::optional<EntryFailure> CheckEntries(const std::vector<std::unique_ptr<CZipReader>>& readers,
                                         const std::vector<uint16_t>& indices,
                                         const std::function<void()>& entryDone) {
  std::vector<CZipReader*> plain;
  for (const auto& reader : readers) plain.push_back(reader.get());
  return CheckEntries(plain, indices, entryDone);
}

std::optional<EntryFailure> CheckEntries(const std::vector<CZipReader*>& readers,
                                         const std::vector<uint16_t>& indices,
                                         const std::function<void()>& entryDone) {
  return CheckEntries(readers, {}, indices, entryDone);
}

std::optional<EntryFailure> CheckEntries(const std::vector<CZipReader*>& readers,
                                         const std::vector<CZipReader*>& partners,
                                         const std::vector<uint16_t>& indices,
                                         const std::function<void()>& entryDone) {
  const unsigned workers = static_cast<unsigned>(readers.size());
  if (workers <= 1 && partners.empty()) {
    // One worker needs no thread: the entries are read here, in order.
    std::vector<uint8_t> buffer(kChunk);
    for (std::size_t position = 0; position < indices.size(); ++position) {
      auto failure = CheckOne(*readers.at(0), indices[position], position, buffer);
      if (entryDone) entryDone();
      if (failure) return failure;
    }
    return std::nullopt;
  }
  CheckState state(indices.size());
  std::vector<std::thread> threads;
  threads.reserve(workers);
  for (std::size_t i = 0; i < workers; ++i) {
    CZipReader* partner = i < partners.size() ? partners[i] : nullptr;
    threads.emplace_back([&state, reader = readers[i], partner, &indices] {
      Work(*reader, partner, indices, state);
      state.WorkerEnded();
    });
  }
  std::size_t reported = 0;
  while (state.Wait(workers, &reported, entryDone)) {
  }
  for (auto& thread : threads) thread.join();
  return state.Failure();
}

}  // namespace shellfit
