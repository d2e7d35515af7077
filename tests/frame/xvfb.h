// Starting programs under a private X server for the window tests.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <string>

namespace frame_test {

inline bool HaveCommand(const char* name) {
  return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0;
}

// "xvfb-run ..." with an 800x600 screen. Its -a search starts at a number of
// its own per process, so parallel test runs do not race for the same one.
inline std::string XvfbRun() {
  return "xvfb-run -a -n " + std::to_string(100 + getpid() % 800) +
         " -s '-screen 0 800x600x24' ";
}

}  // namespace frame_test
