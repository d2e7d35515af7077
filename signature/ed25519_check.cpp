// The cryptography, all of it libgcrypt's: BLAKE2b-512 and Ed25519.
#include <gcrypt.h>

#include <cstdlib>
#include <mutex>
#include <vector>

#include "signature/gcrypt_setup.h"
#include "signature/minisign.h"

namespace signature {

// libgcrypt wants to be set up once before its first use, and nothing here
// keeps secrets, so no secure memory.
void InitialiseGcrypt() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (gcry_control(GCRYCTL_INITIALIZATION_FINISHED_P)) return;
    gcry_check_version(nullptr);
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
  });
}

namespace {

// One S-expression, freed with its holder.
class Sexp {
 public:
  Sexp() = default;
  ~Sexp() { gcry_sexp_release(value_); }
  Sexp(const Sexp&) = delete;
  Sexp& operator=(const Sexp&) = delete;
  gcry_sexp_t* out() { return &value_; }
  gcry_sexp_t get() const { return value_; }

 private:
  gcry_sexp_t value_ = nullptr;
};

// Ed25519 as minisign uses it: the message is signed as it is (EdDSA hashes
// it with SHA-512 itself).
bool VerifyEd25519(const std::array<uint8_t, 32>& key, const std::array<uint8_t, 64>& sig,
                   const void* message, std::size_t length) {
  if (!UsableKey(key)) return false;
  InitialiseGcrypt();
  Sexp publicKey, signature, data;
  const int keyLength = int(key.size());
  const int half = int(sig.size() / 2);
  const int messageLength = int(length);
  if (gcry_sexp_build(publicKey.out(), nullptr,
                      "(public-key (ecc (curve Ed25519) (flags eddsa) (q %b)))", keyLength,
                      key.data()) != 0 ||
      gcry_sexp_build(signature.out(), nullptr, "(sig-val (eddsa (r %b) (s %b)))", half, sig.data(),
                      half, sig.data() + half) != 0 ||
      gcry_sexp_build(data.out(), nullptr, "(data (flags eddsa) (hash-algo sha512) (value %b))",
                      messageLength, message) != 0) {
    return false;
  }
  return gcry_pk_verify(signature.get(), data.get(), publicKey.get()) == 0;
}

}  // namespace

FileDigest::FileDigest() {
  InitialiseGcrypt();
  gcry_md_hd_t handle = nullptr;
  if (gcry_md_open(&handle, GCRY_MD_BLAKE2B_512, 0) != 0) {
    // Only a libgcrypt built without BLAKE2b gets here; nothing could be checked.
    std::abort();
  }
  handle_ = handle;
}

FileDigest::~FileDigest() { gcry_md_close(static_cast<gcry_md_hd_t>(handle_)); }

void FileDigest::Update(const void* data, std::size_t length) {
  gcry_md_write(static_cast<gcry_md_hd_t>(handle_), data, length);
}

Digest FileDigest::Final() {
  Digest digest{};
  const unsigned char* bytes = gcry_md_read(static_cast<gcry_md_hd_t>(handle_), 0);
  for (std::size_t i = 0; i < digest.size(); ++i) digest[i] = bytes[i];
  return digest;
}

Digest DigestOf(const void* data, std::size_t length) {
  FileDigest digest;
  digest.Update(data, length);
  return digest.Final();
}

Verdict Verify(const Signature& signature, const PublicKey& key, const Digest& digest) {
  if (signature.keyId != key.id) return Verdict::OtherKey;
  if (!VerifyEd25519(key.key, signature.fileSignature, digest.data(), digest.size())) {
    return Verdict::FileChanged;
  }
  std::vector<uint8_t> comment(signature.fileSignature.begin(), signature.fileSignature.end());
  comment.insert(comment.end(), signature.trustedComment.begin(), signature.trustedComment.end());
  if (!VerifyEd25519(key.key, signature.commentSignature, comment.data(), comment.size())) {
    return Verdict::CommentChanged;
  }
  return Verdict::Valid;
}

}  // namespace signature
