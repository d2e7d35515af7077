// Writing the outcome report's text to where FITKIT_REPORT names: "-" is
// standard output; a regular file (or a missing name) is replaced whole
// through a temporary file beside it, keeping an existing file's mode and
// owner where the host has them; on Linux any other existing thing (a
// device, a named pipe, a terminal) is written in place and never replaced,
// and a folder or a link to nothing is refused. Declared once for every
// host; host/linux/ and host/win32/ each implement it.
#pragma once

#include <filesystem>
#include <string>

namespace host {

// False with `error` set when the report could not be written.
bool WriteReportFile(const std::filesystem::path& file, const std::string& text,
                     std::string* error);

}  // namespace host
