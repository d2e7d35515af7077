#include "imagefit/flash_driver.h"
#include "platform/byte_order.h"

#include "imagefit/image_files.h"
#include "imagefit/whole_file_buffer.h"
#include "platform/environment.h"

namespace imagefit {

DriverPtr OpenUpdateDriver() { return platform::Drivers().Open(kUpdateDriverName); }

bool DriverControl(platform::DriverHandle* driver, uint32_t code, const void* input,
                   uint32_t inputLength, void* output, uint32_t outputLength) {
  if (driver == nullptr) return false;
  return driver->IoControl(code, input, inputLength, output, outputLength);
}

namespace {

bool SendWholeFile(std::u16string_view path, uint32_t code, HeldImageFiles* held) {
  DriverPtr driver = OpenUpdateDriver();
  WholeFileBuffer buffer(held);
  if (!driver) return false;
  if (!buffer.Load(path, 0)) return false;
  const bool sent = DriverControl(driver.get(), code, buffer.data(), buffer.length(), nullptr, 0);
  buffer.Close();
  return sent;
}

}  // namespace

bool UpdateNBOOT(std::u16string_view path, HeldImageFiles* held) {
  return SendWholeFile(path, SCD_IOCTL_WRITE_NBOOT, held);
}

bool UpdateEBOOT(std::u16string_view path, HeldImageFiles* held) {
  return SendWholeFile(path, SCD_IOCTL_WRITE_EBOOT, held);
}

bool GetBoardRevision(uint32_t* revision) {
  *revision = kDefaultBoardRevision;
  DriverPtr driver = OpenUpdateDriver();
  if (!driver) return false;
  uint8_t answer[4];
  platform::StoreLe32(answer, *revision);
  const bool ok = DriverControl(driver.get(), SCD_IOCTL_GET_BOARD_REVISION, nullptr, 0, answer, 4);
  *revision = platform::LoadLe32(answer);
  return ok;
}

}  // namespace imagefit
