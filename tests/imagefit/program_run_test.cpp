// Whole runs of the real imagefit program on the console against a device
// root made here: journal.log is checked line by line and flash/ byte for byte.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/bin_images.h"
#include "tests/support/device_root.h"
#include "tests/support/host_files.h"
#include "tests/support/minisign_tool.h"
#include "tests/support/program_runner.h"

namespace imagefit_test {
namespace {

namespace fs = std::filesystem;
using namespace test_support;
using test_support::MinisignKey;
using Lines = std::vector<std::string>;

std::string Line(const std::string& target, const std::string& what, const Bytes& input,
                 bool ok = true) {
  return target + " " + what + " len=" + std::to_string(input.size()) +
         " crc32=" + (input.empty() ? "00000000" : Crc32Text(input)) + (ok ? " ok" : " fail");
}

std::string Scd(const char* code, const Bytes& input = {}, bool ok = true) {
  return Line("SCD1", code, input, ok);
}
std::string Kernel(const char* function, const Bytes& input = {}, bool ok = true) {
  return Line("KERNEL", function, input, ok);
}
const std::string kRevision = Scd("0x80012084");
const std::string kPowerEnter = Line("PWR1", "0x01013EA8", {});
const std::string kPowerLeave = Line("PWR1", "0x01013EAC", {});
const std::string kPowerStatus = Kernel("GetSystemPowerStatusEx2");
const std::string kGetDivision = Kernel("GetSystemMemoryDivision");
const std::string kShrink = Kernel("SetSystemMemoryDivision", Word(32));
const std::string kRestore = Kernel("SetSystemMemoryDivision", Word(2048));
const std::string kReboot = Kernel("KernelIoControl", Word(0x0101003C));

struct HostileImage;

// The images of one set: their bytes as files and the data the tool wrapped.
struct ImageSet {
  Bytes nboot, eboot;
  std::array<Bytes, 4> bins;     // drivers, tinynk, nk, chain as written
  std::array<Bytes, 4> regions;  // what flash/regionN.bin must hold
};

class ProgramRun : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = root_.fs("Storage Card/Update");
    fs::create_directories(folder_);
    root_.WriteRegistry(
        "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Ident]\n\"Model\"=\"KTR 60\"\n"
        "\"Version\"=\"V1.0.5\"\n");
    WriteText(folder_ / "KTR 60.ini", "V1.0.7\r\n");
    WriteDeviceIni("");
    MakeImages();
  }

  void WriteDeviceIni(const std::string& extra) {
    root_.WriteDeviceIni("[memory]\nstore_pages = 2048\nprogram_pages = 6144\npage_size = 4096\n" +
                         extra);
  }

  // Wraps `data` with the BIN writer; returns the file's bytes.
  Bytes MakeBin(const std::string& name, uint32_t start, const Bytes& data,
                const std::vector<std::string>& options = {}) {
    const fs::path dataFile = root_.root() / (name + ".data");
    WriteBytes(dataFile, data);
    std::vector<std::string> args = {"--start", std::to_string(start), "--data", dataFile};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(folder_ / name);
    const RunResult made = RunProgram(FITKIT_MAKE_BIN_IMAGE, args);
    EXPECT_EQ(made.exitCode, 0) << made.err;
    fs::remove(dataFile);
    return ReadBytes(folder_ / name);
  }

  void MakeImages() {
    set_.nboot = Pattern(3000, 1);
    set_.eboot = Pattern(5000, 2);
    WriteBytes(folder_ / "nboot.bin", set_.nboot);
    WriteBytes(folder_ / "eboot.nb0", set_.eboot);
    const char* names[] = {"drivers.bin", "tinynk.bin", "nk.bin", "chain.bin"};
    const uint32_t starts[] = {0x80000000, 0x80100000, 0x80200000, 0x80400000};
    const std::size_t sizes[] = {20000, 9000, 70000, 3000};
    for (int i = 0; i < 4; ++i) {
      const Bytes data = Pattern(sizes[i], uint8_t(10 + i));
      // tinynk leaves 100 unused bytes between its 4096-byte records.
      const std::vector<std::string> options =
          i == 1 ? std::vector<std::string>{"--gap", "100"} : std::vector<std::string>{};
      set_.bins[i] = MakeBin(names[i], starts[i], data, options);
      set_.regions[i] = i == 1 ? Spread(data, 4096, 100) : data;
    }
  }

