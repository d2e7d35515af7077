// FITKIT_TRACE=1 for the device's other services: the code page, the system
// calls, the process table, the registry and the version resources, one line
// a call, the same on every host. Each takes the host's service and forwards
// every call to it.
#pragma once

#include <memory>
#include <string>

#include "platform/code_page.h"
#include "platform/failure_reason.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "platform/version_resources.h"

namespace platform {

// `name` is the code page as device.ini names it.
std::unique_ptr<CodePage> TraceCodePage(std::unique_ptr<CodePage> target, std::string name);
std::unique_ptr<SystemServices> TraceSystem(std::unique_ptr<SystemServices> target,
                                            FailureReasons reasons);
std::unique_ptr<ProcessTable> TraceProcesses(std::unique_ptr<ProcessTable> target,
                                             FailureReasons reasons);
std::unique_ptr<Registry> TraceRegistry(std::unique_ptr<Registry> target);
std::unique_ptr<VersionResources> TraceVersions(std::unique_ptr<VersionResources> target);

}  // namespace platform
