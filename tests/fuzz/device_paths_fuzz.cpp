// Fuzz target: the input is a device path (UTF-8), used against a scratch
// device root whose file system holds folders, a file and links that lead
// out, in circles and back in. Every file system operation is tried with
// it; nothing outside the file system may change, and every name the
// kit lists must lie inside.
#include <cstdint>
#include <string>

#include "host/linux/file_system.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "tests/fuzz/scratch_root.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto& scratch = fuzz_support::ScratchRoot::Get();
  host::LinuxFileSystem files(scratch.root(), 1u << 20);
  const std::u16string path =
      platform::FromUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
  using platform::Disposition;
  files.GetAttributes(path);
  files.Find(path);
  if (auto file =
          files.Open(path, platform::AccessRead | platform::AccessWrite, Disposition::OpenAlways)) {
    file->Write("x", 1);
    file->SetEnd();
    const platform::FileTime time{0x01D0000000000000ull};
    file->SetTimes(&time, &time, &time);
  }
  files.SetAttributes(path, platform::FILE_ATTRIBUTE_READONLY);
  files.SetAttributes(path, platform::FILE_ATTRIBUTE_NORMAL);
  files.CreateDirectory(path);
  files.DeleteFile(path);
  files.RemoveDirectory(path);
  scratch.CheckOutside();
  scratch.Reset();
  return 0;
}
