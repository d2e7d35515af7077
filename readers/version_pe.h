// Finding the version resource (RT_VERSION) inside a Windows PE image. The
// image may be damaged or hostile: every offset is checked against the file
// before it is read, and anything out of place means "no version".
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace platform {
class FileSystem;
class VersionResources;
}  // namespace platform

namespace readers {

// The version resources of the PE files on `files` (GetFileVersionInfo and
// VerQueryValue over the device's file system).
std::unique_ptr<platform::VersionResources> CreatePeVersionResources(platform::FileSystem& files);

// Random access to the bytes of one image.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t Size() const = 0;
  // Reads exactly `count` bytes at `offset`; false when any of them lies
  // outside the source or the read fails.
  virtual bool ReadAt(uint64_t offset, void* out, std::size_t count) = 0;
};

class MemoryByteSource : public ByteSource {
 public:
  MemoryByteSource(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t offset, void* out, std::size_t count) override;

 private:
  const uint8_t* data_;
  std::size_t size_;
};

// The data of the first language of the first name of the image's RT_VERSION
// resource (a VS_VERSIONINFO block); none when the source is no PE image, is
// damaged, or has no such resource.
std::optional<std::vector<uint8_t>> FindVersionResource(ByteSource& image);

}  // namespace readers