  static Bytes Spread(const Bytes& data, std::size_t record, std::size_t gap) {
    Bytes flat;
    for (std::size_t at = 0; at < data.size(); at += record) {
      if (at > 0) flat.insert(flat.end(), gap, 0);
      flat.insert(flat.end(), data.begin() + at, data.begin() + std::min(data.size(), at + record));
    }
    return flat;
  }

  // Runs the program with `input` on stdin; returns its exit status.
  int Run(const std::string& input, const std::string& commandLine = "\\Storage Card\\Update") {
    const RunResult run =
        RunProgram(FITKIT_IMAGEFIT_BIN, {commandLine},
                   {{"FITKIT_UI", "console"}, {"FITKIT_DEVICE", root_.root().string()}}, input);
    output_ = run.out;
    return run.exitCode;
  }

  Lines Journal() const { return ReadLines(root_.root() / "journal.log"); }
  Bytes Flash(const std::string& name) const { return ReadBytes(root_.root() / "flash" / name); }
  bool FlashHas(const std::string& name) const { return fs::exists(root_.root() / "flash" / name); }

  // The driver's lines for one BIN image as the updater streams it: its
  // header, then each record up to the end record or the first that the file
  // cannot supply in full.
  static Lines StreamLines(const Bytes& bin) {
    Lines lines = {Scd("0x80012064", Bytes(bin.begin(), bin.begin() + 15))};
    std::size_t at = 15;
    while (at + 12 <= bin.size()) {
      const uint32_t address = ReadWord(bin, at), length = ReadWord(bin, at + 4),
                     checksum = ReadWord(bin, at + 8);
      const bool end = address == 0 && checksum == 0;
      const std::size_t size = end ? 12 : 12 + std::size_t(length);
      if (at + size > bin.size()) break;
      lines.push_back(Scd("0x80012068", Bytes(bin.begin() + at, bin.begin() + at + size)));
      at += size;
      if (end) break;
    }
    return lines;
  }

  // The 47-byte multi-image header from the four image headers.
  Bytes MultiHeader() const {
    std::vector<std::pair<uint32_t, uint32_t>> regions;
    for (const Bytes& bin : set_.bins) regions.emplace_back(ReadWord(bin, 7), ReadWord(bin, 11));
    return test_support::MultiHeader(regions);
  }

  Lines KernelLines(uint32_t version = 0x03010007) const {
    Lines lines = {Scd("0x80012054"), Scd("0x80012060", MultiHeader())};
    for (const Bytes& bin : set_.bins) {
      const Lines stream = StreamLines(bin);
      lines.insert(lines.end(), stream.begin(), stream.end());
    }
    lines.push_back(Scd("0x80012070", Word(version)));
    lines.push_back(Scd("0x8001205C"));
    lines.push_back(Scd("0x80012058"));
    return lines;
  }

  Lines Concat(std::initializer_list<Lines> parts) const {
    Lines all;
    for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
  }

  // The journal of a run that goes through and restarts.
  Lines CleanJournal() const {
    return Concat({{kRevision, kPowerEnter, kPowerStatus, kGetDivision, kShrink,
                    Scd("0x80012004", set_.nboot), Scd("0x8001202C", set_.eboot)},
                   KernelLines(),
                   {kRestore, kPowerLeave, kReboot}});
  }

  void ExpectFlashHoldsTheImageSet() const {
    EXPECT_EQ(Flash("nboot.bin"), set_.nboot);
    EXPECT_EQ(Flash("eboot.nb0"), set_.eboot);
    for (int i = 0; i < 4; ++i)
      EXPECT_EQ(Flash("region" + std::to_string(i) + ".bin"), set_.regions[i]) << "region " << i;
    const Bytes version = Flash("version");
    EXPECT_EQ(std::string(version.begin(), version.end()), "0x03010007");
  }

  bool Printed(const std::string& text) const { return output_.find(text) != std::string::npos; }

  // Damages the set as `image` says; the damaged file's name.
  std::string Damage(const HostileImage& image);
  void ExpectRefusedBeforeAnythingIsSent(const HostileImage& image, const std::string& file);

  DeviceRoot root_;
  fs::path folder_;
  ImageSet set_;
  std::string output_;
};

