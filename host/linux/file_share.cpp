// Holding a file open for reading against writers, the way the device's read
// sharing holds it: on the host this is a read lease.
#include <fcntl.h>
#include <signal.h>

#include "host/linux/file.h"

namespace host {
namespace {

// The kernel tells a lease holder with SIGIO that a writer waits; the holder
// keeps its lease until it closes, so the signal is of no use and must not end
// the program (its default action).
void IgnoreLeaseBreaks() {
  struct sigaction current {};
  if (sigaction(SIGIO, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
    signal(SIGIO, SIG_IGN);
  }
}

}  // namespace

bool LinuxFile::DenyWriters() {
  bool ok = false;
  if ((access_ & platform::AccessWrite) == 0) {
    IgnoreLeaseBreaks();
    ok = fcntl(fd_, F_SETLEASE, F_RDLCK) == 0;
  }
  return ok;
}

}  // namespace host
