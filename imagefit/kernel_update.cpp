// UpdateKernel: the control-code sequence that carries the four BIN images,
// their headers and the version to the flash update driver.
#include "imagefit/flash_driver.h"
#include "imagefit/image_files.h"
#include "imagefit/update_report.h"
#include "platform/byte_order.h"

namespace imagefit {

namespace {

bool Send(platform::DriverHandle* driver, std::string_view step, uint32_t code,
          const void* input = nullptr, uint32_t length = 0) {
  const bool sent = DriverControl(driver, code, input, length, nullptr, 0);
  NoteStep(step, sent);
  return sent;
}

constexpr std::string_view kRegionSteps[kRegionCount][2] = {
    {"image header drivers.bin", "records drivers.bin"},
    {"image header tinynk.bin", "records tinynk.bin"},
    {"image header nk.bin", "records nk.bin"},
    {"image header chain.bin", "records chain.bin"}};

}  // namespace

bool UpdateKernel(std::u16string_view driversPath, std::u16string_view tinynkPath,
                  std::u16string_view nkPath, std::u16string_view chainPath, uint32_t version,
                  ProgressCallback callback, void* context) {
  DriverPtr driver = OpenUpdateDriver();
  NoteStep("open flash driver", bool(driver));
  if (!driver) return false;
  if (!Send(driver.get(), "kernel open", SCD_IOCTL_KERNEL_OPEN)) return false;
  uint8_t block[kHeaderBlockSize];
  const bool built = BuildMultiImageHeader(driversPath, tinynkPath, nkPath, chainPath, block);
  NoteStep("read image headers", built);
  if (!built) return false;
  if (!Send(driver.get(), "multi-image header", SCD_IOCTL_MULTI_HEADER, block,
            kMultiImageHeaderSize)) {
    return false;
  }

  const std::u16string_view paths[kRegionCount] = {driversPath, tinynkPath, nkPath, chainPath};
  for (uint32_t region = 0; region < kRegionCount; ++region) {
    const uint8_t* header = block + kMultiImageHeaderSize + region * kImageHeaderSize;
    if (!Send(driver.get(), kRegionSteps[region][0], SCD_IOCTL_IMAGE_HEADER, header,
              kImageHeaderSize)) {
      return false;
    }
    // A region that broke off leaves a kernel that does not start: no other
    // region, and above all no new version, may be written over it.
    const bool streamed = StreamImageRecords(paths[region], driver.get(), callback, context);
    NoteStep(kRegionSteps[region][1], streamed);
    if (!streamed) return false;
  }

  uint8_t versionBytes[4];
  platform::StoreLe32(versionBytes, version);
  if (!Send(driver.get(), "set version", SCD_IOCTL_SET_VERSION, versionBytes, 4)) return false;
  if (callback != nullptr) callback(nullptr, 0, 0, context);
  if (!Send(driver.get(), "kernel finish", SCD_IOCTL_KERNEL_FINISH)) return false;
  return Send(driver.get(), "kernel close", SCD_IOCTL_KERNEL_CLOSE);
}

}  // namespace imagefit
