// Fuzz target: the input is an archive (and, for split archives, its other
// volumes) in an in-memory device; every entry is extracted. Besides the
// sanitizers' findings, anything written outside the target folder aborts.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tests/zipreader/fake_device.h"
#include "zipreader/zip_reader.h"

namespace {

void ExtractEvery(CZipReader& reader) {
  reader.OpenArchive(u"\\f.zip", 1, 0);
  reader.SetPassword(u".TORVA.");
  CZipEntryHeader header;
  for (unsigned i = 0; reader.GetEntryInfo(header, i) && i < 0x10000; ++i) {
    header.IsDirectory();
    try {
      unsigned bufferSize = (i % 2 == 0) ? 65536 : 1000;
      reader.ExtractEntry(static_cast<uint16_t>(i), u"\\out", true, nullptr, bufferSize);
    } catch (const CZipException&) {
      reader.CloseEntry(nullptr, true);
    }
  }
}

bool Expected(const std::string& key) {
  return key == "out" || key.rfind("out\\", 0) == 0 || key == "f.zip" || key == "f.z01" ||
         key == "f.z02";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zip_test::FakeDevice device;
  device.files.maxFileBytes = 64u << 20;
  std::string bytes(reinterpret_cast<const char*>(data), size);
  device.files.Put("\\f.zip", bytes);
  device.files.Put("\\f.z01", bytes);
  device.files.Put("\\f.z02", std::string(bytes.rbegin(), bytes.rend()));
  {
    CZipReader reader;
    try {
      ExtractEvery(reader);
    } catch (const CZipException&) {
      // Damaged archives end here; the reader is destroyed with whatever it held.
    }
  }
  for (const std::string& key : device.files.Keys()) {
    if (!Expected(key)) std::abort();
  }
  return 0;
}
