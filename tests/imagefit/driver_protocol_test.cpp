#include <gtest/gtest.h>

#include "imagefit/flash_driver.h"
#include "imagefit/image_files.h"
#include "imagefit/image_set.h"
#include "imagefit/update_report.h"
#include "tests/imagefit/fakes.h"
#include "tests/support/bin_images.h"

namespace imagefit_test {

using namespace test_support;

namespace {

using namespace imagefit;

struct Progress {
  std::u16string path;  // empty for the end-of-data call
  bool nullPath = false;
  uint32_t sent = 0, total = 0;
};

void RecordProgress(const char16_t* path, uint32_t sent, uint32_t total, void* context) {
  auto& log = *static_cast<std::vector<Progress>*>(context);
  log.push_back({path ? std::u16string(path) : u"", path == nullptr, sent, total});
}

const char16_t* const kPaths[] = {u"\\u\\drivers.bin", u"\\u\\tinynk.bin", u"\\u\\nk.bin",
                                  u"\\u\\chain.bin"};

class DriverProtocol : public ::testing::Test {
 protected:
  void PutRegions() {
    for (int i = 0; i < 4; ++i)
      device.files.Put(kPaths[i],
                       MakeFlatBin(0x80000000 + 0x100000 * i, Pattern(300, uint8_t(i)), 128));
  }
  bool Kernel(ProgressCallback callback = RecordProgress) {
    ImageSet set;
    set.paths[kDrivers] = kPaths[0];
    set.paths[kTinynk] = kPaths[1];
    set.paths[kNk] = kPaths[2];
    set.paths[kChain] = kPaths[3];
    set.version = 0x04010007;
    return UpdateKernel(set, report, callback, &progress);
  }
  std::vector<uint32_t> Codes() const { return device.drivers.CodesSent("SCD1"); }

