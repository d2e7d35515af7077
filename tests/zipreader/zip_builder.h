// Writes ZIP archives byte by byte for the reader's tests: every field can be
// set or spoiled, which real archivers do not allow.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zip_test {

struct BuildEntry {
  std::string name;
  std::string data;
  uint16_t method = 8;  // 0 stored, 8 deflated
  bool encrypt = false;
  bool descriptor = false;  // flag bit 3, sizes after the data
  bool descriptorSignature = true;
  uint16_t versionMadeBy = 0x031E;  // Unix
  uint32_t externalAttr = 0x81A40000;
  uint16_t modTime = 0x6000;  // 12:00:00
  uint16_t modDate = 0x58B1;  // 2024-05-17
  uint16_t extraFlags = 0;
  std::string localExtra;
};

struct BuiltArchive {
  std::string bytes;
  std::vector<uint32_t> localOffsets;    // absolute, in `bytes`
  std::vector<uint32_t> centralOffsets;  // absolute, in `bytes`
  std::vector<uint32_t> dataOffsets;     // first byte after each local header
  uint32_t directoryOffset = 0;          // absolute
  uint32_t endOffset = 0;                // absolute
};

struct ZipBuilder {
  std::vector<BuildEntry> entries;
  std::string password;
  std::string prefix;  // bytes before the archive (offsets stay relative)
  std::string comment;
  bool reverseCentral = false;  // list the central headers in reverse order
  BuiltArchive Build() const;
};

std::string Deflate(const std::string& data);
uint32_t Crc(const std::string& data);
void PutU16(std::string& bytes, size_t at, uint16_t value);
void PutU32(std::string& bytes, size_t at, uint32_t value);
std::string Pseudorandom(size_t size, uint32_t seed);

}  // namespace zip_test
