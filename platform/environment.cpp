#include "platform/environment.h"

#include <cstdio>
#include <cstdlib>

namespace platform {
namespace {

Environment g_environment;

template <typename T>
T& Require(T* service, const char* name) {
  if (service == nullptr) {
    std::fprintf(stderr, "fitkit: platform service '%s' is not installed\n", name);
    std::abort();
  }
  return *service;
}

}  // namespace

Environment& Env() { return g_environment; }
FileSystem& Files() { return Require(g_environment.files, "files"); }
Registry& Reg() { return Require(g_environment.registry, "registry"); }
CodePage& Ansi() { return Require(g_environment.codePage, "codePage"); }
SystemServices& System() { return Require(g_environment.system, "system"); }
ProcessTable& Processes() { return Require(g_environment.processes, "processes"); }
VersionResources& Versions() { return Require(g_environment.versions, "versions"); }
DriverHost& Drivers() { return Require(g_environment.drivers, "drivers"); }
Kernel& KernelServices() { return Require(g_environment.kernel, "kernel"); }
DialogHost& Dialogs() { return Require(g_environment.dialogs, "dialogs"); }
SecurityFloor& Floors() { return Require(g_environment.floors, "floors"); }

ScopedEnvironment::ScopedEnvironment(const Environment& env) : previous_(g_environment) {
  g_environment = env;
}

ScopedEnvironment::~ScopedEnvironment() { g_environment = previous_; }

}  // namespace platform
