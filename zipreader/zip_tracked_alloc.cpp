// inflate's memory goes through these, so that an entry abandoned by an
// exception is freed without inflateEnd.
#include <algorithm>
#include <cstdlib>
#include <new>

#include "zipreader/zip_reader.h"

void* TrackedAlloc(void* opaque, unsigned items, unsigned size) {
  void* block = std::malloc(static_cast<size_t>(items) * size);
  if (opaque == nullptr) return block;
  try {
    static_cast<ZipBlockList*>(opaque)->push_back(block);
  } catch (const std::bad_alloc&) {
    // inflate is C code: report a failed allocation, never throw through it.
    std::free(block);
    return nullptr;
  }
  return block;
}

void TrackedFree(void* opaque, void* block) {
  if (opaque != nullptr) {
    auto* list = static_cast<ZipBlockList*>(opaque);
    auto found = std::find(list->begin(), list->end(), block);
    if (found != list->end()) list->erase(found);
  }
  std::free(block);
}

void CZipReader::FreeTrackedBlocks() {
  for (void* block : blocks) std::free(block);
  blocks.clear();
}
