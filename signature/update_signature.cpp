#include "signature/update_signature.h"

#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/outcome_report.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "signature/model_name.h"

namespace signature {
namespace {

// The registry value's text: UTF-16LE units up to the end, NULs kept as
// separators.
std::u16string ValueText(const std::vector<uint8_t>& data) {
  std::u16string text;
  for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
    text += char16_t(data[i] | data[i + 1] << 8);
  }
  return text;
}

bool IsSeparator(char16_t c) {
  return c == 0 || c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u',' || c == u';';
}

}  // namespace

std::optional<std::string> ReadSmallFile(std::u16string_view path, std::size_t most) {
  auto file =
      platform::Files().Open(path, platform::AccessRead, platform::Disposition::OpenExisting);
  uint64_t size = 0;
  if (file == nullptr || !file->GetSize(&size) || size > most) return std::nullopt;
  // Read one byte past the limit: a file that grew since is still refused.
  std::string text(most + 1, '\0');
  std::size_t have = 0;
  uint32_t got = 0;
  while (have < text.size() && file->Read(text.data() + have, uint32_t(text.size() - have), &got) &&
         got > 0) {
    have += got;
  }
  if (have > most) return std::nullopt;
  text.resize(have);
  return text;
}

namespace {

// Of the verdicts of several keys with the signature's id, the one that
// went furthest decides: a key that verified the file but not the comment
// says more than one that verified neither.
int Rank(Verdict verdict) {
  switch (verdict) {
    case Verdict::OtherKey:
      return 0;
    case Verdict::FileChanged:
      return 1;
    case Verdict::CommentChanged:
      return 2;
    case Verdict::Valid:
      return 3;
  }
  return 0;
}

Verdict BestVerdict(const DeviceKeys& keys, const Signature& signature, const Digest& digest) {
  Verdict best = Verdict::OtherKey;
  for (const PublicKey& key : keys.keys) {
    const Verdict verdict = Verify(signature, key, digest);
    if (Rank(verdict) > Rank(best)) best = verdict;
    if (best == Verdict::Valid) break;
  }
  return best;
}

// A verified comment: the model it names must be the device's, and every
// byte of it must be text the device can read.
Refusal ModelRefusal(const SignatureCheck& check, std::string_view comment,
                     std::u16string_view model) {
  if (!check.model || !IsDeviceModel(*check.model, model)) return Refusal::OtherModel;
  return DecodeStrictUtf8(comment) ? Refusal::None : Refusal::Unreadable;
}

}  // namespace

DeviceKeys ReadDeviceKeys() {
  DeviceKeys keys;
  const auto value = platform::Reg().QueryValue(kKeysRegistryKey, kKeysRegistryValue);
  if (!value) return keys;
  keys.required = true;
  if (value->type != platform::REG_SZ && value->type != platform::REG_MULTI_SZ &&
      value->type != platform::REG_EXPAND_SZ) {
    return keys;
  }
  const std::u16string text = ValueText(value->data);
  std::size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && IsSeparator(text[at])) ++at;
    std::size_t end = at;
    while (end < text.size() && !IsSeparator(text[end])) ++end;
    if (end > at) {
      if (auto key = ParsePublicKey(platform::ToUtf8(text.substr(at, end - at)))) {
        keys.keys.push_back(*key);
      }
    }
    at = end;
  }
  return keys;
}

std::u16string SignatureFileOf(std::u16string_view file) {
  return std::u16string(file) + u".minisig";
}

SignatureCheck CheckSignature(const DeviceKeys& keys, std::u16string_view file,
                              const Digest& digest, std::u16string_view model) {
  SignatureCheck check;
  const std::u16string path = SignatureFileOf(file);
  if (platform::Files().GetAttributes(path) == platform::kInvalidAttributes) {
    check.refusal = Refusal::NoSignature;
    return check;
  }
  const auto text = ReadSmallFile(path, kMostSignatureBytes);
  const auto parsed = text ? ParseSignature(*text) : std::nullopt;
  if (!parsed) {
    check.refusal = Refusal::Unreadable;
    return check;
  }
  check.keyId = KeyIdText(parsed->keyId);
  switch (BestVerdict(keys, *parsed, digest)) {
    case Verdict::OtherKey:
      check.refusal = Refusal::UntrustedKey;
      return check;
    case Verdict::FileChanged:
      check.refusal = Refusal::FileChanged;
      return check;
    case Verdict::CommentChanged:
      check.refusal = Refusal::SignatureChanged;
      return check;
    case Verdict::Valid:
      break;
  }
  check.model = CommentField(parsed->trustedComment, kModelField);
  check.refusal = ModelRefusal(check, parsed->trustedComment, model);
  return check;
}

