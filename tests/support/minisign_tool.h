// Key pairs and signatures made by Debian's minisign, as a maker would make
// them, for the tests of signed updates.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "signature/release_manifest.h"

namespace test_support {

class MinisignKey {
 public:
  // A new key pair without a password in `folder` (k.pub, k.sec under `name`).
  MinisignKey(const std::filesystem::path& folder, const std::string& name);

  const std::filesystem::path& publicKeyFile() const { return pub_; }
  // The .pub file's contents.
  std::string PublicKeyText() const;
  // The key line alone (what the device's registry value holds).
  std::string PublicKeyLine() const;
  // Writes `file`.minisig with this trusted comment; `legacy` signs the
  // file itself instead of its BLAKE2b-512.
  void Sign(const std::filesystem::path& file, const std::string& trustedComment,
            bool legacy = false) const;
  // Writes the release manifest `manifest` naming `files` (each role with the
  // host file it is) and signs it with this trusted comment.
  void SignRelease(const std::filesystem::path& manifest, signature::ReleaseKind kind,
                   const std::vector<std::pair<signature::FileRole, std::filesystem::path>>& files,
                   const std::string& trustedComment, uint32_t securityVersion = 0) const;

 private:
  std::filesystem::path pub_;
  std::filesystem::path sec_;
};

}  // namespace test_support
