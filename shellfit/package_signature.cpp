#include "shellfit/package_signature.h"

#include "frame/update_dialog.h"
#include "platform/file_system.h"
#include "shellfit/shellfit.h"
#include "shellfit/update_report.h"
#include "signature/release_check.h"
#include "signature/update_signature.h"
#include "zipreader/zip_reader.h"

namespace shellfit {
namespace {

using signature::Refusal;

std::u16string ManifestOf(std::u16string_view package) {
  return std::u16string(package) + std::u16string(signature::kPackageManifestSuffix);
}

void Refuse(platform::Dialog& dialog, std::u16string_view package,
            const signature::SignatureCheck& check, const std::u16string& text) {
  signature::NoteSignature(package, check);
  NoteRefusedFit(text);
  frame::ShowMessageBox(dialog, text, kNoticeStyle);
}

// The manifest's check and the package's tree against it, on `file` (the
// package opened and read once, here). None when both hold.
signature::ManifestCheck CheckRelease(const signature::DeviceKeys& keys,
                                      std::u16string_view package, std::u16string_view model,
                                      platform::File* file, signature::BlockTree* tree) {
  auto check = signature::CheckReleaseManifest(keys, ManifestOf(package), package,
                                               signature::ReleaseKind::ShellPackage, model);
  if (!check.manifest) return check;
  if (file == nullptr || !signature::TreeOfOpenFile(*file, tree)) {
    check.signature.refusal = Refusal::Unreadable;
    check.refusalText = std::u16string(package) +
                        u" cannot be read, so its signature cannot be checked." +
                        std::u16string(kNothingChanged);
  } else {
    check.signature.refusal = signature::CompareWithManifest(
        *check.manifest, signature::FileRole::Package, package, *tree, &check.refusalText);
  }
  if (check.signature.refusal != Refusal::None) check.manifest.reset();
  return check;
}

}  // namespace

PackageRelease::~PackageRelease() = default;

bool CheckPackageRelease(platform::Dialog& dialog, std::u16string_view package,
                         std::u16string_view model, PackageRelease* release) {
  const signature::DeviceKeys keys = signature::ReadDeviceKeys();
  if (!keys.required) {
    signature::NoteSignatureNotRequired();
    return true;
  }
  // The first read warms the cache for the reads that follow: they cost no
  // second read from the card.
  auto file =
      platform::Files().Open(package, platform::AccessRead, platform::Disposition::OpenExisting);
  if (file != nullptr) file->DenyWriters();
  auto verified = std::make_shared<signature::VerifiedTree>();
  auto check = CheckRelease(keys, package, model, file.get(), &verified->tree);
  if (!check.manifest) {
    Refuse(dialog, package, check.signature, check.refusalText);
    return false;
  }
  signature::NoteSignature(package, check.signature);
  release->manifest_ = std::move(check.manifest);
  release->held_ = std::move(file);
  release->verified_ = verified;
  release->files_ = std::make_unique<signature::VerifyingFileSystem>(
      platform::Files(), std::u16string(package), verified);
  platform::Environment env = platform::Env();
  env.files = release->files_.get();
  release->installed_.emplace(env);
  return true;
}

bool CheckPackageInOneFile(platform::Dialog& dialog, const PackageRelease& release,
                           CZipReader& reader, std::u16string_view package) {
  if (!release.manifest() || reader.Directory().EndRecord().thisDisk == 0) return true;
  signature::SignatureCheck check;
  check.refusal = Refusal::Unreadable;
  Refuse(dialog, package, check,
         std::u16string(package) +
             u" is split into several files, and only a package in one file can be signed." +
             std::u16string(kNothingChanged));
  return false;
}

bool PackageChangedInUse() {
  // A checked release serves the run's reads through the file system it
  // installed, which saw every block.
  const auto* verifying = dynamic_cast<const signature::VerifyingFileSystem*>(&platform::Files());
  return verifying != nullptr && verifying->ChangedInUse();
}

bool PackageSignatureHolds(std::u16string_view package, std::u16string_view model) {
  const signature::DeviceKeys keys = signature::ReadDeviceKeys();
  return !keys.required || CheckPackageSignature(keys, package, model).manifest.has_value();
}

signature::ManifestCheck CheckPackageSignature(const signature::DeviceKeys& keys,
                                               std::u16string_view package,
                                               std::u16string_view model) {
  auto file =
      platform::Files().Open(package, platform::AccessRead, platform::Disposition::OpenExisting);
  signature::BlockTree tree;
  return CheckRelease(keys, package, model, file.get(), &tree);
}

}  // namespace shellfit
