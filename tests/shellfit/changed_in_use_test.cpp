// An attacker with the card in hand: the signed package is rewritten in
// place (the same file, the same inode) with another package of the same
// size after its release was checked, at each of the opens the run makes.
// No byte of the other package is installed, and the run says why.
#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <random>

#include "platform/file_system_wrapper.h"
#include "platform/outcome_report.h"
#include "shellfit/run_sequence.h"
#include "shellfit_fixture.h"
#include "tests/support/minisign_tool.h"

namespace shellfit_test {
namespace {

// Passes every call on; at the `at`-th open of the package for reading it
// writes `replacement` over the package's bytes through a descriptor opened
// before the run (so the run's read lease was never granted).
class RewritingFiles : public platform::FileSystemWrapper {
 public:
  RewritingFiles(platform::FileSystem& target, int descriptor, std::string replacement, int at)
      : FileSystemWrapper(target),
        descriptor_(descriptor),
        replacement_(std::move(replacement)),
        at_(at) {}
  std::unique_ptr<platform::File> Open(std::u16string_view path, uint32_t access,
                                       platform::Disposition disposition) override {
    if (path.ends_with(u"SHELL.ZIP") && access == platform::AccessRead && ++opens == at_) {
      rewritten = pwrite(descriptor_, replacement_.data(), replacement_.size(), 0) ==
                  ssize_t(replacement_.size());
    }
    return FileSystemWrapper::Open(path, access, disposition);
  }
  int opens = 0;
  bool rewritten = false;

 private:
  int descriptor_;
  std::string replacement_;
  int at_;
};

std::string Noise(unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(300000, '\0');
  for (char& c : bytes) c = char(random());
  return bytes;
}

class ChangedInUseTest : public ShellfitTest {};

TEST_F(ChangedInUseTest, APackageRewrittenAfterItsCheckIsNeverInstalled) {
  TempFolder keys;
  test_support::MinisignKey maker(keys.path(), "maker");
  std::ofstream(root_.path() / "registry.reg", std::ios::app)
      << "\n[HKEY_LOCAL_MACHINE\\Ident]\n\"UpdateKeys\"=\"" << maker.PublicKeyLine() << "\"\n";
  ReopenDevice();
  const fs::path package = Fs("Storage Card/KTR 60 SHELL.ZIP");
  // The attacker's package: the same names, an unsigned main.exe of the same size.
  WriteText(Stage("main.exe"), Noise(2));
  ZipFixedHeaders(Stage("evil.zip"), staging_.path(), {"main.exe"}, ".TORVA.");
  WriteText(Stage("main.exe"), Noise(1));
  ZipFixedHeaders(package, staging_.path(), {"main.exe"}, ".TORVA.");
  const std::string signedBytes = ReadText(package), evil = ReadText(Stage("evil.zip"));
  ASSERT_EQ(signedBytes.size(), evil.size());
  maker.SignRelease(package.string() + ".manifest", signature::ReleaseKind::ShellPackage,
                    {{signature::FileRole::Package, package}}, "model=KTR 60");
  WriteText(Fs("Flash Disk/main.exe"), "old main");

  // The opens: the release check's, the held reader's, then the readers the
  // verification and the staging open on their own.
  for (int at = 2; at <= 3; ++at) {
    SCOPED_TRACE("rewritten at open " + std::to_string(at));
    WriteText(package, signedBytes);
    const int descriptor = open(package.c_str(), O_WRONLY);
    ASSERT_GE(descriptor, 0);
    RewritingFiles attacker(platform::Files(), descriptor, evil, at);
    platform::Environment env = platform::Env();
    env.files = &attacker;
    {
      platform::ScopedEnvironment installed(env);
      dialog_.messageBoxes.clear();
      shellfit::RunUpdate(dialog_, site_);
    }
    close(descriptor);
    ASSERT_TRUE(attacker.rewritten) << attacker.opens << " opens";
    EXPECT_TRUE(ReadText(Fs("Flash Disk/main.exe")) == "old main")
        << "the other main.exe installed";
    ASSERT_EQ(dialog_.messageBoxes.size(), 1u);
    EXPECT_NE(dialog_.messageBoxes[0].text.find("was changed after its signature was checked"),
              std::string::npos)
        << dialog_.messageBoxes[0].text;
  }
}

}  // namespace
}  // namespace shellfit_test
