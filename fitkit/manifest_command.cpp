// fitkit manifest: writes the release manifest of a package or an image set
// where the programs look for it. The maker signs it with minisign; the kit
// never sees a secret key.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>

#include <nlohmann/json.hpp>

#include "fitkit/checked_device.h"
#include "fitkit/command_line.h"
#include "fitkit/commands.h"
#include "fitkit/exit_codes.h"
#include "fitkit/image_set_check.h"
#include "fitkit/manifest_facts.h"
#include "fitkit/package_check.h"
#include "imagefit/image_set.h"
#include "platform/environment.h"
#include "platform/text.h"

namespace fitkit {
namespace fs = std::filesystem;
namespace {

using signature::FileRole;
using signature::ReleaseKind;

constexpr char kManifestUsage[] =
    "Usage: fitkit manifest UPDATE [--security-version N] [--model MODEL] [--json]\n"
    "Writes the release manifest of a shell package (beside it, as\n"
    "\"<package>.manifest\") or of an image set (inside its folder, as\n"
    "\"release.manifest\"): the model, the version the update brings, the security\n"
    "version and each file's role, size and hash. Its path is the last line of the\n"
    "output; sign that file with minisign -S -m PATH -t \"model=MODEL\".\n"
    "  --security-version N  the release's security version (0 when not given): a\n"
    "                        device refuses releases below the highest it installed\n"
    "  --model MODEL         the model it is for; by default the package's name\n"
    "                        (\"KTR 60 SHELL.ZIP\") or the version file's (\"KTR 60.ini\")\n"
    "  --json                the manifest's facts as one JSON document\n"
    "Exit status: 0 written, 1 the update cannot be read, 2 usage error, 4 no update there.\n";

// The model a name gives: "KTR 60 SHELL.ZIP" and "KTR 60.ini" both name KTR 60.
std::string ModelOfName(const std::string& name, const std::string& ending) {
  if (name.size() <= ending.size()) return {};
  const std::string tail = name.substr(name.size() - ending.size());
  if (platform::ToUpper(platform::FromUtf8(tail)) !=
      platform::ToUpper(platform::FromUtf8(ending))) {
    return {};
  }
  return name.substr(0, name.size() - ending.size());
}

bool AddFile(const fs::path& file, FileRole role, signature::ReleaseManifest* manifest,
             std::string* error) {
  signature::BlockTree tree;
  if (!TreeOfFile(file, &tree)) {
    *error = file.string() + " cannot be read";
    return false;
  }
  manifest->files.push_back({role, tree.size, signature::TreeRoot(tree)});
  return true;
}

// The package's version is its main.exe's, read by shellfit's own reader.
bool DescribePackage(const fs::path& package, signature::ReleaseManifest* manifest,
                     std::string* error) {
  auto device = CheckedDevice::Open({}, platform::ToUtf8(imagefit::kImageSetModel), error);
  if (!device) return false;
  const std::u16string shown = device->ShowToDevice(package);
  PackageFacts facts;
  {
    platform::ScopedEnvironment installed(device->environment());
    facts = InspectPackage(shown);
  }
  if (facts.openError != 0 || !facts.mainExe || facts.mainExe->empty()) {
    *error = package.string() + " holds no main.exe with a version the device can read";
    return false;
  }
  manifest->kind = ReleaseKind::ShellPackage;
  manifest->version = *facts.mainExe;
  if (manifest->model.empty()) {
    manifest->model = ModelOfName(package.filename().string(), " SHELL.ZIP");
  }
  return AddFile(package, FileRole::Package, manifest, error);
}

// The image set's version is its version file's.
bool DescribeImageSet(const fs::path& folder, signature::ReleaseManifest* manifest,
                      std::string* error) {
  const ImageSetFacts facts = InspectImageSet(folder);
  if (facts.versionFile.empty() || facts.versionCode == 0) {
    *error = folder.string() + " has no version file with a version (\"V1.0.7\")";
    return false;
  }
  manifest->kind = ReleaseKind::ImageSet;
  manifest->version = facts.versionText;
  if (manifest->model.empty()) manifest->model = ModelOfName(facts.versionFile, ".ini");
  if (!AddFile(folder / facts.versionFile, FileRole::Version, manifest, error)) return false;
  for (std::size_t i = 0; i < facts.images.size(); ++i) {
    if (facts.images[i].path.empty()) {
      *error = folder.string() + " has no " + facts.images[i].name;
      return false;
    }
    if (!AddFile(facts.images[i].path, signature::kImageSetRoles[i + 1], manifest, error)) {
      return false;
    }
  }
  return true;
}

bool WriteText(const fs::path& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  return bool(out);
}

}  // namespace

int RunManifest(const Words& words) {
  ParsedArgs args;
  std::string error;
  if (!args.Parse(words, {{"--help"}, {"--json"}, {"--security-version", true}, {"--model", true}},
                  &error)) {
    return UsageError("manifest", error);
  }
  if (args.Has("--help")) {
    std::fputs(kManifestUsage, stdout);
    return kExitSuccess;
  }
  if (args.operands().size() != 1) return UsageError("manifest", "name one UPDATE");
  signature::ReleaseManifest manifest;
  if (const auto given = args.Value("--security-version")) {
    const auto number = ParseSecurityVersion(*given);
    if (!number) return UsageError("manifest", "--security-version takes a whole number");
    manifest.securityVersion = *number;
  }
  manifest.model = args.Value("--model").value_or("");
  const fs::path update = args.operands().front();
  std::error_code failed;
  if (!fs::exists(update, failed)) {
    std::fprintf(stderr, "fitkit manifest: there is no update at %s\n", update.c_str());
    return kExitNoUpdate;
  }
  const bool folder = fs::is_directory(update, failed);
  if (!(folder ? DescribeImageSet(update, &manifest, &error)
               : DescribePackage(update, &manifest, &error))) {
    std::fprintf(stderr, "fitkit manifest: %s\n", error.c_str());
    return kExitRefused;
  }
  if (manifest.model.empty()) {
    return UsageError("manifest", "the update's name names no model: give --model");
  }
  const std::string text = signature::FormatManifest(manifest);
  if (!signature::ParseManifest(text)) {
    return UsageError("manifest", "the model or version cannot stand in a manifest");
  }
  const fs::path written = ManifestPathOf(update, folder);
  if (!WriteText(written, text)) {
    std::fprintf(stderr, "fitkit manifest: %s cannot be written\n", written.c_str());
    return kExitOther;
  }
  if (args.Has("--json")) {
    std::cout << ManifestJson(manifest, written).dump(2) << '\n';
  } else {
    std::cout << text << written.string() << '\n';
  }
  return kExitSuccess;
}

}  // namespace fitkit
