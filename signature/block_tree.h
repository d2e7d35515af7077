// A file's hash as a two-level tree: BLAKE2b-256 of each 64 KiB block, and
// over them the file's hash, BLAKE2b-256 of the file's size (8 bytes, little
// endian) followed by the block hashes in order. Any single block can then be
// checked on its own against the kept block hashes, once their list has been
// checked against the file's hash.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace signature {

using BlockHash = std::array<uint8_t, 32>;  // BLAKE2b-256

inline constexpr uint32_t kTreeBlockBytes = 64 * 1024;

// The list of block hashes and the size they cover. An empty file has no
// blocks.
struct BlockTree {
  uint64_t size = 0;
  std::vector<BlockHash> blocks;
};

BlockHash HashBlock(const void* data, std::size_t length);
// The file's hash over a tree's size and blocks.
BlockHash TreeRoot(const BlockTree& tree);

// The tree of bytes handed in piece by piece, of any length and alignment.
class BlockTreeHasher {
 public:
  BlockTreeHasher();
  void Update(const void* data, std::size_t length);
  // The tree of everything so far; Update must not follow.
  BlockTree Finish();

 private:
  void CloseBlock();

  BlockTree tree_;
  std::vector<uint8_t> partial_;  // the bytes of the block not yet complete
};

}  // namespace signature
