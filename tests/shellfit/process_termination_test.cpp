// Which processes the updater ends, over a process list the test controls.
#include <algorithm>

#include "platform/processes.h"
#include "shellfit_fixture.h"

namespace shellfit_test {
namespace {

class FakeProcesses : public platform::ProcessTable {
 public:
  struct Process {
    uint32_t id;
    std::u16string exeName, path;
    bool canEnd = true;
  };
  std::vector<Process> running;
  bool available = true;
  std::vector<uint32_t> ended;

  std::optional<std::vector<platform::ProcessEntry>> Snapshot() override {
    if (!available) return std::nullopt;
    std::vector<platform::ProcessEntry> list;
    for (const auto& p : running) list.push_back({p.id, p.exeName});
    return list;
  }
  std::optional<std::u16string> ProgramPath(uint32_t id) override {
    for (const auto& p : running) {
      if (p.id == id) return p.path;
    }
    return std::nullopt;
  }
  bool Terminate(uint32_t id, uint32_t) override {
    for (const auto& p : running) {
      if (p.id == id && p.canEnd) {
        ended.push_back(id);
        return true;
      }
    }
    return false;
  }
};

class TerminationTest : public ShellfitTest {
 protected:
  void SetUp() override {
    ShellfitTest::SetUp();
    UseProcesses(processes_);
    processes_.running = {
        {1, u"shell.exe", u"\\Flash Disk\\shell.exe"},
        {2, u"x.exe", u"\\Windows\\x.exe"},
        {3, u"y.exe", u"\\Flash Disk2\\y.exe"},
        {4, u"NAV.EXE", u"\\FLASH DISK\\Bin\\NAV.EXE"},
        {5, u"daemon", u"\\Flash Disk\\daemon"},
        {6, u"a.exe", u""},
        {7, u"stuck.exe", u"\\Flash Disk\\stuck.exe", false},
        {8, u".exe", u"\\Flash Disk\\.exe"},
        {9, u"gone.exe", u"\\Flash Disk\\gone.exe"},
    };
  }
  std::vector<uint32_t> Ended() {
    auto ids = processes_.ended;
    std::sort(ids.begin(), ids.end());
    return ids;
  }

  FakeProcesses processes_;
};

TEST_F(TerminationTest, PrefixModeEndsEveryProgramBelowTheFolderIgnoringCase) {
  processes_.running.pop_back();
  processes_.running.push_back({9, u"gone.exe", u""});
  EXPECT_EQ(shellfit::TerminateProcessesInFolder(u"\\flash disk", 0), 3);
  // \Flash Disk2 matches too: the prefix test has no separator after the folder.
  EXPECT_EQ(Ended(), (std::vector<uint32_t>{1, 3, 4}));
}

TEST_F(TerminationTest, ExactAndSuffixModes) {
  processes_.running = {{1, u"a.exe", u"\\Flash Disk\\a.exe"},
                        {2, u"b.exe", u"\\Other\\Flash Disk\\a.exe"},
                        {3, u"c.exe", u"\\Flash Disk\\c.exe"}};
  EXPECT_EQ(shellfit::TerminateProcessesInFolder(u"\\FLASH DISK\\A.EXE", -1), 1);
  EXPECT_EQ(Ended(), (std::vector<uint32_t>{1}));
  processes_.ended.clear();
  EXPECT_EQ(shellfit::TerminateProcessesInFolder(u"flash disk\\a.exe", 1), 2);
  EXPECT_EQ(Ended(), (std::vector<uint32_t>{1, 2}));
}

TEST_F(TerminationTest, WithoutAProcessListNothingIsEnded) {
  processes_.available = false;
  EXPECT_EQ(shellfit::TerminateProcessesInFolder(u"\\Flash Disk", 0), 0);
  EXPECT_TRUE(processes_.ended.empty());
}

}  // namespace
}  // namespace shellfit_test
