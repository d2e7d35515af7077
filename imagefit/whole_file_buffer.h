// A raw boot-loader image read whole into memory, to be sent in one call.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/file_system.h"

namespace imagefit {

class HeldImageFiles;

// An open file, closed when the holder goes.
class FileHolder {
 public:
  virtual ~FileHolder() = default;
  bool IsOpen() const { return file_ != nullptr; }
  // Read only: the file `held` serves for `path`, else the file system's.
  bool Open(std::u16string_view path, bool writable, HeldImageFiles* held = nullptr);
  void Close() { file_.reset(); }
  platform::File* file() const { return file_.get(); }

 private:
  std::unique_ptr<platform::File> file_;
};

// Memory grown in whole steps; growing drops the old contents.
class ByteBuffer {
 public:
  static constexpr uint32_t kGrowthStep = 512;

  ByteBuffer() = default;
  ByteBuffer(const ByteBuffer&) = delete;
  ByteBuffer& operator=(const ByteBuffer&) = delete;
  virtual ~ByteBuffer();

  // At least `size` bytes of room (null when they cannot be had); length 0.
  uint8_t* Reserve(uint32_t size);
  void Clear();
  uint8_t* data() const { return data_; }
  uint32_t capacity() const { return capacity_; }
  uint32_t length() const { return length_; }
  void set_length(uint32_t length) { length_ = length; }

 private:
  uint8_t* data_ = nullptr;
  uint32_t capacity_ = 0;
  uint32_t length_ = 0;
};

class WholeFileBuffer {
 public:
  // Files opened to be read come from `held` where it serves them.
  explicit WholeFileBuffer(HeldImageFiles* held = nullptr) : held_(held) {}
  virtual ~WholeFileBuffer();

  // Fails when a file is already open.
  bool Open(std::u16string_view path, bool writable);
  // Reads `size` bytes, or the whole file when `size` is 0, and puts a zero
  // byte behind them. The file stays open until Close or destruction.
  bool Load(std::u16string_view path, uint32_t size);
  void Close();
  void Clear() { buffer_.Clear(); }
  uint8_t* Reserve(uint32_t size) { return buffer_.Reserve(size); }
  const uint8_t* data() const { return buffer_.data(); }
  uint32_t length() const { return buffer_.length(); }
  uint32_t capacity() const { return buffer_.capacity(); }

 private:
  uint32_t OpenFileSize() const;

  HeldImageFiles* held_;
  FileHolder file_;
  ByteBuffer buffer_;
};

}  // namespace imagefit