TEST_F(ProgramRun, CleanRunEndsInARestart) {
  EXPECT_EQ(Run("start\n"), 1);
  EXPECT_EQ(Journal(), CleanJournal());
  ExpectFlashHoldsTheImageSet();
  EXPECT_TRUE(Printed("Cur VER:  |V1.0.5|")) << output_;
  EXPECT_TRUE(Printed("status: Downloading...  nk.bin"));
  EXPECT_TRUE(Printed("status: Programming...  Please wait..."));
  EXPECT_EQ(output_.find("message box"), std::string::npos);
}

TEST_F(ProgramRun, OlderBoardAnsweredNoSendsNothingMore) {
  WriteDeviceIni("[board]\nrevision = 2\n");
  EXPECT_EQ(Run("start\nno\n"), 2) << "No keeps the dialog; end of input cancels";
  EXPECT_EQ(Journal(), Lines{kRevision});
  EXPECT_TRUE(Printed("update the REV-D image to the REV-C device?"));
  EXPECT_TRUE(Printed("buttons: [Yes] <No>")) << output_;
  EXPECT_FALSE(fs::exists(root_.root() / "flash"));
}

TEST_F(ProgramRun, OlderBoardAnsweredYesRuns) {
  WriteDeviceIni("[board]\nrevision = 2\n");
  EXPECT_EQ(Run("start\nyes\n"), 1);
  EXPECT_EQ(Journal(), CleanJournal());
  ExpectFlashHoldsTheImageSet();
}

TEST_F(ProgramRun, NewerBoardAskedBothWays) {
  WriteDeviceIni("[board]\nrevision = 4\n");
  EXPECT_EQ(Run("start\n\n"), 2) << "an empty answer takes the default, No";
  EXPECT_TRUE(Printed("update the REV-C image to the REV-D device?"));
  EXPECT_EQ(Journal(), Lines{kRevision});
  fs::remove(root_.root() / "journal.log");
  EXPECT_EQ(Run("start\ny\n"), 1);
  EXPECT_EQ(Journal(), CleanJournal());
}

TEST_F(ProgramRun, NoExternalPowerStopsBeforeAnything) {
  WriteDeviceIni("[power]\nac_line = 0\n");
  EXPECT_EQ(Run("start\nok\n"), 2);
  EXPECT_EQ(Journal(),
            (Lines{kRevision, kPowerEnter, kPowerStatus, kPowerStatus, kPowerStatus, kPowerLeave}));
  EXPECT_TRUE(Printed("Please make sure an AC online!"));
  EXPECT_TRUE(Printed("START: enabled")) << "the buttons come back";
  EXPECT_FALSE(fs::exists(root_.root() / "flash"));
}

struct StepFailure {
  const char* code;
  const char* prompt;
  const char* name;
};

// Failure messages name the step, not the structure's bytes.
void PrintTo(const StepFailure& step, std::ostream* out) { *out << step.name; }

class FailingStep : public ProgramRun, public ::testing::WithParamInterface<StepFailure> {};

TEST_P(FailingStep, NoStopsRestoresAndGivesTheButtonsBack) {
  WriteDeviceIni(std::string("[drivers]\nSCD1 = flash\nPWR1 = power\nfail = ") + GetParam().code +
                 "\n");
  EXPECT_EQ(Run("start\nno\n"), 2);
  EXPECT_TRUE(Printed(GetParam().prompt)) << output_;
  const Lines journal = Journal();
  ASSERT_GE(journal.size(), 3u);
  EXPECT_EQ(journal[journal.size() - 2], kRestore);
  EXPECT_EQ(journal.back(), kPowerLeave);
  EXPECT_EQ(std::count(journal.begin(), journal.end(), kReboot), 0);
  const std::string failedLine = " 0x" + std::string(GetParam().code) + " ";
  const auto failed = std::find_if(journal.begin(), journal.end(), [&](const std::string& l) {
    return l.find(failedLine) != std::string::npos;
  });
  ASSERT_NE(failed, journal.end());
  EXPECT_TRUE(failed->ends_with(" fail"));
  EXPECT_EQ(journal.end() - failed, 3) << "nothing sent after the failed step";
}

