// The device's rules for names, applied to where each entry will be written.
#pragma once

#include <string>
#include <string_view>

namespace shellfit {

// Empty when the device accepts `destination` (the device path an entry named
// `entryName` is written to); else why not, in a technician's words.
std::u16string NameProblem(std::u16string_view entryName, std::u16string_view destination);

// Where an entry is written: its own name when that is an absolute device
// path, else below `base` (the target folder with its "\").
std::u16string EntryDestination(const std::u16string& entryName, std::u16string_view base);

}  // namespace shellfit
