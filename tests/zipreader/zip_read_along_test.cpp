// Readers grouped on one thread read each other's next runs ahead and
// decrypt them in one loop: every entry must still read as it reads alone,
// bytes, results and errors, each at its own reader's call.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "tests/zipreader/fake_device.h"
#include "tests/zipreader/zip_builder.h"
#include "tests/zipreader/zip_test_util.h"

namespace {

using namespace zip_test;

constexpr unsigned kPiece = 65536;

// What reading one entry gave: its bytes, then the close's result or the
// error code that ended it.
struct Outcome {
  std::string bytes;
  int end = 0;
  bool operator==(const Outcome&) const = default;
};

// One entry on one reader, a piece per Step, as an extraction reads it.
class EntryRead {
 public:
  EntryRead(CZipReader& reader, uint16_t index) : reader_(reader) {
    Guard([&] { done_ = !reader_.OpenEntry(index); });
  }
  bool Done() const { return done_; }
  void Step() {
    Guard([&] {
      std::string piece(kPiece, '\0');
      piece.resize(reader_.ReadEntry(piece.data(), kPiece));
      outcome_.bytes += piece;
      if (piece.size() == kPiece) return;
      outcome_.end = reader_.CloseEntry(nullptr, false);
      done_ = true;
    });
  }
  const Outcome& Result() const { return outcome_; }

 private:
  void Guard(const std::function<void()>& action) {
    const int code = ErrorCode(action);
    if (code == 0) return;
    outcome_.end = 100 + code;
    reader_.CloseEntry(nullptr, true);
    done_ = true;
  }

  CZipReader& reader_;
  Outcome outcome_;
  bool done_ = false;
};

Outcome ReadAlone(CZipReader& reader, uint16_t index) {
  EntryRead read(reader, index);
  while (!read.Done()) read.Step();
  return read.Result();
}

// Every entry open before any reads, then a piece of each in turn.
std::vector<Outcome> ReadTogether(const std::vector<CZipReader*>& group,
                                  const std::vector<uint16_t>& indices) {
  CZipReader::ReadTogether(group);
  std::vector<std::unique_ptr<EntryRead>> reads;
  for (std::size_t i = 0; i < indices.size(); ++i) {
    reads.push_back(std::make_unique<EntryRead>(*group[i], indices[i]));
  }
  for (bool reading = true; reading;) {
    reading = false;
    for (auto& read : reads) {
      if (read->Done()) continue;
      read->Step();
      reading = true;
    }
  }
  CZipReader::ReadApart(group);
  std::vector<Outcome> outcomes;
  for (const auto& read : reads) outcomes.push_back(read->Result());
  return outcomes;
}

TEST(ReadAlong, EveryGroupReadsAsEachEntryAlone) {
  FakeDevice device;
  ZipBuilder b;
  b.password = ".TORVA.";
  b.entries.push_back({.name = "random", .data = Pseudorandom(300000, 1), .encrypt = true});
  b.entries.push_back(
      {.name = "stored", .data = Pseudorandom(140000, 2), .method = 0, .encrypt = true});
  b.entries.push_back({.name = "small", .data = "a few bytes", .encrypt = true});
  b.entries.push_back({.name = "plain", .data = Pseudorandom(90000, 3)});
  // Its data is said to run on over the next entry: the stream ends early,
  // and the descriptor is read where the reads stopped.
  b.entries.push_back({.name = "ends early",
                       .data = std::string(200000, 'e'),
                       .encrypt = true,
                       .descriptor = true});
  b.entries.push_back({.name = "overrun", .data = Pseudorandom(200000, 4), .method = 0});
  // Its data is said to run past the end of the archive: its first read fails.
  b.entries.push_back({.name = "cut", .data = Pseudorandom(5000, 5), .encrypt = true});
  BuiltArchive a = b.Build();
  // After "ends early"'s first run, read alone, stands a descriptor that
  // matches it; 64 KB further on, where a run read ahead and kept would
  // leave the file, stands none.
  const uint32_t claimed = a.localOffsets[6] - a.dataOffsets[4];
  const uint32_t afterFirstRun = a.dataOffsets[4] + 12 + kPiece;
  std::string descriptor(16, '\0');
  PutU32(descriptor, 0, 0x08074B50);
  PutU32(descriptor, 4, Crc(b.entries[4].data));
  PutU32(descriptor, 8, claimed);
  PutU32(descriptor, 12, 200000);
  b.entries[5].data.replace(afterFirstRun - a.dataOffsets[5], 16, descriptor);
  a = b.Build();
  std::string bytes = a.bytes;
  PutU32(bytes, a.centralOffsets[4] + 20, claimed);
  PutU32(bytes, a.localOffsets[6] + 18, 1 << 20);
  PutU32(bytes, a.centralOffsets[6] + 20, 1 << 20);
  device.files.Put("\\t.zip", bytes);

  auto open = [](CZipReader& reader) {
    reader.OpenArchive(u"\\t.zip", 1, 0);
    reader.SetPassword(u".TORVA.");
  };
  CZipReader alone, first, second, third, fourth;
  open(alone), open(first), open(second), open(third), open(fourth);
  const auto count = static_cast<uint16_t>(b.entries.size());
  std::vector<Outcome> expected;
  for (uint16_t i = 0; i < count; ++i) expected.push_back(ReadAlone(alone, i));
  EXPECT_EQ(expected[0].bytes, b.entries[0].data);
  EXPECT_EQ(expected[4].end, 1) << "the descriptor after the first run";
  EXPECT_EQ(expected[6].end, 100 + ErrBadArchive) << "the read past the end";
  // Every pair, and four neighbours from each entry on.
  std::vector<std::vector<uint16_t>> groups;
  for (uint16_t i = 0; i < count; ++i) {
    for (uint16_t j = 0; j < count; ++j) groups.push_back({i, j});
    groups.push_back(
        {i, uint16_t((i + 1) % count), uint16_t((i + 2) % count), uint16_t((i + 3) % count)});
  }
  for (const auto& group : groups) {
    std::vector<CZipReader*> readers{&first, &second, &third, &fourth};
    readers.resize(group.size());
    const std::vector<Outcome> got = ReadTogether(readers, group);
    for (std::size_t k = 0; k < group.size(); ++k) {
      EXPECT_EQ(got[k], expected[group[k]])
          << "entry " << group[k] << " in group of " << group.size() << " from " << group[0];
    }
  }
  EXPECT_EQ(first.TrackedBlockCount() + fourth.TrackedBlockCount(), 0u);
}

}  // namespace
