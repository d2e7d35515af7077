// Every fitkit command ends with one line that says how it went, the last
// line on standard error; the details go to standard output. A script reads
// the exit code, a person the line: `fitkit check ... 2>&1 | tail -n 1`.
#pragma once

#include <string>

namespace fitkit {

// Writes `line` to standard error after whatever standard output holds, so
// that on a terminal it comes last too.
void SayVerdict(const std::string& line);

}  // namespace fitkit
