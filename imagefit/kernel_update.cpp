// UpdateKernel: the control-code sequence that carries the four BIN images,
// their headers and the version to the flash update driver.
#include "platform/byte_order.h"
#include "imagefit/flash_driver.h"
#include "imagefit/image_files.h"

namespace imagefit {

namespace {

bool Send(platform::DriverHandle* driver, uint32_t code, const void* input = nullptr,
          uint32_t length = 0) {
  return DriverControl(driver, code, input, length, nullptr, 0);
}

}  // namespace

bool UpdateKernel(std::u16string_view driversPath, std::u16string_view tinynkPath,
                  std::u16string_view nkPath, std::u16string_view chainPath, uint32_t version,
                  ProgressCallback callback, void* context) {
  DriverPtr driver = OpenUpdateDriver();
  if (!driver) return false;
  if (!Send(driver.get(), SCD_IOCTL_KERNEL_OPEN)) return false;
  uint8_t block[kHeaderBlockSize];
  if (!BuildMultiImageHeader(driversPath, tinynkPath, nkPath, chainPath, block)) return false;
  if (!Send(driver.get(), SCD_IOCTL_MULTI_HEADER, block, kMultiImageHeaderSize)) return false;

  const std::u16string_view paths[kRegionCount] = {driversPath, tinynkPath, nkPath, chainPath};
  for (uint32_t region = 0; region < kRegionCount; ++region) {
    const uint8_t* header = block + kMultiImageHeaderSize + region * kImageHeaderSize;
    if (!Send(driver.get(), SCD_IOCTL_IMAGE_HEADER, header, kImageHeaderSize)) return false;
    // A region that fails part-way does not stop the others.
    StreamImageRecords(paths[region], driver.get(), callback, context);
  }

  uint8_t versionBytes[4];
  platform::StoreLe32(versionBytes, version);
  if (!Send(driver.get(), SCD_IOCTL_SET_VERSION, versionBytes, 4)) return false;
  if (callback != nullptr) callback(nullptr, 0, 0, context);
  if (!Send(driver.get(), SCD_IOCTL_KERNEL_FINISH)) return false;
  return Send(driver.get(), SCD_IOCTL_KERNEL_CLOSE);
}

}  // namespace imagefit
