// The real imagefit program against a device root made here, with links,
// hard links, named pipes and hostile configuration files planted where the
// simulated device keeps its own files or where the kit reads. Beside the
// device root lies an "outside" folder; it must be unchanged after every run.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "tests/support/bin_images.h"
#include "tests/support/host_files.h"
#include "tests/support/temp_folder.h"

namespace imagefit_test {
namespace {

namespace fs = std::filesystem;
using test_support::Bytes;
using test_support::MakeFlatBin;
using test_support::Pattern;
using test_support::Quote;
using test_support::ReadBytes;
using test_support::ReadLines;
using test_support::ReadText;
using test_support::TempFolder;
using test_support::WriteText;

class DeviceRootEscape : public ::testing::Test {
 protected:
  void SetUp() override {
    device_ = top_.path() / "device";
    outside_ = top_.path() / "outside";
    images_ = device_ / "fs" / "Storage Card" / "Update";
    WriteText(outside_ / "sentinel.txt", "outside\n");
    WriteText(device_ / "device.ini", "[memory]\nstore_pages = 2048\n");
    WriteText(device_ / "registry.reg",
              "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Ident]\n\"Model\"=\"KTR 60\"\n"
              "\"Version\"=\"V1.0.5\"\n");
    WriteText(images_ / "KTR 60.ini", "V1.0.7\r\n");
    Put("nboot.bin", Pattern(3000, 1));
    Put("eboot.nb0", Pattern(5000, 2));
    const char* names[] = {"drivers.bin", "tinynk.bin", "nk.bin", "chain.bin"};
    const uint32_t starts[] = {0x80000000, 0x80100000, 0x80200000, 0x80400000};
    for (int i = 0; i < 4; ++i)
      Put(names[i], MakeFlatBin(starts[i], Pattern(5000, uint8_t(i)), 4096));
  }

  void Put(const std::string& name, const Bytes& bytes) {
    WriteText(images_ / name, std::string(bytes.begin(), bytes.end()));
  }

  // Every file outside the device root with its content.
  std::map<std::string, std::string> Outside() const {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(outside_)) {
      std::string kind = "<";
      kind += std::to_string(int(entry.status().type())) + ">";
      files[entry.path().lexically_relative(outside_).string()] =
          entry.is_regular_file() ? ReadText(entry.path()) : kind;
    }
    return files;
  }

  // Runs imagefit on the console; a run that has not ended after 60 s is
  // killed and reads as 124.
  int Run(const std::string& input) {
    WriteText(top_.path() / "stdin.txt", input);
    const std::string command =
        "FITKIT_UI=console FITKIT_DEVICE=" + Quote(device_) + " timeout -s KILL 60 " +
        FITKIT_IMAGEFIT_BIN + " '\\Storage Card\\Update' <" + Quote(top_.path() / "stdin.txt") +
        " >" + Quote(top_.path() / "stdout.txt") + " 2>" + Quote(top_.path() / "stderr.txt");
    const int status = std::system(command.c_str());
    out_ = ReadText(top_.path() / "stdout.txt");
    err_ = ReadText(top_.path() / "stderr.txt");
    if (WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == 137)) return 124;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string Journal() const { return ReadText(device_ / "journal.log"); }
  // The journal's lines that start with `prefix`, in order.
  std::vector<std::string> Lines(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const std::string& line : ReadLines(device_ / "journal.log")) {
      if (line.rfind(prefix, 0) == 0) found.push_back(line);
    }
    return found;
  }
  static bool Ok(const std::string& line) { return line.size() > 2 && line.ends_with(" ok"); }

  TempFolder top_;
  fs::path device_, outside_, images_;
  std::string out_, err_;
};

TEST_F(DeviceRootEscape, SymbolicLinksAtTheJournalAndTheFlashFilesAreReplacedNotFollowed) {
  WriteText(outside_ / "journal.txt", "journal\n");
  WriteText(outside_ / "nboot.txt", "nboot\n");
  fs::create_symlink(outside_ / "journal.txt", device_ / "journal.log");
  fs::create_directories(device_ / "flash");
  fs::create_symlink(outside_ / "nboot.txt", device_ / "flash" / "nboot.bin");
  fs::create_symlink(outside_ / "made-by-the-kit", device_ / "flash" / "region2.bin");
  const auto before = Outside();
  EXPECT_EQ(Run("start\n"), 1) << err_;
  EXPECT_EQ(Outside(), before);
  EXPECT_NE(err_.find("journal.log is a symbolic link"), std::string::npos) << err_;
  EXPECT_FALSE(fs::is_symlink(device_ / "flash" / "nboot.bin"));
  EXPECT_EQ(ReadBytes(device_ / "flash" / "nboot.bin"), Pattern(3000, 1));
  EXPECT_EQ(fs::file_size(device_ / "flash" / "region2.bin"), 5000u);
}

TEST_F(DeviceRootEscape, HardLinksAtTheJournalAndTheFlashFilesKeepTheirBytes) {
  WriteText(outside_ / "journal.txt", "journal\n");
  WriteText(outside_ / "nboot.txt", "nboot\n");
  WriteText(outside_ / "version.txt", "version\n");
  fs::create_directories(device_ / "flash");
  fs::create_hard_link(outside_ / "journal.txt", device_ / "journal.log");
  fs::create_hard_link(outside_ / "nboot.txt", device_ / "flash" / "nboot.bin");
  fs::create_hard_link(outside_ / "version.txt", device_ / "flash" / "version");
  const auto before = Outside();
  EXPECT_EQ(Run("start\n"), 1) << err_;
  EXPECT_EQ(Outside(), before);
  EXPECT_NE(err_.find("journal.log has another hard link"), std::string::npos) << err_;
  EXPECT_EQ(ReadBytes(device_ / "flash" / "nboot.bin"), Pattern(3000, 1));
  EXPECT_EQ(ReadText(device_ / "flash" / "version"), "0x03010007");
}

