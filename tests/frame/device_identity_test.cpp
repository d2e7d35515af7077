// The device identity helpers against an in-memory registry and file system.
#include <gtest/gtest.h>

#include "frame/device_identity.h"
#include "platform/environment.h"
#include "tests/support/fake_system.h"
#include "tests/support/host_files.h"
#include "tests/support/memory_file_system.h"
#include "tests/support/memory_registry.h"

namespace frame_test {
namespace {

using frame::ParseVersion;
using frame::VersionForm;
using test_support::Utf16Bytes;

constexpr char16_t kFlashDrv[] = u"System\\StorageManager\\Profiles\\FlashDrv";
constexpr char16_t kNewFlashDrv[] = u"System\\StorageManager\\Profiles\\NewFlashDrv";

class DeviceIdentityTest : public ::testing::Test {
 protected:
  DeviceIdentityTest() : scope_(Services()) {}

  platform::Environment Services() {
    platform::Environment env;
    env.registry = &registry;
    env.files = &files;
    env.system = &system;
    return env;
  }

  test_support::MemoryRegistry registry;
  test_support::MemoryFileSystem files;
  test_support::FakeSystem system;

 private:
  platform::ScopedEnvironment scope_;
};

TEST_F(DeviceIdentityTest, ReadRegistryStringFindsStringsAndEmptiesOnFailure) {
  registry.SetString(u"Ident", u"Model", u"KTR 60");
  std::u16string out = u"stale";
  EXPECT_TRUE(frame::ReadRegistryString(u"ident", u"MODEL", &out));
  EXPECT_EQ(out, u"KTR 60");

  out = u"stale";
  EXPECT_FALSE(frame::ReadRegistryString(u"Missing", u"Model", &out));
  EXPECT_EQ(out, u"");

  out = u"stale";
  EXPECT_FALSE(frame::ReadRegistryString(u"Ident", u"Version", &out));
  EXPECT_EQ(out, u"");

  EXPECT_FALSE(frame::ReadRegistryString(u"Ident", u"Model", nullptr));
}

TEST_F(DeviceIdentityTest, NonStringValuesAreCopiedUpToTheFirstNulPair) {
  // dword 0x0041000A: units 0x000A and 0x0041, then the zeroed buffer ends it.
  registry.SetRaw(u"Ident", u"Number", platform::REG_DWORD, {0x0A, 0x00, 0x41, 0x00});
  std::u16string out;
  EXPECT_TRUE(frame::ReadRegistryString(u"Ident", u"Number", &out));
  EXPECT_EQ(out, std::u16string(u"\nA"));

  // A multi-string stops at its first terminator.
  std::vector<uint8_t> multi = Utf16Bytes(u"one");
  const std::vector<uint8_t> two = Utf16Bytes(u"two");
  multi.insert(multi.end(), two.begin(), two.end());
  registry.SetRaw(u"Ident", u"Multi", platform::REG_MULTI_SZ, multi);
  EXPECT_TRUE(frame::ReadRegistryString(u"Ident", u"Multi", &out));
  EXPECT_EQ(out, u"one");

  // An odd byte count: the last byte pairs with the buffer's zero.
  registry.SetRaw(u"Ident", u"Odd", platform::REG_BINARY, {'a', 0, 'b'});
  EXPECT_TRUE(frame::ReadRegistryString(u"Ident", u"Odd", &out));
  EXPECT_EQ(out, u"ab");
}

TEST_F(DeviceIdentityTest, ValuesAtTheBufferLimit) {
  // 260 units without a terminator fill all 520 bytes: cut to 259.
  const std::u16string full(260, u'x');
  registry.SetRaw(u"Ident", u"Full", platform::REG_SZ, Utf16Bytes(full, false));
  std::u16string out;
  EXPECT_TRUE(frame::ReadRegistryString(u"Ident", u"Full", &out));
  EXPECT_EQ(out, std::u16string(259, u'x'));

  // More than the buffer holds: the query fails, nothing is copied.
  registry.SetString(u"Ident", u"TooLong", std::u16string(300, u'y'));
  EXPECT_FALSE(frame::ReadRegistryString(u"Ident", u"TooLong", &out));
  EXPECT_EQ(out, u"");
}

TEST_F(DeviceIdentityTest, FlashDriveFolderPrefersFlashDrvThenNewFlashDrv) {
  std::u16string out = u"stale";
  EXPECT_FALSE(frame::GetFlashDriveFolder(&out));
  EXPECT_EQ(out, u"");

  registry.SetString(kNewFlashDrv, u"Folder", u"NAND");
  EXPECT_TRUE(frame::GetFlashDriveFolder(&out));
  EXPECT_EQ(out, u"\\NAND");

  registry.SetString(kFlashDrv, u"Folder", u"");  // present but empty
  EXPECT_TRUE(frame::GetFlashDriveFolder(&out));
  EXPECT_EQ(out, u"\\NAND");

  registry.SetString(kFlashDrv, u"Folder", u"Flash Disk");
  EXPECT_TRUE(frame::GetFlashDriveFolder(&out));
  EXPECT_EQ(out, u"\\Flash Disk");
  // A folder name as long as the value buffer allows still leaves room for
  // the terminator once the backslash is put in front.
  registry.SetString(kFlashDrv, u"Folder", std::u16string(259, u'f'));
  EXPECT_TRUE(frame::GetFlashDriveFolder(&out));
  EXPECT_EQ(out, u"\\" + std::u16string(258, u'f'));
}

TEST_F(DeviceIdentityTest, ModuleFolderKeepsItsTrailingBackslash) {
  std::u16string out = u"stale";
  EXPECT_FALSE(frame::GetModuleFolder(&out));  // not on the device
  EXPECT_EQ(out, u"");

  system.module = u"\\Storage Card\\shellfit.exe";
  EXPECT_TRUE(frame::GetModuleFolder(&out));
  EXPECT_EQ(out, u"\\Storage Card\\");

  system.module = u"\\shellfit.exe";
  EXPECT_TRUE(frame::GetModuleFolder(&out));
  EXPECT_EQ(out, u"\\");

  system.module = u"shellfit.exe";
  EXPECT_FALSE(frame::GetModuleFolder(&out));
  EXPECT_EQ(out, u"shellfit.exe");
}

TEST_F(DeviceIdentityTest, FileExistsAndForceDelete) {
  files.PutWithAttributes(u"\\Flash Disk", platform::FILE_ATTRIBUTE_DIRECTORY);
  files.PutWithAttributes(u"\\Flash Disk\\a.txt", platform::FILE_ATTRIBUTE_READONLY |
                                                      platform::FILE_ATTRIBUTE_HIDDEN |
                                                      platform::FILE_ATTRIBUTE_SYSTEM);
  EXPECT_TRUE(frame::FileExists(u"\\Flash Disk"));
  EXPECT_TRUE(frame::FileExists(u"\\Flash Disk\\a.txt"));
  EXPECT_FALSE(frame::FileExists(u""));
  EXPECT_FALSE(frame::FileExists(u"\\missing"));

  frame::ForceDeleteFile(u"\\Flash Disk\\a.txt");
  EXPECT_FALSE(frame::FileExists(u"\\Flash Disk\\a.txt"));
  ASSERT_EQ(files.calls.size(), 2u);
  EXPECT_EQ(files.calls[0], "SetAttributes \\Flash Disk\\a.txt 160");

  frame::ForceDeleteFile(u"\\missing");  // silent
  EXPECT_EQ(files.calls.size(), 4u);
}

TEST(ParseVersion, PacksThreeNumbersInEitherForm) {
  EXPECT_EQ(ParseVersion(u"2.1.7", VersionForm::Plain), 0x20107u);
  EXPECT_EQ(ParseVersion(u"V2.1.7", VersionForm::LeadingV), 0x20107u);
  EXPECT_EQ(ParseVersion(u"V2.1.7", VersionForm::Plain), 0u);
  EXPECT_EQ(ParseVersion(u"v2.1.7", VersionForm::LeadingV), 0u);
  EXPECT_EQ(ParseVersion(u"2.1.7", VersionForm::LeadingV), 0u);
  EXPECT_EQ(ParseVersion(u"1.2", VersionForm::Plain), 0u);
  EXPECT_EQ(ParseVersion(u"0.0.0", VersionForm::Plain), 0u);
  EXPECT_EQ(ParseVersion(u"", VersionForm::Plain), 0u);
  EXPECT_EQ(ParseVersion(u"1.2.3.4", VersionForm::Plain),
            ParseVersion(u"1.2.3", VersionForm::Plain));
  EXPECT_EQ(ParseVersion(u"1.2.3 beta", VersionForm::Plain), 0x10203u);
}

TEST(ParseVersion, ScansLikeTheDeviceRuntime) {
  // Parts are not masked: 300 spills into the major field.
  EXPECT_EQ(ParseVersion(u"1.300.2", VersionForm::Plain), 0x12C02u);
  // %d skips white space before each number, but "." must follow directly.
  EXPECT_EQ(ParseVersion(u" 1. 2.\t3", VersionForm::Plain), 0x10203u);
  EXPECT_EQ(ParseVersion(u"1 .2.3", VersionForm::Plain), 0u);
  EXPECT_EQ(ParseVersion(u"+1.2.3", VersionForm::Plain), 0x10203u);
  EXPECT_EQ(ParseVersion(u"1.2.-1", VersionForm::Plain), 0xFFFFFFFFu);
  EXPECT_EQ(ParseVersion(u"1.2.x", VersionForm::Plain), 0u);
  EXPECT_EQ(ParseVersion(u"V 1.0.5", VersionForm::LeadingV), 0x10005u);
}

}  // namespace
}  // namespace frame_test
