#include "fitkit/verdict.h"

#include <cstdio>
#include <iostream>

namespace fitkit {

void SayVerdict(const std::string& line) {
  std::cout.flush();
  std::fflush(stdout);
  std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace fitkit
