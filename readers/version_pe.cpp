#include "readers/version_pe.h"

#include <cstring>
#include <memory>

#include "platform/byte_order.h"
#include "platform/file_system.h"
#include "platform/version_resources.h"

namespace readers {
namespace {

constexpr uint32_t kResourceTypeVersion = 16;
constexpr uint32_t kHighBit = 0x80000000u;
constexpr std::size_t kResourceDirectoryIndex = 2;
// A VS_VERSIONINFO block measures its length in 16 bits; anything much larger
// is a damaged size field, not a version resource.
constexpr uint32_t kMaxVersionData = 1u << 20;
constexpr uint16_t kMaxSections = 96;

struct Section {
  uint32_t virtualAddress = 0;
  uint32_t rawSize = 0;
  uint32_t rawOffset = 0;
};

struct DirectoryEntry {
  uint32_t name = 0;    // high bit: a named entry
  uint32_t target = 0;  // high bit: a sub-directory, else a data entry
};

class PeImage {
 public:
  explicit PeImage(ByteSource& source) : source_(source) {}

  bool ReadHeaders();
  std::optional<std::vector<uint8_t>> VersionData();

 private:
  bool ReadOptionalHeader(uint64_t offset, uint16_t size);
  bool ReadSections(uint64_t offset, uint16_t count);
  bool RvaToOffset(uint32_t rva, uint32_t size, uint64_t* offset) const;
  bool ReadRva(uint32_t rva, void* out, uint32_t size);
  std::optional<std::vector<DirectoryEntry>> ReadDirectory(uint32_t relative);

