// Writing the report's text to where FITKIT_REPORT names: "-" is standard
// output; a regular file (or a missing name) is replaced whole through a
// temporary file beside it, keeping an existing file's mode and owner; any
// other existing thing (a device, a named pipe, a terminal) is written in
// place and never replaced; a folder or a link to nothing is refused.
#pragma once

#include <filesystem>
#include <string>

namespace fitkit {

// False with `error` set when the report could not be written.
bool WriteReportFile(const std::filesystem::path& file, const std::string& text,
                     std::string* error);

}  // namespace fitkit
