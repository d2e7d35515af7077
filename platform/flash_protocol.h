// The protocol of the device's flash update driver "SCD1:" and power driver
// "PWR1:", as the device maker's driver header gives it: control codes, the
// BIN image headers the driver receives, and the kernel's restart code.
// imagefit speaks it and the simulated drivers answer it.
#pragma once

#include <cstdint>

namespace platform::protocol {

inline constexpr char16_t kUpdateDriverName[] = u"SCD1:";
inline constexpr char16_t kPowerDriverName[] = u"PWR1:";

// Flash update driver.
inline constexpr uint32_t SCD_IOCTL_WRITE_NBOOT = 0x80012004;
inline constexpr uint32_t SCD_IOCTL_WRITE_EBOOT = 0x8001202C;
inline constexpr uint32_t SCD_IOCTL_KERNEL_OPEN = 0x80012054;
inline constexpr uint32_t SCD_IOCTL_MULTI_HEADER = 0x80012060;
inline constexpr uint32_t SCD_IOCTL_IMAGE_HEADER = 0x80012064;
inline constexpr uint32_t SCD_IOCTL_IMAGE_RECORD = 0x80012068;
inline constexpr uint32_t SCD_IOCTL_SET_VERSION = 0x80012070;
inline constexpr uint32_t SCD_IOCTL_KERNEL_FINISH = 0x8001205C;
inline constexpr uint32_t SCD_IOCTL_KERNEL_CLOSE = 0x80012058;
inline constexpr uint32_t SCD_IOCTL_GET_BOARD_REVISION = 0x80012084;

// What the driver receives: an ImageHeader (sync, start, length) per BIN
// image, a record header (address, length, checksum) per record, and one
// MultiImageHeader ahead of the four kernel images.
inline constexpr uint32_t kImageHeaderSize = 15;
inline constexpr uint32_t kRecordHeaderSize = 12;
inline constexpr uint32_t kMultiImageHeaderSize = 47;
inline constexpr uint32_t kRegionCount = 4;
inline constexpr char kMultiImageSignature[7] = {'X', '0', '0', '0', 'F', 'F', '\n'};

// Offsets inside an ImageHeader and the MultiImageHeader.
inline constexpr uint32_t kImageStartOffset = 7;
inline constexpr uint32_t kImageLengthOffset = 11;
inline constexpr uint32_t kMultiChecksumOffset = 7;
inline constexpr uint32_t kMultiCountOffset = 11;
inline constexpr uint32_t kMultiRegionTableOffset = 15;
inline constexpr uint32_t kMultiRegionTableSize = 8 * kRegionCount;

// Power driver: the update's start and end.
inline constexpr uint32_t PWR_IOCTL_UPDATE_ENTER = 0x01013EA8;
inline constexpr uint32_t PWR_IOCTL_UPDATE_LEAVE = 0x01013EAC;

// KernelIoControl: restart the device.
inline constexpr uint32_t IOCTL_HAL_REBOOT = 0x0101003C;

}  // namespace platform::protocol
