// make-bin-image: writes an image in the BIN format that imagefit streams to
// the flash update driver: a 15-byte image header (sync bytes, start address,
// image length), records of (address, length, byte-sum checksum, data) and an
// end record (address 0, checksum 0, the launch address as its length).
// Options produce the damaged images the updater and the driver must survive.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/byte_order.h"

namespace {

const char kUsage[] =
    "usage: make-bin-image [options] OUTPUT\n"
    "  --start ADDR          image start address (default 0x80000000)\n"
    "  --size N              data bytes, generated from --seed (default 4096)\n"
    "  --data FILE           take the data from FILE instead\n"
    "  --seed N              seed of the generated data (default 1)\n"
    "  --record-size N       data bytes per record (default 4096)\n"
    "  --gap N               unused bytes between records, left zero in flash (default 0)\n"
    "  --length N            image length in the header (default: the span of the records)\n"
    "  --launch ADDR         launch address in the end record (default: the start address)\n"
    "  --sync TEXT           the 7 sync bytes (default \"B000FF\\n\")\n"
    "damage:\n"
    "  --cut R               end the file half-way through record R's data (0-based)\n"
    "  --bad-checksum R      record R carries a wrong checksum\n"
    "  --zero-length R       insert a record of length 0 before record R\n"
    "  --implausible-length R  record R's length field claims 0xFFFFFFF0 bytes\n"
    "  --no-end              leave out the end record\n"
    "  --help, --version\n";

struct Options {
  uint32_t start = 0x80000000;
  uint64_t size = 4096;
  std::string dataFile;
  uint32_t seed = 1;
  uint32_t recordSize = 4096;
  uint32_t gap = 0;
  int64_t length = -1;
  int64_t launch = -1;
  std::string sync = "B000FF\n";
  int64_t cut = -1, badChecksum = -1, zeroLength = -1, implausible = -1;
  bool noEnd = false;
  std::string output;
};

[[noreturn]] void Fail(const std::string& message) {
  std::fprintf(stderr, "make-bin-image: %s\n%s", message.c_str(), kUsage);
  std::exit(2);
}

uint64_t Number(const char* text) {
  char* end = nullptr;
  errno = 0;
  const unsigned long long value = std::strtoull(text, &end, 0);
  if (errno != 0 || end == text || *end != '\0') Fail(std::string("not a number: ") + text);
  return value;
}

Options ParseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> const char* {
      if (i + 1 >= argc) Fail("missing value after " + arg);
      return argv[++i];
    };
    if (arg == "--start")
      o.start = uint32_t(Number(value()));
    else if (arg == "--size")
      o.size = Number(value());
    else if (arg == "--data")
      o.dataFile = value();
    else if (arg == "--seed")
      o.seed = uint32_t(Number(value()));
    else if (arg == "--record-size")
      o.recordSize = uint32_t(Number(value()));
    else if (arg == "--gap")
      o.gap = uint32_t(Number(value()));
    else if (arg == "--length")
      o.length = int64_t(Number(value()));
    else if (arg == "--launch")
      o.launch = int64_t(Number(value()));
    else if (arg == "--sync")
      o.sync = value();
    else if (arg == "--cut")
      o.cut = int64_t(Number(value()));
    else if (arg == "--bad-checksum")
      o.badChecksum = int64_t(Number(value()));
    else if (arg == "--zero-length")
      o.zeroLength = int64_t(Number(value()));
    else if (arg == "--implausible-length")
      o.implausible = int64_t(Number(value()));
    else if (arg == "--no-end")
      o.noEnd = true;
    else if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    } else if (arg == "--version") {
      std::printf("fitkit-make-bin-image (fitkit) %s\n", FITKIT_VERSION);
      std::exit(0);
    } else if (!arg.empty() && arg[0] == '-')
      Fail("unknown option " + arg);
    else if (o.output.empty())
      o.output = arg;
    else
      Fail("more than one output file");
  }
  if (o.output.empty()) Fail("no output file");
  if (o.recordSize == 0) Fail("--record-size must be above 0");
  o.sync.resize(7, '\0');
  return o;
}

