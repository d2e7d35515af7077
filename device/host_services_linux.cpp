// The services of a device root on Linux (host/linux/), and the program's
// root and arguments as Linux gives them.
#include "device/host_services.h"

#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "host/linux/file_system.h"
#include "host/linux/iconv_code_page.h"
#include "host/linux/processes.h"
#include "host/linux/system_services.h"
#include "platform/text.h"
#include "readers/file_registry.h"
#include "readers/version_pe.h"

namespace device {
namespace fs = std::filesystem;

std::unique_ptr<platform::FileSystem> CreateDeviceFileSystem(const fs::path& root,
                                                             uint64_t capacity) {
  return std::make_unique<host::LinuxFileSystem>(root, capacity,
                                                 host::FolderKeeping::WatchedWhenBusy);
}

std::unique_ptr<platform::Registry> OpenDeviceRegistry(const fs::path& root) {
  return readers::FileRegistry::Load(root / "registry.reg");
}

const char* const kCodePageConverter = "iconv";

std::unique_ptr<platform::CodePage> CreateHostCodePage(const std::string& name) {
  return host::IconvCodePage::Create(name);
}

std::unique_ptr<platform::SystemServices> CreateDeviceSystem(const fs::path& root) {
  return std::make_unique<host::LinuxSystemServices>(root);
}

std::unique_ptr<platform::ProcessTable> CreateDeviceProcesses(const fs::path& root, bool toolhelp) {
  return host::CreateHostProcessTable(root, toolhelp);
}

std::unique_ptr<platform::VersionResources> CreateDeviceVersions(platform::FileSystem& files) {
  return readers::CreatePeVersionResources(files);
}

platform::FailureReasons HostFailureReasons() {
  platform::FailureReasons reasons;
  reasons.forget = [] { errno = 0; };
  reasons.last = []() -> std::string {
    return errno == 0 ? std::string() : std::generic_category().message(errno);
  };
  return reasons;
}

fs::path NamedDeviceRoot() {
  const char* named = std::getenv("FITKIT_DEVICE");
  return named == nullptr ? fs::path() : fs::path(named);
}

fs::path ProgramFolder() {
  std::error_code error;
  const fs::path exe = fs::read_symlink("/proc/self/exe", error);
  return error ? fs::path() : exe.parent_path();
}

std::u16string ProgramArguments(int argc, char** argv) {
  std::string arguments;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) arguments += ' ';
    arguments += argv[i];
  }
  return platform::FromUtf8(arguments);
}

}  // namespace device
