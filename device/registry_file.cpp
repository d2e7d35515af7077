// The device root's registry.reg, read as a configuration file of the root:
// only a regular file within the size limit counts.
#include "host/config_file.h"
#include "readers/file_registry.h"

namespace readers {

std::unique_ptr<FileRegistry> FileRegistry::Load(const std::filesystem::path& file) {
  auto registry = std::make_unique<FileRegistry>();
  const auto bytes = host::ReadConfigFile(file, host::kRegistryFileLimit);
  if (bytes) ParseRegFile(*bytes, file.string(), registry.get());
  return registry;
}

}  // namespace readers
