// Fuzz target: the input is a registry.reg. It is read whole, as a device
// root's registry is, and a few keys and values are asked for.
#include <cstdint>
#include <string_view>

#include "readers/file_registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  readers::FileRegistry registry;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  readers::ParseRegFile(bytes, "registry.reg", &registry);
  registry.KeyExists(u"Ident");
  registry.QueryValue(u"Ident", u"Model");
  registry.QueryValue(u"System\\StorageManager\\Profiles\\FlashDrv", u"Folder");
  registry.QueryValue(u"a\\b\\c", u"");
  return 0;
}