  FakeDevice device;
  UpdateReport report;
  std::vector<Progress> progress;
};

constexpr uint32_t H = SCD_IOCTL_IMAGE_HEADER, R = SCD_IOCTL_IMAGE_RECORD;

TEST_F(DriverProtocol, CompleteImagesGoRecordByRecordInOrder) {
  PutRegions();
  ASSERT_TRUE(Kernel());
  // Each image: header, three data records (128+128+44) and the end record.
  const std::vector<uint32_t> expected = {SCD_IOCTL_KERNEL_OPEN,
                                          SCD_IOCTL_MULTI_HEADER,
                                          H,
                                          R,
                                          R,
                                          R,
                                          R,
                                          H,
                                          R,
                                          R,
                                          R,
                                          R,
                                          H,
                                          R,
                                          R,
                                          R,
                                          R,
                                          H,
                                          R,
                                          R,
                                          R,
                                          R,
                                          SCD_IOCTL_SET_VERSION,
                                          SCD_IOCTL_KERNEL_FINISH,
                                          SCD_IOCTL_KERNEL_CLOSE};
  EXPECT_EQ(Codes(), expected);
  const auto& calls = device.drivers.calls;
  EXPECT_EQ(calls[1].input.size(), 47u);
  EXPECT_EQ(calls[2].input.size(), 15u);
  EXPECT_EQ(calls[3].input.size(), 12u + 128);
  EXPECT_EQ(calls[5].input.size(), 12u + 44);
  EXPECT_EQ(calls[6].input, (Bytes{0, 0, 0, 0, 0x00, 0x10, 0x00, 0x80, 0, 0, 0, 0}))
      << "the end record goes as its 12 bytes";
  EXPECT_EQ(calls[22].input, (Bytes{0x07, 0x00, 0x01, 0x04}));
  EXPECT_EQ(device.drivers.opened, 1);
  EXPECT_EQ(device.drivers.closed, 1);

  ASSERT_EQ(progress.size(), 17u);
  EXPECT_EQ(progress[0].path, kPaths[0]);
  EXPECT_EQ(progress[0].sent, 140u);
  EXPECT_EQ(progress[3].sent, 140u + 140 + 56 + 12) << "headers count, the total may be passed";
  EXPECT_EQ(progress[3].total, 300u);
  EXPECT_EQ(progress[4].path, kPaths[1]);
  EXPECT_EQ(progress[4].sent, 140u) << "each image counts from zero";
  EXPECT_TRUE(progress[16].nullPath);
  EXPECT_EQ(progress[16].sent + progress[16].total, 0u);
}

// A broken region must not be followed by the next one or, above all, by the
// new version: the update ends where the image broke off.
TEST_F(DriverProtocol, ImageCutInsideARecordFailsTheKernelUpdateThere) {
  PutRegions();
  Bytes cut = MakeFlatBin(0x80100000, Pattern(300, 1), 128);
  cut.resize(15 + 140 + 50);  // inside the second record's data
  device.files.Put(kPaths[1], cut);
  EXPECT_FALSE(Kernel());
  const std::vector<uint32_t> expected = {
      SCD_IOCTL_KERNEL_OPEN, SCD_IOCTL_MULTI_HEADER, H, R, R, R, R, H, R};
  EXPECT_EQ(Codes(), expected);
  EXPECT_EQ(device.drivers.closed, device.drivers.opened);
}

TEST_F(DriverProtocol, StreamStopsAtDamageAndReportsFailure) {
  auto driver = OpenUpdateDriver();
  Bytes cut = MakeFlatBin(0x1000, Pattern(300, 1), 128);
  cut.resize(160);  // the first record and 5 bytes of the next header
  device.files.Put(u"\\cut", cut);
  EXPECT_FALSE(StreamImageRecords(u"\\cut", driver.get(), nullptr, nullptr));
  device.files.Put(u"\\headeronly", MakeBin(0x1000, 10, {}, false));
  EXPECT_FALSE(StreamImageRecords(u"\\headeronly", driver.get(), nullptr, nullptr));
  device.files.Put(u"\\tiny", Bytes(14, 0));
  EXPECT_FALSE(StreamImageRecords(u"\\tiny", driver.get(), nullptr, nullptr));
  EXPECT_FALSE(StreamImageRecords(u"\\missing", driver.get(), nullptr, nullptr));
  EXPECT_FALSE(StreamImageRecords(u"\\tiny", nullptr, nullptr, nullptr));
  EXPECT_EQ(Codes(), (std::vector<uint32_t>{R})) << "only the record before the cut";
}

// Records of several megabytes beside empty and tiny ones: each reaches the
// driver whole, in file order, up to the end record.
TEST_F(DriverProtocol, LargeAndTinyRecordsReachTheDriverWholeAndInOrder) {
  auto driver = OpenUpdateDriver();
  std::vector<TestRecord> records;
  // 1048564 bytes of data make a record of exactly the megabyte read at a time.
  for (const std::size_t size : {1500000, 10, 300000, 2100000, 0, 700000, 700000, 1048564, 5}) {
    records.push_back({0x1000, Pattern(size, uint8_t(records.size()))});
  }
  const Bytes bin = MakeBin(0x1000, 2100000, records);
  device.files.Put(u"\\big", bin);
  EXPECT_TRUE(StreamImageRecords(u"\\big", driver.get(), nullptr, nullptr));
  ASSERT_EQ(device.drivers.calls.size(), records.size() + 1);
  std::size_t at = 15;
  for (const auto& call : device.drivers.calls) {
    ASSERT_LE(at + call.input.size(), bin.size());
    EXPECT_TRUE(std::equal(call.input.begin(), call.input.end(), bin.begin() + std::ptrdiff_t(at)))
        << "the record at " << at;
    at += call.input.size();
  }
  EXPECT_EQ(at, bin.size());
}

TEST_F(DriverProtocol, ZeroLengthRecordGoesAsTwelveBytesAndStreamingContinues) {
  auto driver = OpenUpdateDriver();
  device.files.Put(u"\\z", MakeBin(0x1000, 8, {{0x1000, {}}, {0x1000, Pattern(8, 5)}}));
  EXPECT_TRUE(StreamImageRecords(u"\\z", driver.get(), nullptr, nullptr));
  ASSERT_EQ(device.drivers.calls.size(), 3u);
  EXPECT_EQ(device.drivers.calls[0].input.size(), 12u);
  EXPECT_EQ(device.drivers.calls[1].input.size(), 20u);
  EXPECT_EQ(device.drivers.calls[2].input.size(), 12u);
}

TEST_F(DriverProtocol, ImplausibleRecordLengthFailsWithoutAllocatingIt) {
  auto driver = OpenUpdateDriver();
  TestRecord huge{0x1000, Pattern(64, 1)};
  huge.lengthField = 0xFFFFFFF0;
  device.files.Put(u"\\huge", MakeBin(0x1000, 64, {{0x1000, Pattern(16, 2)}, huge}));
  std::vector<Progress> seen;
  EXPECT_FALSE(StreamImageRecords(u"\\huge", driver.get(), RecordProgress, &seen));
  EXPECT_EQ(seen.size(), 1u) << "the record before it was sent";
  EXPECT_LE(device.files.largestRead, 1u << 20) << "no read past a piece of 1 MB";

  // A claim small enough to be allocated, but larger than a piece, must be
  // refused all the same: only 64 bytes follow the header, so no read of
  // the claimed 3,000,000 may start.
  TestRecord longer{0x1000, Pattern(64, 3)};
  longer.lengthField = 3000000;
  device.files.Put(u"\\longer", MakeBin(0x1000, 64, {longer}));
  device.files.largestRead = 0;
  EXPECT_FALSE(StreamImageRecords(u"\\longer", driver.get(), nullptr, nullptr));
  EXPECT_LE(device.files.largestRead, 1u << 20);
  EXPECT_EQ(device.drivers.calls.size(), 1u) << "only the record before the huge one";
}

TEST_F(DriverProtocol, FailedRecordCallFailsTheKernelUpdate) {
  PutRegions();
  device.drivers.failOnce.insert(R);
  EXPECT_FALSE(Kernel());
  EXPECT_EQ(Codes(), (std::vector<uint32_t>{SCD_IOCTL_KERNEL_OPEN, SCD_IOCTL_MULTI_HEADER, H, R}))
      << "nothing after the refused record";
}

TEST_F(DriverProtocol, MissingImageFileFailsBeforeTheMultiHeader) {
  PutRegions();
  device.files.DeleteFile(kPaths[2]);
  EXPECT_FALSE(Kernel());
  EXPECT_EQ(Codes(), (std::vector<uint32_t>{SCD_IOCTL_KERNEL_OPEN}));
  EXPECT_EQ(device.drivers.closed, device.drivers.opened);
}

TEST_F(DriverProtocol, WithoutCallbackNoProgressButSameCodes) {
  PutRegions();
  ASSERT_TRUE(Kernel(nullptr));
  EXPECT_TRUE(progress.empty());
  EXPECT_EQ(Codes().size(), 25u);
}

TEST_F(DriverProtocol, FailingControlCodesEndTheKernelUpdateAtOnce) {
  PutRegions();
  for (uint32_t code : {SCD_IOCTL_KERNEL_OPEN, SCD_IOCTL_MULTI_HEADER, SCD_IOCTL_IMAGE_HEADER,
                        SCD_IOCTL_SET_VERSION, SCD_IOCTL_KERNEL_FINISH, SCD_IOCTL_KERNEL_CLOSE}) {
    device.drivers.calls.clear();
    device.drivers.failAlways = {code};
    EXPECT_FALSE(Kernel()) << std::hex << code;
    EXPECT_EQ(Codes().back(), code) << "nothing is sent after the failed code";
  }
}

TEST_F(DriverProtocol, BootLoadersGoWholeInOneCall) {
  device.files.Put(u"\\nboot.bin", Pattern(1000, 9));
  device.files.Put(u"\\eboot.nb0", Pattern(5, 1));
  EXPECT_TRUE(UpdateNBOOT(u"\\nboot.bin"));
  EXPECT_TRUE(UpdateEBOOT(u"\\eboot.nb0"));
  EXPECT_FALSE(UpdateEBOOT(u"\\missing"));
  ASSERT_EQ(device.drivers.calls.size(), 2u);
  EXPECT_EQ(device.drivers.calls[0].code, SCD_IOCTL_WRITE_NBOOT);
  EXPECT_EQ(device.drivers.calls[0].input, Pattern(1000, 9));
  EXPECT_EQ(device.drivers.calls[1].code, SCD_IOCTL_WRITE_EBOOT);
  EXPECT_EQ(device.drivers.opened, device.drivers.closed);
}

TEST_F(DriverProtocol, AbsentDriverFailsEverythingAndRevisionStaysThree) {
  PutRegions();
  device.files.Put(u"\\nboot.bin", Pattern(10, 9));
  device.drivers.absent = {"SCD1"};
  uint32_t revision = 99;
  EXPECT_FALSE(GetBoardRevision(&revision));
  EXPECT_EQ(revision, 3u);
  EXPECT_FALSE(UpdateNBOOT(u"\\nboot.bin"));
  EXPECT_FALSE(Kernel());
  EXPECT_TRUE(device.drivers.calls.empty());
}

TEST_F(DriverProtocol, BoardRevisionComesFromTheDriver) {
  device.drivers.boardRevision = 4;
  uint32_t revision = 0;
  EXPECT_TRUE(GetBoardRevision(&revision));
  EXPECT_EQ(revision, 4u);
}

}  // namespace
}  // namespace imagefit_test