  ByteSource& source_;
  std::vector<Section> sections_;
  uint32_t resourceRva_ = 0;
};

bool PeImage::ReadHeaders() {
  uint8_t dos[64];
  if (!source_.ReadAt(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
  const uint64_t peOffset = platform::LoadLe32(dos + 0x3C);
  uint8_t coff[24];
  if (!source_.ReadAt(peOffset, coff, sizeof coff)) return false;
  if (std::memcmp(coff, "PE\0\0", 4) != 0) return false;
  const uint16_t sectionCount = platform::LoadLe16(coff + 6);
  const uint16_t optionalSize = platform::LoadLe16(coff + 20);
  if (!ReadOptionalHeader(peOffset + 24, optionalSize)) return false;
  return ReadSections(peOffset + 24 + optionalSize, sectionCount);
}

bool PeImage::ReadOptionalHeader(uint64_t offset, uint16_t size) {
  std::vector<uint8_t> header(size);
  if (size < 2 || !source_.ReadAt(offset, header.data(), size)) return false;
  std::size_t countAt = 0;
  switch (platform::LoadLe16(header.data())) {
    case 0x10B:
      countAt = 92;
      break;  // PE32
    case 0x20B:
      countAt = 108;
      break;  // PE32+
    default:
      return false;
  }
  const std::size_t directoriesAt = countAt + 4;
  const std::size_t resourceAt = directoriesAt + kResourceDirectoryIndex * 8;
  if (size < resourceAt + 8) return false;
  if (platform::LoadLe32(header.data() + countAt) <= kResourceDirectoryIndex) return false;
  resourceRva_ = platform::LoadLe32(header.data() + resourceAt);
  return resourceRva_ != 0;
}

bool PeImage::ReadSections(uint64_t offset, uint16_t count) {
  if (count == 0 || count > kMaxSections) return false;
  std::vector<uint8_t> table(static_cast<std::size_t>(count) * 40);
  if (!source_.ReadAt(offset, table.data(), table.size())) return false;
  for (uint16_t i = 0; i < count; ++i) {
    const uint8_t* s = table.data() + i * 40;
    sections_.push_back(
        {platform::LoadLe32(s + 12), platform::LoadLe32(s + 16), platform::LoadLe32(s + 20)});
  }
  return true;
}

bool PeImage::RvaToOffset(uint32_t rva, uint32_t size, uint64_t* offset) const {
  for (const Section& s : sections_) {
    if (rva < s.virtualAddress) continue;
    const uint64_t into = rva - s.virtualAddress;
    if (into + size > s.rawSize) continue;
    *offset = static_cast<uint64_t>(s.rawOffset) + into;
    return true;
  }
  return false;
}

bool PeImage::ReadRva(uint32_t rva, void* out, uint32_t size) {
  uint64_t offset = 0;
  return RvaToOffset(rva, size, &offset) && source_.ReadAt(offset, out, size);
}

std::optional<std::vector<DirectoryEntry>> PeImage::ReadDirectory(uint32_t relative) {
  const uint64_t rva = static_cast<uint64_t>(resourceRva_) + relative;
  if (rva > UINT32_MAX) return std::nullopt;
  uint8_t header[16];
  if (!ReadRva(static_cast<uint32_t>(rva), header, sizeof header)) return std::nullopt;
  const uint32_t count =
      static_cast<uint32_t>(platform::LoadLe16(header + 12)) + platform::LoadLe16(header + 14);
  std::vector<uint8_t> raw(static_cast<std::size_t>(count) * 8);
  if (rva + 16 + raw.size() > UINT32_MAX) return std::nullopt;
  if (count > 0 && !ReadRva(static_cast<uint32_t>(rva + 16), raw.data(), count * 8)) {
    return std::nullopt;
  }
  std::vector<DirectoryEntry> entries;
  for (uint32_t i = 0; i < count; ++i) {
    entries.push_back(
        {platform::LoadLe32(raw.data() + i * 8), platform::LoadLe32(raw.data() + i * 8 + 4)});
  }
  return entries;
}

std::optional<std::vector<uint8_t>> PeImage::VersionData() {
  const auto types = ReadDirectory(0);
  if (!types) return std::nullopt;
  const DirectoryEntry* version = nullptr;
  for (const DirectoryEntry& e : *types) {
    if (e.name == kResourceTypeVersion) {
      version = &e;
      break;
    }
  }
  if (version == nullptr || !(version->target & kHighBit)) return std::nullopt;
  const auto names = ReadDirectory(version->target & ~kHighBit);
  if (!names || names->empty() || !(names->front().target & kHighBit)) return std::nullopt;
  const auto languages = ReadDirectory(names->front().target & ~kHighBit);
  if (!languages || languages->empty() || (languages->front().target & kHighBit)) {
    return std::nullopt;
  }
  const uint64_t entryRva = static_cast<uint64_t>(resourceRva_) + languages->front().target;
  uint8_t entry[16];
  if (entryRva > UINT32_MAX || !ReadRva(static_cast<uint32_t>(entryRva), entry, sizeof entry)) {
    return std::nullopt;
  }
  const uint32_t dataRva = platform::LoadLe32(entry);
  const uint32_t dataSize = platform::LoadLe32(entry + 4);
  if (dataSize == 0 || dataSize > kMaxVersionData) return std::nullopt;
  std::vector<uint8_t> data(dataSize);
  if (!ReadRva(dataRva, data.data(), dataSize)) return std::nullopt;
  return data;
}

// An open device file read at arbitrary offsets.
class FileByteSource : public ByteSource {
 public:
  explicit FileByteSource(std::unique_ptr<platform::File> file) : file_(std::move(file)) {
    if (!file_->GetSize(&size_)) size_ = 0;
  }
  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t offset, void* out, std::size_t count) override {
    if (offset > size_ || count > size_ - offset) return false;
    uint64_t position = 0;
    if (!file_->Seek(static_cast<int64_t>(offset), platform::SeekOrigin::Begin, &position))
      return false;
    auto* bytes = static_cast<uint8_t*>(out);
    while (count > 0) {
      uint32_t got = 0;
      if (!file_->Read(bytes, static_cast<uint32_t>(count), &got) || got == 0) return false;
      bytes += got;
      count -= got;
    }
    return true;
  }

 private:
  std::unique_ptr<platform::File> file_;
  uint64_t size_ = 0;
};

class PeVersionResources : public platform::VersionResources {
 public:
  explicit PeVersionResources(platform::FileSystem& files) : files_(files) {}

  std::optional<std::vector<uint8_t>> ReadVersionBlock(std::u16string_view path) override {
    auto file = files_.Open(path, platform::AccessRead, platform::Disposition::OpenExisting);
    std::optional<std::vector<uint8_t>> block;
    if (file) {
      FileByteSource source(std::move(file));
      block = FindVersionResource(source);
    }
    return block;  // traced by platform/traced_services, as every host's
  }

 private:
  platform::FileSystem& files_;
};

}  // namespace

bool MemoryByteSource::ReadAt(uint64_t offset, void* out, std::size_t count) {
  if (offset > size_ || count > size_ - offset) return false;
  if (count > 0) std::memcpy(out, data_ + offset, count);
  return true;
}

std::optional<std::vector<uint8_t>> FindVersionResource(ByteSource& image) {
  PeImage pe(image);
  if (!pe.ReadHeaders()) return std::nullopt;
  return pe.VersionData();
}

std::unique_ptr<platform::VersionResources> CreatePeVersionResources(platform::FileSystem& files) {
  return std::make_unique<PeVersionResources>(files);
}

}  // namespace readers
