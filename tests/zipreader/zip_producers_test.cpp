// Archives made by real archivers (Info-ZIP zip, 7-Zip, Python's zipfile)
// extracted into a temporary device root and compared with their sources:
// bytes, names, modification times and the read-only attribute.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "device/device.h"
#include "platform/text.h"
#include "tests/support/host_files.h"
#include "tests/support/program_runner.h"
#include "tests/support/temp_folder.h"
#include "tests/zipreader/zip_builder.h"
#include "tests/zipreader/zip_test_util.h"

namespace {

namespace fs = std::filesystem;
using zip_test::ErrorCode;
using zip_test::Pseudorandom;

constexpr time_t kSourceTime = 1678000000;  // 2023-03-05 07:06:40 UTC, even seconds

using test_support::HaveCommand;
using test_support::ReadText;
using test_support::WriteText;

// The source tree every producer packs, and a device root to extract into.
class Producers : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { setenv("TZ", "UTC", 1); }

  void SetUp() override {
    base = folder.path();
    root = base / "device";
    src = base / "src";
    fs::create_directories(root / "fs");
    WriteText(root / "device.ini", "");
    WriteText(src / "readme.txt", "A short text file.\n");
    std::string text;
    for (int i = 0; i < 4000; ++i) text += "line " + std::to_string(i) + " of the log\n";
    WriteText(src / "logs" / "big.log", text);
    WriteText(src / "bin" / "random.dat", Pseudorandom(150000, 7));
    WriteText(src / "bin" / "deep" / "er" / "tiny", "t");
    WriteText(src / "empty.bin", "");
    WriteText(src / "locked.cfg", "read only\n");
    fs::create_directories(src / "emptydir");
    for (const auto& entry : fs::recursive_directory_iterator(src))
      test_support::SetModTime(entry.path(), kSourceTime);
    chmod((src / "locked.cfg").c_str(), 0444);
    device = device::Device::Open(root);
    ASSERT_NE(device, nullptr);
    scope = std::make_unique<platform::ScopedEnvironment>(device->environment());
  }

  void TearDown() override {
    scope.reset();
    device.reset();
  }

  // Runs `command` in the source folder; `out` is the archive's host path.
  void Make(const std::string& command) {
    std::string line = "cd '" + src.string() + "' && (" + command + ") >/dev/null 2>&1";
    ASSERT_EQ(std::system(line.c_str()), 0) << line;
  }
  std::string Fs(const std::string& name) const { return (root / "fs" / name).string(); }

  // Extracts every entry below \out\<folder>; every ExtractEntry must succeed.
  int ExtractAll(const std::u16string& archive, const std::string& folder,
                 const char16_t* password = u".TORVA.") {
    try {
      return ExtractEvery(archive, folder, password);
    } catch (const CZipException& e) {
      ADD_FAILURE() << "error " << e.code << " in " << platform::ToUtf8(e.fileName);
    }
    return -1;
  }

  int ExtractEvery(const std::u16string& archive, const std::string& folder,
                   const char16_t* password) {
    CZipReader reader;
    reader.OpenArchive(archive, 1, 0);
    EXPECT_TRUE(reader.SetPassword(password));
    std::u16string target = u"\\out\\" + platform::FromUtf8(folder);
    CZipEntryHeader header;
    int count = 0;
    for (unsigned i = 0; reader.GetEntryInfo(header, i); ++i, ++count) {
      EXPECT_TRUE(
          reader.ExtractEntry(static_cast<uint16_t>(i), target.c_str(), true, nullptr, 65536))
          << platform::ToUtf8(header.GetEntryName());
    }
    reader.CloseEntry(nullptr, true);
    return count;
  }

  // Every file and folder of the source came out alike.
  void ExpectSameTree(const std::string& folder, bool checkReadOnly = true) {
    fs::path out = root / "fs" / "out" / folder;
    for (const auto& entry : fs::recursive_directory_iterator(src)) {
      fs::path rel = fs::relative(entry.path(), src);
      fs::path copy = out / rel;
      SCOPED_TRACE(copy.string());
      if (entry.is_directory()) {
        EXPECT_TRUE(fs::is_directory(copy));
        continue;
      }
      ASSERT_TRUE(fs::is_regular_file(copy));
      EXPECT_TRUE(ReadText(copy) == ReadText(entry.path())) << "contents differ";
      struct stat st {};
      stat(copy.c_str(), &st);
      EXPECT_EQ(st.st_mtime, kSourceTime);
      bool readOnly = (st.st_mode & 0222) == 0;
      if (checkReadOnly) {
        EXPECT_EQ(readOnly, rel == "locked.cfg");
      }
    }
  }

  test_support::TempFolder folder{"fitkit-zip"};
  fs::path base, root, src;
  std::unique_ptr<device::Device> device;
  std::unique_ptr<platform::ScopedEnvironment> scope;
};

TEST_F(Producers, InfoZipDeflatedStoredAndEncrypted) {
  Make("zip -r -q '" + Fs("deflated.zip") + "' .");
  Make("zip -r -q -0 '" + Fs("stored.zip") + "' .");
  Make("zip -r -q -P .TORVA. '" + Fs("enc.zip") + "' .");
  EXPECT_GE(ExtractAll(u"\\deflated.zip", "deflated", nullptr), 9);
  ExpectSameTree("deflated");
  ExtractAll(u"\\STORED.ZIP", "stored", nullptr);
  ExpectSameTree("stored");
  ExtractAll(u"\\enc.zip", "enc");
  ExpectSameTree("enc");
}

