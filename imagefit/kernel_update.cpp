// UpdateKernel: the control-code sequence that carries the four BIN images,
// their headers and the version to the flash update driver.
#include "imagefit/flash_driver.h"
#include "imagefit/image_files.h"
#include "imagefit/image_set.h"
#include "imagefit/update_report.h"
#include "platform/byte_order.h"

namespace imagefit {

namespace {

// One control code to the driver, noted as a step of the run.
class KernelSender {
 public:
  KernelSender(platform::DriverHandle* driver, UpdateReport& report)
      : driver_(driver), report_(report) {}
  bool Send(std::string_view step, uint32_t code, const void* input = nullptr,
            uint32_t length = 0) {
    const bool sent = DriverControl(driver_, code, input, length, nullptr, 0);
    report_.NoteStep(step, sent);
    return sent;
  }

 private:
  platform::DriverHandle* driver_;
  UpdateReport& report_;
};

constexpr std::string_view kRegionSteps[kRegionCount][2] = {
    {"image header drivers.bin", "records drivers.bin"},
    {"image header tinynk.bin", "records tinynk.bin"},
    {"image header nk.bin", "records nk.bin"},
    {"image header chain.bin", "records chain.bin"}};

}  // namespace

bool UpdateKernel(const ImageSet& set, UpdateReport& report, ProgressCallback callback,
                  void* context, HeldImageFiles* held) {
  DriverPtr driver = OpenUpdateDriver();
  report.NoteStep("open flash driver", bool(driver));
  if (!driver) return false;
  KernelSender out(driver.get(), report);
  if (!out.Send("kernel open", SCD_IOCTL_KERNEL_OPEN)) return false;
  const std::u16string_view paths[kRegionCount] = {set.paths[kDrivers], set.paths[kTinynk],
                                                   set.paths[kNk], set.paths[kChain]};
  uint8_t block[kHeaderBlockSize];
  const bool built = BuildMultiImageHeader(paths[0], paths[1], paths[2], paths[3], block, held);
  report.NoteStep("read image headers", built);
  if (!built) return false;
  if (!out.Send("multi-image header", SCD_IOCTL_MULTI_HEADER, block, kMultiImageHeaderSize)) {
    return false;
  }

  for (uint32_t region = 0; region < kRegionCount; ++region) {
    const uint8_t* header = block + kMultiImageHeaderSize + region * kImageHeaderSize;
    if (!out.Send(kRegionSteps[region][0], SCD_IOCTL_IMAGE_HEADER, header, kImageHeaderSize)) {
      return false;
    }
    // A region that broke off leaves a kernel that does not start: no other
    // region, and above all no new version, may be written over it.
    const bool streamed = StreamImageRecords(paths[region], driver.get(), callback, context, held);
    report.NoteStep(kRegionSteps[region][1], streamed);
    if (!streamed) return false;
  }

  uint8_t versionBytes[4];
  platform::StoreLe32(versionBytes, set.version);
  if (!out.Send("set version", SCD_IOCTL_SET_VERSION, versionBytes, 4)) return false;
  if (callback != nullptr) callback(nullptr, 0, 0, context);
  if (!out.Send("kernel finish", SCD_IOCTL_KERNEL_FINISH)) return false;
  return out.Send("kernel close", SCD_IOCTL_KERNEL_CLOSE);
}

}  // namespace imagefit