TEST_F(DeviceRootEscape, FlashFolderLinkedOutsideStoresNothingThere) {
  fs::create_directory_symlink(outside_, device_ / "flash");
  const auto before = Outside();
  EXPECT_NE(Run("start\nyes\nyes\nyes\nyes\nyes\n"), 124);
  EXPECT_EQ(Outside(), before);
  const auto nboot = Lines("SCD1 0x80012004 len=3000 ");
  ASSERT_EQ(nboot.size(), 1u) << Journal();
  EXPECT_FALSE(Ok(nboot[0])) << "stored through the link";
  EXPECT_TRUE(fs::is_symlink(device_ / "flash"));
}

// A mutex that cannot be made (.locks a plain file, or its lock file a link)
// ends the program at once, as a second instance would, without a dialog.
TEST_F(DeviceRootEscape, MutexThatCannotBeMadeEndsTheProgramWithoutADialog) {
  WriteText(device_ / ".locks", "not a folder\n");
  EXPECT_EQ(Run("start\n"), 0);
  EXPECT_NE(err_.find("VKMORAN3_IMAGEFIT cannot be made"), std::string::npos) << err_;
  EXPECT_EQ(out_, "");
  EXPECT_FALSE(fs::exists(device_ / "journal.log"));

  fs::remove(device_ / ".locks");
  fs::create_directories(device_ / ".locks");
  fs::create_symlink(outside_ / "lock", device_ / ".locks" / "VKMORAN3_IMAGEFIT");
  const auto before = Outside();
  EXPECT_EQ(Run("start\n"), 0);
  EXPECT_EQ(out_, "");
  EXPECT_EQ(Outside(), before);
}

// Named pipes where the kit reads a file: each reads as a file that cannot
// be opened, and the run ends instead of waiting for a writer for ever.
class NamedPipe : public DeviceRootEscape, public ::testing::WithParamInterface<const char*> {};

TEST_P(NamedPipe, ReadsAsMissingAndNeverHangs) {
  const fs::path pipe = device_ / GetParam();
  fs::remove(pipe);
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
  EXPECT_NE(Run("start\nyes\nyes\nyes\nno\n"), 124) << "the run hangs on " << pipe;
  EXPECT_TRUE(fs::is_fifo(pipe));
}

INSTANTIATE_TEST_SUITE_P(Kit, NamedPipe,
                         ::testing::Values("fs/Storage Card/Update/KTR 60.ini",
                                           "fs/Storage Card/Update/nk.bin", "registry.reg",
                                           "device.ini"));

TEST_F(DeviceRootEscape, RegistryKeyFiftyThousandLevelsDeepIsRefusedInLinearMemory) {
  std::string key;
  for (int i = 0; i < 50000; ++i) key += "a\\";
  WriteText(device_ / "registry.reg",
            "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\" + key +
                "b]\n\"x\"=\"y\"\n"
                "[HKEY_LOCAL_MACHINE\\Ident]\n\"Model\"=\"KTR 60\"\n\"Version\"=\"V1.0.5\"\n");
  // Every prefix of the key stored took 4 GB and ended in bad_alloc.
  EXPECT_EQ(Run("start\n"), 1) << err_;
  EXPECT_NE(err_.find("registry.reg:3: key deeper than 512 levels"), std::string::npos) << err_;
  EXPECT_NE(out_.find("V1.0.5"), std::string::npos) << "the rest of the file still counts";
}

TEST_F(DeviceRootEscape, RegistryLinkedToDevZeroIsNoRegularFile) {
  fs::remove(device_ / "registry.reg");
  fs::create_symlink("/dev/zero", device_ / "registry.reg");
  EXPECT_NE(Run("start\nyes\nyes\n"), 124);
  EXPECT_NE(err_.find("registry.reg:1: not a regular file"), std::string::npos) << err_;
}

// After a failed kernel update answered No, START again runs a whole new
// update: the boot loaders are taken again instead of refused.
TEST_F(DeviceRootEscape, TryAgainAfterNoStartsANewUpdateCleanly) {
  WriteText(device_ / "device.ini",
            "[memory]\nstore_pages = 2048\n[drivers]\nSCD1 = flash\nPWR1 = power\n"
            "fail = 80012070\n");
  EXPECT_EQ(Run("start\nno\nstart\nno\n"), 2) << err_;
  const auto nboot = Lines("SCD1 0x80012004 ");
  ASSERT_EQ(nboot.size(), 2u) << Journal();
  EXPECT_TRUE(Ok(nboot[0]) && Ok(nboot[1])) << Journal();
  EXPECT_EQ(Lines("SCD1 0x80012054 ").size(), 2u) << "a second KERNEL_OPEN:\n" << Journal();
  EXPECT_EQ(ReadBytes(device_ / "flash" / "nboot.bin"), Pattern(3000, 1));
}

}  // namespace
}  // namespace imagefit_test
