// The minisign signature beside an update file ("<file>.minisig"), read on
// the host: who signed it and its trusted comment, and, given keys, whether
// it holds for the file as it is now.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "fitkit/findings.h"
#include "signature/minisign.h"

namespace fitkit {

struct SignatureFacts {
  bool present = false;   // the .minisig exists
  bool readable = false;  // and is a minisign signature
  std::string keyId;
  std::string trustedComment;
  std::string shownComment;  // the trusted comment, odd bytes as "\xNN"
  // With keys: "valid", else why not in words; empty when not checked.
  std::string verdict;
  bool valid = false;
};

SignatureFacts ReadSignatureOf(const std::filesystem::path& file,
                               const std::vector<signature::PublicKey>& keys);

// The keys of minisign .pub files; false with `error` naming the file that
// holds none.
bool ReadKeyFiles(const std::vector<std::string>& files, std::vector<signature::PublicKey>* keys,
                  std::string* error);

}  // namespace fitkit
