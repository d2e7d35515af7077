#include "fitkit/manifest_facts.h"

#include <charconv>
#include <fstream>
#include <memory>
#include <vector>

#include "fitkit/image_set_check.h"
#include "fitkit/signature_facts.h"
#include "host/command_host.h"
#include "platform/text.h"
#include "signature/verified_file.h"

namespace fitkit {
namespace fs = std::filesystem;
namespace {

using Json = nlohmann::ordered_json;
using signature::FileRole;

std::optional<std::string> ReadManifestText(const fs::path& file) {
  std::error_code error;
  if (!fs::is_regular_file(file, error)) return std::nullopt;
  std::ifstream in(file, std::ios::binary);
  std::string text(signature::kMostManifestBytes + 1, '\0');
  in.read(text.data(), std::streamsize(text.size()));
  text.resize(std::size_t(in.gcount()));
  return text;
}

// The host file that holds a role of the update, empty when there is none.
fs::path FileOfRole(const fs::path& update, bool imageFolder, FileRole role) {
  if (!imageFolder) return role == FileRole::Package ? update : fs::path();
  const ImageSetFacts facts = InspectImageSet(update);
  if (role == FileRole::Version) {
    return facts.versionFile.empty() ? fs::path() : update / facts.versionFile;
  }
  for (std::size_t i = 0; i < facts.images.size(); ++i) {
    if (signature::kImageSetRoles[i + 1] == role) return facts.images[i].path;
  }
  return {};
}

// "as named", or what differs.
std::string FileVerdict(const fs::path& file, const signature::ManifestFile& named) {
  signature::BlockTree tree;
  if (file.empty() || !TreeOfFile(file, &tree)) return "missing or unreadable";
  if (tree.size != named.size) return "another size";
  return signature::TreeRoot(tree) == named.hash ? "as named" : "other bytes";
}

}  // namespace

fs::path ManifestPathOf(const fs::path& update, bool imageFolder) {
  if (imageFolder) return update / platform::ToUtf8(signature::kImageSetManifestName);
  fs::path path = update;
  path += platform::ToUtf8(signature::kPackageManifestSuffix);
  return path;
}

bool TreeOfFile(const fs::path& file, signature::BlockTree* tree) {
  const std::unique_ptr<platform::File> open = host::OpenHostFileForReading(file);
  return open && signature::TreeOfOpenFile(*open, tree);
}

std::optional<uint32_t> ParseSecurityVersion(const std::string& text) {
  uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

Json ManifestJson(const signature::ReleaseManifest& manifest, const fs::path& file) {
  Json files = Json::array();
  for (const auto& named : manifest.files) {
    files.push_back({{"role", signature::RoleName(named.role)}, {"size", named.size}});
  }
  return {{"manifest", file.string()},
          {"kind", signature::KindName(manifest.kind)},
          {"model", manifest.model},
          {"version", manifest.version},
          {"security_version", manifest.securityVersion},
          {"files", files}};
}

Json InspectManifestJson(const fs::path& update, bool imageFolder) {
  const fs::path file = ManifestPathOf(update, imageFolder);
  const auto text = ReadManifestText(file);
  if (!text) return {{"present", false}};
  const auto manifest = signature::ParseManifest(*text);
  if (!manifest) return {{"present", true}, {"readable", false}};
  Json facts = ManifestJson(*manifest, file);
  for (std::size_t i = 0; i < manifest->files.size(); ++i) {
    const auto& named = manifest->files[i];
    facts["files"][i]["state"] = FileVerdict(FileOfRole(update, imageFolder, named.role), named);
  }
  facts["present"] = true;
  facts["readable"] = true;
  const SignatureFacts signer = ReadSignatureOf(file, {});
  facts["signature"] = {{"present", signer.present},
                        {"readable", signer.readable},
                        {"key_id", signer.keyId},
                        {"trusted_comment", signer.shownComment}};
  return facts;
}

std::string InspectManifestLines(const fs::path& update, bool imageFolder) {
  const Json facts = InspectManifestJson(update, imageFolder);
  const std::string name = ManifestPathOf(update, imageFolder).filename().string();
  if (!facts["present"]) return "manifest: none (" + name + " is missing)\n";
  if (!facts["readable"]) return "manifest: " + name + " is not a release manifest\n";
  std::string lines = "manifest: " + name + ", " + facts["kind"].get<std::string>() +
                      " for model " + facts["model"].get<std::string>() + ", version " +
                      facts["version"].get<std::string>() + ", security version " +
                      std::to_string(facts["security_version"].get<uint32_t>()) + "\n";
  const Json& signer = facts["signature"];
  lines += !signer["present"] ? "  not signed\n"
           : !signer["readable"]
               ? "  its .minisig is no minisign signature\n"
               : "  signed with key " + signer["key_id"].get<std::string>() +
                     ", trusted comment \"" + signer["trusted_comment"].get<std::string>() + "\"\n";
  for (const Json& named : facts["files"]) {
    lines += "  " + named["role"].get<std::string>() + ": " +
             std::to_string(named["size"].get<uint64_t>()) + " bytes, " +
             named["state"].get<std::string>() + "\n";
  }
  return lines;
}

}  // namespace fitkit
