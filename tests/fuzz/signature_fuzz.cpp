// Fuzz target: the input is taken as a .minisig file and as a public key,
// the way a device reads them from a card and from its registry; whatever
// parses is verified against a key and digest of its own.
#include <cstdint>
#include <string_view>

#include "signature/minisign.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto key = signature::ParsePublicKey(text);
  if (key && (signature::KeyIdText(key->id).empty() || signature::KeyIdText(key->id).size() > 16)) {
    __builtin_trap();
  }
  const auto sig = signature::ParseSignature(text);
  if (!sig) return 0;
  if (sig->trustedComment.find('\n') != std::string::npos) __builtin_trap();
  signature::CommentField(sig->trustedComment, "model");
  signature::PublicKey same;
  same.id = sig->keyId;
  for (std::size_t i = 0; i < same.key.size(); ++i) same.key[i] = sig->fileSignature[i];
  const signature::Digest digest = signature::DigestOf(data, size);
  // A key made of the signature's own bytes must not pass it.
  if (signature::Verify(*sig, same, digest) == signature::Verdict::Valid) __builtin_trap();
  return 0;
}
