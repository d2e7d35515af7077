#include "signature/release_floor.h"

#include "platform/environment.h"
#include "platform/outcome_report.h"
#include "platform/security_floor.h"

namespace signature {
namespace {

platform::ReleaseLine LineOf(ReleaseKind kind) {
  return kind == ReleaseKind::ShellPackage ? platform::ReleaseLine::kShell
                                           : platform::ReleaseLine::kSystem;
}

std::u16string Number(uint32_t number) {
  const std::string digits = std::to_string(number);
  return std::u16string(digits.begin(), digits.end());
}

}  // namespace

Refusal CheckSecurityFloor(const ReleaseManifest& manifest, std::u16string_view update,
                           std::u16string* text) {
  const auto lowest = platform::Floors().Lowest(LineOf(manifest.kind));
  auto& report = platform::Outcome();
  report.Set("signature.security_version", platform::ReportNumber(manifest.securityVersion));
  if (!lowest) {
    *text =
        u"This device cannot read its record of the security versions it accepts, so it "
        u"takes no signed release. Nothing was changed.";
    return Refusal::FloorUnknown;
  }
  report.Set("signature.security_floor", platform::ReportNumber(*lowest));
  if (manifest.securityVersion >= *lowest) return Refusal::None;
  *text = std::u16string(update) + u" is an older release (security version " +
          Number(manifest.securityVersion) + u") than this device accepts (" + Number(*lowest) +
          u"). Nothing was changed.";
  return Refusal::OlderRelease;
}

bool RaiseSecurityFloor(const ReleaseManifest& manifest) {
  return RaiseSecurityFloor(manifest.kind, manifest.securityVersion);
}

bool RaiseSecurityFloor(ReleaseKind kind, uint32_t securityVersion) {
  const bool kept = platform::Floors().Raise(LineOf(kind), securityVersion);
  platform::Outcome().Set("signature.floor_kept", platform::ReportFlag(kept));
  return kept;
}

}  // namespace signature
