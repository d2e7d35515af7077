// The device identity helpers over registry export files written by the test
// and read by the device's own registry.
#include <gtest/gtest.h>

#include "frame/device_identity.h"
#include "platform/environment.h"
#include "readers/file_registry.h"
#include "tests/support/device_root.h"
#include "tests/support/host_files.h"

namespace device_test {
namespace {

class RegistryFileTest : public ::testing::Test {
 protected:
  // Loads `bytes` as registry.reg and installs it for the helpers.
  void Install(const std::string& bytes) {
    device_.WriteRegistry(bytes);
    scope_.reset();
    registry_ = readers::FileRegistry::Load(device_.root() / "registry.reg");
    ASSERT_NE(registry_, nullptr);
    platform::Environment env;
    env.registry = registry_.get();
    scope_ = std::make_unique<platform::ScopedEnvironment>(env);
  }

  static std::string Utf16File(const std::u16string& text) {
    return test_support::Utf16FileBytes(text);
  }

  test_support::DeviceRoot device_;
  std::unique_ptr<readers::FileRegistry> registry_;
  std::unique_ptr<platform::ScopedEnvironment> scope_;
};

TEST_F(RegistryFileTest, Utf8ExportWithEveryCase) {
  Install(
      "Windows Registry Editor Version 5.00\n\n"
      "[HKEY_LOCAL_MACHINE\\Ident]\n"
      "\"Model\"=\"KTR 60\"\n"
      "\"Count\"=dword:00000041\n"
      "\"Empty\"=\"\"\n\n"
      "[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\NewFlashDrv]\n"
      "\"Folder\"=\"NAND\"\n");
  std::u16string out;
  EXPECT_TRUE(frame::ReadRegistryString(u"Ident", u"Model", &out));
  EXPECT_EQ(out, u"KTR 60");
  EXPECT_TRUE(frame::ReadRegistryString(u"IDENT", u"count", &out));
  EXPECT_EQ(out, u"A");  // 0x41 0x00 then the zero high word ends it
  EXPECT_TRUE(frame::ReadRegistryString(u"Ident", u"Empty", &out));
  EXPECT_EQ(out, u"");
  EXPECT_FALSE(frame::ReadRegistryString(u"Ident", u"Version", &out));
  EXPECT_FALSE(frame::ReadRegistryString(u"Nope", u"Model", &out));

  // FlashDrv is missing altogether: the NewFlashDrv profile answers.
  EXPECT_TRUE(frame::GetFlashDriveFolder(&out));
  EXPECT_EQ(out, u"\\NAND");
}

TEST_F(RegistryFileTest, Utf16ExportAndTheFlashDrvProfile) {
  Install(
      Utf16File(u"Windows Registry Editor Version 5.00\r\n\r\n"
                u"[HKEY_LOCAL_MACHINE\\Ident]\r\n"
                u"\"Model\"=\"KTR \u00C460\"\r\n\r\n"
                u"[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\FlashDrv]\r\n"
                u"\"Folder\"=\"Flash Disk\"\r\n"
                u"[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\NewFlashDrv]\r\n"
                u"\"Folder\"=\"NAND\"\r\n"));
  std::u16string out;
  EXPECT_TRUE(frame::ReadRegistryString(u"Ident", u"Model", &out));
  EXPECT_EQ(out, u"KTR \u00C460");
  EXPECT_TRUE(frame::GetFlashDriveFolder(&out));
  EXPECT_EQ(out, u"\\Flash Disk");
}

TEST_F(RegistryFileTest, EmptyFlashDrvFallsBackAndBothMissingFail) {
  Install(
      "REGEDIT4\n\n"
      "[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\FlashDrv]\n"
      "\"Folder\"=\"\"\n");
  std::u16string out = u"stale";
  EXPECT_FALSE(frame::GetFlashDriveFolder(&out));
  EXPECT_EQ(out, u"");

  Install(
      "REGEDIT4\n\n"
      "[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\FlashDrv]\n"
      "\"Folder\"=\"\"\n"
      "[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\NewFlashDrv]\n"
      "\"Folder\"=\"NAND\"\n");
  EXPECT_TRUE(frame::GetFlashDriveFolder(&out));
  EXPECT_EQ(out, u"\\NAND");
}

TEST_F(RegistryFileTest, BinaryAndMultiStringValues) {
  Install(
      "REGEDIT4\n\n"
      "[HKEY_LOCAL_MACHINE\\Ident]\n"
      "\"Bin\"=hex:4b,00,54,00,00,00,52,00\n"
      "\"Multi\"=hex(7):6f,00,6e,00,65,00,00,00,74,00,77,00,6f,00,00,00,00,00\n");
  std::u16string out;
  EXPECT_TRUE(frame::ReadRegistryString(u"Ident", u"Bin", &out));
  EXPECT_EQ(out, u"KT");
  EXPECT_TRUE(frame::ReadRegistryString(u"Ident", u"Multi", &out));
  EXPECT_EQ(out, u"one");
}

}  // namespace
}  // namespace device_test
