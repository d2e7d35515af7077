#include <gtest/gtest.h>

#include <set>

#include <nlohmann/json.hpp>

#include "frame/update_dialog.h"
#include "imagefit/device_power.h"
#include "imagefit/dialog_template.h"
#include "imagefit/flash_driver.h"
#include "imagefit/image_set.h"
#include "imagefit/image_update.h"
#include "imagefit/imagefit_run.h"
#include "platform/outcome_report.h"
#include "platform/text.h"
#include "report/json_report.h"
#include "tests/imagefit/fakes.h"
#include "tests/support/bin_images.h"
#include "tests/support/host_files.h"
#include "tests/support/minisign_tool.h"
#include "tests/support/temp_folder.h"

namespace imagefit_test {

using namespace test_support;

namespace {

using namespace imagefit;
using platform::IDNO;
using platform::IDYES;

const std::u16string kNoPower = u"Please make sure an AC online!";
const std::u16string kGetFailed = u"ERROR!\r\nGetSystemMemoryDivision() failed!\r\nCONTINUE?";
const std::u16string kSetFailed = u"ERROR!\r\nSetSystemMemoryDivision() failed!\r\nCONTINUE?";
const std::u16string kNbootFailed = u"ERROR!\r\nUpdateNBOOT() failed!\r\nCONTINUE?";
const std::u16string kKernelFailed = u"ERROR!\r\nUpdateKernel() failed!\r\nCONTINUE?";

// Six sound images and a version file in `folder`.
void PutImageSet(FakeDevice& device, const std::u16string& folder, const std::string& version) {
  for (int i = 0; i < kImageCount; ++i) {
    const std::u16string name(kImageFileNames[i]);
    const bool bin = name.ends_with(u".bin") && name != u"nboot.bin";
    device.files.Put(folder + u"\\" + name,
                     bin ? MakeFlatBin(0x1000, Pattern(100, 1), 64) : Pattern(32, uint8_t(i)));
  }
  device.files.Put(folder + u"\\KTR 60.ini", version);
}

class RunSequence : public ::testing::Test {
 protected:
  void SetUp() override {
    PutImageSet(device, u"\\U", "V1.0.7\r\n");
    // The frame's run, whose title captions the message boxes.
    dialog.SetUserData(reinterpret_cast<intptr_t>(&frameRun));
    run.Prepare(u"\\U");
    ASSERT_TRUE(run.InitDialog(dialog));
    dialog.statusHistory.clear();
  }
  int RunImageUpdate() { return imagefit::RunImageUpdate(dialog, run.set(), report); }
  std::vector<std::u16string> BoxTexts() const {
    std::vector<std::u16string> texts;
    for (const auto& box : dialog.boxes) texts.push_back(box.text);
    return texts;
  }