TEST_P(FailingStep, YesGoesOnToTheRestart) {
  WriteDeviceIni(std::string("[drivers]\nSCD1 = flash\nPWR1 = power\nfail = ") + GetParam().code +
                 "\n");
  EXPECT_EQ(Run("start\nyes\n"), 1);
  const Lines journal = Journal();
  ASSERT_FALSE(journal.empty());
  EXPECT_EQ(journal.back(), kReboot);
  EXPECT_EQ(journal[journal.size() - 3], kRestore);
  Lines expected = CleanJournal();
  for (std::string& line : expected) {
    if (line.find(" 0x" + std::string(GetParam().code) + " ") != std::string::npos) {
      line.replace(line.size() - 2, 2, "fail");
      if (std::string(GetParam().code) == "80012054") {
        // A refused KERNEL_OPEN ends the kernel step at once.
        const auto at = std::find(expected.begin(), expected.end(), line);
        expected.erase(at + 1, std::find(expected.begin(), expected.end(), kRestore));
      }
      break;
    }
  }
  EXPECT_EQ(journal, expected);
}

INSTANTIATE_TEST_SUITE_P(
    EachUpdateStep, FailingStep,
    ::testing::Values(StepFailure{"80012004", "UpdateNBOOT() failed!", "Nboot"},
                      StepFailure{"8001202C", "UpdateEBOOT() failed!", "Eboot"},
                      StepFailure{"80012054", "UpdateKernel() failed!", "Kernel"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProgramRun, FlashDriverAbsentFailsEachStep) {
  WriteDeviceIni("[drivers]\nPWR1 = power\n");
  EXPECT_EQ(Run("start\nyes\nyes\nyes\n"), 1);
  EXPECT_EQ(Journal(), (Lines{kPowerEnter, kPowerStatus, kGetDivision, kShrink, kRestore,
                              kPowerLeave, kReboot}))
      << "an absent driver logs nothing";
  EXPECT_TRUE(Printed("UpdateNBOOT() failed!"));
  EXPECT_TRUE(Printed("UpdateEBOOT() failed!"));
  EXPECT_TRUE(Printed("UpdateKernel() failed!"));
  EXPECT_EQ(output_.find("REV-"), std::string::npos) << "revision 3 assumed: no prompt";
}

TEST_F(ProgramRun, PowerDriverAbsentIsIgnored) {
  WriteDeviceIni("[drivers]\nSCD1 = flash\n");
  EXPECT_EQ(Run("start\n"), 1);
  Lines expected = CleanJournal();
  std::erase(expected, kPowerEnter);
  std::erase(expected, kPowerLeave);
  EXPECT_EQ(Journal(), expected);
}

// Nothing was read, so nothing may be written back: the store keeps the
// update's small size rather than an invented one.
TEST_F(ProgramRun, GetDivisionFailingAndPassedOverRestoresNothing) {
  WriteDeviceIni("[kernel]\nfail = GetSystemMemoryDivision\n");
  EXPECT_EQ(Run("start\nyes\n"), 1);
  Lines expected = CleanJournal();
  *std::find(expected.begin(), expected.end(), kGetDivision) =
      Kernel("GetSystemMemoryDivision", {}, false);
  std::erase(expected, kRestore);
  EXPECT_EQ(Journal(), expected);
  EXPECT_TRUE(Printed("GetSystemMemoryDivision() failed!"));
}

TEST_F(ProgramRun, GetDivisionFailingAnsweredNoChangesNothing) {
  WriteDeviceIni("[kernel]\nfail = GetSystemMemoryDivision\n");
  EXPECT_EQ(Run("start\nno\n"), 2);
  EXPECT_EQ(Journal(), (Lines{kRevision, kPowerEnter, kPowerStatus,
                              Kernel("GetSystemMemoryDivision", {}, false), kPowerLeave}));
}

TEST_F(ProgramRun, SetDivisionNeedingARestartAnsweredNo) {
  WriteDeviceIni("[memory]\nset_result = 1\n");
  EXPECT_EQ(Run("start\nno\n"), 2);
  EXPECT_EQ(Journal(), (Lines{kRevision, kPowerEnter, kPowerStatus, kGetDivision,
                              Kernel("SetSystemMemoryDivision", Word(32), false),
                              Kernel("SetSystemMemoryDivision", Word(2048), false), kPowerLeave}));
  EXPECT_TRUE(Printed("SetSystemMemoryDivision() failed!"));
}

TEST_F(ProgramRun, CoreLibraryMissingPromptsAndCannotRestart) {
  WriteDeviceIni("[kernel]\ncoredll = no\n");
  EXPECT_EQ(Run("start\nyes\nyes\n"), 1) << "the dialog ends with 1 when no restart happens";
  Lines expected = CleanJournal();
  for (const std::string& gone : {kGetDivision, kShrink, kRestore, kReboot})
    std::erase(expected, gone);
  EXPECT_EQ(Journal(), expected);
}

struct HostileImage {
  const char* name;
  int region;  // the BIN image damaged (drivers, tinynk, nk, chain); -1: nboot.bin emptied
  std::vector<std::string> options;
  const char* what;  // how the refusal names what is wrong
};

void PrintTo(const HostileImage& image, std::ostream* out) { *out << image.name; }

class HostileImageSet : public ProgramRun, public ::testing::WithParamInterface<HostileImage> {};

std::string ProgramRun::Damage(const HostileImage& image) {
  const char* names[] = {"drivers.bin", "tinynk.bin", "nk.bin", "chain.bin"};
  const uint32_t starts[] = {0x80000000, 0x80100000, 0x80200000, 0x80400000};
  if (image.region < 0) {
    WriteBytes(folder_ / "nboot.bin", {});
    return "nboot.bin";
  }
  MakeBin(names[image.region], starts[image.region], Pattern(20000, 12), image.options);
  return names[image.region];
}

// Nothing after the revision query: no power driver call, no memory division,
// no boot loader and no kernel region is touched, and START stays offered.
TEST_P(HostileImageSet, IsRefusedBeforeAnythingIsSent) {
  const std::string file = Damage(GetParam());
  ExpectRefusedBeforeAnythingIsSent(GetParam(), file);
}

void ProgramRun::ExpectRefusedBeforeAnythingIsSent(const HostileImage& image,
                                                   const std::string& file) {
  EXPECT_EQ(Run("start\n"), 2) << "the dialog stays ready; the end of input cancels";
  EXPECT_EQ(Journal(), Lines{kRevision});
  EXPECT_TRUE(Printed("\\Storage Card\\Update\\" + file + " cannot be used: " + image.what + "."))
      << output_;
  EXPECT_TRUE(Printed("Nothing has been changed."));
  EXPECT_EQ(output_.find("CONTINUE?"), std::string::npos) << "no error prompt followed";
  EXPECT_FALSE(fs::exists(root_.root() / "flash"));
}

const HostileImage kHostileImages[] = {
    HostileImage{"Cut", 2, {"--cut", "3"}, "record 4 is longer than the rest of the file"},
    HostileImage{"BadChecksum", 0, {"--bad-checksum", "1"}, "record 2 does not match its checksum"},
    HostileImage{"ImplausibleLength",
                 2,
                 {"--implausible-length", "2"},
                 "record 3 is longer than the rest of the file"},
    HostileImage{"PastTheRegion",
                 3,
                 {"--length", "4096"},
                 "record 2 lies outside the image's address range"},
    HostileImage{"NoEndRecord", 1, {"--no-end"}, "it ends without an end record"},
    HostileImage{"EmptyBootLoader", -1, {}, "it is empty"}};

INSTANTIATE_TEST_SUITE_P(EachDamage, HostileImageSet, ::testing::ValuesIn(kHostileImages),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProgramRun, ImageCutInsideItsHeaderIsRefused) {
  WriteBytes(folder_ / "chain.bin", Bytes(set_.bins[3].begin(), set_.bins[3].begin() + 10));
  EXPECT_EQ(Run("start\n"), 2);
  EXPECT_TRUE(Printed("chain.bin cannot be used: it ends inside its header.")) << output_;
  EXPECT_EQ(Journal(), Lines{kRevision});
}

// The driver refuses the first record: the kernel update ends there, before
// any other region or the version, and the UpdateKernel prompt follows.
TEST_F(ProgramRun, RecordRefusedDuringTheTransferFailsTheKernelUpdate) {
  WriteDeviceIni("[drivers]\nSCD1 = flash\nPWR1 = power\nfail = 80012068\n");
  EXPECT_EQ(Run("start\nno\n"), 2);
  EXPECT_TRUE(Printed("UpdateKernel() failed!")) << output_;
  const Lines stream = StreamLines(set_.bins[0]);
  const Lines kernelStart = {Scd("0x80012054"), Scd("0x80012060", MultiHeader()), stream[0],
                             stream[1].substr(0, stream[1].size() - 2) + "fail"};
  const Lines expected = Concat({{kRevision, kPowerEnter, kPowerStatus, kGetDivision, kShrink,
                                  Scd("0x80012004", set_.nboot), Scd("0x8001202C", set_.eboot)},
                                 kernelStart,
                                 {kRestore, kPowerLeave}});
  EXPECT_EQ(Journal(), expected);
  EXPECT_FALSE(FlashHas("version"));
  EXPECT_FALSE(FlashHas("region0.bin")) << "a region is stored only when whole";
  EXPECT_TRUE(FlashHas("kernel-unfinished"));
}

// The real program killed while the driver stores eboot.nb0 leaves the old
// file whole; the next run removes what the killed one was writing.
TEST_F(ProgramRun, KillDuringABootLoaderStoreLeavesTheOldFileWhole) {
  ASSERT_EQ(Run("start\n"), 1);
  const Bytes large(64u << 20, 0x5A);
  WriteBytes(folder_ / "eboot.nb0", large);
  const fs::path flash = root_.root() / "flash";
  fs::path staged;
  // A kill that lands just after the store finished proves nothing: tried again.
  for (int attempt = 0; attempt < 5 && staged.empty(); ++attempt) {
    BackgroundRun run("/bin/sh",
                      {"-c", "printf 'start\\n' | exec \"$0\" \"$1\"", FITKIT_IMAGEFIT_BIN,
                       "\\Storage Card\\Update"},
                      {{"FITKIT_UI", "console"}, {"FITKIT_DEVICE", root_.root().string()}},
                      root_.root() / "out.txt");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    std::error_code error;
    while (staged.empty() && std::chrono::steady_clock::now() < deadline) {
      for (const auto& entry : fs::directory_iterator(flash, error)) {
        if (entry.path().filename().string().starts_with(".eboot.nb0.new-") &&
            entry.file_size(error) > 0) {
          staged = entry.path();
        }
      }
    }
    ASSERT_FALSE(staged.empty()) << "eboot.nb0 was never stored";
    kill(std::stoi(staged.filename().string().substr(15)), SIGKILL);
    run.Finish();
    const Bytes kept = Flash("eboot.nb0");
    EXPECT_TRUE(kept == set_.eboot || kept == large)
        << "eboot.nb0 holds " << kept.size() << " bytes";
    if (!fs::exists(staged)) staged.clear();
  }
  ASSERT_FALSE(staged.empty()) << "never killed while storing";
  EXPECT_EQ(Run("start\n"), 1);
  EXPECT_FALSE(fs::exists(staged)) << "the killed run's staged file is removed";
  EXPECT_EQ(Flash("eboot.nb0"), large);
  EXPECT_FALSE(FlashHas("kernel-unfinished"));
}

// Killed while nboot is stored, the next start says so (not only "Ready..."),
// and the words go once a whole set was programmed.
TEST_F(ProgramRun, KillDuringTheBootLoaderLeavesAMarkTheNextStartReads) {
  root_.WriteRegistry(
      "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Ident]\n\"Model\"=\"KTR 60\"\n"
      "[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\FlashDrv]\n"
      "\"Folder\"=\"Flash Disk\"\n");
  fs::create_directories(root_.fs("Flash Disk"));
  WriteBytes(folder_ / "nboot.bin", Bytes(64u << 20, 0x5A));
  const fs::path flash = root_.root() / "flash";
  BackgroundRun run("/bin/sh",
                    {"-c", "printf 'start\\n' | exec \"$0\" \"$1\"", FITKIT_IMAGEFIT_BIN,
                     "\\Storage Card\\Update"},
                    {{"FITKIT_UI", "console"}, {"FITKIT_DEVICE", root_.root().string()}},
                    root_.root() / "out.txt");
  // The pipe's end runs imagefit: its pid is in the name of what it stages.
  fs::path staged;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (staged.empty() && std::chrono::steady_clock::now() < deadline) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(flash, error)) {
      if (entry.path().filename().string().starts_with(".nboot.bin.new-")) staged = entry.path();
    }
  }
  ASSERT_FALSE(staged.empty()) << "nboot.bin was never stored";
  kill(std::stoi(staged.filename().string().substr(15)), SIGKILL);
  run.Finish();
  ASSERT_FALSE(FlashHas("eboot.nb0")) << "killed after the boot loaders";

  const std::string words = "Boot loader update interrupted: run it again.";
  EXPECT_EQ(Run("start\n"), 1);
  EXPECT_TRUE(Printed("\n  " + words + "\n")) << output_;
  EXPECT_EQ(Run(""), 2);
  EXPECT_TRUE(Printed("\n  Ready...\n")) << output_;
  EXPECT_FALSE(Printed(words));
}