// A small xorshift generator: the same seed gives the same bytes everywhere.
class Generator {
 public:
  explicit Generator(uint32_t seed) : state_(seed != 0 ? seed : 0x9E3779B9u) {}
  uint8_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return uint8_t(state_ >> 24);
  }

 private:
  uint32_t state_;
};

// Writes little-endian words and bytes to the output stream.
class Writer {
 public:
  explicit Writer(const std::string& path) : out_(path, std::ios::binary | std::ios::trunc) {
    if (!out_) Fail("cannot create " + path);
  }
  void Word(uint32_t value) {
    uint8_t bytes[4];
    platform::StoreLe32(bytes, value);
    out_.write(reinterpret_cast<const char*>(bytes), 4);
  }
  void Bytes(const uint8_t* data, uint64_t count) {
    out_.write(reinterpret_cast<const char*>(data), std::streamsize(count));
  }
  bool Finish() {
    out_.close();
    return bool(out_);
  }

 private:
  std::ofstream out_;
};

struct DataSource {
  Generator generator;
  uint64_t left;
  std::ifstream file;
};

uint32_t NextChunk(const Options& o, DataSource& source, std::vector<uint8_t>& chunk) {
  const uint32_t count = uint32_t(source.left < o.recordSize ? source.left : o.recordSize);
  chunk.resize(count);
  if (source.file.is_open()) {
    source.file.read(reinterpret_cast<char*>(chunk.data()), count);
  } else {
    for (uint32_t i = 0; i < count; ++i) chunk[i] = source.generator.Next();
  }
  source.left -= count;
  return count;
}

void WriteRecords(const Options& o, DataSource& source, Writer& out) {
  std::vector<uint8_t> chunk;
  uint32_t address = o.start;
  for (int64_t index = 0;; ++index) {
    const uint32_t count = NextChunk(o, source, chunk);
    if (count == 0) break;
    if (index == o.zeroLength) {
      out.Word(address);
      out.Word(0);
      out.Word(0);
    }
    uint32_t checksum = platform::SumBytes(chunk.data(), count);
    if (index == o.badChecksum) checksum += 1;
    out.Word(address);
    out.Word(index == o.implausible ? 0xFFFFFFF0u : count);
    out.Word(checksum);
    if (index == o.cut) {
      out.Bytes(chunk.data(), count / 2);
      return;
    }
    out.Bytes(chunk.data(), count);
    address += count + o.gap;
  }
  if (!o.noEnd) {
    out.Word(0);
    out.Word(uint32_t(o.launch >= 0 ? o.launch : o.start));
    out.Word(0);
  }
}

// The span the records cover: data plus the gaps between records.
uint64_t RecordSpan(const Options& o, uint64_t dataSize) {
  if (dataSize == 0) return 0;
  const uint64_t records = (dataSize + o.recordSize - 1) / o.recordSize;
  return dataSize + (records - 1) * o.gap;
}

}  // namespace

int main(int argc, char** argv) {
  const Options o = ParseOptions(argc, argv);
  DataSource source{Generator(o.seed), o.size, {}};
  if (!o.dataFile.empty()) {
    source.file.open(o.dataFile, std::ios::binary | std::ios::ate);
    if (!source.file) Fail("cannot read " + o.dataFile);
    source.left = uint64_t(source.file.tellg());
    source.file.seekg(0);
  }
  const uint64_t span = RecordSpan(o, source.left);
  Writer out(o.output);
  out.Bytes(reinterpret_cast<const uint8_t*>(o.sync.data()), 7);
  out.Word(o.start);
  out.Word(uint32_t(o.length >= 0 ? uint64_t(o.length) : span));
  WriteRecords(o, source, out);
  if (!out.Finish()) Fail("cannot write " + o.output);
  return 0;
}
