// Unpacking with the CRC check, the attempt limit, and reader errors that
// must not escape.
#include <zlib.h>

#include <sys/stat.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/file_system_wrapper.h"
#include "platform/text.h"
#include "shellfit/read_back_check.h"
#include "shellfit_fixture.h"

namespace shellfit_test {
namespace {

const std::u16string kPackage = u"\\Storage Card\\KTR 60 SHELL.ZIP";

class ExtractionTest : public ShellfitTest {
 protected:
  fs::path Zipped() const { return Fs("Storage Card/KTR 60 SHELL.ZIP"); }
  void Pack(const std::vector<std::string>& names) { Zip(Zipped(), staging_.path(), names); }
};

TEST_F(ExtractionTest, ThreeFilesAndTwoFoldersFillTheBar) {
  WriteText(Stage("main.exe"), std::string(70000, 'm'));  // more than one buffer
  WriteText(Stage("empty.txt"), "");
  WriteText(Stage("bin/lib/x.dll"), "library");
  SetModTime(Stage("main.exe"), 1600000000);
  SetModTime(Stage("bin/lib/x.dll"), 1500000002);
  Pack({"main.exe", "empty.txt", "bin"});
  // The old file of the same name is read-only: it is replaced all the same.
  WriteText(Fs("Flash Disk/empty.txt"), "old");
  fs::permissions(Fs("Flash Disk/empty.txt"), fs::perms::owner_read);

  EXPECT_EQ(shellfit::ExtractPackage(dialog_, kPackage, u"\\Flash Disk"), 5);

  EXPECT_EQ(dialog_.progressHigh, 3);
  EXPECT_EQ(dialog_.progressPos, 5);
  EXPECT_EQ(ReadText(Fs("Flash Disk/main.exe")), std::string(70000, 'm'));
  EXPECT_EQ(ReadText(Fs("Flash Disk/empty.txt")), "");
  EXPECT_EQ(ReadText(Fs("Flash Disk/bin/lib/x.dll")), "library");
  struct stat info {};
  ASSERT_EQ(stat(Fs("Flash Disk/bin/lib/x.dll").c_str(), &info), 0);
  EXPECT_EQ(info.st_mtime, 1500000002);
  ASSERT_EQ(stat(Fs("Flash Disk/main.exe").c_str(), &info), 0);
  EXPECT_EQ(info.st_mtime, 1600000000);
  EXPECT_TRUE(dialog_.messageBoxes.empty());
  EXPECT_EQ(dialog_.statuses.front(), "Copying... main.exe");
}

// The files are read back on another thread behind the writing: two
// entries for one file (in two cases) must not have the second replace the
// file while the first is still to be read back.
TEST_F(ExtractionTest, EntriesForOneFileAreEachCheckedBeforeTheNextReplacesIt) {
  WriteText(Stage("A.TXT"), "first");
  WriteText(Stage("a.txt"), "the second");
  Pack({"A.TXT", "a.txt"});

  EXPECT_EQ(shellfit::ExtractPackage(dialog_, kPackage, u"\\Flash Disk"), 2);

  EXPECT_TRUE(dialog_.messageBoxes.empty());
  EXPECT_EQ(ReadText(Fs("Flash Disk/a.txt")), "the second");
  EXPECT_FALSE(fs::exists(Fs("Flash Disk/A.TXT")));
}

// Results come in the order the read-backs were started, whether a thread
// of their own reads them or the caller does, and whether the caller polls
// or waits; a file that is not there could not be read.
TEST_F(ExtractionTest, ReadBacksComeInTheOrderTheyWereStarted) {
  for (int i = 0; i < 40; ++i)
    WriteText(Fs("Flash Disk/f" + std::to_string(i)), std::string(i, 'x'));
  for (const bool threaded : {true, false}) {
    SCOPED_TRACE(threaded ? "on a thread" : "by the caller");
    shellfit::ReadBackCheck check(threaded ? platform::Files().ReaderForAnotherThread() : nullptr);
    std::vector<shellfit::ReadBack> got;
    for (int i = 0; i < 40; ++i) {
      check.Start(u"\\Flash Disk\\" + std::u16string(i % 10 == 9 ? u"none" : u"f") +
                  platform::FromUtf8(std::to_string(i)));
      while (i % 7 == 0) {
        const auto back = check.Next(false);
        if (!back) break;
        got.push_back(*back);
      }
    }
    while (got.size() < 40) got.push_back(*check.Next(true));
    for (int i = 0; i < 40; ++i) {
      const std::string bytes(i, 'x');
      const bool there = i % 10 != 9;
      EXPECT_EQ(got[i].read, there) << i;
      EXPECT_EQ(got[i].size, there ? uint32_t(i) : 0u) << i;
      EXPECT_EQ(got[i].crc, there ? crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), i) : 0u)
          << i;
    }
  }
}

