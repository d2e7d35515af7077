#include "tests/support/minisign_tool.h"

#include <gtest/gtest.h>
#include <algorithm>

#include "tests/support/host_files.h"
#include "tests/support/program_runner.h"

namespace test_support {

MinisignKey::MinisignKey(const std::filesystem::path& folder, const std::string& name)
    : pub_(folder / (name + ".pub")), sec_(folder / (name + ".sec")) {
  const RunResult made =
      RunProgram("/usr/bin/minisign", {"-G", "-W", "-f", "-p", pub_.string(), "-s", sec_.string()});
  EXPECT_EQ(made.exitCode, 0) << made.err;
}

std::string MinisignKey::PublicKeyText() const { return ReadText(pub_); }

std::string MinisignKey::PublicKeyLine() const {
  const std::string text = PublicKeyText();
  const std::size_t start = text.find('\n') + 1;
  return text.substr(start, text.find('\n', start) - start);
}

void MinisignKey::Sign(const std::filesystem::path& file, const std::string& trustedComment,
                       bool legacy) const {
  std::vector<std::string> args{"-S", "-W",          "-s", sec_.string(),
                                "-m", file.string(), "-t", trustedComment};
  if (legacy) args.push_back("-l");
  const RunResult signedFile = RunProgram("/usr/bin/minisign", args);
  EXPECT_EQ(signedFile.exitCode, 0) << signedFile.err;
}

void MinisignKey::SignRelease(
    const std::filesystem::path& manifest, signature::ReleaseKind kind,
    const std::vector<std::pair<signature::FileRole, std::filesystem::path>>& files,
    const std::string& trustedComment, uint32_t securityVersion) const {
  signature::ReleaseManifest release;
  release.kind = kind;
  release.model = "KTR 60";
  release.version = kind == signature::ReleaseKind::ShellPackage ? "1.2.4" : "V1.0.8";
  release.securityVersion = securityVersion;
  for (const auto& [role, file] : files) {
    const std::string bytes = ReadText(file);
    // An image set's version is its version file's first line, when that
    // file holds text (a test may name any file in that role).
    const std::string line = bytes.substr(0, bytes.find_first_of("\r\n"));
    const bool text =
        !line.empty() && line.size() <= 64 &&
        std::all_of(line.begin(), line.end(), [](char c) { return c >= ' ' && c < 127; });
    if (role == signature::FileRole::Version && text) release.version = line;
    signature::BlockTreeHasher hasher;
    hasher.Update(bytes.data(), bytes.size());
    const signature::BlockTree tree = hasher.Finish();
    release.files.push_back({role, tree.size, signature::TreeRoot(tree)});
  }
  WriteText(manifest, signature::FormatManifest(release));
  Sign(manifest, trustedComment);
}

}  // namespace test_support
