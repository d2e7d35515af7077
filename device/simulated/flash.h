// The simulated flash update driver ("SCD1:"). It checks what it receives as
// the device's driver would (the order of the codes, the multi-image header,
// each image header against its region, each record's bounds and checksum)
// and stores what it accepts under <root>/flash/:
//   nboot.bin, eboot.nb0       the bytes received
//   region0.bin .. region3.bin each region flat: record data at address minus
//                              the region's start, gaps zero, the region's length
//   version                    the version received, "0x%08X" without line end
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>

namespace platform {

namespace flash_codes {
inline constexpr uint32_t kWriteNboot = 0x80012004;
inline constexpr uint32_t kWriteEboot = 0x8001202C;
inline constexpr uint32_t kKernelOpen = 0x80012054;
inline constexpr uint32_t kMultiHeader = 0x80012060;
inline constexpr uint32_t kImageHeader = 0x80012064;
inline constexpr uint32_t kImageRecord = 0x80012068;
inline constexpr uint32_t kSetVersion = 0x80012070;
inline constexpr uint32_t kKernelFinish = 0x8001205C;
inline constexpr uint32_t kKernelClose = 0x80012058;
inline constexpr uint32_t kGetBoardRevision = 0x80012084;
}  // namespace flash_codes

class SimulatedFlash {
 public:
  SimulatedFlash(std::filesystem::path folder, uint32_t boardRevision);
  ~SimulatedFlash();
  SimulatedFlash(const SimulatedFlash&) = delete;
  SimulatedFlash& operator=(const SimulatedFlash&) = delete;

  // One control code; false when the driver refuses it.
  bool Control(uint32_t code, const void* input, uint32_t inputLength, void* output,
               uint32_t outputLength);

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
  bool AcceptMultiHeader(const uint8_t* input, uint32_t length);
  bool AcceptImageHeader(const uint8_t* input, uint32_t length);
  bool AcceptRecord(const uint8_t* input, uint32_t length);
  bool AcceptVersion(const uint8_t* input, uint32_t length);
  bool Advance(Phase from, Phase to);
  bool EnsureFolder();
  bool OpenRegionFile(const std::filesystem::path& file, uint32_t length);
  void CloseRegionFile();

  std::filesystem::path folder_;
  uint32_t boardRevision_;
  Phase phase_ = Phase::Idle;
  std::array<Region, 4> regions_{};
  int currentRegion_ = -1;
  bool endRecordSeen_ = false;
  std::fstream regionFile_;
};

}  // namespace platform
