#include "signature/update_signature.h"

#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/outcome_report.h"
#include "platform/registry.h"
#include "platform/text.h"

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

bool SameModel(std::string_view a, std::u16string_view b) {
  return platform::EqualsNoCase(platform::FromUtf8(a), b);
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
  check.refusal = Refusal::UntrustedKey;
  for (const PublicKey& key : keys.keys) {
    switch (Verify(*parsed, key, digest)) {
      case Verdict::OtherKey:
        continue;
      case Verdict::FileChanged:
        check.refusal = Refusal::FileChanged;
        return check;
      case Verdict::CommentChanged:
        check.refusal = Refusal::SignatureChanged;
        return check;
      case Verdict::Valid:
        check.model = CommentField(parsed->trustedComment, kModelField);
        check.refusal =
            check.model && SameModel(*check.model, model) ? Refusal::None : Refusal::OtherModel;
        return check;
    }
  }
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
    case Refusal::OtherModel:
      text = check.model && !check.model->empty()
                 ? name + u" is signed for model " + platform::FromUtf8(*check.model) +
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
  if (check.model) report.Set("signature.model", platform::ReportText(*check.model));
}

}  // namespace signature