  FakeDevice device;
  RecordingDialog dialog;
  ImagefitRun run;
  UpdateReport report;
  const frame::UpdateProgram program = FrameProgram();
  frame::FrameRun frameRun{program, run};
};

TEST_F(RunSequence, CleanRunShrinksTheStoreAndSetsItBack) {
  EXPECT_EQ(RunImageUpdate(), 1);
  EXPECT_EQ(device.kernel.setPages, (std::vector<uint32_t>{32, 2048}));
  EXPECT_TRUE(dialog.boxes.empty());
  EXPECT_EQ(dialog.statusHistory, (std::vector<std::u16string>{
                                      u"Downloading...  nboot.bin", u"Downloading...  eboot.nb0",
                                      u"Downloading...  drivers.bin", u"Downloading...  tinynk.bin",
                                      u"Downloading...  nk.bin", u"Downloading...  chain.bin",
                                      u"Programming...  Please wait..."}))
      << "once per image, not once per record";
  EXPECT_EQ(dialog.pumps, 7);
}

TEST_F(RunSequence, NoExternalPowerAfterThreeChecks) {
  device.kernel.acLine = {0};
  EXPECT_EQ(RunImageUpdate(), -1);
  EXPECT_EQ(device.kernel.powerChecks, 3);
  EXPECT_EQ(BoxTexts(), std::vector<std::u16string>{kNoPower});
  EXPECT_EQ(dialog.boxes[0].style, 0x40040u);
  EXPECT_EQ(dialog.boxes[0].caption, u"KTR 60 OS UPDATE");
  EXPECT_TRUE(device.kernel.setPages.empty());
  EXPECT_TRUE(device.drivers.calls.empty());
}

TEST_F(RunSequence, UnknownLineStatusCountsAsExternalPower) {
  device.kernel.acLine = {0, 0, 255};
  EXPECT_EQ(RunImageUpdate(), 1);
  EXPECT_EQ(device.kernel.powerChecks, 3);
}

// Without a division read there is nothing to set back; restoring a made-up
// page count would leave the device with a wrong store size.
TEST_F(RunSequence, FailedGetDivisionPassedOverRestoresNothing) {
  device.kernel.getDivisionWorks = false;
  dialog.answers = {IDYES};
  EXPECT_EQ(RunImageUpdate(), 0);
  EXPECT_EQ(BoxTexts(), std::vector<std::u16string>{kGetFailed});
  EXPECT_EQ(dialog.boxes[0].style, 0x40024u);
  EXPECT_EQ(device.kernel.setPages, std::vector<uint32_t>{32}) << "only the shrink, no restore";
}

TEST_F(RunSequence, FailedGetDivisionAnsweredNoChangesNothing) {
  device.kernel.getDivisionWorks = false;
  dialog.answers = {IDNO};
  EXPECT_EQ(RunImageUpdate(), -1);
  EXPECT_TRUE(device.kernel.setPages.empty());
  EXPECT_TRUE(device.drivers.calls.empty());
}

TEST_F(RunSequence, SetDivisionNeedingARestartIsAFailure) {
  device.kernel.setResult = 1;
  dialog.answers = {IDNO};
  EXPECT_EQ(RunImageUpdate(), -1);
  EXPECT_EQ(BoxTexts(), std::vector<std::u16string>{kSetFailed});
  EXPECT_EQ(device.kernel.setPages, (std::vector<uint32_t>{32, 2048})) << "No restores";
  EXPECT_TRUE(device.drivers.calls.empty());
}

TEST_F(RunSequence, MissingCoreLibraryFunctionsArePassedOverWithYes) {
  device.kernel.coreDll = false;
  dialog.answers = {IDYES, IDYES};
  EXPECT_EQ(RunImageUpdate(), 0);
  EXPECT_EQ(BoxTexts(), (std::vector<std::u16string>{kGetFailed, kSetFailed}));
  // Both boot loaders, then open, multi header, 4 x (header, 2 records, end), version, finish,
  // close.
  EXPECT_EQ(device.drivers.CodesSent("SCD1").size(), 2u + 2 + 4 * 4 + 3);
}

TEST_F(RunSequence, NbootFailurePassedOverStillWritesTheRest) {
  device.drivers.failAlways = {SCD_IOCTL_WRITE_NBOOT};
  dialog.answers = {IDYES};
  EXPECT_EQ(RunImageUpdate(), 0);
  EXPECT_EQ(BoxTexts(), std::vector<std::u16string>{kNbootFailed});
  const auto codes = device.drivers.CodesSent("SCD1");
  EXPECT_EQ(codes[1], SCD_IOCTL_WRITE_EBOOT);
  EXPECT_EQ(codes.back(), SCD_IOCTL_KERNEL_CLOSE);
}

TEST_F(RunSequence, NbootFailureAnsweredNoStopsAndRestores) {
  device.drivers.failAlways = {SCD_IOCTL_WRITE_NBOOT};
  dialog.answers = {IDNO};
  EXPECT_EQ(RunImageUpdate(), -1);
  EXPECT_EQ(device.drivers.CodesSent("SCD1"), std::vector<uint32_t>{SCD_IOCTL_WRITE_NBOOT});
  EXPECT_EQ(device.kernel.setPages, (std::vector<uint32_t>{32, 2048}));
}

TEST_F(RunSequence, KernelFailureYesOrNoBothRestore) {
  device.drivers.failAlways = {SCD_IOCTL_KERNEL_OPEN};
  dialog.answers = {IDYES};
  EXPECT_EQ(RunImageUpdate(), 0);
  dialog.answers = {IDNO};
  EXPECT_EQ(RunImageUpdate(), -1);
  EXPECT_EQ(BoxTexts(), (std::vector<std::u16string>{kKernelFailed, kKernelFailed}));
  EXPECT_EQ(device.kernel.setPages, (std::vector<uint32_t>{32, 2048, 32, 2048}));
}

TEST(ImageProgress, OneMillionBytesGiveARangeNear1024) {
  EXPECT_EQ(ProgressDivisor(1000000), 976u);
  EXPECT_EQ(ProgressDivisor(65534), 1u);
  EXPECT_EQ(ProgressDivisor(65535), 63u);
  EXPECT_EQ(ProgressDivisor(67107840), 67107840u / 2048)
      << "from 67,107,840 bytes on the step doubles";
  EXPECT_EQ(ProgressDivisor(256u << 20), (256u << 20) / 5120) << "256 MB: k = 5";

  RecordingDialog dialog;
  OnImageProgress(u"\\U\\nk.bin", 500000, 1000000, &dialog);
  EXPECT_EQ(dialog.ranges.back(), (std::pair<uint16_t, uint16_t>(0, 1024)));
  EXPECT_EQ(dialog.positions.back(), 512);
  EXPECT_EQ(dialog.texts[1005], u"Downloading...  nk.bin");
  OnImageProgress(nullptr, 0, 0, &dialog);
  EXPECT_EQ(dialog.texts[1005], u"Programming...  Please wait...");
  EXPECT_EQ(dialog.ranges.back(), (std::pair<uint16_t, uint16_t>(0, 0)));
  EXPECT_EQ(dialog.pumps, 2);
}

// From 4,227,793,920 bytes on, total / d exceeds 16 bits whatever k is; the
// range must not wrap into a small one (0xFFFFFFFF would give 0..1024).
TEST(ImageProgress, LargestTotalsKeepTheFullRange) {
  RecordingDialog dialog;
  OnImageProgress(u"\\U\\nk.bin", 0x7FFFFFFF, 0xFFFFFFFF, &dialog);
  EXPECT_EQ(ProgressDivisor(0xFFFFFFFF), 0xFFFFFFFFu / (65 * 1024));
  EXPECT_EQ(dialog.ranges.back(), (std::pair<uint16_t, uint16_t>(0, 0xFFFF)));
  EXPECT_EQ(dialog.positions.back(), int(0x7FFFFFFFu / ProgressDivisor(0xFFFFFFFF)));
  OnImageProgress(u"\\U\\nk.bin", 0, 4227793919u, &dialog);
  EXPECT_EQ(dialog.ranges.back().second, 4227793919u / ProgressDivisor(4227793919u))
      << "just below, k = 63 still fits";
}

TEST(TransferStatus, PathWithoutBackslashIsItsOwnName) {
  RecordingDialog dialog;
  ShowTransferStatus(dialog, u"nk.bin");
  ShowTransferStatus(dialog, u"nk.bin");
  ShowTransferStatus(dialog, u"");
  EXPECT_EQ(dialog.statusHistory, (std::vector<std::u16string>{u"Downloading...  nk.bin",
                                                               u"Programming...  Please wait..."}));
  EXPECT_EQ(dialog.pumps, 2);
}

class StartHandler : public RunSequence {};

TEST_F(StartHandler, CleanRunEndsInARestartAndResultOne) {
  run.OnStart(dialog);
  EXPECT_EQ(dialog.endResult, 1);
  EXPECT_EQ(device.drivers.CodesSent("PWR1"),
            (std::vector<uint32_t>{PWR_IOCTL_UPDATE_ENTER, PWR_IOCTL_UPDATE_LEAVE}));
  EXPECT_EQ(device.kernel.calls.back(), "KernelIoControl");
  EXPECT_FALSE(dialog.enabled[1]);
  EXPECT_FALSE(dialog.enabled[2]);
}

TEST_F(StartHandler, NewerBoardAsksWithNoAsDefaultAndNoChangesNothing) {
  device.drivers.boardRevision = 4;
  run.OnStart(dialog);
  ASSERT_EQ(dialog.boxes.size(), 1u);
  EXPECT_EQ(dialog.boxes[0].text,
            u"Are you sure you want to update the REV-C image to the REV-D device?");
  EXPECT_EQ(dialog.boxes[0].style, 0x40124u);
  EXPECT_FALSE(dialog.endResult.has_value());
  EXPECT_EQ(device.drivers.CodesSent("SCD1"), std::vector<uint32_t>{SCD_IOCTL_GET_BOARD_REVISION});
  EXPECT_TRUE(device.drivers.CodesSent("PWR1").empty());
  EXPECT_EQ(dialog.enableCalls, 0) << "buttons never touched";
}

TEST_F(StartHandler, NoVersionMeansRevisionZeroAndAsksOnABoardOfThree) {
  device.files.DeleteFile(u"\\U\\KTR 60.ini");
  ASSERT_TRUE(run.InitDialog(dialog));
  ASSERT_EQ(run.set().version, 0u);
  run.OnStart(dialog);
  ASSERT_EQ(dialog.boxes.size(), 1u);
  EXPECT_EQ(dialog.boxes[0].text,
            u"Are you sure you want to update the REV-C image to the REV-D device?");
  EXPECT_FALSE(dialog.endResult.has_value()) << "the default No stops here";
}

TEST_F(StartHandler, OlderBoardWithYesPumpsTenTimesThenRuns) {
  device.files.Put(u"\\U\\KTR 60.ini", "V1.0.7.4\r\n");
  ASSERT_TRUE(run.InitDialog(dialog));
  dialog.answers = {IDYES};
  dialog.pumps = 0;
  run.OnStart(dialog);
  ASSERT_FALSE(dialog.boxes.empty());
  EXPECT_EQ(dialog.boxes[0].text,
            u"Are you sure you want to update the REV-D image to the REV-C device?\r\n"
            u"It cause to halt the system!");
  EXPECT_EQ(dialog.pumps, 10 + 7);
  EXPECT_EQ(dialog.endResult, 1);
}

TEST_F(StartHandler, StartQueuedDuringTheRevisionPumpsDoesNotRunTwice) {
  device.files.Put(u"\\U\\KTR 60.ini", "V1.0.7.4\r\n");
  ASSERT_TRUE(run.InitDialog(dialog));
  dialog.answers = {IDYES};
  bool clicked = false;
  dialog.onPump = [&] {
    if (clicked) return;
    clicked = true;
    run.OnStart(dialog);  // a START click dispatched by one of the pumps
  };
  run.OnStart(dialog);
  EXPECT_TRUE(clicked);
  EXPECT_EQ(dialog.boxes.size(), 1u);
  EXPECT_EQ(device.drivers.CodesSent("PWR1"),
            (std::vector<uint32_t>{PWR_IOCTL_UPDATE_ENTER, PWR_IOCTL_UPDATE_LEAVE}));
  EXPECT_EQ(dialog.endResult, 1);
}

TEST_F(StartHandler, StoppedRunGivesTheButtonsBack) {
  device.kernel.acLine = {0};
  run.OnStart(dialog);
  EXPECT_FALSE(dialog.endResult.has_value());
  EXPECT_TRUE(dialog.enabled[1]);
  EXPECT_TRUE(dialog.enabled[2]);
  EXPECT_EQ(device.drivers.CodesSent("PWR1"),
            (std::vector<uint32_t>{PWR_IOCTL_UPDATE_ENTER, PWR_IOCTL_UPDATE_LEAVE}));
}

TEST_F(StartHandler, ButtonsAreDisabledWhileTheRunPumps) {
  bool sawEnabled = false;
  dialog.onPump = [&] { sawEnabled |= dialog.enabled[1] || dialog.enabled[2]; };
  run.OnStart(dialog);
  EXPECT_FALSE(sawEnabled);
}

TEST_F(StartHandler, MissingRestartFunctionStillEndsTheDialog) {
  device.kernel.coreDll = false;
  dialog.answers = {IDYES, IDYES};
  run.OnStart(dialog);
  EXPECT_EQ(dialog.endResult, 1);
  EXPECT_FALSE(RebootDevice());
  EXPECT_EQ(SetMemoryDivision(32), -1);
}

// A device that holds its maker's key, and an attacker who rewrites nk.bin
// in place once the transfer has begun: the kernel step fails with its
// prompt, and not one byte of the other kernel reaches the driver.
TEST_F(StartHandler, AKernelChangedDuringTheTransferIsNeverSent) {
  TempFolder keys;
  test_support::MinisignKey maker(keys.path(), "maker");
  device.registry.SetString(u"Ident", u"UpdateKeys", platform::FromUtf8(maker.PublicKeyLine()));
  device.registry.SetString(u"Ident", u"Model", u"KTR 60");
  std::vector<std::pair<signature::FileRole, std::filesystem::path>> files;
  files.emplace_back(signature::FileRole::Version, keys.path() / "version");
  WriteText(files.back().second, device.files.Get("\\U\\KTR 60.ini"));
  for (int i = 0; i < kImageCount; ++i) {
    const std::string name = platform::ToUtf8(kImageFileNames[i]);
    files.emplace_back(signature::kImageSetRoles[i + 1], keys.path() / name);
    WriteText(files.back().second, device.files.Get("\\U\\" + name));
  }
  maker.SignRelease(keys.path() / "release.manifest", signature::ReleaseKind::ImageSet, files,
                    "model=KTR 60", 5);
  device.files.Put("\\U\\release.manifest", ReadText(keys.path() / "release.manifest"));
  device.files.Put("\\U\\release.manifest.minisig",
                   ReadText(keys.path() / "release.manifest.minisig"));
  // Another kernel, well formed and of the same size, written over the
  // signed one once the first image is on its way.
  std::string& kernel = *device.files.Node("\\U\\nk.bin")->bytes;
  const Bytes other = MakeFlatBin(0x1000, Pattern(100, 9), 64);
  ASSERT_EQ(other.size(), kernel.size());
  dialog.answers = {IDNO};
  dialog.onPump = [&] { kernel.assign(other.begin(), other.end()); };
  run.OnStart(dialog);
  EXPECT_EQ(kernel, std::string(other.begin(), other.end())) << "the attacker wrote";
  EXPECT_EQ(BoxTexts(), std::vector<std::u16string>{kKernelFailed});
  EXPECT_FALSE(dialog.endResult.has_value());
  const auto sent = device.drivers.CodesSent("SCD1");
  EXPECT_EQ(std::count(sent.begin(), sent.end(), SCD_IOCTL_KERNEL_FINISH), 0);
  EXPECT_EQ(std::count(sent.begin(), sent.end(), SCD_IOCTL_SET_VERSION), 0);
  EXPECT_EQ(device.floors.floors[platform::ReleaseLine::kSystem], 0u) << "a set not sent whole";
}

// One run of the program's steps, as the frame calls them, with its own
// report; `answers` answer its message boxes.
nlohmann::ordered_json RunOnce(const std::u16string& folder, std::deque<int> answers) {
  report::JsonReport report("imagefit", platform::ToUtf8(folder), {});
  const platform::ScopedOutcomeRecorder recorder(report);
  RecordingDialog dialog;
  dialog.answers = std::move(answers);
  ImagefitRun run;
  const frame::UpdateProgram program = FrameProgram();
  frame::FrameRun frameRun{program, run};
  dialog.SetUserData(reinterpret_cast<intptr_t>(&frameRun));
  run.Prepare(folder);
  if (run.InitDialog(dialog)) run.OnStart(dialog);
  return report.document();
}

// Two updates in one process, as fitkit rehearse runs them: each run finds
// its own set, sends its own version and reports only its own START and
// steps, whatever the run before it passed over.
TEST(TwoRunsInOneProcess, EachGetsItsOwnSetStepsAndOutcome) {
  FakeDevice device;
  PutImageSet(device, u"\\A", "V1.0.7\r\n");
  PutImageSet(device, u"\\B", "V1.0.9\r\n");
  device.drivers.failOnce = {SCD_IOCTL_WRITE_NBOOT};
  const auto first = RunOnce(u"\\A", {IDYES});
  const auto second = RunOnce(u"\\B", {});
  EXPECT_EQ(first["image_set"]["folder"], "\\A");
  EXPECT_EQ(first["outcome"], "restarted-after-errors");
  EXPECT_EQ(first["failed_steps"], "nboot");
  EXPECT_EQ(second["image_set"]["folder"], "\\B");
  EXPECT_EQ(second["image_set"]["version"], "V1.0.9");
  EXPECT_EQ(second["runs"], 1);
  std::set<int> starts;
  for (const auto& step : second["steps"]) starts.insert(step["run"].get<int>());
  EXPECT_EQ(starts, std::set<int>{1});
  EXPECT_EQ(second["outcome"], "restarted");
  std::vector<Bytes> versions;
  for (const DriverCall& call : device.drivers.calls) {
    if (call.code == SCD_IOCTL_SET_VERSION) versions.push_back(call.input);
  }
  EXPECT_EQ(versions, (std::vector<Bytes>{{7, 0, 1, 3}, {9, 0, 1, 3}}));
}

}  // namespace
}  // namespace imagefit_test
