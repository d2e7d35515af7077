// Fuzz target: the input is a package on a scratch device root's storage
// card, opened and extracted the way shellfit does it: every entry under a
// name of its own below "\Flash Disk\" (an absolute entry name as given),
// through the real file system and its device paths. The sanitizers catch
// memory faults; any change outside the device's file system aborts.
#include <cstdint>
#include <fstream>
#include <string>

#include "host/linux/file_system.h"
#include "host/linux/iconv_code_page.h"
#include "platform/environment.h"
#include "tests/fuzz/scratch_root.h"
#include "zipreader/zip_reader.h"

namespace {

std::u16string DestinationOf(const std::u16string& entryName) {
  if (!entryName.empty() && entryName.front() == u'\\') return entryName;
  return u"\\Flash Disk\\" + entryName;
}

void ExtractAll(CZipReader& reader) {
  reader.OpenArchive(u"\\Storage Card\\p.zip", 1, 0);
  reader.SetPassword(u".TORVA.");
  CZipEntryHeader header;
  for (unsigned i = 0; i <= 0xFFFF && reader.GetEntryInfo(header, i); ++i) {
    try {
      reader.ExtractEntry(static_cast<uint16_t>(i), nullptr, true,
                          DestinationOf(header.GetEntryName()).c_str(), 65536);
    } catch (const CZipException&) {
      try {
        reader.CloseEntry(nullptr, true);
      } catch (const CZipException&) {
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto& scratch = fuzz_support::ScratchRoot::Get();
  std::ofstream(scratch.fs() / "Storage Card" / "p.zip", std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), std::streamsize(size));
  host::LinuxFileSystem files(scratch.root(), 64u << 20);
  static const auto codePage = host::IconvCodePage::Create("CP1252");
  platform::Environment env;
  env.files = &files;
  env.codePage = codePage.get();
  {
    platform::ScopedEnvironment installed(env);
    CZipReader reader;
    try {
      ExtractAll(reader);
    } catch (const CZipException&) {
    }
  }
  scratch.CheckOutside();
  scratch.Reset();
  return 0;
}
