// The release manifest on the host: where it lies beside an update, the
// block tree of a host file, and what fitkit manifest and fitkit inspect
// print of one.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "signature/release_manifest.h"

namespace fitkit {

// "<package>.manifest" beside a package, "release.manifest" in an image folder.
std::filesystem::path ManifestPathOf(const std::filesystem::path& update, bool imageFolder);

bool TreeOfFile(const std::filesystem::path& file, signature::BlockTree* tree);

std::optional<uint32_t> ParseSecurityVersion(const std::string& text);

nlohmann::ordered_json ManifestJson(const signature::ReleaseManifest& manifest,
                                    const std::filesystem::path& file);

// The manifest beside an update as inspect shows it: absent, unreadable, or
// its facts with whether each file it names is as it says.
nlohmann::ordered_json InspectManifestJson(const std::filesystem::path& update, bool imageFolder);
std::string InspectManifestLines(const std::filesystem::path& update, bool imageFolder);

}  // namespace fitkit
