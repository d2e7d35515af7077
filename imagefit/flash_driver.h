// The flash update driver "SCD1:": its control codes and the operations that
// hand it the image files.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/drivers.h"
#include "platform/flash_protocol.h"

namespace imagefit {

class HeldImageFiles;
struct ImageSet;
class UpdateReport;

using namespace platform::protocol;

inline constexpr uint32_t kDefaultBoardRevision = 3;

// (image path or null, bytes sent for this image, image length, context).
// A call with a null path, 0 and 0 marks the end of the data phase.
using ProgressCallback = void (*)(const char16_t* path, uint32_t sent, uint32_t total,
                                  void* context);

using DriverPtr = std::unique_ptr<platform::DriverHandle>;

// Null when the device has no flash update driver.
DriverPtr OpenUpdateDriver();

// False at once for a null handle, else the driver's answer.
bool DriverControl(platform::DriverHandle* driver, uint32_t code, const void* input,
                   uint32_t inputLength, void* output, uint32_t outputLength);

// The image files are read from `held` where it serves them (the files
// START checked), else from the file system.
bool UpdateNBOOT(std::u16string_view path, HeldImageFiles* held = nullptr);
bool UpdateEBOOT(std::u16string_view path, HeldImageFiles* held = nullptr);

// Streams the set's four BIN images (region order) and its version, each
// step noted in `report`; the callback may be null.
bool UpdateKernel(const ImageSet& set, UpdateReport& report, ProgressCallback callback,
                  void* context, HeldImageFiles* held = nullptr);

// Sends one BIN image record by record over an open driver handle.
bool StreamImageRecords(std::u16string_view path, platform::DriverHandle* driver,
                        ProgressCallback callback, void* context, HeldImageFiles* held = nullptr);

// `*revision` is 3 unless the driver reports otherwise.
bool GetBoardRevision(uint32_t* revision);

}  // namespace imagefit
