#include "fitkit/image_set_check.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "device/device_config.h"
#include "imagefit/image_set.h"
#include "imagefit/image_version.h"
#include "platform/byte_order.h"
#include "platform/flash_protocol.h"
#include "platform/text.h"
#include "report/outcome_words.h"

namespace fitkit {
namespace fs = std::filesystem;
namespace protocol = platform::protocol;
namespace {

constexpr char kBinSync[7] = {'B', '0', '0', '0', 'F', 'F', '\n'};
// imagefit reads the first 260 bytes of the version file.
constexpr std::size_t kVersionTextBytes = 260;

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  }
  return text;
}

// The folder's entry of that name, letter case aside (an exact match wins).
fs::path FindInFolder(const fs::path& folder, const std::string& name) {
  std::error_code error;
  if (fs::is_regular_file(folder / name, error)) return folder / name;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    if (Lower(entry.path().filename().string()) == Lower(name) && entry.is_regular_file(error)) {
      return entry.path();
    }
  }
  return {};
}

fs::path FirstIni(const fs::path& folder) {
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if (name.size() > 4 && Lower(name.substr(name.size() - 4)) == ".ini") return entry.path();
  }
  return {};
}

bool IsBinImage(int index) {
  return index == imagefit::kTinynk || index == imagefit::kDrivers || index == imagefit::kNk ||
         index == imagefit::kChain;
}

std::string RecordProblem(uint32_t record, const std::string& what) {
  return "record " + std::to_string(record) + " " + what;
}

}  // namespace

BinFacts ReadBinImage(const fs::path& file) {
  BinFacts facts;
  std::ifstream in(file, std::ios::binary);
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                   std::istreambuf_iterator<char>()};
  if (bytes.size() < protocol::kImageHeaderSize ||
      std::memcmp(bytes.data(), kBinSync, sizeof kBinSync) != 0) {
    facts.problem = "it does not begin with a BIN image header";
    return facts;
  }
  facts.start = platform::LoadLe32(bytes.data() + protocol::kImageStartOffset);
  facts.length = platform::LoadLe32(bytes.data() + protocol::kImageLengthOffset);
  const uint64_t end = uint64_t(facts.start) + facts.length;
  std::size_t at = protocol::kImageHeaderSize;
  for (;;) {
    if (bytes.size() - at < protocol::kRecordHeaderSize) {
      facts.problem = "it ends without an end record";
      return facts;
    }
    const uint32_t address = platform::LoadLe32(bytes.data() + at);
    const uint32_t length = platform::LoadLe32(bytes.data() + at + 4);
    const uint32_t checksum = platform::LoadLe32(bytes.data() + at + 8);
    at += protocol::kRecordHeaderSize;
    if (address == 0 && checksum == 0) return facts;
    ++facts.records;
    if (length > bytes.size() - at) {
      facts.problem = RecordProblem(facts.records, "runs past the end of the file");
    } else if (address < facts.start || address + uint64_t(length) > end) {
      facts.problem = RecordProblem(facts.records, "lies outside the image's region");
    } else if (platform::SumBytes(bytes.data() + at, length) != checksum) {
      facts.problem = RecordProblem(facts.records, "does not match its checksum");
    }
    if (!facts.problem.empty()) return facts;
    at += length;
  }
}

ImageSetFacts InspectImageSet(const fs::path& folder) {
  ImageSetFacts facts;
  for (int i = 0; i < imagefit::kImageCount; ++i) {
    ImageFacts image;
    image.name = platform::ToUtf8(imagefit::kImageFileNames[i]);
    image.path = FindInFolder(folder, image.name);
    if (!image.path.empty()) {
      std::error_code error;
      image.size = fs::file_size(image.path, error);
      if (IsBinImage(i)) image.bin = ReadBinImage(image.path);
    }
    facts.images.push_back(std::move(image));
  }
  fs::path version = FindInFolder(folder, "KTR 60.ini");
  if (version.empty()) version = FirstIni(folder);
  if (!version.empty()) {
    facts.versionFile = version.filename().string();
    std::ifstream in(version, std::ios::binary);
    std::string text(kVersionTextBytes, '\0');
    in.read(text.data(), std::streamsize(text.size()));
    text.resize(std::size_t(in.gcount()));
    facts.versionCode = imagefit::ParseImageVersion(text);
    facts.versionText = platform::ToUtf8(imagefit::FormatShownVersion(facts.versionCode));
    facts.revision = facts.versionCode >> 24;
  }
  return facts;
}

namespace {

void CheckImages(const ImageSetFacts& facts, Findings* found) {
  std::string missing;
  for (const ImageFacts& image : facts.images) {
    if (image.path.empty()) {
      missing += (missing.empty() ? "" : ", ") + image.name;
    } else if (image.bin && !image.bin->problem.empty()) {
      found->Problem(image.name + " is damaged: " + image.bin->problem);
    }
  }
  if (!missing.empty()) {
    found->Problem("the image set lacks " + missing + ": imagefit would end at once (exit 255)");
  } else {
    found->Ok("all six images are there");
  }
  if (facts.versionFile.empty()) {
    found->Problem("there is no version file (\"KTR 60.ini\" or any \"*.ini\")");
  } else if (facts.versionCode == 0) {
    found->Problem("the version file " + facts.versionFile + " holds no version (\"V1.0.7\")");
  } else {
    found->Ok("version " + facts.versionText + " for board revision " +
              std::to_string(facts.revision) + " (" + facts.versionFile + ")");
  }
}

void CheckDevice(const ImageSetFacts& facts, const device::DeviceConfig& device, uint32_t installed,
                 Findings* found) {
  if (!device.DriverKind("SCD1")) found->Problem("the device has no flash update driver (SCD1)");
  if (device.AcLineStatus() != 1) {
    found->Problem("the device is not on external power: imagefit would stop at once");
  }
  const uint32_t board = uint32_t(device.BoardRevision());
  if (board != facts.revision) {
    found->Note("the board is revision " + std::to_string(board) + ", the image is for " +
                std::to_string(facts.revision) +
                ": imagefit would ask before it starts (rehearse: --revision=yes or no)");
  }
  if (!device.FailingCodes().empty()) {
    found->Note(
        "the device's driver is set to fail some control codes: imagefit would ask "
        "whether to continue (rehearse: --continue=yes or no)");
  }
  found->Ok("OS " + platform::ToUtf8(imagefit::FormatShownVersion(installed)) + " -> " +
            facts.versionText);
}

}  // namespace

Findings CheckImageSet(const ImageSetFacts& facts, const device::DeviceConfig* device,
                       uint32_t installed) {
  Findings found;
  CheckImages(facts, &found);
  if (device != nullptr) CheckDevice(facts, *device, installed, &found);
  uint64_t bytes = 0;
  for (const ImageFacts& image : facts.images) bytes += image.size;
  if (const std::string* problem = found.FirstProblem()) {
    found.verdict = "would not be programmed: " + *problem;
  } else {
    found.verdict = "would program " + facts.versionText + " (" + report::WithThousands(bytes) +
                    " bytes in six images) and restart the device";
  }
  return found;
}

}  // namespace fitkit
