// Conversion of external attributes between the host systems the reader knows.
#include "zipreader/zip_entry_header.h"
#include "zipreader/zip_exception.h"

namespace {

using Converter = uint32_t (*)(uint32_t attributes, bool toHost);

uint32_t Unchanged(uint32_t attributes, bool) { return attributes; }

uint32_t ReadOnlyAndDirectory(uint32_t attributes, bool) { return attributes & 0x11; }

uint32_t UnixMode(uint32_t attributes, bool toHost) {
  uint32_t result = 0;
  if (toHost) {
    if (attributes & 0x40000000) result |= 0x10;
    if (!(attributes & 0x00400000)) result |= 0x20;
    if (!(attributes & 0x00800000)) result |= 0x01;
    if (!(attributes & 0x01000000)) result |= 0x02;
    return result;
  }
  if (!(attributes & 0x02)) result |= 0x01240000;
  if (!(attributes & 0x01)) result |= 0x00900000;
  result |= (attributes & 0x10) ? 0x40000010 : 0x80000000;
  return result;
}

constexpr Converter kConverters[11] = {
    Unchanged, nullptr, nullptr,   UnixMode, nullptr, nullptr, Unchanged, ReadOnlyAndDirectory,
    nullptr,   nullptr, Unchanged,
};

}  // namespace

uint32_t CZipEntryHeader::ConvertAttr(uint32_t attributes, int fromCode, int toCode) {
  if (fromCode == toCode || fromCode < 0 || toCode < 0 || fromCode > 10 || toCode > 10) {
    return attributes;
  }
  Converter from = kConverters[fromCode];
  Converter to = kConverters[toCode];
  if (from == nullptr || to == nullptr) RaiseZipError(ErrHostUnsupported, nullptr);
  return to(from(attributes, true), false);
}
