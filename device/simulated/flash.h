// The simulated flash update driver ("SCD1:"). It checks what it receives as
// the device's driver would (the order of the codes, the multi-image header,
// each image header against its region, each record's bounds and checksum)
// and stores what it accepts under <root>/flash/:
//   nboot.bin, eboot.nb0       the bytes received
//   region0.bin .. region3.bin each region flat: record data at address minus
//                              the region's start, gaps zero, the region's length
//   version                    the version received, "0x%08X" without line end
//   kernel-unfinished          there from KERNEL_OPEN to the KERNEL_CLOSE of a
//                              finished update: the regions may be half-written
// Each file is written whole under a staged name and renamed over the old one,
// so a killed program leaves every file either old or new.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>

#include "device/simulated/region_writer.h"
#include "host/root_files.h"

namespace device {

class SimulatedFlash {
 public:
  SimulatedFlash(std::filesystem::path folder, uint32_t boardRevision);
  ~SimulatedFlash();
  SimulatedFlash(const SimulatedFlash&) = delete;
  SimulatedFlash& operator=(const SimulatedFlash&) = delete;

  // One control code; false when the driver refuses it.
  bool Control(uint32_t code, const void* input, uint32_t inputLength, void* output,
               uint32_t outputLength);

  // Counts KERNEL_OPENs: names the kernel update a driver handle started.
  uint32_t KernelGeneration() const { return kernelGeneration_; }
  // The handle that started kernel update `generation` is closed before its
  // KERNEL_CLOSE: that update is dropped, as the device's driver drops the
  // context of a closed handle, so the next update (boot loaders first)
  // starts cleanly. A later update of another handle is left alone.
  void AbandonKernelUpdate(uint32_t generation);

 private:
  // Where a kernel update stands. Idle outside KERNEL_OPEN .. KERNEL_CLOSE.
  enum class Phase { Idle, Opened, HeaderAccepted, InImage, VersionSet, Finished };
  struct Region {
    uint32_t start = 0;
    uint32_t length = 0;
  };

  bool WriteBootLoader(const char* name, const void* input, uint32_t length);
  bool ReportBoardRevision(void* output, uint32_t outputLength);
  bool OpenKernel();
  bool CloseKernel();
  bool AcceptMultiHeader(const uint8_t* input, uint32_t length);
  bool AcceptImageHeader(const uint8_t* input, uint32_t length);
  bool AcceptRecord(const uint8_t* input, uint32_t length);
  bool AcceptVersion(const uint8_t* input, uint32_t length);
  bool Advance(Phase from, Phase to);
  host::RootDescriptor OpenFolder() const;
  bool CommitRegionFile();
  void DropRegionFile();

  std::filesystem::path folder_;
  uint32_t boardRevision_;
  Phase phase_ = Phase::Idle;
  std::array<Region, 4> regions_{};
  int currentRegion_ = -1;
  bool endRecordSeen_ = false;
  int regionFile_ = -1;                       // the staged new content of regionName_
  std::optional<RegionWriter> regionWriter_;  // writes regionFile_
  char regionName_[32] = {};
  uint32_t kernelGeneration_ = 0;
};

}  // namespace device
