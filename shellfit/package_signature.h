// The package's release, checked before the package is read at all: on a
// device that holds update keys, "<package>.manifest" must be signed by one
// of them for this model and name the package, size and block tree. From
// then on every open of the package for reading (the held reader, the
// verification's workers, the spare readers that decode ahead, the staging
// pass) is served through the verified block hashes, so bytes changed on the
// card after the check are never used.
#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "platform/dialog.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "signature/release_check.h"
#include "signature/release_manifest.h"
#include "signature/verified_file.h"

class CZipReader;

namespace shellfit {

// What a checked release leaves installed for the rest of the run. Declare
// it before the readers of the package: it must outlive them.
class PackageRelease {
 public:
  PackageRelease() = default;
  ~PackageRelease();
  PackageRelease(const PackageRelease&) = delete;
  PackageRelease& operator=(const PackageRelease&) = delete;

  // The checked manifest, when the device required one. Its securityVersion
  // is the release's: the device's rollback floor is compared with it here,
  // after CheckPackageRelease and before anything changes.
  const std::optional<signature::ReleaseManifest>& manifest() const { return manifest_; }

 private:
  friend bool CheckPackageRelease(platform::Dialog&, std::u16string_view, std::u16string_view,
                                  PackageRelease*);

  std::optional<signature::ReleaseManifest> manifest_;
  std::unique_ptr<platform::File> held_;  // the package as first read, writers kept out
  std::shared_ptr<signature::VerifiedTree> verified_;
  std::unique_ptr<signature::VerifyingFileSystem> files_;
  std::optional<platform::ScopedEnvironment> installed_;
};

// Without update keys on the device this only notes that no signature was
// required. With them, the package's manifest must hold for the device's
// `model` and the package must be its file; then `release` serves every
// later read of the package. Otherwise the refusal is shown and noted and
// the result is false.
bool CheckPackageRelease(platform::Dialog& dialog, std::u16string_view package,
                         std::u16string_view model, PackageRelease* release);

// A signed package must be one file: a package split into volumes is refused
// (shown and noted), once the reader has read its directory.
bool CheckPackageInOneFile(platform::Dialog& dialog, const PackageRelease& release,
                           CZipReader& reader, std::u16string_view package);

// True while a checked release is installed and one of its reads met a
// block that no longer matched: the run's reading error is then said as
// such (ReportPackageError) and noted in the report.
bool PackageChangedInUse();

// The release check said by its result alone, on the package opened by
// name: for "/upgrade", which unpacks main.exe to compare versions before
// START holds the package. True when no signature is required.
bool PackageSignatureHolds(std::u16string_view package, std::u16string_view model);

// What START decides of the package's signed release with `keys` on a
// device of `model`, on the package opened by name, nothing shown or noted: the manifest when it
// holds, else the refusal and its words. For `fitkit check`, which must say
// what the program would.
signature::ManifestCheck CheckPackageSignature(const signature::DeviceKeys& keys,
                                               std::u16string_view package,
                                               std::u16string_view model);

}  // namespace shellfit