// Spoils the first write to one file, as a drive that loses a bit on the
// way would; the reader for another thread is the drive's own.
class SpoilingFiles : public platform::FileSystemWrapper {
 public:
  SpoilingFiles(platform::FileSystem& target, std::u16string name)
      : FileSystemWrapper(target), name_(std::move(name)) {}
  std::unique_ptr<platform::File> Open(std::u16string_view path, uint32_t access,
                                       platform::Disposition disposition) override {
    auto file = FileSystemWrapper::Open(path, access, disposition);
    if (file == nullptr || spoiled_ || !(access & platform::AccessWrite) ||
        !path.ends_with(name_)) {
      return file;
    }
    spoiled_ = true;
    return std::make_unique<Spoiled>(std::move(file));
  }
  std::unique_ptr<platform::FileSystem> ReaderForAnotherThread() override {
    return target().ReaderForAnotherThread();
  }

 private:
  class Spoiled : public platform::FileWrapper {
   public:
    using FileWrapper::FileWrapper;
    bool Write(const void* buffer, uint32_t count) override {
      std::string bytes(static_cast<const char*>(buffer), count);
      if (!bytes.empty()) bytes[0] ^= 1;
      return target().Write(bytes.data(), count);
    }
  };
  std::u16string name_;
  bool spoiled_ = false;
};

// A file found spoiled when it is read back, while later entries were
// written: one box names it, it is written again, and every entry ends up
// whole and counted once.
TEST_F(ExtractionTest, AFileSpoiledOnTheWayIsWrittenAgainBehindLaterEntries) {
  std::vector<std::string> names;
  for (int i = 0; i < 60; ++i) {
    names.push_back("e" + std::to_string(i) + ".txt");
    WriteText(Stage(names.back()), "entry " + std::to_string(i));
  }
  Pack(names);
  SpoilingFiles spoiling(platform::Files(), u"\\e20.txt");
  platform::Environment env = platform::Env();
  env.files = &spoiling;
  platform::ScopedEnvironment installed(env);

  EXPECT_EQ(shellfit::ExtractPackage(dialog_, kPackage, u"\\Flash Disk"), 60);

  ASSERT_EQ(dialog_.messageBoxes.size(), 1u);
  EXPECT_EQ(dialog_.messageBoxes[0].text, "e20.txt CRC error!");
  EXPECT_EQ(dialog_.progressPos, 60);
  for (int i = 0; i < 60; ++i) {
    EXPECT_EQ(ReadText(Fs("Flash Disk/" + names[i])), "entry " + std::to_string(i)) << i;
  }
}

TEST_F(ExtractionTest, MissingPackageOrTargetExtractsNothing) {
  EXPECT_EQ(shellfit::ExtractPackage(dialog_, kPackage, u"\\Flash Disk"), -1);
  WriteText(Stage("a.txt"), "a");
  Pack({"a.txt"});
  EXPECT_EQ(shellfit::ExtractPackage(dialog_, kPackage, u""), -1);
  EXPECT_FALSE(fs::exists(Fs("Flash Disk/a.txt")));
}

TEST_F(ExtractionTest, AFileThatCannotBeWrittenIsTriedThreeTimesThenSkipped) {
  WriteText(Stage("big.bin"), std::string(50000, 'b'));
  WriteText(Stage("small.txt"), "small");
  Pack({"big.bin", "small.txt"});
  // A nearly full drive: the big file never fits, the small one does.
  OpenDevice("[fs]\ncapacity = " + std::to_string(fs::file_size(Zipped()) + 1000) + "\n");

  EXPECT_EQ(shellfit::ExtractPackage(dialog_, kPackage, u"\\Flash Disk"), 1);

  ASSERT_EQ(dialog_.messageBoxes.size(), 3u);
  for (const auto& box : dialog_.messageBoxes) {
    EXPECT_EQ(box.text, "big.bin CRC error!");
    EXPECT_EQ(box.style, 0x40040u);
  }
  EXPECT_EQ(ReadText(Fs("Flash Disk/small.txt")), "small");
  EXPECT_EQ(dialog_.progressPos, 1);
}

TEST_F(ExtractionTest, AnEmptyFileThatCannotBeWrittenIsNoSuccess) {
  // Below \Flash Disk this name makes a path longer than a device path may be.
  const std::string longName = std::string(246, 'e') + ".txt";
  WriteText(Stage(longName), "");
  WriteText(Stage("short.txt"), "");
  Pack({longName, "short.txt"});

  EXPECT_EQ(shellfit::ExtractPackage(dialog_, kPackage, u"\\Flash Disk"), 1);

  ASSERT_EQ(dialog_.messageBoxes.size(), 3u);
  EXPECT_EQ(dialog_.messageBoxes[0].text, longName + " CRC error!");
  EXPECT_EQ(dialog_.progressPos, 1);
  EXPECT_TRUE(fs::exists(Fs("Flash Disk/short.txt")));
}

