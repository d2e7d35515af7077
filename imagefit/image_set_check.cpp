#include "imagefit/image_set_check.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "frame/update_dialog.h"
#include "imagefit/chunk_source.h"
#include "imagefit/image_files.h"
#include "imagefit/update_report.h"
#include "platform/byte_order.h"
#include "platform/environment.h"
#include "platform/text.h"

namespace imagefit {

namespace {

constexpr uint32_t kRefusalStyle = platform::MB_TOPMOST | platform::MB_ICONINFORMATION;

// The image read in large chunks: record data is summed where it lies in the
// chunk, never copied again.
class ChunkReader {
 public:
  ChunkReader(platform::File& file, uint64_t size) : source_(file, size) {}

  // False at the end of the file, or on a read error (failed() then tells).
  bool Take(uint8_t* out, uint32_t count) {
    while (count > 0) {
      if (Left() == 0 && !Fill()) return false;
      const uint32_t piece = uint32_t(std::min<std::size_t>(count, Left()));
      std::memcpy(out, chunk_.bytes.data() + used_, piece);
      Consume(piece);
      out += piece;
      count -= piece;
    }
    return true;
  }

  // The byte sum of the next `count` bytes, modulo 2^32.
  bool Sum(uint64_t count, uint32_t* sum) {
    uint32_t total = 0;
    while (count > 0) {
      if (Left() == 0 && !Fill()) return false;
      const uint32_t piece = uint32_t(std::min<uint64_t>(count, Left()));
      total += chunk_.SumOf(used_, piece);
      Consume(piece);
      count -= piece;
    }
    *sum = total;
    return true;
  }

  uint64_t offset() const { return offset_; }
  bool failed() const { return failed_; }

 private:
  std::size_t Left() const { return chunk_.bytes.size() - used_; }
  bool Fill() {
    used_ = 0;
    if (!source_.Next(&chunk_)) {
      failed_ = true;
      chunk_ = {};
    }
    return Left() > 0;
  }
  void Consume(uint32_t count) {
    used_ += count;
    offset_ += count;
  }

  ChunkSource source_;
  Chunk chunk_;
  std::size_t used_ = 0;
  uint64_t offset_ = 0;
  bool failed_ = false;
};

std::string RecordProblem(uint64_t record, const char* what) {
  return "record " + std::to_string(record) + " " + what;
}

// What is wrong with the record just read, or empty.
std::string CheckRecord(ChunkReader& in, uint64_t fileSize, uint64_t record, uint32_t start,
                        uint32_t imageLength, const uint8_t* header) {
  const uint32_t address = platform::LoadLe32(header);
  const uint32_t length = platform::LoadLe32(header + 4);
  const uint32_t checksum = platform::LoadLe32(header + 8);
  if (in.offset() + length > fileSize) {
    return RecordProblem(record, "is longer than the rest of the file");
  }
  if (address < start || uint64_t(address - start) + length > imageLength) {
    return RecordProblem(record, "lies outside the image's address range");
  }
  uint32_t sum = 0;
  if (!in.Sum(length, &sum)) {
    return in.failed() ? "it could not be read to its end" : RecordProblem(record, "is cut short");
  }
  if (sum != checksum) return RecordProblem(record, "does not match its checksum");
  return {};
}

// The boot loaders travel whole, in one piece the driver takes only when it
// is not empty.
std::string CheckBootLoader(platform::File& file) {
  uint64_t size = 0;
  if (!file.GetSize(&size)) return "its size cannot be read";
  if (size == 0) return "it is empty";
  if (size >= UINT32_MAX) return "it is too large to be sent";
  return {};
}

std::string CheckHeldFile(const std::u16string& path, int index, HeldImageFiles* held) {
  const uint32_t attributes = platform::Files().GetAttributes(path);
  if (attributes != platform::kInvalidAttributes &&
      (attributes & platform::FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return "it is a folder";
  }
  platform::File* file = held->Open(index, path);
  if (file == nullptr) return "it cannot be opened";
  if (const std::string* checked = held->Checked(index)) return *checked;
  return CheckImageFile(index, *file);
}

}  // namespace

BinImageFacts ReadBinImage(platform::File& file) {
  BinImageFacts facts;
  uint64_t size = 0;
  if (!file.GetSize(&size)) {
    facts.problem = "its size cannot be read";
    return facts;
  }
  ChunkReader in(file, size);
  uint8_t header[kImageHeaderSize];
  if (!in.Take(header, kImageHeaderSize)) {
    facts.problem = in.failed() ? "it could not be read to its end" : "it ends inside its header";
    return facts;
  }
  facts.start = platform::LoadLe32(header + kImageStartOffset);
  facts.length = platform::LoadLe32(header + kImageLengthOffset);
  for (uint64_t record = 1;; ++record) {
    const uint64_t before = in.offset();
    uint8_t recordHeader[kRecordHeaderSize];
    if (!in.Take(recordHeader, kRecordHeaderSize)) {
      facts.problem = in.failed()             ? "it could not be read to its end"
                      : in.offset() == before ? "it ends without an end record"
                                              : RecordProblem(record, "is cut short in its header");
      return facts;
    }
    // The end record: address and checksum 0, the launch address as length.
    if (platform::LoadLe32(recordHeader) == 0 && platform::LoadLe32(recordHeader + 8) == 0) {
      return facts;
    }
    facts.records = record;
    facts.problem = CheckRecord(in, size, record, facts.start, facts.length, recordHeader);
    if (!facts.problem.empty()) return facts;
  }
}

std::string CheckBinImage(platform::File& file) { return ReadBinImage(file).problem; }

bool IsBinImage(int index) { return index != kNboot && index != kEboot; }

std::string CheckImageFile(int index, platform::File& file) {
  return IsBinImage(index) ? CheckBinImage(file) : CheckBootLoader(file);
}

std::u16string ImageSetProblem::Text() const {
  return path + u" cannot be used: " + platform::FromUtf8(what) + u".\r\nNothing has been changed.";
}

ImageSetProblem CheckImageSet(const ImageSet& set, HeldImageFiles* held) {
  for (int index = 0; index < kImageCount; ++index) {
    std::string what = CheckHeldFile(set.paths[index], index, held);
    if (!what.empty()) return {set.paths[index], std::move(what)};
  }
  return {};
}

bool CheckImageSetForStart(platform::Dialog& dialog, const ImageSet& set, HeldImageFiles* held,
                           UpdateReport& report) {
  const ImageSetProblem problem = CheckImageSet(set, held);
  report.NoteImageSetCheck(problem.path, problem.what);
  if (problem.found()) {
    frame::ShowMessageBox(dialog, problem.Text(), kRefusalStyle);
    return false;
  }
  held->Serve();
  return true;
}

}  // namespace imagefit