std::u16string RefusalText(std::u16string_view file, std::u16string_view model,
                           const SignatureCheck& check) {
  const std::u16string name(file);
  std::u16string text;
  switch (check.refusal) {
    case Refusal::None:
      return {};
    case Refusal::NoSignature:
      text = name + u" is not signed (" + SignatureFileOf(file) +
             u" is missing), and this device installs only signed updates.";
      break;
    case Refusal::Unreadable:
      text = SignatureFileOf(file) + u" is not a signature this device can read.";
      break;
    case Refusal::UntrustedKey:
      text = name + u" is signed by a key this device does not trust (key " +
             platform::FromUtf8(check.keyId) + u").";
      break;
    case Refusal::FileChanged:
      text = name + u" was changed after it was signed.";
      break;
    case Refusal::SignatureChanged:
      text = u"The signature of " + name + u" was changed after it was signed.";
      break;
    case Refusal::NotInManifest:
      text = name + u" is not the file its release manifest names.";
      break;
    case Refusal::ChangedInUse:
      text = name + u" was changed after its signature was checked.";
      break;
    case Refusal::OlderRelease:
      text = name + u" is an older release than this device accepts.";
      break;
    case Refusal::FloorUnknown:
      text = u"This device cannot read its record of the security versions it accepts.";
      break;
    case Refusal::OtherModel:
      text = check.model && !check.model->empty()
                 ? name + u" is signed for model " + ShownSafely(*check.model) +
                       u", not for this " + std::u16string(model) + u"."
                 : name + u" is signed without naming the model it is for.";
      break;
  }
  return text + u" Nothing was changed.";
}

std::string_view RefusalWord(Refusal refusal) {
  switch (refusal) {
    case Refusal::None:
      return "valid";
    case Refusal::NoSignature:
      return "no-signature";
    case Refusal::Unreadable:
      return "unreadable";
    case Refusal::UntrustedKey:
      return "untrusted-key";
    case Refusal::FileChanged:
      return "file-changed";
    case Refusal::SignatureChanged:
      return "signature-changed";
    case Refusal::OtherModel:
      return "other-model";
    case Refusal::NotInManifest:
      return "not-in-manifest";
    case Refusal::ChangedInUse:
      return "changed-in-use";
    case Refusal::OlderRelease:
      return "older-release";
    case Refusal::FloorUnknown:
      return "floor-unknown";
  }
  return "unreadable";
}

void NoteSignatureNotRequired() {
  platform::Outcome().Set("signature.required", platform::ReportFlag(false));
}

void NoteSignature(std::u16string_view file, const SignatureCheck& check) {
  auto& report = platform::Outcome();
  report.Set("signature.required", platform::ReportFlag(true));
  report.Set("signature.result", platform::ReportText(RefusalWord(check.refusal)));
  report.Set("signature.file", platform::ReportText(file));
  if (!check.keyId.empty()) report.Set("signature.key_id", platform::ReportText(check.keyId));
  if (check.model) report.Set("signature.model", platform::ReportText(ShownSafely(*check.model)));
}

void NoteWritersNotKeptAway(std::u16string_view file) {
  auto& report = platform::Outcome();
  report.Set("lease.held", platform::ReportFlag(false));
  report.Append("lease.not_held", {{"file", platform::ReportText(file)}});
  report.Set("lease.words",
             platform::ReportText(std::u16string(file) +
                                  u" could not be held against writers: another program may "
                                  u"still change it while it is read."));
}

}  // namespace signature
