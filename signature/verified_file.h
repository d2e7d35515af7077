// Reading a file whose block tree was checked against a signed manifest, so
// that bytes which change on the medium after the check never reach the
// reader: every read is served in whole 64 KiB blocks, each hashed and
// compared with the verified block hash before a byte of it is handed out.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system_wrapper.h"
#include "signature/block_tree.h"
#include "signature/minisign.h"

namespace signature {

// What every verifying open of one file shares: the verified tree, and
// whether any of them has met a block that no longer matches it.
struct VerifiedTree {
  BlockTree tree;
  std::atomic<bool> changed{false};
};

// Seek and GetSize see the verified size; writing fails. A block that does
// not match (or cannot be read whole) fails the read, leaves nothing of it in
// the buffer and marks the tree changed.
class VerifiedFile : public platform::FileWrapper {
 public:
  VerifiedFile(std::unique_ptr<platform::File> inner, std::shared_ptr<VerifiedTree> verified);

  bool Read(void* buffer, uint32_t count, uint32_t* got) override;
  bool Write(const void* buffer, uint32_t count) override;
  bool Seek(int64_t offset, platform::SeekOrigin origin, uint64_t* newPosition) override;
  bool GetSize(uint64_t* size) override;
  bool SetEnd() override { return false; }

 private:
  // Reads block `index` whole from the inner file into `out` and checks it.
  bool ReadBlock(uint64_t index, uint8_t* out, uint32_t length);
  uint32_t BlockLength(uint64_t index) const;

  std::shared_ptr<VerifiedTree> verified_;
  uint64_t position_ = 0;
  uint64_t innerPosition_ = UINT64_MAX;  // unknown until the first seek
  std::vector<uint8_t> block_;           // the last block checked
  uint64_t blockIndex_ = UINT64_MAX;     // which one it is
};

// The device's file system with every open of one file for reading served
// through a VerifiedFile: the ZIP reader, its workers and the staging pass
// all open the package by its path.
class VerifyingFileSystem : public platform::FileSystemWrapper {
 public:
  VerifyingFileSystem(platform::FileSystem& target, std::u16string path,
                      std::shared_ptr<VerifiedTree> verified);
  std::unique_ptr<platform::File> Open(std::u16string_view path, uint32_t access,
                                       platform::Disposition disposition) override;
  // Whether a read of the file met a block that no longer matched.
  bool ChangedInUse() const { return verified_->changed; }

 private:
  std::u16string path_;
  std::shared_ptr<VerifiedTree> verified_;
};

// Reads an open file from its start to its end, a piece at a time handed to
// `take`; false when a read fails on the way.
bool ReadOpenFile(platform::File& file,
                  const std::function<void(const uint8_t* bytes, std::size_t count)>& take);

// The block tree of an open file, read from its start to its end.
bool TreeOfOpenFile(platform::File& file, BlockTree* tree);

// The BLAKE2b-512 digest of an open file, read from its start to its end
// (what a whole-file minisign signature signs); none when it cannot be read.
std::optional<Digest> DigestOfOpenFile(platform::File& file);

}  // namespace signature
