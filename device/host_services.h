// What each host brings to the one composition of a device root
// (device.cpp): the services built on its own API, and how a program learns
// its root and its arguments. host_services_linux.cpp and
// host_services_win32.cpp implement it; a new service is composed in
// device.cpp and made here.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/code_page.h"
#include "platform/failure_reason.h"
#include "platform/file_system.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "platform/version_resources.h"

namespace device {

// The device's file system over <root>/fs; `capacity` 0 for no limit.
std::unique_ptr<platform::FileSystem> CreateDeviceFileSystem(const std::filesystem::path& root,
                                                             uint64_t capacity);
std::unique_ptr<platform::Registry> OpenDeviceRegistry(const std::filesystem::path& root);
// The code page `name` (device.ini's acp) as the host converts it; null when
// the host does not know it.
std::unique_ptr<platform::CodePage> CreateHostCodePage(const std::string& name);
// What converts code pages on this host, for the message when one is unknown.
extern const char* const kCodePageConverter;
std::unique_ptr<platform::SystemServices> CreateDeviceSystem(const std::filesystem::path& root);
std::unique_ptr<platform::ProcessTable> CreateDeviceProcesses(const std::filesystem::path& root,
                                                              bool toolhelp);
// `files` is what CreateDeviceFileSystem made.
std::unique_ptr<platform::VersionResources> CreateDeviceVersions(platform::FileSystem& files);

// The host's reason for a failed call (errno, GetLastError), for the traces.
platform::FailureReasons HostFailureReasons();

// The folder FITKIT_DEVICE names; empty when it is unset or empty.
std::filesystem::path NamedDeviceRoot();
// The running program's own folder; empty when it cannot be read.
std::filesystem::path ProgramFolder();
// The program's arguments joined with one blank.
std::u16string ProgramArguments(int argc, char** argv);

}  // namespace device
