// Extracting with a second reader decoding ahead must give what extracting
// alone gives, entry by entry: the same files, results and errors, at the
// same step, also for an entry tried again and after an error.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "tests/zipreader/fake_device.h"
#include "tests/zipreader/zip_builder.h"
#include "tests/zipreader/zip_test_util.h"
#include "zipreader/zip_decode_ahead.h"

namespace {

using namespace zip_test;

// Per entry: ExtractEntry's result, or the error code it raised; an entry
// is released after an error, as the extraction does.
std::vector<int> ExtractAll(CZipReader& reader, const char16_t* folder, std::size_t count,
                            uint16_t again) {
  std::vector<int> outcomes;
  auto extract = [&](uint16_t index) {
    int outcome = 0;
    const int code = ErrorCode(
        [&] { outcome = reader.ExtractEntry(index, folder, true, nullptr, 65536) ? 1 : 0; });
    if (code != 0) {
      outcome = 100 + code;
      reader.CloseEntry(nullptr, true);
    }
    outcomes.push_back(outcome);
  };
  for (uint16_t index = 0; index < count; ++index) {
    extract(index);
    if (index == again) extract(index);
  }
  return outcomes;
}

// Readers of "\\t.zip" that share the extracting reader's entry table, as
// the extraction opens them.
struct Spares {
  Spares(int count, const CZipReader& extracting) {
    for (int i = 0; i < count; ++i) {
      owned.push_back(std::make_unique<CZipReader>());
      owned.back()->OpenArchiveOf(u"\\t.zip", extracting);
      decoders.push_back(owned.back().get());
    }
  }
  std::vector<std::unique_ptr<CZipReader>> owned;
  std::vector<CZipReader*> decoders;
};

// Readers decoding ahead, and how many of them share a thread (their
// refills grouped, CZipReader::ReadTogether): one alone; three taking the
// entries in turn, two on one thread and one on another; eight, on two
// threads of four.
using Layout = std::pair<int, std::size_t>;
class DecodeAhead : public ::testing::TestWithParam<Layout> {};
INSTANTIATE_TEST_SUITE_P(Readers, DecodeAhead,
                         ::testing::Values(Layout{1, 1}, Layout{3, 2}, Layout{8, 4}));

TEST_P(DecodeAhead, GivesWhatTheReaderAloneGives) {
  FakeDevice device;
  ZipBuilder b;
  b.password = ".TORVA.";
  b.entries.push_back({.name = "big.bin", .data = Pseudorandom(200000, 1), .encrypt = true});
  b.entries.push_back({.name = "dir/", .data = "", .externalAttr = 0x41ED0010});
  b.entries.push_back(
      {.name = "dir/stored", .data = Pseudorandom(65536, 2), .method = 0, .encrypt = true});
  b.entries.push_back({.name = "dir/empty", .data = "", .encrypt = true});
  b.entries.push_back({.name = "crc", .data = std::string(9000, 'c')});
  b.entries.push_back(
      {.name = "described", .data = std::string(70000, 'k'), .encrypt = true, .descriptor = true});
  std::string letters = Pseudorandom(400000, 3);
  for (char& c : letters) c = static_cast<char>('a' + (static_cast<unsigned char>(c) % 4));
  b.entries.push_back({.name = "damaged", .data = letters});
  b.entries.push_back({.name = "bad descriptor", .data = "short", .method = 0, .descriptor = true});
  b.entries.push_back({.name = "last", .data = Pseudorandom(1000, 4), .encrypt = true});
  // The lanes go on after the errors, one of them an entry that cannot be
  // opened, which a lane opens as soon as its entry before ends.
  for (uint32_t i = 0; i < 3; ++i) {
    b.entries.push_back(
        {.name = "after" + std::to_string(i), .data = Pseudorandom(3000, 5 + i), .encrypt = true});
  }
  const BuiltArchive a = b.Build();
  std::string bytes = a.bytes;
  PutU32(bytes, a.centralOffsets[4] + 16, 0xDEAD);  // a CRC that the data does not have
  PutU32(bytes, a.localOffsets[4] + 14, 0xDEAD);
  // Deflate data cut short: it fails in a read after the first pieces.
  const uint32_t compressed = a.localOffsets[7] - a.dataOffsets[6];
  PutU32(bytes, a.localOffsets[6] + 18, compressed - 100);
  PutU32(bytes, a.centralOffsets[6] + 20, compressed - 100);
  PutU32(bytes, a.localOffsets[8] - 4, 0x1234);  // the descriptor's size of "bad descriptor"
  PutU32(bytes, a.localOffsets[10], 0x0);        // "after1" cannot be opened: no local header there
  device.files.Put("\\t.zip", bytes);
  auto open = [](CZipReader& reader) {
    reader.OpenArchive(u"\\t.zip", 1, 0);
    reader.SetPassword(u".TORVA.");
  };
  CZipReader alone, extracting;
  open(alone), open(extracting);
  Spares spares(GetParam().first, extracting);
  const std::size_t count = b.entries.size();
  const std::vector<int> expected = ExtractAll(alone, u"\\alone", count, 2);
  std::vector<int> got;
  {
    ZipDecodeAhead ahead(spares.decoders, {0, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, 65536,
                         GetParam().second);
    extracting.DecodeAheadWith(&ahead);
    got = ExtractAll(extracting, u"\\ahead", count, 2);
    extracting.DecodeAheadWith(nullptr);
  }
  EXPECT_EQ(got, expected);
  EXPECT_EQ(expected, (std::vector<int>{1, 1, 1, 1, 1, 100 + ErrBadCrc, 1, 100 + ErrBadArchive,
                                        100 + ErrBadArchive, 1, 1, 100 + ErrBadArchive, 1}));
  for (const auto& entry : b.entries) {
    if (entry.name.back() == '/') continue;
    const std::string name = "\\" + entry.name;
    EXPECT_EQ(device.files.Has("\\ahead" + name), device.files.Has("\\alone" + name)) << name;
    if (device.files.Has("\\alone" + name)) {
      EXPECT_EQ(device.files.Get("\\ahead" + name), device.files.Get("\\alone" + name)) << name;
    }
  }
  EXPECT_EQ(device.files.Get("\\ahead\\last"), b.entries[8].data);
  EXPECT_GE(device.files.Get("\\ahead\\damaged").size(), 65536u) << "pieces before the error";
  EXPECT_EQ(extracting.TrackedBlockCount(), 0u);
}

// Many small entries: the decoding threads run full (they get a head start)
// and wait for room again and again, and every entry still arrives whole
// and in order; with one reader, and with two threads of four.
class DecodeAheadSmallEntries : public ::testing::TestWithParam<Layout> {};
INSTANTIATE_TEST_SUITE_P(Readers, DecodeAheadSmallEntries,
                         ::testing::Values(Layout{1, 1}, Layout{8, 4}));

TEST_P(DecodeAheadSmallEntries, EveryEntryArrivesWhole) {
  FakeDevice device;
  ZipBuilder b;
  b.password = ".TORVA.";
  constexpr int kEntries = 1500;
  for (int i = 0; i < kEntries; ++i) {
    b.entries.push_back({.name = "f" + std::to_string(i),
                         .data = Pseudorandom(static_cast<std::size_t>(i % 50), i),
                         .method = static_cast<uint16_t>(i % 3 == 0 ? 0 : 8),
                         .encrypt = true});
  }
  device.files.Put("\\t.zip", b.Build().bytes);
  CZipReader extracting;
  extracting.OpenArchive(u"\\t.zip", 1, 0);
  extracting.SetPassword(u".TORVA.");
  Spares spares(GetParam().first, extracting);
  std::vector<uint16_t> files;
  for (int i = 0; i < kEntries; ++i) files.push_back(static_cast<uint16_t>(i));
  {
    ZipDecodeAhead ahead(spares.decoders, files, 65536, GetParam().second);
    extracting.DecodeAheadWith(&ahead);
    for (int i = 0; i < kEntries; ++i) {
      if (i % 500 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
      ASSERT_TRUE(extracting.ExtractEntry(static_cast<uint16_t>(i), u"\\out", true, nullptr, 65536))
          << i;
    }
    extracting.DecodeAheadWith(nullptr);
  }
  for (int i = 0; i < kEntries; ++i) {
    ASSERT_EQ(device.files.Get("\\out\\f" + std::to_string(i)), b.entries[i].data) << i;
  }
}

// A second reader takes the held reader's table only for the very same
// directory: one that differs in a single entry is refused.
TEST(SharedDirectory, OnlyTheSameDirectoryIsShared) {
  FakeDevice device;
  ZipBuilder b;
  b.entries.push_back({.name = "a", .data = "alpha"});
  b.entries.push_back({.name = "b", .data = "beta"});
  const BuiltArchive a = b.Build();
  device.files.Put("\\t.zip", a.bytes);
  CZipReader held, same, other;
  held.OpenArchive(u"\\t.zip", 1, 0);
  same.OpenArchiveOf(u"\\t.zip", held);
  EXPECT_EQ(&same.Headers(), &held.Headers()) << "no copy of the table";
  std::string changed = a.bytes;
  PutU32(changed, a.centralOffsets[1] + 16, 0xDEAD);  // another CRC for "b"
  device.files.Put("\\t.zip", changed);
  EXPECT_EQ(ErrorCode([&] { other.OpenArchiveOf(u"\\t.zip", held); }), ErrBadArchive) << "crc";
  // "a" listed twice, in a directory of the same size.
  std::string twice = a.bytes;
  const uint32_t length = a.centralOffsets[1] - a.centralOffsets[0];
  twice.replace(a.centralOffsets[1], length, a.bytes, a.centralOffsets[0], length);
  device.files.Put("\\t.zip", twice);
  CZipReader again;
  EXPECT_EQ(ErrorCode([&] { again.OpenArchiveOf(u"\\t.zip", held); }), ErrBadArchive) << "twice";
  // The first entry alone, where "a" stands in the held archive.
  b.entries.pop_back();
  device.files.Put("\\t.zip", b.Build().bytes);
  CZipReader fewer;
  EXPECT_EQ(ErrorCode([&] { fewer.OpenArchiveOf(u"\\t.zip", held); }), ErrBadArchive) << "fewer";
}

// Stopped early: the thread is stopped and the reader let go, whatever it
// was decoding.
TEST(DecodeAheadStop, EndsCleanlyWhenNothingIsTaken) {
  FakeDevice device;
  ZipBuilder b;
  for (int i = 0; i < 40; ++i) {
    b.entries.push_back(
        {.name = std::string("f").append(std::to_string(i)), .data = Pseudorandom(300000, i)});
  }
  device.files.Put("\\t.zip", b.Build().bytes);
  CZipReader spare;
  spare.OpenArchive(u"\\t.zip", 1, 0);
  std::vector<uint16_t> files;
  for (uint16_t i = 0; i < 40; ++i) files.push_back(i);
  {
    ZipDecodeAhead ahead({&spare}, files, 65536, 1);
    EXPECT_FALSE(ahead.Take(41));
  }
  EXPECT_FALSE(spare.IsEntryOpen());
  EXPECT_EQ(spare.TrackedBlockCount(), 0u);
}

}  // namespace
