// What a package uses that the device's reader cannot read, said in words
// instead of the bare number of a damaged archive.
#include "shellfit/package_features.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/environment.h"
#include "platform/file_system.h"
#include "zipreader/zip_reader.h"

namespace shellfit {
namespace {

constexpr uint32_t kZip64Marker = 0xFFFFFFFF;
constexpr uint16_t kZip64ExtraId = 0x0001;
// The end record's search reaches back over the longest comment, and the
// ZIP64 locator lies just before the end record.
constexpr uint64_t kTailBytes = 22 + 0xFFFF + 20;

std::u16string Ascii(const char* text) { return std::u16string(text, text + std::strlen(text)); }

std::u16string Number(uint64_t value) { return Ascii(std::to_string(value).c_str()); }

const char* MethodName(uint16_t method) {
  switch (method) {
    case 1:
      return "Shrink";
    case 2:
    case 3:
    case 4:
    case 5:
      return "Reduce";
    case 6:
      return "Implode";
    case 9:
      return "Deflate64";
    case 10:
      return "PKWARE DCL Implode";
    case 12:
      return "BZIP2";
    case 14:
      return "LZMA";
    case 16:
      return "IBM z/OS CMPSC";
    case 18:
      return "IBM TERSE";
    case 19:
      return "IBM LZ77";
    case 93:
      return "Zstandard";
    case 94:
      return "MP3";
    case 95:
      return "XZ";
    case 96:
      return "JPEG";
    case 97:
      return "WavPack";
    case 98:
      return "PPMd";
    case 99:
      return "AES encryption";
    default:
      return nullptr;
  }
}

bool HasZip64Extra(const CZipByteBuffer& extra) {
  const uint8_t* bytes = extra.Data();
  for (uint32_t at = 0; at + 4 <= extra.Size();) {
    const uint16_t id = static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
    const uint16_t length = static_cast<uint16_t>(bytes[at + 2] | bytes[at + 3] << 8);
    if (id == kZip64ExtraId) return true;
    at += 4u + length;
  }
  return false;
}

bool UsesZip64(const CZipEntryHeader& header) {
  return header.compressedSize == kZip64Marker || header.uncompressedSize == kZip64Marker ||
         header.localHeaderOffset == kZip64Marker || HasZip64Extra(header.extraField);
}

constexpr uint32_t kLocalHeaderSize = 30;

std::vector<uint8_t> ReadAt(platform::File& file, uint64_t offset, uint64_t count) {
  std::vector<uint8_t> bytes(count);
  uint32_t got = 0;
  if (!file.Seek(static_cast<int64_t>(offset), platform::SeekOrigin::Begin, nullptr) ||
      !file.Read(bytes.data(), static_cast<uint32_t>(count), &got)) {
    got = 0;
  }
  bytes.resize(got);
  return bytes;
}

uint32_t LoadU16(const std::vector<uint8_t>& bytes, std::size_t at) {
  return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}
uint32_t LoadU32(const std::vector<uint8_t>& bytes, std::size_t at) {
  return LoadU16(bytes, at) | LoadU16(bytes, at + 2) << 16;
}

}  // namespace

PackageStatus CheckPackageFeatures(const CZipReader& reader) {
  bool anyFile = false;
  for (const auto& header : reader.Headers()) {
    if (UsesZip64(*header)) return PackageStatus::Unsupported(std::u16string(kUsesZip64));
    if (header->IsDirectory()) continue;
    anyFile = true;
    if (header->method != 0 && header->method != 8) {
      const char* name = MethodName(header->method);
      return PackageStatus::Unsupported(u"entry \"" + header->GetEntryName() +
                                        u"\" is compressed with method " + Number(header->method) +
                                        (name != nullptr ? u" (" + Ascii(name) + u")" : u"") +
                                        u"; only stored and deflated entries can be installed.");
    }
  }
  // Installing it would only erase the installed shell.
  if (!anyFile) return PackageStatus::Unsupported(u"it holds no file.");
  return PackageStatus::Ok();
}

bool HasZip64Records(std::u16string_view package, const CZipReader* reader) {
  const auto file =
      platform::Files().Open(package, platform::AccessRead, platform::Disposition::OpenExisting);
  uint64_t size = 0;
  if (file == nullptr || !file->GetSize(&size)) return false;
  const uint64_t start = size > kTailBytes ? size - kTailBytes : 0;
  const std::vector<uint8_t> tail = ReadAt(*file, start, size - start);
  // The ZIP64 end record (PK 6 6) and its locator (PK 6 7).
  for (std::size_t at = 0; at + 4 <= tail.size(); ++at) {
    if (tail[at] == 'P' && tail[at + 1] == 'K' && tail[at + 2] == 6 &&
        (tail[at + 3] == 6 || tail[at + 3] == 7)) {
      return true;
    }
  }
  if (reader == nullptr) return false;
  // Some writers mark only the local headers: sizes 0xFFFFFFFF and the
  // ZIP64 extra field there.
  for (const auto& header : reader->Headers()) {
    const std::vector<uint8_t> local = ReadAt(*file, header->localHeaderOffset, kLocalHeaderSize);
    if (local.size() < kLocalHeaderSize) continue;
    if (LoadU32(local, 18) == kZip64Marker || LoadU32(local, 22) == kZip64Marker) return true;
    const uint16_t nameLength = LoadU16(local, 26), extraLength = LoadU16(local, 28);
    CZipByteBuffer extra(extraLength, true);
    const std::vector<uint8_t> bytes = ReadAt(
        *file, uint64_t{header->localHeaderOffset} + kLocalHeaderSize + nameLength, extraLength);
    std::copy(bytes.begin(), bytes.end(), extra.Data());
    if (HasZip64Extra(extra)) return true;
  }
  return false;
}

}  // namespace shellfit
