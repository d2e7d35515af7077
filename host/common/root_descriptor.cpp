// The descriptor's ownership, the same on every host: each host closes it
// through its own CloseDescriptor.
#include "host/root_files.h"

namespace host {

RootDescriptor::~RootDescriptor() {
  if (fd_ >= 0) CloseDescriptor(fd_);
}

RootDescriptor& RootDescriptor::operator=(RootDescriptor&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) CloseDescriptor(fd_);
    fd_ = other.Release();
  }
  return *this;
}

int RootDescriptor::Release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

}  // namespace host
