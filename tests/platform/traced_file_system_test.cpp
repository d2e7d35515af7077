// The trace lines of the file calls: the same text whichever host serves
// them, with the byte counts and the host's reason for a failure.
#include <gtest/gtest.h>

#include <string>

#include "platform/trace.h"
#include "platform/traced_file_system.h"
#include "tests/support/memory_file_system.h"

namespace {

using namespace platform;

std::string g_reason;

FailureReasons TestReasons() {
  FailureReasons reasons;
  reasons.forget = [] { g_reason.clear(); };
  reasons.last = [] { return g_reason; };
  return reasons;
}

// A host that says why it keeps a folder.
class RefusingFileSystem : public test_support::MemoryFileSystem {
 public:
  bool RemoveDirectory(std::u16string_view) override {
    g_reason = "Directory not empty";
    return false;
  }
};

TEST(TracedFileSystem, SaysEachCallWithItsBytesAndTheReasonOfAFailure) {
  RefusingFileSystem memory;
  memory.Put("\\Disk\\a.txt", "abcdef");
  TracedFileSystem files(memory, TestReasons());
  SetTraceEnabled(true);
  testing::internal::CaptureStderr();
  {
    auto file = files.Open(u"\\Disk\\a.txt", AccessRead | AccessWrite, Disposition::OpenExisting);
    char buffer[4];
    uint32_t got = 0;
    ASSERT_TRUE(file->Read(buffer, sizeof buffer, &got));
    ASSERT_TRUE(file->Write("xy", 2));
  }
  g_reason = "stale";  // a failure that asks the host nothing has no reason
  EXPECT_FALSE(files.DeleteFile(u"\\Disk\\none.txt"));
  EXPECT_FALSE(files.RemoveDirectory(u"\\Disk"));
  EXPECT_TRUE(files.DeleteFileAnyway(u"\\Disk\\a.txt"));  // one line, however the host does it
  // A folder held open says the calls by path it stands for.
  memory.Put("\\Disk\\Sub\\b.txt", "b");
  const auto held = files.OpenFolder(u"\\Disk\\");
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(held->List(FindDetail::Kinds).size(), 1u);
  const auto sub = held->OpenFolder(u"Sub");
  ASSERT_NE(sub, nullptr);
  EXPECT_TRUE(sub->DeleteFileAnyway(u"b.txt"));
  EXPECT_FALSE(held->RemoveFolder(u"Sub"));
  const std::string lines = testing::internal::GetCapturedStderr();
  SetTraceEnabled(false);

  EXPECT_NE(lines.find("fitkit: CreateFile(\\Disk\\a.txt, access 3, disposition 2) -> ok\n"
                       "fitkit: ReadFile(\\Disk\\a.txt, 4) -> ok, 4 bytes\n"
                       "fitkit: WriteFile(\\Disk\\a.txt, 2) -> ok\n"
                       "fitkit: CloseHandle(\\Disk\\a.txt)\n"
                       "fitkit: DeleteFile(\\Disk\\none.txt) -> failed\n"
                       "fitkit: RemoveDirectory(\\Disk) -> failed: Directory not empty\n"
                       "fitkit: DeleteFile(\\Disk\\a.txt, any attributes) -> ok\n"
                       "fitkit: FindFirstFile(\\Disk\\*.*) -> 1 entries\n"
                       "fitkit: DeleteFile(\\Disk\\Sub\\b.txt, any attributes) -> ok\n"
                       "fitkit: RemoveDirectory(\\Disk\\Sub) -> failed: Directory not empty\n"),
            std::string::npos)
      << lines;
}

}  // namespace
