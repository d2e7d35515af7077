#include "shellfit/package_decision.h"

#include "shellfit/package_features.h"
#include "shellfit/package_fit.h"
#include "shellfit/staged_install.h"

namespace shellfit {

PackageDecision DecidePackage(CZipReader& reader, const std::u16string& package,
                              const std::u16string& target, ReadThrough when,
                              platform::Dialog* progress, SpareReaders* spares) {
  PackageDecision decision;
  // The declared sizes are weighed against the room before a byte is
  // inflated: a package too large for the device is refused at once.
  decision.status = CheckPackageFeatures(reader);
  if (decision.status.ok()) decision.status = CheckPackageFits(reader, package, target);
  if (!decision.status.ok()) return decision;
  decision.fits = true;
  decision.staged = StagedInstallFits(reader, target);
  if (decision.staged && when == ReadThrough::kUnlessStaged) {
    if (spares != nullptr) OpenSpareReaders(reader, package, spares);
    return decision;
  }
  decision.status = ReadPackageThrough(reader, package, progress, spares);
  decision.readThrough = decision.status.ok();
  return decision;
}

}  // namespace shellfit
