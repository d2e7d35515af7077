// Signed updates on a device: the maker's public keys in the registry, the
// minisign signature beside each update file, and what a refusal says. With
// no key on the device nothing is required and nothing is read.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "signature/minisign.h"

namespace signature {

// HKEY_LOCAL_MACHINE\Ident, "UpdateKeys": minisign public key lines (the
// base64 line of a .pub file), as a string or a multi-string, several keys
// separated by blanks, commas, semicolons or the multi-string's breaks.
inline constexpr std::u16string_view kKeysRegistryKey = u"Ident";
inline constexpr std::u16string_view kKeysRegistryValue = u"UpdateKeys";

// The field of the trusted comment that names the model an update is for.
inline constexpr std::string_view kModelField = "model";

struct DeviceKeys {
  bool required = false;        // the registry value exists
  std::vector<PublicKey> keys;  // those of its keys that could be read
};
DeviceKeys ReadDeviceKeys();

enum class Refusal {
  None,
  NoSignature,       // no "<file>.minisig"
  Unreadable,        // not a file, too large, or not a minisign signature
  UntrustedKey,      // made with a key the device does not hold
  FileChanged,       // the file is not what was signed
  SignatureChanged,  // the trusted comment is not what was signed
  OtherModel,        // signed for another model, or for none
  NotInManifest,     // the release manifest is of another kind of update
  ChangedInUse,      // a block changed on the medium after the check
  OlderRelease,      // a security version below the device's floor
  FloorUnknown,      // the device's floor cannot be read
};

struct SignatureCheck {
  Refusal refusal = Refusal::None;
  std::string keyId;                 // the signature's key, once one was read
  std::optional<std::string> model;  // the model it names, once verified
};

// A whole small file, or nothing when it is no regular file of at most
// `most` bytes.
std::optional<std::string> ReadSmallFile(std::u16string_view path, std::size_t most);

// The signature file of an update file.
std::u16string SignatureFileOf(std::u16string_view file);

// Reads "<file>.minisig" from the device's file system and checks it for a
// file whose BLAKE2b-512 is `digest`, for the device model `model`.
SignatureCheck CheckSignature(const DeviceKeys& keys, std::u16string_view file,
                              const Digest& digest, std::u16string_view model);

// The message box for a refusal, in words, ending "Nothing was changed.".
std::u16string RefusalText(std::u16string_view file, std::u16string_view model,
                           const SignatureCheck& check);
// One word for the report: "valid", "no-signature", "unreadable",
// "untrusted-key", "file-changed", "signature-changed", "other-model",
// "not-in-manifest", "changed-in-use".
std::string_view RefusalWord(Refusal refusal);

// The outcome report's "signature" group.
void NoteSignatureNotRequired();
void NoteSignature(std::u16string_view file, const SignatureCheck& check);

// A file held for reading whose writers could not be kept away (another
// program had it open for writing, or the medium knows no such hold): the
// report says so in "lease", with the file and in words.
void NoteWritersNotKeptAway(std::u16string_view file);

}  // namespace signature
