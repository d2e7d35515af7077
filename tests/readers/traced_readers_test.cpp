// The readers as the device uses them, wrapped for FITKIT_TRACE: each
// registry and version call is one trace line, not one from the reader and
// another from the wrapper.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/trace.h"
#include "platform/traced_services.h"
#include "readers/file_registry.h"
#include "readers/version_pe.h"
#include "tests/support/memory_file_system.h"

namespace {

std::size_t CountLines(const std::string& text, const std::string& start) {
  std::size_t count = 0;
  for (std::size_t at = text.find(start); at != std::string::npos; at = text.find(start, at + 1)) {
    ++count;
  }
  return count;
}

TEST(TracedReaders, SayEachCallOnce) {
  auto file = std::make_unique<readers::FileRegistry>();
  file->SetValue(u"Ident", u"Model", {platform::REG_SZ, {'K', 0, 0, 0}});
  const auto registry = platform::TraceRegistry(std::move(file));
  test_support::MemoryFileSystem memory;
  memory.Put("\\Flash Disk\\main.exe", "no PE image");
  const auto versions = platform::TraceVersions(readers::CreatePeVersionResources(memory));

  platform::SetTraceEnabled(true);
  testing::internal::CaptureStderr();
  EXPECT_TRUE(registry->KeyExists(u"Ident"));
  EXPECT_TRUE(registry->QueryValue(u"Ident", u"Model"));
  EXPECT_FALSE(versions->ReadVersionBlock(u"\\Flash Disk\\main.exe"));
  const std::string lines = testing::internal::GetCapturedStderr();
  platform::SetTraceEnabled(false);

  EXPECT_EQ(CountLines(lines, "RegOpenKeyEx(HKLM\\Ident)"), 1u) << lines;
  EXPECT_EQ(CountLines(lines, "RegQueryValueEx(HKLM\\Ident, \"Model\")"), 1u) << lines;
  EXPECT_EQ(CountLines(lines, "ReadVersionBlock(\\Flash Disk\\main.exe)"), 1u) << lines;
  EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 3) << lines;
}

}  // namespace
