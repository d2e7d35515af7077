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
#include "signature/release_check.h"
#include "signature/update_signature.h"
#include "signature/verified_file.h"

namespace imagefit {
namespace {

using signature::Refusal;

constexpr uint32_t kRefusalStyle = platform::MB_TOPMOST | platform::MB_ICONINFORMATION;
// The first bytes of the version file, as ReadImageVersion takes them.
bool ReadHead(platform::File& file, std::string* head) {
  std::string bytes(kVersionFileBytes, '\0');
  uint64_t at = 0;
  uint32_t got = 0;
  if (!file.Seek(0, platform::SeekOrigin::Begin, &at)) return false;
  while (head->size() < kVersionFileBytes &&
         file.Read(bytes.data(), uint32_t(kVersionFileBytes - head->size()), &got)) {
    if (got == 0) return true;
    head->append(bytes.data(), got);
  }
  return head->size() == kVersionFileBytes;
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

}  // namespace

bool CheckImageSignatures(platform::Dialog& dialog, const ImageSet& set, HeldImageFiles* held,
                          std::optional<signature::ReleaseManifest>* release) {
  const signature::DeviceKeys keys = signature::ReadDeviceKeys();
  if (!keys.required) {
    signature::NoteSignatureNotRequired();
    return true;
  }
  std::u16string manifestPath;
  JoinImagePath(set.folder, signature::kImageSetManifestName, &manifestPath);
  const std::u16string model = DeviceModel();
  if (model.empty()) return RefuseWithoutModel(dialog, manifestPath);
  auto checked = signature::CheckReleaseManifest(keys, manifestPath, set.folder,
                                                 signature::ReleaseKind::ImageSet, model);
  if (!checked.manifest)
    return Refuse(dialog, manifestPath, checked.refusalText, checked.signature);
  const signature::ReleaseManifest& manifest = *checked.manifest;
  // The version file is read once here, through its checked blocks: the
  // version sent is the one parsed from these bytes, which must be the one
  // the dialog shows and the one the manifest names.
  const std::u16string versionFile = FindVersionFile(set);
  auto version = std::make_shared<signature::VerifiedTree>();
  auto file = platform::Files().Open(versionFile, platform::AccessRead,
                                     platform::Disposition::OpenExisting);
  if (file == nullptr || !signature::TreeOfOpenFile(*file, &version->tree)) {
    return RefuseUnreadable(dialog, versionFile);
  }
  std::u16string text;
  if (CompareWithManifest(manifest, signature::FileRole::Version, versionFile, version->tree,
                          &text) != Refusal::None) {
    checked.signature.refusal = Refusal::FileChanged;
    return Refuse(dialog, versionFile, text, checked.signature);
  }
  signature::VerifiedFile verifiedVersion(std::move(file), version);
  std::string head;
  if (!ReadHead(verifiedVersion, &head)) {
    return Refuse(dialog, versionFile,
                  signature::ChangedInUseText(versionFile) + u" Nothing was changed.",
                  checked.signature);
  }
  if (ParseImageVersion(head) != set.version ||
      ParseImageVersion(manifest.version) != set.version) {
    checked.signature.refusal = Refusal::FileChanged;
    return Refuse(dialog, versionFile,
                  versionFile + u" was changed after this dialog showed its version." +
                      u" Nothing was changed.",
                  checked.signature);
  }
  // Each image must be the manifest's file of its own slot: an image of
  // another release, or one moved from another slot, is refused.
  for (int index = 0; index < kImageCount; ++index) {
    auto verified = std::make_shared<signature::VerifiedTree>();
    platform::File* image = held->Open(index, set.paths[index]);
    if (image == nullptr || !held->TreeAndCheck(index, &verified->tree)) {
      return RefuseUnreadable(dialog, set.paths[index]);
    }
    if (CompareWithManifest(manifest, signature::kImageSetRoles[index + 1], set.paths[index],
                            verified->tree, &text) != Refusal::None) {
      checked.signature.refusal = Refusal::FileChanged;
      return Refuse(dialog, set.paths[index], text, checked.signature);
    }
    held->Verify(index, std::move(verified));
  }
  signature::NoteSignature(manifestPath, checked.signature);
  *release = std::move(checked.manifest);
  return true;
}

}  // namespace imagefit