TEST_F(ProgramRun, MillionByteImageShowsProgressOnA1024Range) {
  // Ten records of 100,000 bytes on the wire: after five, 500,000 bytes are sent.
  const Bytes data = Pattern(10 * 99988, 3);
  set_.bins[2] =
      MakeBin("nk.bin", 0x80200000, data, {"--record-size", "99988", "--length", "1000000"});
  EXPECT_EQ(Run("start\n"), 1);
  EXPECT_TRUE(Printed("progress: 512/1024\n")) << output_;
}

TEST_F(ProgramRun, MissingImageEndsUnseenWithMinusOne) {
  fs::remove(folder_ / "drivers.bin");
  EXPECT_EQ(Run("start\n"), 255);
  EXPECT_EQ(output_.find("dialog:"), std::string::npos);
  EXPECT_FALSE(fs::exists(root_.root() / "journal.log"));
}

TEST_F(ProgramRun, FolderTooLongForTheImageNamesEndsWithMinusOne) {
  // "\Storage Card\" and this name make 248 characters: "\drivers.bin" no longer fits in 259.
  const std::string longName(248 - std::string("\\Storage Card\\").size(), 'u');
  for (const std::string& name : {longName, longName.substr(1)}) {
    const fs::path copy = root_.root() / "fs" / "Storage Card" / name;
    fs::create_directories(copy);
    for (const auto& entry : fs::directory_iterator(folder_))
      fs::copy(entry.path(), copy / entry.path().filename());
  }
  EXPECT_EQ(Run("start\n", "\\Storage Card\\" + longName), 255);
  EXPECT_EQ(output_.find("dialog:"), std::string::npos);
  EXPECT_EQ(Run("start\n", "\\Storage Card\\" + longName.substr(1)), 1)
      << "one character shorter fits";
}

}  // namespace
}  // namespace imagefit_test

