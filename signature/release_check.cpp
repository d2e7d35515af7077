#include "signature/release_check.h"

#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "signature/model_name.h"
#include "signature/release_floor.h"

namespace signature {
namespace {

constexpr std::u16string_view kNothingChanged = u" Nothing was changed.";

bool Exists(std::u16string_view path) {
  return platform::Files().GetAttributes(path) != platform::kInvalidAttributes;
}

ManifestCheck Refused(Refusal refusal, std::u16string text) {
  ManifestCheck check;
  check.signature.refusal = refusal;
  check.refusalText = std::move(text) + std::u16string(kNothingChanged);
  return check;
}

}  // namespace

ManifestCheck CheckReleaseManifest(const DeviceKeys& keys, std::u16string_view manifestPath,
                                   std::u16string_view update, ReleaseKind kind,
                                   std::u16string_view model) {
  const std::u16string name(update);
  if (!Exists(manifestPath)) {
    std::u16string text = name + u" is not signed: its release manifest " +
                          std::u16string(manifestPath) +
                          u" is missing, and this device installs only signed releases.";
    if (Exists(SignatureFileOf(update))) {
      text += u" A signature of the file alone (" + SignatureFileOf(update) +
              u") is not enough: a signed release manifest is needed.";
    }
    return Refused(Refusal::NoSignature, text);
  }
  const auto text = ReadSmallFile(manifestPath, kMostManifestBytes);
  if (!text) {
    return Refused(Refusal::Unreadable, std::u16string(manifestPath) +
                                            u" is not a release manifest this device can read.");
  }
  ManifestCheck check;
  check.signature = CheckSignature(keys, manifestPath, DigestOf(text->data(), text->size()), model);
  if (check.signature.refusal != Refusal::None) {
    check.refusalText = RefusalText(manifestPath, model, check.signature);
    return check;
  }
  auto manifest = ParseManifest(*text);
  if (!manifest || manifest->kind != kind) {
    const std::u16string what =
        kind == ReleaseKind::ShellPackage ? u"a shell package" : u"an image set";
    auto refused = Refused(manifest ? Refusal::NotInManifest : Refusal::Unreadable,
                           std::u16string(manifestPath) + u" is not the release manifest of " +
                               what + u" this device can read.");
    refused.signature.keyId = check.signature.keyId;
    return refused;
  }
  // The manifest names the model as well as the signature's comment: both
  // must be this device's.
  if (!IsDeviceModel(manifest->model, model)) {
    check.signature.refusal = Refusal::OtherModel;
    check.signature.model = manifest->model;
    check.refusalText = RefusalText(manifestPath, model, check.signature);
    return check;
  }
  // A release the maker really signed, but older than one installed since.
  check.signature.refusal = CheckSecurityFloor(*manifest, update, &check.refusalText);
  if (check.signature.refusal != Refusal::None) return check;
  check.manifest = std::move(manifest);
  return check;
}

Refusal CompareWithManifest(const ReleaseManifest& manifest, FileRole role,
                            std::u16string_view name, const BlockTree& tree, std::u16string* text) {
  const ManifestFile* named = manifest.Find(role);
  if (named != nullptr && named->size == tree.size && named->hash == TreeRoot(tree)) {
    return Refusal::None;
  }
  *text = std::u16string(name) + u" was changed after it was signed: it is not the file the " +
          u"release manifest names as its " + platform::FromUtf8(RoleName(role)) + u"." +
          std::u16string(kNothingChanged);
  return Refusal::FileChanged;
}

std::u16string ChangedInUseText(std::u16string_view name) {
  return std::u16string(name) +
         u" was changed after its signature was checked, while it was being read; the changed "
         u"bytes were not used.";
}

}  // namespace signature
