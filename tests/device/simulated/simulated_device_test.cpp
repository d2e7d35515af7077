// The simulated flash and power drivers, kernel and journal, driven directly.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "device/device.h"
#include "device/device_config.h"
#include "device/simulated/flash.h"
#include "device/simulated/journal.h"
#include "device/simulated/journal_crc32.h"
#include "device/simulated/simulated_hardware.h"
#include "platform/drivers.h"
#include "platform/flash_protocol.h"
#include "platform/kernel.h"
#include "tests/support/bin_images.h"
#include "tests/support/host_files.h"
#include "tests/support/temp_folder.h"

namespace simulated_test {
namespace {

using namespace platform::protocol;
using namespace test_support;
namespace fs = std::filesystem;

const Bytes kEndRecord = {0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0, 0};

class SimulatedFlashTest : public ::testing::Test {
 protected:
  bool Send(uint32_t code, const Bytes& input = {}) {
    return flash.Control(code, input.empty() ? nullptr : input.data(), uint32_t(input.size()),
                         nullptr, 0);
  }
  // Opens a kernel update with four regions of 64 bytes at 0x1000, 0x2000, ...
  void OpenFourRegions() {
    ASSERT_TRUE(Send(SCD_IOCTL_KERNEL_OPEN));
    ASSERT_TRUE(Send(SCD_IOCTL_MULTI_HEADER, MultiHeader(regions)));
  }
  Bytes Region(int i) {
    return ReadBytes(folder.path() / "flash" / ("region" + std::to_string(i) + ".bin"));
  }

  TempFolder folder;
  device::SimulatedFlash flash{folder.path() / "flash", 5};
  std::vector<std::pair<uint32_t, uint32_t>> regions = {
      {0x1000, 64}, {0x2000, 64}, {0x3000, 64}, {0x4000, 64}};
};

TEST_F(SimulatedFlashTest, StoresRegionsFlatWithZeroGapsAndTheVersion) {
  OpenFourRegions();
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(Send(SCD_IOCTL_IMAGE_HEADER, ImageHeader(regions[i].first, 64)));
    if (i == 1) {  // a region that receives only its end record stays all zero
      ASSERT_TRUE(Send(SCD_IOCTL_IMAGE_RECORD, kEndRecord));
      continue;
    }
    ASSERT_TRUE(Send(SCD_IOCTL_IMAGE_RECORD, Record(regions[i].first + 8, Pattern(16, 1))));
    ASSERT_TRUE(Send(SCD_IOCTL_IMAGE_RECORD, Record(regions[i].first + 40, Pattern(24, 2))));
    ASSERT_TRUE(Send(SCD_IOCTL_IMAGE_RECORD, kEndRecord));
  }
  ASSERT_TRUE(Send(SCD_IOCTL_SET_VERSION, {0x07, 0x00, 0x01, 0x04}));
  ASSERT_TRUE(Send(SCD_IOCTL_KERNEL_FINISH));
  ASSERT_TRUE(Send(SCD_IOCTL_KERNEL_CLOSE));