namespace imagefit_test {
namespace {

// A device that holds its maker's key: a set signed for its model is sent as
// ever; a set with one signature missing, made for another model, or whose
// version file was changed after signing sends nothing to any driver.
class SignedProgramRun : public ProgramRun {
 protected:
  void SetUp() override {
    ProgramRun::SetUp();
    root_.WriteRegistry(
        "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Ident]\n\"Model\"=\"KTR 60\"\n"
        "\"Version\"=\"V1.0.5\"\n\"UpdateKeys\"=\"" +
        maker_.PublicKeyLine() + "\"\n");
    SignRelease("model=KTR 60");
  }
  // The release manifest of the folder as it is now, signed with `comment`.
  void SignRelease(const std::string& comment, uint32_t securityVersion = 0) {
    std::vector<std::pair<signature::FileRole, fs::path>> files;
    const char* names[] = {"KTR 60.ini",  "nboot.bin", "eboot.nb0", "tinynk.bin",
                           "drivers.bin", "nk.bin",    "chain.bin"};
    for (int i = 0; i < 7; ++i)
      files.emplace_back(signature::kImageSetRoles[i], folder_ / names[i]);
    maker_.SignRelease(folder_ / "release.manifest", signature::ReleaseKind::ImageSet, files,
                       comment, securityVersion);
  }
  // A refused START: one box with `words`, then Cancel; nothing reached a driver.
  void ExpectRefused(const std::string& words) {
    fs::remove(root_.root() / "journal.log");
    EXPECT_EQ(Run("start\ncancel\n"), 2);
    EXPECT_TRUE(Journal().empty()) << output_;
    EXPECT_FALSE(FlashHas("nboot.bin"));
    EXPECT_TRUE(Printed(words)) << output_;
    EXPECT_TRUE(Printed("Nothing was changed.")) << output_;
  }

