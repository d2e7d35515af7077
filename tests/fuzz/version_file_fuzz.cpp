// Fuzz target: the input is an image set's version file, read from a scratch
// device root the way imagefit reads it (its first bytes, parsed).
#include <cstdint>
#include <fstream>
#include <string_view>

#include "host/linux/file_system.h"
#include "imagefit/image_version.h"
#include "platform/environment.h"
#include "tests/fuzz/scratch_root.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto& scratch = fuzz_support::ScratchRoot::Get();
  std::ofstream(scratch.fs() / "Storage Card" / "KTR 60.ini", std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), std::streamsize(size));
  host::LinuxFileSystem files(scratch.root(), 0);
  platform::Environment env;
  env.files = &files;
  platform::ScopedEnvironment installed(env);
  const uint32_t fromFile = imagefit::ReadImageVersion(u"\\Storage Card\\KTR 60.ini");
  const uint32_t whole =
      imagefit::ParseImageVersion(std::string_view(reinterpret_cast<const char*>(data), size));
  // The file is read up to 260 bytes: a short input reads the same both ways.
  if (size < 260 && fromFile != whole) __builtin_trap();
  imagefit::FormatShownVersion(whole);
  return 0;
}
