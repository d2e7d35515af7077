// The case-insensitive look-up keeps its answers per folder; another
// process changing the folder between two look-ups must be seen at once.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>

#include "host/linux/file_system.h"
#include "platform/text.h"
#include "tests/support/device_root.h"

namespace {

namespace fs = std::filesystem;
using namespace platform;
using TempDeviceRoot = test_support::DeviceRoot;

// Runs `change` in a child process and waits for it.
void InAnotherProcess(const std::function<void()>& change) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    change();
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(FolderIndex, SeesWhatAnotherProcessAddsOrRenamesBetweenLookUps) {
  TempDeviceRoot device;
  LinuxFileSystem files{device.root(), 0};
  const fs::path dir = device.fs() / "Dir";
  ASSERT_TRUE(files.CreateDirectory(u"\\Dir"));
  for (int i = 0; i < 200; ++i) {
    SCOPED_TRACE(i);
    const std::string n = std::to_string(i);
    // A miss that consults (and keeps) the folder's index, then at once an
    // entry of another case from outside the kit.
    ASSERT_EQ(files.Open(u"\\dir\\new" + FromUtf8(n), AccessRead, Disposition::OpenExisting),
              nullptr);
    InAnotherProcess([&] { std::ofstream(dir / ("NEW" + n)) << "theirs"; });
    EXPECT_EQ(files.GetAttributes(u"\\dir\\new" + FromUtf8(n)), FILE_ATTRIBUTE_ARCHIVE);
    // Our own creation joins the index; a rename by them right after must
    // still count, so creating in yet another case writes into their file.
    ASSERT_NE(files.Open(u"\\dir\\own" + FromUtf8(n), AccessWrite, Disposition::CreateNew),
              nullptr);
    InAnotherProcess([&] { fs::rename(dir / ("NEW" + n), dir / ("Moved" + n)); });
    EXPECT_EQ(files.GetAttributes(u"\\dir\\new" + FromUtf8(n)), kInvalidAttributes);
    auto file = files.Open(u"\\DIR\\MOVED" + FromUtf8(n), AccessWrite, Disposition::CreateAlways);
    ASSERT_NE(file, nullptr);
    ASSERT_TRUE(file->Write("ours", 4));
  }
  const auto names = Names(dir);
  EXPECT_EQ(names.size(), 400u);
  EXPECT_TRUE(std::binary_search(names.begin(), names.end(), "Moved17"));
  EXPECT_FALSE(std::binary_search(names.begin(), names.end(), "MOVED17"));
  std::ifstream moved(dir / "Moved17");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(moved), {}), "ours");
}

// Several entries that differ only in case: the exact one wins, else the
// first in byte order, also after the folder changed under the index.
TEST(FolderIndex, FirstMatchInByteOrderAfterChanges) {
  TempDeviceRoot device;
  LinuxFileSystem files{device.root(), 0};
  device.Write("fs/d/b.TXT", "1");
  device.Write("fs/d/B.txt", "2");
  auto read = [&](std::u16string_view path) {
    auto file = files.Open(path, AccessRead, Disposition::OpenExisting);
    char text[8] = {};
    uint32_t got = 0;
    if (!file || !file->Read(text, sizeof text, &got)) return std::string("-");
    return std::string(text, got);
  };
  EXPECT_EQ(read(u"\\d\\b.txt"), "2");  // "B.txt" < "b.TXT"
  EXPECT_EQ(read(u"\\d\\b.TXT"), "1");
  InAnotherProcess([&] { std::ofstream(device.fs() / "d" / "B.TXT") << "3"; });
  EXPECT_EQ(read(u"\\d\\b.txt"), "3");
  InAnotherProcess([&] { fs::remove(device.fs() / "d" / "B.TXT"); });
  EXPECT_EQ(read(u"\\d\\b.txt"), "2");
}

}  // namespace
