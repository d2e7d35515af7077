#include "fitkit/signature_facts.h"

#include <fstream>
#include <iterator>
#include <memory>

#include "host/command_host.h"
#include "platform/text.h"
#include "signature/model_name.h"
#include "signature/verified_file.h"

namespace fitkit {
namespace fs = std::filesystem;
namespace {

std::optional<signature::Digest> FileDigestOf(const fs::path& file) {
  const std::unique_ptr<platform::File> open = host::OpenHostFileForReading(file);
  if (!open) return std::nullopt;
  return signature::DigestOfOpenFile(*open);
}

std::string ReadSmallFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::string text(signature::kMostSignatureBytes + 1, '\0');
  in.read(text.data(), std::streamsize(text.size()));
  text.resize(std::size_t(in.gcount()));
  return text;
}

std::string VerdictWords(signature::Verdict verdict) {
  switch (verdict) {
    case signature::Verdict::Valid:
      return "valid";
    case signature::Verdict::OtherKey:
      return "made with another key";
    case signature::Verdict::FileChanged:
      return "the file is not what was signed";
    case signature::Verdict::CommentChanged:
      return "the trusted comment is not what was signed";
  }
  return "";
}

}  // namespace

SignatureFacts ReadSignatureOf(const fs::path& file,
                               const std::vector<signature::PublicKey>& keys) {
  SignatureFacts facts;
  fs::path signed_ = file;
  signed_ += ".minisig";
  std::error_code error;
  facts.present = fs::is_regular_file(signed_, error);
  if (!facts.present) return facts;
  const auto parsed = signature::ParseSignature(ReadSmallFile(signed_));
  facts.readable = parsed.has_value();
  if (!parsed) return facts;
  facts.keyId = signature::KeyIdText(parsed->keyId);
  facts.trustedComment = parsed->trustedComment;
  facts.shownComment = platform::ToUtf8(signature::ShownSafely(parsed->trustedComment));
  if (keys.empty()) return facts;
  facts.verdict = "made with a key not given";
  const auto digest = FileDigestOf(file);
  for (const signature::PublicKey& key : keys) {
    if (key.id != parsed->keyId) continue;
    if (!digest) {
      facts.verdict = "the file cannot be read";
      break;
    }
    const signature::Verdict verdict = signature::Verify(*parsed, key, *digest);
    facts.verdict = VerdictWords(verdict);
    facts.valid = verdict == signature::Verdict::Valid;
    if (facts.valid) break;
  }
  return facts;
}

bool ReadKeyFiles(const std::vector<std::string>& files, std::vector<signature::PublicKey>* keys,
                  std::string* error) {
  for (const std::string& file : files) {
    const auto key = signature::ParsePublicKey(ReadSmallFile(file));
    if (!key) {
      *error = file + " holds no minisign public key";
      return false;
    }
    keys->push_back(*key);
  }
  return true;
}

}  // namespace fitkit
