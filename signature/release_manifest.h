// The release manifest: one UTF-8 text per release that names everything a
// device installs from it (kind, model, version, security version) and each
// of its files by role, with the file's size and block-tree hash. One
// minisign signature over the manifest then covers the whole release.
//
//   fitkit release manifest 1
//   kind shell-package
//   model KTR 60
//   version 1.2.4.0
//   security-version 2
//   file package 207436800 3f5a...(64 lower-case hex digits)
//
// Lines end in LF (a CR before it is allowed); each field once, in any
// order after the first line; "security-version" may be left out (0). A
// shell package lists the role "package" alone; an image set lists
// "version" (its version file) and the six image slots, each once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "signature/block_tree.h"

namespace signature {

inline constexpr std::string_view kManifestFirstLine = "fitkit release manifest 1";
// A larger text is no manifest of a release of at most seven files.
inline constexpr std::size_t kMostManifestBytes = 4096;

// Where the programs look: beside the package, its name with this added;
// inside the image folder, this name.
inline constexpr std::u16string_view kPackageManifestSuffix = u".manifest";
inline constexpr std::u16string_view kImageSetManifestName = u"release.manifest";

enum class ReleaseKind { ShellPackage, ImageSet };

enum class FileRole { Package, Version, Nboot, Eboot, Tinynk, Drivers, Nk, Chain };
inline constexpr FileRole kImageSetRoles[] = {FileRole::Version, FileRole::Nboot,   FileRole::Eboot,
                                              FileRole::Tinynk,  FileRole::Drivers, FileRole::Nk,
                                              FileRole::Chain};

struct ManifestFile {
  FileRole role = FileRole::Package;
  uint64_t size = 0;
  BlockHash hash{};  // TreeRoot of the file's block tree
};

struct ReleaseManifest {
  ReleaseKind kind = ReleaseKind::ShellPackage;
  std::string model;
  std::string version;
  // The floor a device keeps against rollback reads this.
  uint32_t securityVersion = 0;
  std::vector<ManifestFile> files;

  // The file of that role, or null.
  const ManifestFile* Find(FileRole role) const;
};

// Empty for anything that is not a whole, well-formed manifest: unknown or
// repeated fields, a missing field, bad numbers or hex, a role that does not
// belong to the kind, a missing role, or a text over kMostManifestBytes.
std::optional<ReleaseManifest> ParseManifest(std::string_view text);
// The manifest's text, files in the order of their roles; ParseManifest
// reads it back the same.
std::string FormatManifest(const ReleaseManifest& manifest);

std::string_view RoleName(FileRole role);
std::string_view KindName(ReleaseKind kind);

}  // namespace signature