TEST_F(ExtractionTest, ReaderErrorsDuringExtractionStopItWithAMessage) {
  WriteText(Stage("a.txt"), std::string(5000, 'a'));
  WriteText(Stage("b.txt"), "b");
  Pack({"a.txt", "b.txt"});
  std::string zip = ReadText(Zipped());
  zip[FirstEntryDataOffset(Zipped()) + 20] ^= 0x10;
  WriteText(Zipped(), zip);

  int result = -5;
  EXPECT_NO_THROW(result = shellfit::ExtractPackage(dialog_, kPackage, u"\\Flash Disk"));
  EXPECT_EQ(result, 0);
  ASSERT_EQ(dialog_.messageBoxes.size(), 1u);
  EXPECT_EQ(dialog_.messageBoxes[0].style, 0x40040u);
  EXPECT_TRUE(
      dialog_.messageBoxes[0].text.starts_with("\\Storage Card\\KTR 60 SHELL.ZIP ZIP error "));
  EXPECT_FALSE(fs::exists(Fs("Flash Disk/b.txt")));
}

TEST_F(ExtractionTest, VerifyPackageNamesTheZipError) {
  WriteText(Stage("a.txt"), std::string(5000, 'a'));
  WriteText(Stage("dir/b.txt"), "b");
  Pack({"a.txt", "dir"});
  // The reader's exception arrives as the status's kind and code.
  const auto kindAndCode = [](const shellfit::PackageStatus& status) {
    return std::pair(status.kind(), status.zipError());
  };
  const auto unreadable = [](int32_t code) {
    return std::pair(shellfit::PackageStatus::Kind::kUnreadable, code);
  };
  const shellfit::PackageStatus verified = shellfit::VerifyPackage(kPackage);
  EXPECT_TRUE(verified.ok());
  EXPECT_EQ(verified.zipError(), 0);
  const std::string good = ReadText(Zipped());

  WriteText(Zipped(), good.substr(0, good.size() / 2));
  EXPECT_EQ(kindAndCode(shellfit::VerifyPackage(kPackage)), unreadable(116));  // no end record

  WriteText(Zipped(), "plain text, no archive");
  EXPECT_EQ(kindAndCode(shellfit::VerifyPackage(kPackage)), unreadable(116));

  ZipFixedHeaders(Stage("other.zip"), staging_.path(), {"a.txt"}, "wrong");
  fs::copy_file(Stage("other.zip"), Zipped(), fs::copy_options::overwrite_existing);
  EXPECT_EQ(kindAndCode(shellfit::VerifyPackage(kPackage)), unreadable(110));

  // A stored entry with a flipped byte decrypts to wrong data: CRC error.
  fs::remove(Zipped());
  const std::string command = "cd '" + staging_.path().string() + "' && zip -q -0 -X -P .TORVA. '" +
                              Zipped().string() + "' a.txt";
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::string stored = ReadText(Zipped());
  stored[FirstEntryDataOffset(Zipped()) + 12 + 100] ^= 0x01;
  WriteText(Zipped(), stored);
  EXPECT_EQ(kindAndCode(shellfit::VerifyPackage(kPackage)), unreadable(102));
  EXPECT_FALSE(fs::exists(Fs("Flash Disk/a.txt")));
}

TEST_F(ExtractionTest, GetFileCrcReadsTheWholeFile) {
  std::string data(2048, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
  WriteText(Fs("Flash Disk/x.bin"), data);
  uint32_t crc = 1, size = 1;
  ASSERT_TRUE(shellfit::GetFileCrc(u"\\Flash Disk\\x.bin", &crc, &size));
  EXPECT_EQ(crc, ::crc32(0, reinterpret_cast<const Bytef*>(data.data()), 2048));
  EXPECT_EQ(size, 2048u);

  crc = 1;
  size = 1;
  EXPECT_FALSE(shellfit::GetFileCrc(u"\\Flash Disk", &crc, &size));
  EXPECT_FALSE(shellfit::GetFileCrc(u"\\Flash Disk\\missing", &crc, &size));
  EXPECT_EQ(crc, 1u);
  EXPECT_EQ(size, 1u);
}

}  // namespace
}  // namespace shellfit_test

namespace shellfit_test {
namespace {

TEST_F(ExtractionTest, AbsoluteEntryNameIsWrittenWhereItPoints) {
  // Info-ZIP strips leading slashes; Python's zipfile keeps them (unencrypted,
  // which the reader accepts with a password set).
  const std::string command = "python3 -c \"import zipfile; z = zipfile.ZipFile('" +
                              Zipped().string() +
                              "', 'w'); z.writestr('/Windows/x.dll', 'abs'); "
                              "z.writestr('rel.txt', 'rel'); z.close()\"";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(shellfit::ExtractPackage(dialog_, kPackage, u"\\Flash Disk"), 2);
  EXPECT_EQ(ReadText(Fs("Windows/x.dll")), "abs");
  EXPECT_EQ(ReadText(Fs("Flash Disk/rel.txt")), "rel");
}

}  // namespace
}  // namespace shellfit_test
