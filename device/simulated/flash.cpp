#include "device/simulated/flash.h"

#include <cstdio>
#include <cstring>
#include <system_error>

#include "host/root_files.h"
#include "platform/byte_order.h"
#include "platform/flash_protocol.h"
#include "platform/trace.h"

namespace device {

namespace {

using namespace platform::protocol;

}  // namespace

namespace {

// Written at KERNEL_OPEN and removed by the KERNEL_CLOSE of a finished update:
// while it is there, the kernel regions may hold a half-written kernel.
constexpr char kUnfinishedMark[] = "kernel-unfinished";
constexpr char kUnfinishedText[] =
    "A kernel update was opened and not finished: the device may not start.\n";

}  // namespace

SimulatedFlash::SimulatedFlash(std::filesystem::path folder, uint32_t boardRevision)
    : folder_(std::move(folder)), boardRevision_(boardRevision) {
  // What a killed run was still writing; flash/ itself is made only by a store.
  std::error_code error;
  if (std::filesystem::is_directory(folder_, error)) host::RemoveStaleStaged(OpenFolder().get());
}

SimulatedFlash::~SimulatedFlash() { DropRegionFile(); }

bool SimulatedFlash::Control(uint32_t code, const void* input, uint32_t inputLength, void* output,
                             uint32_t outputLength) {
  const auto* bytes = static_cast<const uint8_t*>(input);
  if (bytes == nullptr) inputLength = 0;
  switch (code) {
    case SCD_IOCTL_WRITE_NBOOT:
      return WriteBootLoader("nboot.bin", bytes, inputLength);
    case SCD_IOCTL_WRITE_EBOOT:
      return WriteBootLoader("eboot.nb0", bytes, inputLength);
    case SCD_IOCTL_GET_BOARD_REVISION:
      return ReportBoardRevision(output, outputLength);
    case SCD_IOCTL_KERNEL_OPEN:
      return OpenKernel();
    case SCD_IOCTL_MULTI_HEADER:
      return AcceptMultiHeader(bytes, inputLength);
    case SCD_IOCTL_IMAGE_HEADER:
      return AcceptImageHeader(bytes, inputLength);
    case SCD_IOCTL_IMAGE_RECORD:
      return AcceptRecord(bytes, inputLength);
    case SCD_IOCTL_SET_VERSION:
      return AcceptVersion(bytes, inputLength);
    case SCD_IOCTL_KERNEL_FINISH:
      return Advance(Phase::VersionSet, Phase::Finished);
    case SCD_IOCTL_KERNEL_CLOSE:
      return CloseKernel();
    default:
      return false;
  }
}

// flash/ of the device root, never through a link; its files are always
// made anew (see root_files.h).
host::RootDescriptor SimulatedFlash::OpenFolder() const {
  const host::RootDescriptor root = host::OpenRootFolder(folder_.parent_path());
  if (!root.valid()) return {};
  return host::OpenOwnFolder(root.get(), folder_.filename().string().c_str());
}

// A boot loader is written whole, outside a kernel update; an empty one is refused.
bool SimulatedFlash::WriteBootLoader(const char* name, const void* input, uint32_t length) {
  if (phase_ != Phase::Idle || length == 0) return false;
  const host::RootDescriptor folder = OpenFolder();
  return host::WriteReplacing(folder.get(), name,
                              std::string(static_cast<const char*>(input), length));
}

bool SimulatedFlash::ReportBoardRevision(void* output, uint32_t outputLength) {
  if (output == nullptr || outputLength < 4) return false;
  auto* bytes = static_cast<uint8_t*>(output);
  for (int i = 0; i < 4; ++i) bytes[i] = uint8_t(boardRevision_ >> (8 * i));
  return true;
}

// KERNEL_OPEN starts over, also when an earlier update was left open.
bool SimulatedFlash::OpenKernel() {
  DropRegionFile();
  if (!host::WriteReplacing(OpenFolder().get(), kUnfinishedMark, kUnfinishedText)) return false;
  ++kernelGeneration_;
  phase_ = Phase::Opened;
  currentRegion_ = -1;
  endRecordSeen_ = false;
  return true;
}

// The update is whole: the regions and the version are stored.
bool SimulatedFlash::CloseKernel() {
  if (phase_ != Phase::Finished) return false;
  if (!host::RemoveRootFile(OpenFolder().get(), kUnfinishedMark)) return false;
  phase_ = Phase::Idle;
  return true;
}

bool SimulatedFlash::Advance(Phase from, Phase to) {
  if (phase_ != from) return false;
  phase_ = to;
  return true;
}

bool SimulatedFlash::AcceptMultiHeader(const uint8_t* input, uint32_t length) {
  if (phase_ != Phase::Opened || length != kMultiImageHeaderSize) return false;
  if (std::memcmp(input, kMultiImageSignature, sizeof kMultiImageSignature) != 0) return false;
  if (platform::LoadLe32(input + kMultiCountOffset) != regions_.size()) return false;
  const uint32_t tableSum =
      platform::SumBytes(input + kMultiRegionTableOffset, kMultiRegionTableSize);
  if (platform::LoadLe32(input + kMultiChecksumOffset) != tableSum) return false;
  for (std::size_t i = 0; i < regions_.size(); ++i) {
    regions_[i].start = platform::LoadLe32(input + kMultiRegionTableOffset + 8 * i);
    regions_[i].length = platform::LoadLe32(input + kMultiRegionTableOffset + 8 * i + 4);
  }
  phase_ = Phase::HeaderAccepted;
  return true;
}

// The next region's image header; a region may follow one whose stream broke
// off before its end record.
bool SimulatedFlash::AcceptImageHeader(const uint8_t* input, uint32_t length) {
  const bool expected = phase_ == Phase::HeaderAccepted ||
                        (phase_ == Phase::InImage && currentRegion_ + 1 < int(regions_.size()));
  if (!expected || length != kImageHeaderSize) return false;
  const Region& next = regions_[currentRegion_ + 1];
  if (platform::LoadLe32(input + kImageStartOffset) != next.start ||
      platform::LoadLe32(input + kImageLengthOffset) != next.length) {
    return false;
  }
  DropRegionFile();
  std::snprintf(regionName_, sizeof regionName_, "region%d.bin", currentRegion_ + 1);
  regionFile_ = host::CreateStaged(OpenFolder().get(), regionName_).Release();
  if (regionFile_ < 0 || !host::SetLength(regionFile_, next.length)) {
    DropRegionFile();
    return false;
  }
  regionWriter_.emplace(regionFile_);
  ++currentRegion_;
  endRecordSeen_ = false;
  phase_ = Phase::InImage;
  return true;
}

bool SimulatedFlash::AcceptRecord(const uint8_t* input, uint32_t length) {
  if (phase_ != Phase::InImage || endRecordSeen_ || length < kRecordHeaderSize) return false;
  const uint32_t address = platform::LoadLe32(input), dataLength = platform::LoadLe32(input + 4),
                 checksum = platform::LoadLe32(input + 8);
  if (address == 0 && checksum == 0) {
    if (length != kRecordHeaderSize || !CommitRegionFile()) return false;
    endRecordSeen_ = true;
    return true;
  }
  if (uint64_t(length) != kRecordHeaderSize + uint64_t(dataLength)) return false;
  const Region& region = regions_[currentRegion_];
  if (address < region.start || uint64_t(address - region.start) + dataLength > region.length)
    return false;
  const uint8_t* data = input + kRecordHeaderSize;
  if (platform::SumBytes(data, dataLength) != checksum) return false;
  return regionWriter_->Write(data, dataLength, address - region.start);
}

bool SimulatedFlash::AcceptVersion(const uint8_t* input, uint32_t length) {
  const bool lastRegion = phase_ == Phase::InImage && currentRegion_ + 1 == int(regions_.size());
  if (!lastRegion || length != 4 || !endRecordSeen_) return false;
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", platform::LoadLe32(input));
  if (!host::WriteReplacing(OpenFolder().get(), "version", text)) return false;
  phase_ = Phase::VersionSet;
  return true;
}

// The mark of the unfinished update stays until a later update finishes.
void SimulatedFlash::AbandonKernelUpdate(uint32_t generation) {
  if (generation != kernelGeneration_ || phase_ == Phase::Idle) return;
  DropRegionFile();
  phase_ = Phase::Idle;
}

// A region is stored whole, once its end record arrived.
bool SimulatedFlash::CommitRegionFile() {
  const bool written = regionWriter_->Finish();
  regionWriter_.reset();
  const bool closed = host::CloseDescriptor(regionFile_) && written;
  regionFile_ = -1;
  const host::RootDescriptor folder = OpenFolder();
  if (!closed) {
    host::DropStaged(folder.get(), regionName_);
    return false;
  }
  return host::CommitStaged(folder.get(), regionName_);
}

// A region that broke off leaves the stored one as it was.
void SimulatedFlash::DropRegionFile() {
  regionWriter_.reset();
  if (regionFile_ < 0) return;
  host::CloseDescriptor(regionFile_);
  regionFile_ = -1;
  host::DropStaged(OpenFolder().get(), regionName_);
}

}  // namespace device
