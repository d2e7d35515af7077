// The block tree's hashing, libgcrypt's BLAKE2b-256.
#include "signature/block_tree.h"

#include <gcrypt.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "signature/gcrypt_setup.h"

namespace signature {
BlockHash HashBlock(const void* data, std::size_t length) {
  InitialiseGcrypt();
  BlockHash hash{};
  gcry_md_hash_buffer(GCRY_MD_BLAKE2B_256, hash.data(), data, length);
  return hash;
}

BlockHash TreeRoot(const BlockTree& tree) {
  std::vector<uint8_t> text(8 + tree.blocks.size() * sizeof(BlockHash));
  for (int i = 0; i < 8; ++i) text[i] = uint8_t(tree.size >> (8 * i));
  for (std::size_t i = 0; i < tree.blocks.size(); ++i) {
    std::memcpy(text.data() + 8 + i * sizeof(BlockHash), tree.blocks[i].data(), sizeof(BlockHash));
  }
  return HashBlock(text.data(), text.size());
}

BlockTreeHasher::BlockTreeHasher() { partial_.reserve(kTreeBlockBytes); }

void BlockTreeHasher::Update(const void* data, std::size_t length) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  tree_.size += length;
  while (length > 0) {
    // Whole blocks straight from the caller's bytes, without a copy.
    if (partial_.empty() && length >= kTreeBlockBytes) {
      tree_.blocks.push_back(HashBlock(bytes, kTreeBlockBytes));
      bytes += kTreeBlockBytes;
      length -= kTreeBlockBytes;
      continue;
    }
    const std::size_t take = std::min<std::size_t>(length, kTreeBlockBytes - partial_.size());
    partial_.insert(partial_.end(), bytes, bytes + take);
    bytes += take;
    length -= take;
    if (partial_.size() == kTreeBlockBytes) CloseBlock();
  }
}

void BlockTreeHasher::CloseBlock() {
  tree_.blocks.push_back(HashBlock(partial_.data(), partial_.size()));
  partial_.clear();
}

BlockTree BlockTreeHasher::Finish() {
  if (!partial_.empty()) CloseBlock();
  return std::move(tree_);
}

}  // namespace signature
