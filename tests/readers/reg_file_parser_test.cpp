// The registry export parser: every value kind, letter case, encodings, bad
// lines, deletions and comments.
#include "readers/file_registry.h"

#include <gtest/gtest.h>

#include "platform/text.h"
#include "tests/support/host_files.h"

namespace {

using namespace platform;
using Bytes = std::vector<uint8_t>;

// The registry read from `text`, and what was reported on stderr.
std::unique_ptr<readers::FileRegistry> Parse(const std::string& text,
                                             std::string* errors = nullptr) {
  auto registry = std::make_unique<readers::FileRegistry>();
  testing::internal::CaptureStderr();
  readers::ParseRegFile(text, "registry.reg", registry.get());
  const std::string captured = testing::internal::GetCapturedStderr();
  if (errors != nullptr) *errors = captured;
  return registry;
}

// UTF-16LE with its terminator, as the device stores a string.
Bytes Utf16z(std::u16string_view text) { return test_support::Utf16Bytes(text); }

const char kExport[] =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "; the device's identity\r\n"
    "[HKEY_LOCAL_MACHINE\\Ident]\r\n"
    "\"Model\"=\"KTR 60\"\r\n"
    "@=\"default\"\r\n"
    "\"N\"=dword:0000000a\r\n"
    "\"B\"=hex:01,02,ff\r\n"
    "\"Path\"=\"C:\\\\dir\\\\ \\\"quoted\\\"\"\r\n"
    "\"Multi\"=hex(7):41,00,00,00,42,00,00,00,\\\r\n"
    "  00,00\r\n"
    "\"Expand\"=hex(2):25,00,41,00,25,00,00,00\r\n"
    "\"Qword\"=hex(b):01,00,00,00,00,00,00,00\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\FlashDrv]\r\n"
    "\"Folder\"=\"Flash Disk\"\r\n";

TEST(FileRegistry, ReadsEveryValueKind) {
  std::string errors;
  auto registry = Parse(kExport, &errors);
  EXPECT_EQ(errors, "");
  const auto model = registry->QueryValue(u"Ident", u"Model");
  ASSERT_TRUE(model);
  EXPECT_EQ(model->type, REG_SZ);
  EXPECT_EQ(model->data, Utf16z(u"KTR 60"));
  EXPECT_EQ(registry->QueryValue(u"Ident", u"")->data, Utf16z(u"default"));
  const auto number = registry->QueryValue(u"Ident", u"N");
  EXPECT_EQ(number->type, REG_DWORD);
  EXPECT_EQ(number->data, (Bytes{10, 0, 0, 0}));
  EXPECT_EQ(registry->QueryValue(u"Ident", u"B")->type, REG_BINARY);
  EXPECT_EQ(registry->QueryValue(u"Ident", u"B")->data, (Bytes{1, 2, 0xFF}));
  EXPECT_EQ(registry->QueryValue(u"Ident", u"Path")->data, Utf16z(u"C:\\dir\\ \"quoted\""));
  const auto multi = registry->QueryValue(u"Ident", u"Multi");
  EXPECT_EQ(multi->type, REG_MULTI_SZ);
  EXPECT_EQ(multi->data, (Bytes{0x41, 0, 0, 0, 0x42, 0, 0, 0, 0, 0}));
  EXPECT_EQ(registry->QueryValue(u"Ident", u"Expand")->type, REG_EXPAND_SZ);
  EXPECT_EQ(registry->QueryValue(u"Ident", u"Expand")->data.size(), 8u);
  EXPECT_EQ(registry->QueryValue(u"Ident", u"Qword")->type, 0xBu);
  EXPECT_EQ(registry->QueryValue(u"System\\StorageManager\\Profiles\\FlashDrv", u"Folder")->data,
            Utf16z(u"Flash Disk"));
}

TEST(FileRegistry, KeysAndNamesIgnoreCase) {
  auto registry = Parse(kExport);
  EXPECT_TRUE(registry->QueryValue(u"IDENT", u"model"));
  EXPECT_TRUE(registry->QueryValue(u"system\\storagemanager\\profiles\\FLASHDRV", u"FOLDER"));
  EXPECT_TRUE(registry->KeyExists(u"System\\StorageManager"));  // a parent of a key
  EXPECT_TRUE(registry->KeyExists(u"ident"));
  EXPECT_FALSE(registry->KeyExists(u"Identity"));
  EXPECT_FALSE(registry->QueryValue(u"Ident", u"Missing"));
  EXPECT_FALSE(registry->QueryValue(u"Nowhere", u"Model"));
  // Only the backslash separates keys.
  auto slashed = Parse("REGEDIT4\n[HKEY_LOCAL_MACHINE\\A/B]\n\"X\"=\"1\"\n");
  EXPECT_TRUE(slashed->QueryValue(u"a/b", u"x"));
  EXPECT_FALSE(slashed->KeyExists(u"A\\B"));
  EXPECT_FALSE(slashed->KeyExists(u"A"));
}

TEST(FileRegistry, Utf16WithByteOrderMarkAndRegedit4) {
  auto wide =
      Parse(test_support::Utf16FileBytes(u"Windows Registry Editor Version 5.00\r\n"
                                         u"[HKEY_LOCAL_MACHINE\\Ident]\r\n"
                                         u"\"Model\"=\"K\u00C4R \u4E2D\"\r\n"));
  EXPECT_EQ(wide->QueryValue(u"Ident", u"Model")->data, Utf16z(u"K\u00C4R \u4E2D"));
  auto utf8 = Parse("\xEF\xBB\xBFREGEDIT4\n[HKEY_LOCAL_MACHINE\\Ident]\n\"M\"=\"\xC3\x84\"\n");
  EXPECT_EQ(utf8->QueryValue(u"Ident", u"M")->data, Utf16z(u"\u00C4"));
}

TEST(FileRegistry, BadLinesAreReportedAndSkipped) {
  std::string errors;
  auto registry = Parse(
      "REGEDIT4\n"
      "\"Early\"=\"before any key\"\n"  // 2
      "[HKEY_LOCAL_MACHINE\\Ident]\n"
      "\"A\"=dword:123456789\n"  // 4: nine digits
      "\"B\"=\"unterminated\n"   // 5
      "garbage\n"                // 6
      "\"C\"=hex:01,zz\n"        // 7
      "\"D\"=dword:00000001\n"
      "[HKEY_CURRENT_USER\\Software]\n"  // 9: other root, ignored
      "\"E\"=\"elsewhere\"\n"
      "[HKEY_LOCAL_MACHINE\\Ident\n"  // 11
      "\"F\"=\"lost with its key\"\n"
      "[HKEY_LOCAL_MACHINE\\Ident]\n"
      "\"G\"=hex:01,\\\n"
      "  0g\n"  // a continued line reports its first line: 14
      "\"H\"=\"kept\"\n",
      &errors);
  for (const char* where :
       {"registry.reg:2:", "registry.reg:4:", "registry.reg:5:", "registry.reg:6:",
        "registry.reg:7:", "registry.reg:9:", "registry.reg:11:", "registry.reg:14:"}) {
    EXPECT_NE(errors.find(where), std::string::npos) << where << " in\n" << errors;
  }
  EXPECT_EQ(errors.find("registry.reg:8:"), std::string::npos);
  EXPECT_EQ(registry->QueryValue(u"Ident", u"D")->data, (Bytes{1, 0, 0, 0}));
  EXPECT_EQ(registry->QueryValue(u"Ident", u"H")->data, Utf16z(u"kept"));
  for (const char16_t* name : {u"A", u"B", u"C", u"E", u"F", u"G"}) {
    EXPECT_FALSE(registry->QueryValue(u"Ident", name)) << ToUtf8(name);
  }
  EXPECT_FALSE(registry->KeyExists(u"Software"));
}

TEST(FileRegistry, NoHeaderMeansNothingIsRead) {
  std::string errors;
  auto registry = Parse("[HKEY_LOCAL_MACHINE\\Ident]\n\"Model\"=\"X\"\n", &errors);
  EXPECT_NE(errors.find("registry.reg:1:"), std::string::npos);
  EXPECT_FALSE(registry->KeyExists(u"Ident"));
}

TEST(FileRegistry, DeletionsAndComments) {
  auto registry = Parse(
      "REGEDIT4\n"
      "[HKEY_LOCAL_MACHINE\\A\\B]\n\"X\"=\"1\" ; trailing comment\n\"Y\"=dword:2 ; two\n"
      "[HKEY_LOCAL_MACHINE\\A\\C]\n\"Z\"=\"3\"\n\"Z\"=-\n"
      "[-HKEY_LOCAL_MACHINE\\A\\B]\n");
  EXPECT_EQ(registry->QueryValue(u"A\\B", u"X"), std::nullopt);
  EXPECT_FALSE(registry->KeyExists(u"A\\B"));
  EXPECT_TRUE(registry->KeyExists(u"A\\C"));
  EXPECT_FALSE(registry->QueryValue(u"A\\C", u"Z"));
}

}  // namespace