  Bytes expected(64, 0);
  std::memcpy(expected.data() + 8, Pattern(16, 1).data(), 16);
  std::memcpy(expected.data() + 40, Pattern(24, 2).data(), 24);
  EXPECT_EQ(Region(0), expected);
  EXPECT_EQ(Region(1), Bytes(64, 0));
  EXPECT_EQ(Region(3), expected);
  const Bytes version = ReadBytes(folder.path() / "flash" / "version");
  EXPECT_EQ(std::string(version.begin(), version.end()), "0x04010007");
}

TEST_F(SimulatedFlashTest, BootLoadersAreStoredAsReceived) {
  EXPECT_TRUE(Send(SCD_IOCTL_WRITE_NBOOT, Pattern(777, 3)));
  EXPECT_TRUE(Send(SCD_IOCTL_WRITE_EBOOT, Pattern(5, 4)));
  EXPECT_FALSE(Send(SCD_IOCTL_WRITE_EBOOT)) << "an empty boot loader is refused";
  EXPECT_EQ(ReadBytes(folder.path() / "flash" / "nboot.bin"), Pattern(777, 3));
  EXPECT_EQ(ReadBytes(folder.path() / "flash" / "eboot.nb0"), Pattern(5, 4));
  uint8_t revision[4] = {};
  EXPECT_TRUE(flash.Control(SCD_IOCTL_GET_BOARD_REVISION, nullptr, 0, revision, 4));
  EXPECT_EQ(ReadWord(revision), 5u);
  EXPECT_FALSE(flash.Control(SCD_IOCTL_GET_BOARD_REVISION, nullptr, 0, revision, 2));
}

TEST_F(SimulatedFlashTest, CodesOutOfOrderAreRefused) {
  EXPECT_FALSE(Send(SCD_IOCTL_MULTI_HEADER, MultiHeader(regions))) << "before KERNEL_OPEN";
  EXPECT_FALSE(Send(SCD_IOCTL_IMAGE_RECORD, kEndRecord));
  EXPECT_FALSE(Send(SCD_IOCTL_KERNEL_CLOSE));
  OpenFourRegions();
  EXPECT_FALSE(Send(SCD_IOCTL_WRITE_NBOOT, Pattern(8, 1))) << "not inside a kernel update";
  EXPECT_FALSE(Send(SCD_IOCTL_IMAGE_RECORD, kEndRecord)) << "record before its image header";
  EXPECT_FALSE(Send(SCD_IOCTL_SET_VERSION, {1, 2, 3, 4})) << "version before the images";
  for (int i = 0; i < 4; ++i)
    ASSERT_TRUE(Send(SCD_IOCTL_IMAGE_HEADER, ImageHeader(regions[i].first, 64)));
  EXPECT_FALSE(Send(SCD_IOCTL_IMAGE_HEADER, ImageHeader(0x5000, 64))) << "a fifth image";
  EXPECT_FALSE(Send(SCD_IOCTL_SET_VERSION, {1, 2, 3, 4})) << "the last image without its end";
  ASSERT_TRUE(Send(SCD_IOCTL_IMAGE_RECORD, kEndRecord));
  EXPECT_FALSE(Send(SCD_IOCTL_KERNEL_FINISH)) << "finish before the version";
  ASSERT_TRUE(Send(SCD_IOCTL_SET_VERSION, {1, 2, 3, 4}));
  EXPECT_FALSE(Send(SCD_IOCTL_KERNEL_CLOSE)) << "close before finish";
  EXPECT_TRUE(Send(SCD_IOCTL_KERNEL_FINISH));
  EXPECT_TRUE(Send(SCD_IOCTL_KERNEL_CLOSE));
  EXPECT_TRUE(Send(SCD_IOCTL_WRITE_NBOOT, Pattern(8, 1)));
}

TEST_F(SimulatedFlashTest, MultiHeaderIsChecked) {
  ASSERT_TRUE(Send(SCD_IOCTL_KERNEL_OPEN));
  Bytes bad = MultiHeader(regions);
  bad[0] = 'Y';
  EXPECT_FALSE(Send(SCD_IOCTL_MULTI_HEADER, bad)) << "signature";
  bad = MultiHeader(regions);
  bad[7] ^= 1;
  EXPECT_FALSE(Send(SCD_IOCTL_MULTI_HEADER, bad)) << "checksum";
  bad = MultiHeader(regions);
  bad[11] = 3;
  EXPECT_FALSE(Send(SCD_IOCTL_MULTI_HEADER, bad)) << "region count";
  bad = MultiHeader(regions);
  bad.pop_back();
  EXPECT_FALSE(Send(SCD_IOCTL_MULTI_HEADER, bad)) << "length";
  EXPECT_TRUE(Send(SCD_IOCTL_MULTI_HEADER, MultiHeader(regions)));
}

TEST_F(SimulatedFlashTest, ImageHeadersMustMatchTheirRegion) {
  OpenFourRegions();
  EXPECT_FALSE(Send(SCD_IOCTL_IMAGE_HEADER, ImageHeader(0x1000, 65)));
  EXPECT_FALSE(Send(SCD_IOCTL_IMAGE_HEADER, ImageHeader(0x2000, 64)))
      << "region 1's before region 0's";
  EXPECT_TRUE(Send(SCD_IOCTL_IMAGE_HEADER, ImageHeader(0x1000, 64)));
}

TEST_F(SimulatedFlashTest, RecordsOutsideTheRegionOrWithBadChecksumsAreRefused) {
  OpenFourRegions();
  ASSERT_TRUE(Send(SCD_IOCTL_IMAGE_HEADER, ImageHeader(0x1000, 64)));
  EXPECT_FALSE(Send(SCD_IOCTL_IMAGE_RECORD, Record(0xFFF, Pattern(4, 1)))) << "below the start";
  EXPECT_FALSE(Send(SCD_IOCTL_IMAGE_RECORD, Record(0x1000 + 60, Pattern(5, 1)))) << "past the end";
  EXPECT_TRUE(Send(SCD_IOCTL_IMAGE_RECORD, Record(0x1000 + 60, Pattern(4, 1)))) << "up to the end";
  // Sums of long records, not only of a few bytes, must be checked exactly.
  EXPECT_TRUE(Send(SCD_IOCTL_IMAGE_RECORD, Record(0x1000, Bytes(37, 0xFF))));
  EXPECT_FALSE(Send(SCD_IOCTL_IMAGE_RECORD, Record(0x1000, Bytes(37, 0xFF), 37 * 255 - 1)));
  EXPECT_FALSE(Send(SCD_IOCTL_IMAGE_RECORD, Record(0x1000, Bytes(37, 0xFF), 37 * 255 - 256)));
  EXPECT_FALSE(Send(SCD_IOCTL_IMAGE_RECORD, Record(0x1000, Pattern(4, 1), 1))) << "checksum";
  Bytes shortRecord = Record(0x1000, Pattern(8, 1));
  shortRecord.pop_back();
  EXPECT_FALSE(Send(SCD_IOCTL_IMAGE_RECORD, shortRecord)) << "length field and size disagree";
  EXPECT_TRUE(Send(SCD_IOCTL_IMAGE_RECORD, Record(0x1010, {}))) << "zero length inside";
  EXPECT_TRUE(Send(SCD_IOCTL_IMAGE_RECORD, kEndRecord));
  EXPECT_FALSE(Send(SCD_IOCTL_IMAGE_RECORD, Record(0x1000, Pattern(4, 1))))
      << "after the end record";
  // A region whose stream broke off does not stop the next one.
  ASSERT_TRUE(Send(SCD_IOCTL_IMAGE_HEADER, ImageHeader(0x2000, 64)));
  ASSERT_TRUE(Send(SCD_IOCTL_IMAGE_HEADER, ImageHeader(0x3000, 64)));
  Bytes region0(64, 0);
  std::fill(region0.begin(), region0.begin() + 37, 0xFF);
  std::memcpy(region0.data() + 60, Pattern(4, 1).data(), 4);
  EXPECT_EQ(Region(0), region0);
}

TEST_F(SimulatedFlashTest, KernelOpenStartsOverAfterAnUpdateLeftOpen) {
  OpenFourRegions();
  ASSERT_TRUE(Send(SCD_IOCTL_IMAGE_HEADER, ImageHeader(0x1000, 64)));
  OpenFourRegions();
  EXPECT_TRUE(Send(SCD_IOCTL_IMAGE_HEADER, ImageHeader(0x1000, 64)));
}

// A kernel update that never finished stays visible until one finishes; a
// region that broke off leaves the stored one as it was.
TEST_F(SimulatedFlashTest, UnfinishedKernelUpdateIsMarkedUntilOneFinishes) {
  const fs::path mark = folder.path() / "flash" / "kernel-unfinished";
  OpenFourRegions();
  ASSERT_TRUE(Send(SCD_IOCTL_IMAGE_HEADER, ImageHeader(0x1000, 64)));
  ASSERT_TRUE(Send(SCD_IOCTL_IMAGE_RECORD, Record(0x1008, Pattern(16, 1))));
  flash.AbandonKernelUpdate(flash.KernelGeneration());
  EXPECT_TRUE(fs::exists(mark));
  EXPECT_FALSE(fs::exists(folder.path() / "flash" / "region0.bin")) << "never stored half";
  OpenFourRegions();
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(Send(SCD_IOCTL_IMAGE_HEADER, ImageHeader(regions[i].first, 64)));
    ASSERT_TRUE(Send(SCD_IOCTL_IMAGE_RECORD, kEndRecord));
  }
  ASSERT_TRUE(Send(SCD_IOCTL_SET_VERSION, {1, 2, 3, 4}));
  ASSERT_TRUE(Send(SCD_IOCTL_KERNEL_FINISH));
  EXPECT_TRUE(fs::exists(mark)) << "until the update is closed";
  ASSERT_TRUE(Send(SCD_IOCTL_KERNEL_CLOSE));
  EXPECT_FALSE(fs::exists(mark));
  for (const auto& entry : fs::directory_iterator(folder.path() / "flash"))
    EXPECT_NE(entry.path().filename().string()[0], '.') << "no staged file left";
}

