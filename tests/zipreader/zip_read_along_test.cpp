// Two readers paired on one thread read each other's next run ahead and
// decrypt both in one loop: every entry must still read as it reads alone,
// bytes, results and errors, each at its own reader's call.
#include <gtest/gtest.h>

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

// Both entries open before either reads, then a piece of each in turn.
std::pair<Outcome, Outcome> ReadTogether(CZipReader& a, uint16_t first, CZipReader& b,
                                         uint16_t second) {
  a.ReadAlongWith(&b);
  EntryRead one(a, first), other(b, second);
  while (!one.Done() || !other.Done()) {
    if (!one.Done()) one.Step();
    if (!other.Done()) other.Step();
  }
  a.ReadAlongWith(nullptr);
  return {one.Result(), other.Result()};
}

TEST(ReadAlong, EveryPairReadsAsEachEntryAlone) {
  FakeDevice device;
  ZipBuilder b;
  b.password = ".TORVA.";
  b.entries.push_back({.name = "random", .data = Pseudorandom(300000, 1), .encrypt = true});
  b.entries.push_back({.name = "stored", .data = Pseudorandom(140000, 2), .method = 0,
                       .encrypt = true});
  b.entries.push_back({.name = "small", .data = "a few bytes", .encrypt = true});
  b.entries.push_back({.name = "plain", .data = Pseudorandom(90000, 3)});
  // Its data is said to run on over the next entry: the stream ends early,
  // and the descriptor is read where the reads stopped.
  b.entries.push_back({.name = "ends early", .data = std::string(200000, 'e'), .encrypt = true,
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
  CZipReader alone, first, second;
  open(alone), open(first), open(second);
  const auto count = static_cast<uint16_t>(b.entries.size());
  std::vector<Outcome> expected;
  for (uint16_t i = 0; i < count; ++i) expected.push_back(ReadAlone(alone, i));
  EXPECT_EQ(expected[0].bytes, b.entries[0].data);
  EXPECT_EQ(expected[4].end, 1) << "the descriptor after the first run";
  EXPECT_EQ(expected[6].end, 100 + ErrBadArchive) << "the read past the end";
  for (uint16_t i = 0; i < count; ++i) {
    for (uint16_t j = 0; j < count; ++j) {
      const auto [one, other] = ReadTogether(first, i, second, j);
      EXPECT_EQ(one, expected[i]) << "entry " << i << " read along with " << j;
      EXPECT_EQ(other, expected[j]) << "entry " << j << " read along with " << i;
    }
  }
  EXPECT_EQ(first.TrackedBlockCount() + second.TrackedBlockCount(), 0u);
}

}  // namespace
