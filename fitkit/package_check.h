// What a shell package holds and what shellfit would make of it, read through
// the device's services (a CheckedDevice installed) without writing anything.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fitkit/findings.h"

namespace fitkit {

struct EntryFacts {
  std::string name;  // as the device reads it, UTF-8
  uint64_t size = 0;
  uint64_t packed = 0;
  uint32_t crc = 0;
  uint16_t method = 0;  // 0 stored, 8 deflated
  bool folder = false;
  bool encrypted = false;
};

struct PackageFacts {
  std::u16string path;  // device path
  uint64_t size = 0;
  int32_t openError = 0;  // 0: the directory was read
  std::vector<EntryFacts> entries;
  uint64_t bytes = 0;  // of the files unpacked
  std::size_t files = 0;
  // main.exe's FileVersion ("" without a version resource); none when the
  // package holds no main.exe or it cannot be read with the password.
  std::optional<std::string> mainExe;
};

PackageFacts InspectPackage(const std::u16string& devicePath);

// Everything START would check before it deletes anything: the password and
// every entry's bytes and CRC-32, the names and the room on the device's
// flash drive, and, against a real device or the models named, the name the
// package needs and whether it is newer than the installed shell.
Findings CheckPackage(const std::u16string& devicePath, const std::string& hostName,
                      const std::vector<std::string>& models, bool realDevice);

}  // namespace fitkit
