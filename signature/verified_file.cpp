#include "signature/verified_file.h"

#include <algorithm>
#include <cstring>

#include "platform/text.h"

namespace signature {

VerifiedFile::VerifiedFile(std::unique_ptr<platform::File> inner,
                           std::shared_ptr<VerifiedTree> verified)
    : FileWrapper(std::move(inner)), verified_(std::move(verified)) {}

uint32_t VerifiedFile::BlockLength(uint64_t index) const {
  const uint64_t start = index * kTreeBlockBytes;
  return uint32_t(std::min<uint64_t>(kTreeBlockBytes, verified_->tree.size - start));
}

bool VerifiedFile::ReadBlock(uint64_t index, uint8_t* out, uint32_t length) {
  const uint64_t start = index * kTreeBlockBytes;
  uint64_t at = 0;
  bool whole =
      innerPosition_ == start || target().Seek(int64_t(start), platform::SeekOrigin::Begin, &at);
  uint32_t have = 0;
  while (whole && have < length) {
    uint32_t got = 0;
    whole = target().Read(out + have, length - have, &got) && got > 0;
    have += got;
  }
  innerPosition_ = start + have;
  if (whole && HashBlock(out, length) == verified_->tree.blocks[index]) return true;
  std::memset(out, 0, length);
  verified_->changed = true;
  return false;
}

bool VerifiedFile::Read(void* buffer, uint32_t count, uint32_t* got) {
  *got = 0;
  auto* out = static_cast<uint8_t*>(buffer);
  const uint64_t size = verified_->tree.size;
  while (*got < count && position_ < size) {
    const uint64_t index = position_ / kTreeBlockBytes;
    const uint32_t offset = uint32_t(position_ % kTreeBlockBytes);
    const uint32_t length = BlockLength(index);
    const uint32_t take = std::min(count - *got, length - offset);
    // A whole block asked for goes straight into the caller's buffer.
    if (offset == 0 && take == length && index != blockIndex_) {
      if (!ReadBlock(index, out + *got, length)) {
        std::memset(buffer, 0, *got);
        *got = 0;
        return false;
      }
    } else {
      if (index != blockIndex_) {
        block_.resize(length);
        blockIndex_ = UINT64_MAX;
        if (!ReadBlock(index, block_.data(), length)) {
          std::memset(buffer, 0, *got);
          *got = 0;
          return false;
        }
        blockIndex_ = index;
      }
      std::memcpy(out + *got, block_.data() + offset, take);
    }
    *got += take;
    position_ += take;
  }
  return true;
}

bool VerifiedFile::Write(const void*, uint32_t) { return false; }

bool VerifiedFile::Seek(int64_t offset, platform::SeekOrigin origin, uint64_t* newPosition) {
  const int64_t base = origin == platform::SeekOrigin::Begin     ? 0
                       : origin == platform::SeekOrigin::Current ? int64_t(position_)
                                                                 : int64_t(verified_->tree.size);
  if (base + offset < 0) return false;
  position_ = uint64_t(base + offset);
  if (newPosition != nullptr) *newPosition = position_;
  return true;
}

bool VerifiedFile::GetSize(uint64_t* size) {
  *size = verified_->tree.size;
  return true;
}

VerifyingFileSystem::VerifyingFileSystem(platform::FileSystem& target, std::u16string path,
                                         std::shared_ptr<VerifiedTree> verified)
    : FileSystemWrapper(target), path_(std::move(path)), verified_(std::move(verified)) {}

std::unique_ptr<platform::File> VerifyingFileSystem::Open(std::u16string_view path, uint32_t access,
                                                          platform::Disposition disposition) {
  auto file = FileSystemWrapper::Open(path, access, disposition);
  if (file == nullptr || access != platform::AccessRead || !platform::EqualsNoCase(path, path_)) {
    return file;
  }
  return std::make_unique<VerifiedFile>(std::move(file), verified_);
}

bool ReadOpenFile(platform::File& file,
                  const std::function<void(const uint8_t* bytes, std::size_t count)>& take) {
  uint64_t at = 0;
  if (!file.Seek(0, platform::SeekOrigin::Begin, &at)) return false;
  std::vector<uint8_t> chunk(16 * kTreeBlockBytes);
  for (;;) {
    uint32_t got = 0;
    if (!file.Read(chunk.data(), uint32_t(chunk.size()), &got)) return false;
    if (got == 0) return true;
    take(chunk.data(), got);
  }
}

namespace {

// A forward-only reader of a borrowed file that hands every byte it reads to
// the hasher; a failed read is remembered, since the tree is then not whole.
class HashingReader : public platform::File {
 public:
  HashingReader(platform::File& file, BlockTreeHasher& hasher) : file_(file), hasher_(hasher) {}

  bool Read(void* buffer, uint32_t count, uint32_t* got) override {
    *got = 0;
    if (!file_.Read(buffer, count, got)) failed_ = true;
    if (!failed_) hasher_.Update(buffer, *got);
    return !failed_;
  }
  bool Write(const void*, uint32_t) override { return false; }
  bool Seek(int64_t, platform::SeekOrigin, uint64_t*) override { return false; }
  bool GetSize(uint64_t* size) override { return file_.GetSize(size); }
  bool SetEnd() override { return false; }
  bool Flush() override { return true; }
  bool GetTimes(platform::FileTime* creation, platform::FileTime* access,
                platform::FileTime* write) override {
    return file_.GetTimes(creation, access, write);
  }
  bool SetTimes(const platform::FileTime*, const platform::FileTime*,
                const platform::FileTime*) override {
    return false;
  }
  bool failed() const { return failed_; }

 private:
  platform::File& file_;
  BlockTreeHasher& hasher_;
  bool failed_ = false;
};

}  // namespace

bool TreeOfOpenFileWith(platform::File& file, BlockTree* tree,
                        const std::function<void(platform::File& hashed)>& first) {
  BlockTreeHasher hasher;
  uint64_t at = 0;
  if (!file.Seek(0, platform::SeekOrigin::Begin, &at)) return false;
  HashingReader reader(file, hasher);
  if (first) first(reader);
  std::vector<uint8_t> chunk(16 * kTreeBlockBytes);
  uint32_t got = 0;
  do {
    if (!reader.Read(chunk.data(), uint32_t(chunk.size()), &got)) break;
  } while (got > 0);
  uint64_t size = 0;
  *tree = hasher.Finish();
  return !reader.failed() && file.GetSize(&size) && size == tree->size;
}

bool TreeOfOpenFile(platform::File& file, BlockTree* tree) {
  return TreeOfOpenFileWith(file, tree, nullptr);
}

std::optional<Digest> DigestOfOpenFile(platform::File& file) {
  FileDigest digest;
  if (!ReadOpenFile(file, [&digest](const uint8_t* bytes, std::size_t count) {
        digest.Update(bytes, count);
      })) {
    return std::nullopt;
  }
  return digest.Final();
}

}  // namespace signature
