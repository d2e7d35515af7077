// Checking many entries of one package at once: every entry has its own key
// chain and inflate stream, so workers with their own open of the package
// can read different entries side by side.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class CZipReader;

namespace shellfit {

// The first entry (in the order given) that does not read through.
struct EntryFailure {
  std::size_t position = 0;       // in the list of entries
  int32_t code = 0;               // the ZIP error code
  std::exception_ptr unexpected;  // anything that is no CZipException
};

// Reads the entries `indices` through, one reader per worker (each opened on
// the package with the password set), and returns the failure with the
// lowest position, exactly the one a single pass in that order stops at.
// `entryDone` runs on the calling thread once per entry read.
std::optional<EntryFailure> CheckEntries(const std::vector<std::unique_ptr<CZipReader>>& readers,
                                         const std::vector<uint16_t>& indices,
                                         const std::function<void()>& entryDone);
std::optional<EntryFailure> CheckEntries(const std::vector<CZipReader*>& readers,
                                         const std::vector<uint16_t>& indices,
                                         const std::function<void()>& entryDone);
// The same, each worker with a second reader (`partners[i]` beside
// `readers[i]`, on the same package) whose entries it reads alongside its
// first's, so that their decryption shares one loop.
std::optional<EntryFailure> CheckEntries(const std::vector<CZipReader*>& readers,
                                         const std::vector<CZipReader*>& partners,
                                         const std::vector<uint16_t>& indices,
                                         const std::function<void()>& entryDone);

// Workers worth starting for `entries` entries on this machine. Each worker
// holds its own copy of the directory (`directoryBytes`, see
// DirectoryBytes): workers beyond the first are started only while their
// copies together stay within a few megabytes, so memory stays bounded.
unsigned CheckWorkerCount(std::size_t entries, std::size_t directoryBytes);

// About what the reader's entry table holds in memory.
std::size_t DirectoryBytes(const CZipReader& reader);

}  // namespace shellfit