TEST(Journal, LineFormatAndCrc) {
  const uint8_t input[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(
      device::Journal::FormatLine("SCD1", device::Journal::CodeText(0x8001202C), input, 9, true),
      "SCD1 0x8001202C len=9 crc32=cbf43926 ok");
  EXPECT_EQ(device::Journal::FormatLine("KERNEL", "GetSystemMemoryDivision", nullptr, 0, false),
            "KERNEL GetSystemMemoryDivision len=0 crc32=00000000 fail");
}

TEST(Journal, AppendsToWhatIsThere) {
  TempFolder folder;
  WriteText(folder.path() / "journal.log", "earlier line\n");
  {
    device::Journal journal(folder.path() / "journal.log");
    journal.Record("PWR1", "0x01013EA8", nullptr, 0, true);
    EXPECT_EQ(ReadLines(folder.path() / "journal.log").size(), 2u) << "flushed at once";
  }
  EXPECT_EQ(ReadLines(folder.path() / "journal.log"),
            (std::vector<std::string>{"earlier line", "PWR1 0x01013EA8 len=0 crc32=00000000 ok"}));
}

// The factories over a device.ini given as text.
class SimulatedServices : public ::testing::Test {
 protected:
  void Configure(const std::string& ini) {
    config = device::DeviceConfig::Parse(ini, "device.ini");
    context.root = folder.path();
    context.config = &config;
    drivers = device::CreateSimulatedDrivers(context);
    kernel = device::CreateSimulatedKernel(context);
  }
  std::vector<std::string> Journal() { return ReadLines(folder.path() / "journal.log"); }

  TempFolder folder;
  device::DeviceConfig config;
  device::DeviceContext context;
  std::unique_ptr<platform::DriverHost> drivers;
  std::unique_ptr<platform::Kernel> kernel;
};

TEST_F(SimulatedServices, AbsentDriverOpensNothingAndLogsNothing) {
  Configure("[drivers]\nPWR1 = power\n");
  EXPECT_EQ(drivers->Open(u"SCD1:"), nullptr);
  auto power = drivers->Open(u"PWR1:");
  ASSERT_NE(power, nullptr);
  EXPECT_TRUE(power->IoControl(0x01013EA8, nullptr, 0, nullptr, 0));
  EXPECT_FALSE(power->IoControl(0x01013EB0, nullptr, 0, nullptr, 0));
  EXPECT_EQ(Journal(), (std::vector<std::string>{"PWR1 0x01013EA8 len=0 crc32=00000000 ok",
                                                 "PWR1 0x01013EB0 len=0 crc32=00000000 fail"}));
}

TEST_F(SimulatedServices, FailingCodesAndBoardRevision) {
  Configure("[board]\nrevision = 4\n[drivers]\nSCD1 = flash\nfail = 80012004, 0x01013EAC\n");
  auto flash = drivers->Open(u"SCD1:");
  ASSERT_NE(flash, nullptr);
  const uint8_t data[] = {1, 2, 3};
  EXPECT_FALSE(flash->IoControl(SCD_IOCTL_WRITE_NBOOT, data, 3, nullptr, 0));
  EXPECT_FALSE(std::filesystem::exists(folder.path() / "flash" / "nboot.bin"));
  EXPECT_TRUE(flash->IoControl(SCD_IOCTL_WRITE_EBOOT, data, 3, nullptr, 0));
  uint8_t revision[4] = {};
  EXPECT_TRUE(flash->IoControl(SCD_IOCTL_GET_BOARD_REVISION, nullptr, 0, revision, 4));
  EXPECT_EQ(ReadWord(revision), 4u);
  const std::string crc = Crc32Text({1, 2, 3});
  EXPECT_EQ(Journal(), (std::vector<std::string>{"SCD1 0x80012004 len=3 crc32=" + crc + " fail",
                                                 "SCD1 0x8001202C len=3 crc32=" + crc + " ok",
                                                 "SCD1 0x80012084 len=0 crc32=00000000 ok"}));
}

TEST_F(SimulatedServices, KernelAnswersFromDeviceIni) {
  Configure(
      "[power]\nac_line = 255\n[memory]\nstore_pages = 100\nprogram_pages = 900\n"
      "page_size = 1024\nset_result = 0\n");
  platform::PowerStatusRecord record;
  EXPECT_EQ(kernel->GetSystemPowerStatusEx2(&record, 56, true), 56u);
  EXPECT_EQ(record.bytes[0], 255);
  platform::MemoryDivision division;
  EXPECT_EQ(kernel->GetSystemMemoryDivision(&division), true);
  EXPECT_EQ(division.storePages, 100u);
  EXPECT_EQ(division.pageSize, 1024u);
  EXPECT_EQ(kernel->SetSystemMemoryDivision(32), 0u);
  kernel->GetSystemMemoryDivision(&division);
  EXPECT_EQ(division.storePages, 32u);
  EXPECT_EQ(division.programPages, 968u) << "program memory takes what the store gave up";
  EXPECT_EQ(kernel->KernelIoControl(0x0101003C, nullptr, 0, nullptr, 0), true);
  EXPECT_EQ(Journal(),
            (std::vector<std::string>{
                "KERNEL GetSystemPowerStatusEx2 len=0 crc32=00000000 ok",
                "KERNEL GetSystemMemoryDivision len=0 crc32=00000000 ok",
                "KERNEL SetSystemMemoryDivision len=4 crc32=" + Crc32Text({32, 0, 0, 0}) + " ok",
                "KERNEL GetSystemMemoryDivision len=0 crc32=00000000 ok",
                "KERNEL KernelIoControl len=4 crc32=" + Crc32Text({0x3C, 0, 0x01, 0x01}) + " ok"}));
}

TEST_F(SimulatedServices, KernelWithoutCoreLibraryOrWithFailures) {
  Configure("[kernel]\ncoredll = no\n");
  platform::MemoryDivision division;
  EXPECT_FALSE(kernel->GetSystemMemoryDivision(&division).has_value());
  EXPECT_FALSE(kernel->SetSystemMemoryDivision(32).has_value());
  EXPECT_FALSE(kernel->KernelIoControl(0x0101003C, nullptr, 0, nullptr, 0).has_value());
  EXPECT_TRUE(Journal().empty()) << "a missing function is never called";

  Configure("[memory]\nset_result = 1\n[kernel]\nfail = GetSystemMemoryDivision\n");
  EXPECT_EQ(kernel->GetSystemMemoryDivision(&division), false);
  EXPECT_EQ(kernel->SetSystemMemoryDivision(32), 1u);
  EXPECT_EQ(Journal().back(),
            "KERNEL SetSystemMemoryDivision len=4 crc32=" + Crc32Text({32, 0, 0, 0}) + " fail");
}

}  // namespace
}  // namespace simulated_test

namespace simulated_test {
namespace {

// The journal's fast CRC must give zlib's value for every length, start
// alignment and running CRC, or journal lines would not match zlib's.
TEST(JournalCrc32, MatchesZlibForEveryLengthAndAlignment) {
  const Bytes data = Pattern(4096 + 64, 0x5A);
  for (std::size_t offset = 0; offset < 16; ++offset) {
    for (std::size_t length = 0; length <= 1100; ++length) {
      const uint8_t* at = data.data() + offset;
      ASSERT_EQ(device::JournalCrc32(0, at, length), uint32_t(crc32(0, at, uInt(length))))
          << "offset " << offset << " length " << length;
    }
  }
  const Bytes big = Pattern(3 << 20, 0x11);
  EXPECT_EQ(device::JournalCrc32(0x12345678, big.data(), big.size()),
            uint32_t(crc32(0x12345678, big.data(), uInt(big.size()))));
  EXPECT_EQ(device::JournalCrc32(0, Bytes(1000, 0xFF).data(), 1000),
            uint32_t(crc32(0, Bytes(1000, 0xFF).data(), 1000)));
}

}  // namespace
}  // namespace simulated_test
