#include "imagefit/image_signatures.h"

#include <algorithm>
#include <string>
#include <vector>

#include "frame/device_identity.h"
#include "frame/update_dialog.h"
#include "imagefit/image_set.h"
#include "imagefit/image_version.h"
#include "platform/environment.h"
#include "platform/outcome_report.h"
#include "signature/update_signature.h"

namespace imagefit {
namespace {

using signature::Refusal;

constexpr uint32_t kRefusalStyle = platform::MB_TOPMOST | platform::MB_ICONINFORMATION;
// What ReadImageVersion takes of the version file.
constexpr std::size_t kVersionBytes = 260;

// The whole file's digest, from its start; `head` keeps its first bytes.
bool DigestOf(platform::File& file, signature::Digest* digest, std::string* head = nullptr) {
  constexpr uint32_t kChunk = 1 << 20;
  std::vector<uint8_t> chunk(kChunk);
  signature::FileDigest hash;
  uint64_t at = 0;
  if (!file.Seek(0, platform::SeekOrigin::Begin, &at)) return false;
  uint32_t got = 0;
  while (file.Read(chunk.data(), kChunk, &got) && got > 0) {
    if (head != nullptr && head->size() < kVersionBytes) {
      head->append(chunk.begin(),
                   chunk.begin() + std::min<std::size_t>(got, kVersionBytes - head->size()));
    }
    hash.Update(chunk.data(), got);
  }
  *digest = hash.Final();
  return file.Seek(0, platform::SeekOrigin::Begin, &at);
}

bool Refuse(platform::Dialog& dialog, std::u16string_view file, const std::u16string& text,
            const signature::SignatureCheck& check) {
  signature::NoteSignature(file, check);
  platform::Outcome().Set("refused_reason", platform::ReportText(text));
  platform::SetOutcome(platform::RunOutcome::kRefused);
  frame::ShowMessageBox(dialog, text, kRefusalStyle);
  return false;
}

bool RefuseUnreadable(platform::Dialog& dialog, std::u16string_view file) {
  signature::SignatureCheck check;
  check.refusal = Refusal::Unreadable;
  return Refuse(dialog, file,
                std::u16string(file) + u" cannot be read, so its signature cannot be checked." +
                    u" Nothing was changed.",
                check);
}

// The device's own model, as shellfit reads it: the signed model must be
// this one. The title's fixed model names the version file and nothing more.
std::u16string DeviceModel() {
  std::u16string model;
  if (!frame::ReadRegistryString(u"Ident", u"Model", &model)) model.clear();
  return model;
}

// A keyed device whose registry names no model cannot tell which image set is
// meant for it: nothing signed for any model is taken.
bool RefuseWithoutModel(platform::Dialog& dialog, std::u16string_view file) {
  signature::SignatureCheck check;
  check.refusal = Refusal::OtherModel;
  return Refuse(dialog, file,
                u"This device's registry names no model (HKEY_LOCAL_MACHINE\\Ident, \"Model\"), so "
                u"it cannot tell which signed image set is meant for it. Nothing was changed.",
                check);
}

// Checks one file's signature; false after the refusal.
bool CheckOne(platform::Dialog& dialog, const signature::DeviceKeys& keys, std::u16string_view path,
              const signature::Digest& digest, signature::SignatureCheck* check) {
  const std::u16string model = DeviceModel();
  if (model.empty()) return RefuseWithoutModel(dialog, path);
  *check = signature::CheckSignature(keys, path, digest, model);
  if (check->refusal == Refusal::None) return true;
  return Refuse(dialog, path, signature::RefusalText(path, model, *check), *check);
}

}  // namespace

bool CheckImageSignatures(platform::Dialog& dialog, HeldImageFiles* held) {
  const signature::DeviceKeys keys = signature::ReadDeviceKeys();
  if (!keys.required) {
    signature::NoteSignatureNotRequired();
    return true;
  }
  signature::SignatureCheck check;
  signature::Digest digest{};
  // The version file is read once here: the version sent is the one parsed
  // from these signed bytes, which must be the one the dialog shows.
  const std::u16string versionFile = FindVersionFile();
  auto version = platform::Files().Open(versionFile, platform::AccessRead,
                                        platform::Disposition::OpenExisting);
  std::string head;
  if (version == nullptr || !DigestOf(*version, &digest, &head)) {
    return RefuseUnreadable(dialog, versionFile);
  }
  version.reset();
  if (!CheckOne(dialog, keys, versionFile, digest, &check)) return false;
  if (ParseImageVersion(head) != ImageVersion) {
    check.refusal = Refusal::FileChanged;
    return Refuse(dialog, versionFile,
                  versionFile + u" was changed after this dialog showed its version." +
                      u" Nothing was changed.",
                  check);
  }
  for (int index = 0; index < kImageCount; ++index) {
    platform::File* file = held->Open(index, ImagePaths[index]);
    if (file == nullptr || !DigestOf(*file, &digest)) {
      return RefuseUnreadable(dialog, ImagePaths[index]);
    }
    if (!CheckOne(dialog, keys, ImagePaths[index], digest, &check)) return false;
  }
  signature::NoteSignature(versionFile, check);
  return true;
}

}  // namespace imagefit
