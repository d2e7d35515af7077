// StreamImageRecords: one BIN image sent record by record, each record in its
// own exact-size allocation, read ahead of the driver on a second thread.
#include <memory>
#include <string>

#include "imagefit/flash_driver.h"
#include "imagefit/held_image_files.h"
#include "imagefit/image_files.h"
#include "imagefit/read_fully.h"
#include "imagefit/record_read_ahead.h"
#include "platform/byte_order.h"
#include "platform/environment.h"
#include "platform/file_system.h"

namespace imagefit {

bool StreamImageRecords(std::u16string_view path, platform::DriverHandle* driver,
                        ProgressCallback callback, void* context, HeldImageFiles* held) {
  if (driver == nullptr) return false;
  std::unique_ptr<platform::File> file = OpenImageFile(path, held);
  if (!file) return false;
  uint8_t imageHeader[kImageHeaderSize];
  if (ReadFully(*file, imageHeader, kImageHeaderSize) != kImageHeaderSize) return false;
  const uint32_t total = platform::LoadLe32(imageHeader + kImageLengthOffset);
  const std::u16string pathText(path);  // the callback wants a terminated path
  RecordReadAhead records(*file, kImageHeaderSize);
  uint32_t sent = 0;
  for (;;) {
    ImageRecord record;
    if (!records.Next(&record)) return false;
    if (!DriverControl(driver, SCD_IOCTL_IMAGE_RECORD, record.block.get(), record.size, nullptr,
                       0)) {
      return false;
    }
    record.block.reset();
    sent += record.size;
    if (callback != nullptr) callback(pathText.c_str(), sent, total, context);
    if (record.end) return true;
  }
}

}  // namespace imagefit