TEST_F(Producers, InfoZipWrittenToAStreamUsesDescriptors) {
  Make("zip -r -q -fz- -P .TORVA. - . | cat > '" + Fs("stream.zip") + "'");
  Make("zip -r -q -fz- - . | cat > '" + Fs("plain-stream.zip") + "'");
  {
    CZipReader reader;
    reader.OpenArchive(u"\\stream.zip", 1, 0);
    CZipEntryHeader header;
    int withDescriptor = 0;
    for (unsigned i = 0; reader.GetEntryInfo(header, i); ++i)
      withDescriptor += header.HasDescriptor();
    EXPECT_GT(withDescriptor, 0) << "the stream archive should carry data descriptors";
  }
  ExtractAll(u"\\stream.zip", "stream");
  ExpectSameTree("stream");
  ExtractAll(u"\\plain-stream.zip", "plain");
  ExpectSameTree("plain");
}

TEST_F(Producers, InfoZipSplitIntoVolumes) {
  Make("zip -r -q -s 64k '" + Fs("split.zip") + "' .");
  ASSERT_TRUE(fs::exists(Fs("split.z01")));
  ASSERT_TRUE(fs::exists(Fs("split.z02")));
  ExtractAll(u"\\split.zip", "split", nullptr);
  ExpectSameTree("split");
  fs::remove(Fs("split.z02"));
  CZipReader reader;
  int code = ErrorCode([&] {
    reader.OpenArchive(u"\\split.zip", 1, 0);
    CZipEntryHeader header;
    for (unsigned i = 0; reader.GetEntryInfo(header, i); ++i) {
      reader.ExtractEntry(static_cast<uint16_t>(i), u"\\out\\broken", true, nullptr, 65536);
    }
  });
  EXPECT_EQ(code, ErrBadArchive) << "a missing volume";
}

TEST_F(Producers, SevenZipWithZipCrypto) {
  std::string tool = HaveCommand("7zz") ? "7zz" : HaveCommand("7z") ? "7z" : "";
  if (tool.empty()) GTEST_SKIP() << "no 7-Zip on this machine";
  Make(tool + " a -tzip -mem=ZipCrypto -p.TORVA. '" + Fs("seven.zip") + "' .");
  ExtractAll(u"\\seven.zip", "seven");
  ExpectSameTree("seven");
}

TEST_F(Producers, PythonStreamWithCp1252Names) {
  WriteText(base / "mk.py", R"PY(
import sys, zipfile
zipfile.ZipInfo._encodeFilenameFlags = lambda self: (self.filename.encode('cp1252'), self.flag_bits)
with zipfile.ZipFile(sys.stdout.buffer, 'w', zipfile.ZIP_DEFLATED) as z:
    for name in sys.argv[1:]:
        z.write(name, name.replace('\u00e4', '\u00c4') + '\u00e9\u20ac')
)PY");
  WriteText(src / "k\u00e4se.txt", "cheese\n");
  test_support::SetModTime(src / "k\u00e4se.txt", kSourceTime);
  Make("python3 ../mk.py readme.txt 'k\u00e4se.txt' logs/big.log | cat > '" + Fs("py.zip") + "'");
  CZipReader reader;
  reader.OpenArchive(u"\\py.zip", 1, 0);
  CZipEntryHeader header;
  ASSERT_TRUE(reader.GetEntryInfo(header, 1));
  EXPECT_EQ(header.GetEntryName(), u"k\u00c4se.txt\u00e9\u20ac");
  EXPECT_TRUE(header.HasDescriptor());
  for (uint16_t i = 0; i < 3; ++i) {
    EXPECT_TRUE(reader.ExtractEntry(i, u"\\out\\py", true, nullptr, 65536));
  }
  fs::path copy = root / "fs" / "out" / "py" / "k\u00c4se.txt\u00e9\u20ac";
  EXPECT_EQ(ReadText(copy), "cheese\n");
  EXPECT_TRUE(ReadText(root / "fs" / "out" / "py" / "logs" / "big.log\u00e9\u20ac") ==
              ReadText(src / "logs" / "big.log"));
}

TEST_F(Producers, ArchiveBehindAPrefixAndErrorPaths) {
  Make("zip -r -q -P .TORVA. '" + Fs("enc.zip") + "' .");
  WriteText(root / "fs" / "prefixed.zip", Pseudorandom(1000, 3) + ReadText(Fs("enc.zip")));
  ExtractAll(u"\\prefixed.zip", "prefixed");
  ExpectSameTree("prefixed");

  // Info-ZIP draws each encryption header at random: a wrong password passes
  // the check byte of one in 256 and fails on the data instead (a file of a
  // byte or two might even decrypt to itself, so those are left out).
  CZipReader wrong;
  wrong.OpenArchive(u"\\enc.zip", 1, 0);
  wrong.SetPassword(u"nope");
  CZipEntryHeader header;
  int refused = 0;
  for (uint16_t i = 0; wrong.GetEntryInfo(header, i); ++i) {
    if (!header.IsEncrypted() || header.uncompressedSize < 8) continue;
    std::u16string name;
    const int code =
        ErrorCode([&] { wrong.ExtractEntry(i, u"\\out\\w", true, nullptr, 65536); }, &name);
    EXPECT_NE(code, 0) << platform::ToUtf8(header.GetEntryName());
    EXPECT_EQ(name, u"\\enc.zip");
    refused += code == ErrBadPassword;
    wrong.CloseEntry(nullptr, true);
  }
  EXPECT_GE(refused, 1);

  WriteText(root / "fs" / "cut.zip", ReadText(Fs("enc.zip")).substr(0, 5000));
  CZipReader cut;
  EXPECT_EQ(ErrorCode([&] { cut.OpenArchive(u"\\cut.zip", 1, 0); }), ErrNoEndRecord);
  CZipReader missing;
  EXPECT_EQ(ErrorCode([&] { missing.OpenArchive(u"\\none.zip", 1, 0); }), ErrBadArchive);
}

}  // namespace
