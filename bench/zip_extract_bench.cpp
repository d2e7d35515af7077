// Extracts a password-protected package through CZipReader::ExtractEntry
// into a device root, then times `unzip -o -P` on the same package into the
// same file system, and prints both times, their ratio and this process's
// peak resident memory.
//   zip_extract_bench <device root> <package file name in fs/> <password>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "device/device.h"
#include "platform/text.h"
#include "zipreader/zip_reader.h"

namespace {

namespace fs = std::filesystem;

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

long PeakRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// The way the shell updater unpacks a package: one ExtractEntry per entry.
int ExtractWithReader(const std::u16string& package, const std::u16string& password,
                      const std::u16string& folder) {
  CZipReader reader;
  reader.OpenArchive(package, 1, 0);
  reader.SetPassword(password);
  CZipEntryHeader header;
  int failures = 0;
  for (unsigned i = 0; reader.GetEntryInfo(header, i); ++i) {
    if (!reader.ExtractEntry(static_cast<uint16_t>(i), folder.c_str(), true, nullptr, 65536)) {
      ++failures;
    }
  }
  reader.CloseEntry(nullptr, true);
  return failures;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s <device root> <package in fs/> <password>\n", argv[0]);
    return 2;
  }
  fs::path root = argv[1];
  std::string package = argv[2];
  auto device = device::Device::Open(root);
  if (device == nullptr) return 2;
  platform::ScopedEnvironment scope(device->environment());
  std::string command = "unzip -q -o -P '" + std::string(argv[3]) + "' '" +
                        (root / "fs" / package).string() + "' -d '" +
                        (root / "fs" / "bench-unzip").string() + "'";
  // Two rounds, best time of each: file creation right after deleting many
  // files varies a lot on ext4, and both sides should see the same.
  double ours = 1e9, theirs = 1e9;
  int failures = 0, unzipStatus = 0;
  for (int round = 0; round < 2; ++round) {
    fs::remove_all(root / "fs" / "bench-ours");
    fs::remove_all(root / "fs" / "bench-unzip");
    auto start = std::chrono::steady_clock::now();
    try {
      failures += ExtractWithReader(u"\\" + platform::FromUtf8(package),
                                    platform::FromUtf8(argv[3]), u"\\bench-ours");
    } catch (const CZipException& e) {
      std::fprintf(stderr, "zip error %d\n", e.code);
      return 1;
    }
    ours = std::min(ours, Seconds(start));
    start = std::chrono::steady_clock::now();
    unzipStatus |= std::system(command.c_str());
    theirs = std::min(theirs, Seconds(start));
  }
  long peakKb = PeakRssKb();

  std::printf("package            %s (%.1f MB)\n", package.c_str(),
              fs::file_size(root / "fs" / package) / 1e6);
  std::printf("ExtractEntry       %.3f s (best of 2; %d entries failed)\n", ours, failures);
  std::printf("unzip -o -P        %.3f s (best of 2; status %d)\n", theirs, unzipStatus);
  std::printf("ratio ours/unzip   %.2f\n", ours / theirs);
  std::printf("peak RSS (reader)  %ld KB\n", peakKb);
  fs::remove_all(root / "fs" / "bench-ours");
  fs::remove_all(root / "fs" / "bench-unzip");
  return failures == 0 && unzipStatus == 0 ? 0 : 1;
}
