// minisign's public keys and detached signatures (.minisig), parsed and
// checked with libgcrypt. Nothing here touches a file: callers hand in the
// texts and the bytes (or their BLAKE2b-512 digest) themselves.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace signature {

using KeyId = std::array<uint8_t, 8>;
using Digest = std::array<uint8_t, 64>;  // BLAKE2b-512

struct PublicKey {
  KeyId id{};
  std::array<uint8_t, 32> key{};  // Ed25519
};

struct Signature {
  // minisign's default form signs the BLAKE2b-512 of the file ("ED"); the
  // older form signs the file itself ("Ed") and is refused by the parser,
  // since it would need the whole file in memory.
  KeyId keyId{};
  std::array<uint8_t, 64> fileSignature{};
  std::string trustedComment;                  // bytes after "trusted comment: ", line end removed
  std::array<uint8_t, 64> commentSignature{};  // over fileSignature + trustedComment
};

// Larger texts are no key or signature of minisign's.
inline constexpr std::size_t kMostSignatureBytes = 8192;

// Either a whole .pub file (comment line, key line) or the key line alone.
// None for a key no signer makes (see UsableKey).
std::optional<PublicKey> ParsePublicKey(std::string_view text);
// False for an Ed25519 key whose point's y coordinate is below 2^192: the
// identity and such points come from no key pair (one random key in 2^63
// has one), and libgcrypt 1.10 ends the process (abort) when it decodes one.
bool UsableKey(const std::array<uint8_t, 32>& key);
// A whole .minisig file: untrusted comment, signature, trusted comment,
// comment signature. Empty for anything else, including the older form.
std::optional<Signature> ParseSignature(std::string_view text);

// The key id as minisign prints it: upper-case hex, no leading zeros.
std::string KeyIdText(const KeyId& id);

// BLAKE2b-512 over bytes handed in piece by piece.
class FileDigest {
 public:
  FileDigest();
  ~FileDigest();
  FileDigest(const FileDigest&) = delete;
  FileDigest& operator=(const FileDigest&) = delete;
  void Update(const void* data, std::size_t length);
  // The digest of everything so far; Update must not follow.
  Digest Final();

 private:
  void* handle_ = nullptr;
};

Digest DigestOf(const void* data, std::size_t length);

enum class Verdict {
  Valid,
  OtherKey,        // made with a key other than the one given
  FileChanged,     // the file's signature does not hold
  CommentChanged,  // the trusted comment's signature does not hold
};

// Checks both signatures of `signature` against `key` for a file whose
// BLAKE2b-512 is `digest`.
Verdict Verify(const Signature& signature, const PublicKey& key, const Digest& digest);

// The value of field `name` in a trusted comment of "name=value" fields
// separated by ";" (blanks around names and values do not count). Empty
// when the field is missing or given more than once.
std::optional<std::string> CommentField(std::string_view comment, std::string_view name);

}  // namespace signature
