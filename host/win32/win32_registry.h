// The host's own HKEY_LOCAL_MACHINE, read with RegOpenKeyExW and
// RegQueryValueExW: what the device itself reads. Used only when asked for
// (FITKIT_REGISTRY=host); by default the device root's registry.reg is read,
// so that a rehearsal on a workstation never depends on its registry.
#pragma once

#include <memory>

#include "platform/registry.h"

namespace host {

std::unique_ptr<platform::Registry> CreateHostRegistry();

}  // namespace host