  TempFolder keys_;
  MinisignKey maker_{keys_.path(), "maker"};
};

TEST_F(SignedProgramRun, SendsOnlyASetSignedForItsModel) {
  const fs::path manifest = folder_ / "release.manifest";
  fs::rename(manifest, root_.root() / "release.manifest");
  maker_.Sign(folder_ / "nk.bin", "model=KTR 60");  // a signature of one file is not enough
  ExpectRefused("is not signed: its release manifest");
  fs::rename(root_.root() / "release.manifest", manifest);

  SignRelease("model=KTR 61");
  ExpectRefused("release.manifest is signed for model KTR 61, not for this KTR 60");
  SignRelease("model=KTR 60");

  // A version file changed after signing: the image version the driver gets
  // comes from it.
  WriteText(folder_ / "KTR 60.ini", "V1.0.8\r\n");
  ExpectRefused("KTR 60.ini was changed after it was signed");
  WriteText(folder_ / "KTR 60.ini", "V1.0.7\r\n");

  // The mixed set: the kernel of another signed release with this one's
  // manifest. The moved slot: a signed file of another slot in nboot's place.
  const Bytes nk = ReadBytes(folder_ / "nk.bin"), nboot = ReadBytes(folder_ / "nboot.bin");
  MakeBin("nk.bin", 0x80200000, Pattern(70000, 99));
  ExpectRefused(
      "nk.bin was changed after it was signed: it is not the file the release "
      "manifest names as its nk");
  WriteBytes(folder_ / "nk.bin", nk);
  fs::copy_file(folder_ / "eboot.nb0", folder_ / "nboot.bin", fs::copy_options::overwrite_existing);
  ExpectRefused("names as its nboot");
  WriteBytes(folder_ / "nboot.bin", nboot);

  fs::remove(root_.root() / "journal.log");
  EXPECT_EQ(Run("start\n"), 1);
  EXPECT_EQ(Journal(), CleanJournal());
  ExpectFlashHoldsTheImageSet();
}

// The signed model is the device's own (its registry's), and a refusal's
// words reach the report and its closing line.
TEST_F(SignedProgramRun, SetSignedForAnotherModelIsRefusedInWords) {
  const std::string keys = "\"UpdateKeys\"=\"" + maker_.PublicKeyLine() + "\"\n";
  root_.WriteRegistry("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Ident]\n\"Model\"=\"KTR 70\"\n" + keys);
  const fs::path report = keys_.path() / "report.json";
  const RunResult run = RunProgram(FITKIT_IMAGEFIT_BIN, {"\\Storage Card\\Update"},
                                   {{"FITKIT_UI", "console"},
                                    {"FITKIT_DEVICE", root_.root().string()},
                                    {"FITKIT_REPORT", report.string()}},
                                   "start\ncancel\n");
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_TRUE(Journal().empty());
  EXPECT_NE(run.err.find("imagefit: refused: \\Storage Card\\Update\\release.manifest is signed "
                         "for model KTR 60, not for this KTR 70. Nothing was changed."),
            std::string::npos)
      << run.err;

  root_.WriteRegistry("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Ident]\n" + keys);
  ExpectRefused("registry names no model");
}

// No rollback: once a set of security version 3 is in the flash, one of 2
// is refused, one of 3 still goes; a floor the device cannot read takes
// nothing signed.
TEST_F(SignedProgramRun, ASetOlderThanTheDeviceFloorIsRefused) {
  const fs::path floor = root_.root() / "secure" / "security-versions";
  SignRelease("model=KTR 60", 3);
  EXPECT_EQ(Run("start\n"), 1);
  EXPECT_EQ(ReadText(floor), "system 3\n");
  // Refused: nothing reaches a driver.
  const auto expectRefused = [&](const std::string& words) {
    fs::remove(root_.root() / "journal.log");
    EXPECT_EQ(Run("start\ncancel\n"), 2);
    EXPECT_TRUE(Journal().empty()) << output_;
    EXPECT_TRUE(Printed(words)) << output_;
  };
  SignRelease("model=KTR 60", 2);
  expectRefused(
      "\\Storage Card\\Update is an older release (security version 2) than this device "
      "accepts (3). Nothing was changed.");
  SignRelease("model=KTR 60", 3);
  EXPECT_EQ(Run("start\n"), 1);
  WriteText(floor, "system three\n");
  expectRefused("cannot read its record of the security versions it accepts");
}

class SignedHostileImageSet : public SignedProgramRun,
                              public ::testing::WithParamInterface<HostileImage> {};

// A damaged image signed as it is passes its signature; START's check, made
// in the same read as the image's hashes, still refuses it in the same words.
TEST_P(SignedHostileImageSet, IsRefusedBeforeAnythingIsSent) {
  const std::string file = Damage(GetParam());
  SignRelease("model=KTR 60");
  ExpectRefusedBeforeAnythingIsSent(GetParam(), file);
}

INSTANTIATE_TEST_SUITE_P(EachDamage, SignedHostileImageSet, ::testing::ValuesIn(kHostileImages),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace imagefit_test
