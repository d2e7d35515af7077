// What START does, step by step, over a device root with a process list the
// test controls: the buttons, the order of the steps and the dialog's result.
#include "platform/processes.h"
#include "shellfit_fixture.h"

namespace shellfit_test {
namespace {

// One program running from the flash drive; records how many status lines
// had been shown when it was ended.
class OneProgramOnFlash : public platform::ProcessTable {
 public:
  explicit OneProgramOnFlash(const FakeDialog& dialog) : dialog_(dialog) {}
  std::optional<std::vector<platform::ProcessEntry>> Snapshot() override {
    if (ended) return std::vector<platform::ProcessEntry>{};
    return std::vector<platform::ProcessEntry>{{7, u"shell.exe"}};
  }
  std::optional<std::u16string> ProgramPath(uint32_t) override {
    return u"\\Flash Disk\\shell.exe";
  }
  bool Terminate(uint32_t, uint32_t) override {
    ended = true;
    statusesWhenEnded = dialog_.statuses.size();
    return true;
  }

  bool ended = false;
  std::size_t statusesWhenEnded = 0;

 private:
  const FakeDialog& dialog_;
};

class RunSequenceTest : public ShellfitTest {
 protected:
  void SetUp() override {
    ShellfitTest::SetUp();
    UseProcesses(processes_);
    WriteText(Fs("Flash Disk/old.dll"), "old");
  }

  OneProgramOnFlash processes_{dialog_};
};

TEST_F(RunSequenceTest, WithoutAPackageStartOnlyClosesTheDialog) {
  shellfit::RunUpdate(dialog_, site_);
  EXPECT_EQ(dialog_.enabled, (std::map<int, bool>{{1, false}, {2, false}}));
  EXPECT_EQ(dialog_.endResult, 1);
  EXPECT_FALSE(processes_.ended);
  EXPECT_EQ(ReadText(Fs("Flash Disk/old.dll")), "old");
  EXPECT_TRUE(dialog_.statuses.empty());
  EXPECT_TRUE(dialog_.messageBoxes.empty());
}

TEST_F(RunSequenceTest, EndsProgramsThenDeletesThenUnpacks) {
  AskForInPlaceOrder();
  UseProcesses(processes_);
  WriteText(Stage("new.dll"), "new");
  Zip(Fs("Storage Card/KTR 60 SHELL.ZIP"), staging_.path(), {"new.dll"});

  shellfit::RunUpdate(dialog_, site_);

  EXPECT_EQ(dialog_.enabled, (std::map<int, bool>{{1, false}, {2, false}}));
  EXPECT_EQ(dialog_.endResult, 1);
  ASSERT_TRUE(processes_.ended);
  EXPECT_EQ(processes_.statusesWhenEnded, 1u)
      << "only the package check is shown before the programs end, no deletion";
  EXPECT_EQ(dialog_.statuses,
            (std::vector<std::string>{"Checking... KTR 60 SHELL.ZIP", "Deleting... old.dll",
                                      "Copying... new.dll"}));
  EXPECT_FALSE(fs::exists(Fs("Flash Disk/old.dll")));
  EXPECT_EQ(ReadText(Fs("Flash Disk/new.dll")), "new");
}

TEST_F(RunSequenceTest, APackageOnTheFlashDriveSurvivesTheDeletion) {
  WriteText(Stage("new.dll"), "new");
  Zip(Fs("Flash Disk/Update/KTR 60 SHELL.ZIP"), staging_.path(), {"new.dll"});
  WriteText(Fs("Flash Disk/Update/notes.txt"), "old");
  // Named in other letter case and with "/" and doubled separators.
  site_.sourceFolder = u"\\FLASH DISK//update";

  shellfit::RunUpdate(dialog_, site_);

  EXPECT_TRUE(fs::exists(Fs("Flash Disk/Update/KTR 60 SHELL.ZIP")));
  EXPECT_FALSE(fs::exists(Fs("Flash Disk/Update/notes.txt")));
  EXPECT_FALSE(fs::exists(Fs("Flash Disk/old.dll")));
  EXPECT_EQ(ReadText(Fs("Flash Disk/new.dll")), "new");
  EXPECT_TRUE(dialog_.messageBoxes.empty()) << dialog_.messageBoxes[0].text;
}

TEST_F(RunSequenceTest, AnUnreadablePackageEndsNothingAndDeletesNothing) {
  WriteText(Fs("Storage Card/KTR 60 SHELL.ZIP"), "no archive at all");

  shellfit::RunUpdate(dialog_, site_);

  EXPECT_EQ(dialog_.endResult, 1);
  EXPECT_FALSE(processes_.ended);
  EXPECT_EQ(ReadText(Fs("Flash Disk/old.dll")), "old");
  ASSERT_EQ(dialog_.messageBoxes.size(), 1u);
  EXPECT_EQ(dialog_.messageBoxes[0].text, "\\Storage Card\\KTR 60 SHELL.ZIP ZIP error 116!");
  EXPECT_EQ(dialog_.messageBoxes[0].style, 0x40040u);
}

}  // namespace
}  // namespace shellfit_test
