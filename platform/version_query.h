// Looking values up in a VS_VERSIONINFO block the way VerQueryValue does:
// "\" for the fixed file info, "\VarFileInfo\Translation", and
// "\StringFileInfo\<lang><codepage>\<Name>". Blocks are walked by each one's
// own length with 4-byte alignment, so any resource compiler's padding works,
// and a damaged block gives "not found", never a read outside it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace platform {

struct VersionValue {
  std::span<const uint8_t> bytes;  // the stored value, never past its block
  uint32_t length = 0;             // what VerQueryValue reports (wValueLength)
  bool text = false;               // wType 1: UTF-16 text
};

// Path components are matched ignoring letter case; empty components are skipped.
std::optional<VersionValue> QueryVersionValue(std::span<const uint8_t> block,
                                              std::u16string_view subBlock);

// The value as UTF-16 text, up to its first NUL.
std::u16string VersionValueText(const VersionValue& value);

}  // namespace platform
