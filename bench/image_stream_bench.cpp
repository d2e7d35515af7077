// Streams an image set through the simulated flash update driver and, in the
// same run and file system, times `cp` of the same six files. Prints both
// times, their ratio and the peak resident set size.
// Usage: image_stream_bench [kernel MB (64)] [work folder (temp)] [rounds (3)]
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "device/device.h"
#include "imagefit/flash_driver.h"
#include "imagefit/image_set.h"
#include "imagefit/update_report.h"
#include "platform/environment.h"

namespace {

namespace fs = std::filesystem;
constexpr uint32_t kRecordSize = 64 * 1024;

void PutWord(std::ofstream& out, uint32_t value) {
  char bytes[4];
  for (int i = 0; i < 4; ++i) bytes[i] = char(value >> (8 * i));
  out.write(bytes, 4);
}

// A BIN image of `size` data bytes in 64 KB records, written one record at a
// time so that making it costs no memory either.
void WriteBin(const fs::path& file, uint32_t start, uint64_t size, uint8_t seed) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write("B000FF\n", 7);
  PutWord(out, start);
  PutWord(out, uint32_t(size));
  std::vector<uint8_t> chunk(kRecordSize);
  uint32_t state = 0x12345u + seed;
  for (uint64_t at = 0; at < size; at += kRecordSize) {
    const uint32_t count = uint32_t(std::min<uint64_t>(kRecordSize, size - at));
    uint32_t sum = 0;
    for (uint32_t i = 0; i < count; ++i) {
      state = state * 1103515245u + 12345u;
      chunk[i] = uint8_t(state >> 16);
      sum += chunk[i];
    }
    PutWord(out, uint32_t(start + at));
    PutWord(out, count);
    PutWord(out, sum);
    out.write(reinterpret_cast<const char*>(chunk.data()), count);
  }
  PutWord(out, 0);
  PutWord(out, start);
  PutWord(out, 0);
}

void WriteRaw(const fs::path& file, uint64_t size, char fill) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  const std::string block(4096, fill);
  for (uint64_t at = 0; at < size; at += block.size())
    out.write(block.data(), std::streamsize(std::min<uint64_t>(block.size(), size - at)));
}

fs::path MakeDevice(const fs::path& root, uint64_t kernelBytes) {
  const fs::path update = root / "fs" / "Storage Card" / "Update";
  fs::create_directories(update);
  std::ofstream(root / "device.ini") << "[drivers]\nSCD1 = flash\nPWR1 = power\n";
  std::ofstream(root / "registry.reg") << "REGEDIT4\n";
  WriteRaw(update / "nboot.bin", 16 * 1024, 'N');
  WriteRaw(update / "eboot.nb0", 256 * 1024, 'E');
  WriteBin(update / "drivers.bin", 0x80000000, 1 << 20, 1);
  WriteBin(update / "tinynk.bin", 0x80100000, 256 * 1024, 2);
  WriteBin(update / "nk.bin", 0x80200000, kernelBytes, 3);
  WriteBin(update / "chain.bin", 0x90000000, 64 * 1024, 4);
  return update;
}

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

double StreamOnce() {
  const auto begin = std::chrono::steady_clock::now();
  imagefit::ImageSet set;
  for (int i = 0; i < imagefit::kImageCount; ++i) {
    set.paths[i] = u"\\Storage Card\\Update\\" + std::u16string(imagefit::kImageFileNames[i]);
  }
  set.version = 0x03010007;
  imagefit::UpdateReport report;
  bool ok = imagefit::UpdateNBOOT(set.paths[imagefit::kNboot]) &&
            imagefit::UpdateEBOOT(set.paths[imagefit::kEboot]) &&
            imagefit::UpdateKernel(set, report, nullptr, nullptr);
  const double seconds = Seconds(std::chrono::steady_clock::now() - begin);
  if (!ok) {
    std::fprintf(stderr, "image_stream_bench: the simulated driver refused the image set\n");
    std::exit(1);
  }
  return seconds;
}

double CopyOnce(const fs::path& update, const fs::path& target) {
  fs::remove_all(target);
  fs::create_directories(target);
  const std::string command = "cp '" + update.string() + "'/* '" + target.string() + "'/";
  const auto begin = std::chrono::steady_clock::now();
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "image_stream_bench: cp failed\n");
    std::exit(1);
  }
  return Seconds(std::chrono::steady_clock::now() - begin);
}

long PeakRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  const uint64_t kernelMb = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 64;
  const fs::path base = argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path();
  const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;
  const fs::path root = base / ("image-bench-" + std::to_string(kernelMb));
  fs::remove_all(root);
  const fs::path update = MakeDevice(root, kernelMb << 20);
  const long rssBefore = PeakRssKb();

  auto device = device::Device::Open(root);
  platform::ScopedEnvironment installed(device->environment());
  double stream = 1e30, copy = 1e30;
  for (int round = 0; round < rounds; ++round) {
    // Both start from nothing: no flash contents, as cp starts without copies.
    fs::remove(root / "journal.log");
    fs::remove_all(root / "flash");
    stream = std::min(stream, StreamOnce());
    copy = std::min(copy, CopyOnce(update, root / "fs" / "copy"));
  }
  const long rssAfter = PeakRssKb();
  std::printf("kernel image          %llu MB (%u-byte records)\n",
              static_cast<unsigned long long>(kernelMb), kRecordSize);
  std::printf("stream via SCD1:      %.3f s (best of %d)\n", stream, rounds);
  std::printf("cp of the same files  %.3f s (best of %d)\n", copy, rounds);
  std::printf("ratio stream / cp     %.2f\n", stream / copy);
  std::printf("peak RSS              %ld KB (%ld KB before streaming)\n", rssAfter, rssBefore);
  fs::remove_all(root);
  return 0;
}
