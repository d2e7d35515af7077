// fitkit check and fitkit inspect.
#include <cinttypes>
#include <cstdio>
#include <iostream>

#include <nlohmann/json.hpp>

#include "device/device_config.h"
#include "fitkit/checked_device.h"
#include "fitkit/command_line.h"
#include "fitkit/commands.h"
#include "fitkit/exit_codes.h"
#include "fitkit/headless_dialog.h"
#include "fitkit/image_set_check.h"
#include "fitkit/manifest_facts.h"
#include "fitkit/package_check.h"
#include "fitkit/signature_facts.h"
#include "fitkit/verdict.h"
#include "frame/device_identity.h"
#include "imagefit/image_set.h"
#include "imagefit/image_version.h"
#include "platform/text.h"
#include "report/outcome_words.h"
#include "shellfit/package_signature.h"
#include "signature/release_check.h"
#include "signature/update_signature.h"
#include "signature/verified_file.h"

namespace fitkit {
namespace fs = std::filesystem;
namespace {

using Json = nlohmann::ordered_json;

constexpr char kCheckUsage[] =
    "Usage: fitkit check UPDATE [--device ROOT | --model MODEL]... [--key FILE.pub]...\n"
    "                    [--revision=yes|no] [--json]\n"
    "Checks a shell package (a ZIP file) or an image set (a folder) as the programs\n"
    "would before they change anything, and says what would happen. Nothing is\n"
    "written anywhere.\n"
    "  --device ROOT   check against this device root: its model, flash drive, room,\n"
    "                  installed versions, board revision, power and drivers\n"
    "  --model MODEL   the package must be named for this model (repeatable)\n"
    "  --key FILE.pub  the update must be signed with this minisign key (repeatable);\n"
    "                  a device that holds update keys requires a signature too\n"
    "  --revision=yes|no  the answer rehearse would give imagefit's board revision\n"
    "                  question; without one the question is a problem, as a\n"
    "                  rehearsal without an answer ends refused\n"
    "  --json          the findings as one JSON document\n"
    "The verdict is the last line on standard error.\n"
    "Exit status: 0 it would go through, 1 it would be refused or fail, 2 usage error,\n"
    "3 it would go through with errors, 4 no update there or an image set without\n"
    "all six images, 5 ROOT is no device root, or a device without a model or flash\n"
    "drive (a package).\n";

constexpr char kInspectUsage[] =
    "Usage: fitkit inspect UPDATE [--json]\n"
    "Shows what a shell package holds (entries, sizes, main.exe's version) or an\n"
    "image set (its six images, the BIN images' layout, the version and the board\n"
    "revision it is for).\n"
    "  --json   as one JSON document\n"
    "Exit status: 0 shown, 1 not readable as a package, 2 usage error, 4 no update there.\n";

std::string HexWord(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

void PrintJson(const Json& document) {
  std::cout << document.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
}

Json FindingsJson(const Findings& found) {
  Json items = Json::array();
  for (const Finding& item : found.items) {
    items.push_back({{"level", LevelWord(item.level)}, {"text", item.text}});
  }
  return items;
}

void PrintFindings(const std::string& update, const Findings& found) {
  std::cout << "fitkit check: " << update << '\n';
  for (const Finding& item : found.items) {
    std::printf("  %-8s %s\n", LevelWord(item.level), item.text.c_str());
  }
}

// The ordinary start of check and inspect: --help, the options, one UPDATE
// that exists. -1 to go on, else the exit code.
int ParseUpdateArguments(const std::string& command, const char* usage, const Words& words,
                         const std::vector<OptionSpec>& specs, ParsedArgs* args) {
  std::string error;
  if (!args->Parse(words, specs, &error)) return UsageError(command, error);
  if (args->Has("--help")) {
    std::fputs(usage, stdout);
    return kExitSuccess;
  }
  if (args->operands().size() != 1) return UsageError(command, "name one UPDATE");
  std::error_code failed;
  if (!fs::exists(args->operands().front(), failed)) {
    std::fprintf(stderr, "fitkit %s: there is no update at %s\n", command.c_str(),
                 args->operands().front().c_str());
    return kExitNoUpdate;
  }
  return -1;
}

// The image set shown to the device, read and checked as imagefit would.
Findings CheckImageSetOn(CheckedDevice& device, const fs::path& folder, Answer revision,
                         ImageSetFacts* facts) {
  const std::u16string shown = device.ShowToDevice(folder);
  platform::ScopedEnvironment installed(device.environment());
  *facts = InspectImageSet(shown, folder, false);
  return CheckImageSet(*facts, device.scratch() ? nullptr : device.context().config, revision);
}

Findings CheckPackageOn(CheckedDevice& device, const fs::path& package,
                        std::vector<std::string> models) {
  const std::u16string shown = device.ShowToDevice(package);
  platform::ScopedEnvironment installed(device.environment());
  if (!device.scratch()) {
    std::u16string model;
    if (frame::ReadRegistryString(u"Ident", u"Model", &model) && !model.empty()) {
      models.insert(models.begin(), platform::ToUtf8(model));
    }
  }
  return CheckPackage(shown, package.filename().string(), models, !device.scratch());
}

// What shellfit needs of the device before it shows its dialog: a model and
// a flash drive; the one missing, in words, or empty.
std::string MissingIdentity(CheckedDevice& device) {
  platform::ScopedEnvironment installed(device.environment());
  std::u16string model, flash;
  if (!frame::ReadRegistryString(u"Ident", u"Model", &model) || model.empty()) {
    return "model name (Ident\\Model)";
  }
  if (!frame::GetFlashDriveFolder(&flash)) return "flash drive folder";
  return "";
}

// The keys given and the device's own; none when no signature is required.
std::optional<signature::DeviceKeys> RequiredKeys(const std::vector<signature::PublicKey>& given) {
  signature::DeviceKeys keys = signature::ReadDeviceKeys();
  keys.required = keys.required || !given.empty();
  keys.keys.insert(keys.keys.end(), given.begin(), given.end());
  if (!keys.required) return std::nullopt;
  return keys;
}

// The device's model, else the first one given.
std::u16string CheckedModel(const std::vector<std::string>& models) {
  std::u16string model;
  if (!frame::ReadRegistryString(u"Ident", u"Model", &model) || model.empty()) {
    model = platform::FromUtf8(models.empty() ? std::string() : models.front());
  }
  return model;
}

void NoteUncheckedSigner(const fs::path& manifest, Findings* found) {
  const SignatureFacts facts = ReadSignatureOf(manifest, {});
  if (!facts.readable) return;
  found->Note(manifest.filename().string() + " is signed with key " + facts.keyId + " (\"" +
              facts.shownComment + "\"); not checked without a key (--key FILE.pub)");
}

void SayValidRelease(const signature::ManifestCheck& check, std::u16string_view model,
                     Findings* found) {
  found->Ok("its release manifest is signed with key " + check.signature.keyId + " for " +
            platform::ToUtf8(model) + ", security version " +
            std::to_string(check.manifest->securityVersion) + ": valid");
}

// The device path of `name` in a folder shown to the device.
std::u16string ShownIn(const std::u16string& folder, const std::string& name) {
  return folder + u"\\" + platform::FromUtf8(name);
}

// What shellfit's START decides of the package's signed release, asked of
// shellfit itself: with the keys given and the device's own, on the device's
// model, against its rollback floor. The package's folder is shown, so that
// its manifest and signature are read beside it. Without a key nothing is
// checked, and the manifest's signer is a note.
void CheckPackageRelease(CheckedDevice& device, const fs::path& package,
                         const std::vector<signature::PublicKey>& given,
                         const std::vector<std::string>& models, Findings* found) {
  const fs::path host = fs::absolute(package);
  const std::u16string shown =
      ShownIn(device.ShowToDevice(host.parent_path()), host.filename().string());
  platform::ScopedEnvironment installed(device.environment());
  const fs::path manifest = host.string() + ".manifest";
  const auto keys = RequiredKeys(given);
  if (!keys) return NoteUncheckedSigner(manifest, found);
  const std::u16string model = CheckedModel(models);
  const signature::ManifestCheck check = shellfit::CheckPackageSignature(*keys, shown, model);
  if (!check.manifest) return found->Problem(device.InHostWords(check.refusalText));
  SayValidRelease(check, model, found);
}

// What imagefit's START decides of the image set's signed release, with the
// checks it makes: the manifest (key, model, kind, rollback floor), then the
// version file and each image as the manifest's file of its slot.
void CheckImageSetRelease(CheckedDevice& device, const fs::path& folder, const ImageSetFacts& set,
                          const std::vector<signature::PublicKey>& given,
                          const std::vector<std::string>& models, Findings* found) {
  const std::u16string shown = device.ShowToDevice(folder);
  std::vector<std::pair<signature::FileRole, std::u16string>> files;
  if (!set.versionFile.empty()) {
    files.emplace_back(signature::FileRole::Version, ShownIn(shown, set.versionFile));
  }
  for (std::size_t i = 0; i < set.images.size(); ++i) {
    if (set.images[i].path.empty()) continue;
    files.emplace_back(signature::kImageSetRoles[i + 1],
                       ShownIn(shown, set.images[i].path.filename().string()));
  }
  platform::ScopedEnvironment installed(device.environment());
  const std::string manifestName = platform::ToUtf8(signature::kImageSetManifestName);
  const auto keys = RequiredKeys(given);
  if (!keys) return NoteUncheckedSigner(folder / manifestName, found);
  const std::u16string model = CheckedModel(models);
  const signature::ManifestCheck check = signature::CheckReleaseManifest(
      *keys, ShownIn(shown, manifestName), platform::FromUtf8(folder.string()),
      signature::ReleaseKind::ImageSet, model);
  if (!check.manifest) return found->Problem(device.InHostWords(check.refusalText));
  for (const auto& [role, path] : files) {
    auto file =
        platform::Files().Open(path, platform::AccessRead, platform::Disposition::OpenExisting);
    signature::BlockTree tree;
    std::u16string text = path + u" cannot be read, so its signature cannot be checked.";
    if (file == nullptr || !signature::TreeOfOpenFile(*file, &tree) ||
        signature::CompareWithManifest(*check.manifest, role, path, tree, &text) !=
            signature::Refusal::None) {
      return found->Problem(device.InHostWords(text));
    }
  }
  SayValidRelease(check, model, found);
}

// A problem the signature found, when no refusal came before it: a verdict
// of refusal names the first problem already.
void SayFirstProblem(bool images, bool refusedAlready, Findings* found) {
  if (const std::string* problem = found->FirstProblem(); problem != nullptr && !refusedAlready) {
    found->verdict = (images ? "would not be programmed: " : "would be refused: ") + *problem;
  }
}

Json SignatureJson(const fs::path& file) {
  const SignatureFacts facts = ReadSignatureOf(file, {});
  return {{"present", facts.present},
          {"readable", facts.readable},
          {"key_id", facts.keyId},
          {"trusted_comment", facts.shownComment}};
}

std::string SignatureLine(const fs::path& file) {
  const SignatureFacts facts = ReadSignatureOf(file, {});
  if (!facts.present) return "not signed";
  if (!facts.readable) return "its .minisig is no minisign signature";
  return "signed with key " + facts.keyId + ", trusted comment \"" + facts.shownComment + "\"";
}

}  // namespace

const char* LevelWord(Level level) {
  switch (level) {
    case Level::Ok:
      return "ok";
    case Level::Note:
      return "note";
    case Level::Problem:
      return "problem";
  }
  return "";
}

int UsageError(const std::string& command, const std::string& message) {
  std::fprintf(stderr, "fitkit %s: %s (see fitkit %s --help)\n", command.c_str(), message.c_str(),
               command.c_str());
  return kExitUsage;
}

int RunCheck(const Words& words) {
  ParsedArgs args;
  const int early = ParseUpdateArguments("check", kCheckUsage, words,
                                         {{"--help"},
                                          {"--json"},
                                          {"--device", true},
                                          {"--model", true, true},
                                          {"--key", true, true},
                                          {"--revision", true}},
                                         &args);
  if (early >= 0) return early;
  if (args.Has("--device") && args.Has("--model")) {
    return UsageError("check", "--device and --model exclude each other: a device names its model");
  }
  Answer revision = Answer::None;
  if (const auto given = args.Value("--revision"); given && !ParseAnswer(*given, &revision)) {
    return UsageError("check", "--revision is yes or no");
  }
  const fs::path update = args.operands().front();
  const std::vector<std::string> models = args.Values("--model");
  std::error_code error;
  const bool images = fs::is_directory(update, error);
  std::string failure;
  const std::string model =
      models.empty() ? platform::ToUtf8(imagefit::kImageSetModel) : models.front();
  const std::unique_ptr<CheckedDevice> device =
      CheckedDevice::Open(args.Value("--device").value_or(""), model, &failure);
  if (!device) {
    std::fprintf(stderr, "fitkit check: %s\n", failure.c_str());
    return args.Has("--device") ? kExitNoDevice : kExitOther;
  }
  if (!images && !device->scratch()) {
    if (const std::string missing = MissingIdentity(*device); !missing.empty()) {
      SayVerdict("would not start: the device has no " + missing + " in its registry");
      return kExitNoDevice;
    }
  }
  std::vector<signature::PublicKey> keys;
  if (!ReadKeyFiles(args.Values("--key"), &keys, &failure)) return UsageError("check", failure);
  ImageSetFacts set;
  Findings found = images ? CheckImageSetOn(*device, update, revision, &set)
                          : CheckPackageOn(*device, update, models);
  const bool refusedAlready = found.HasProblem();
  if (images) {
    CheckImageSetRelease(*device, update, set, keys, models, &found);
  } else {
    CheckPackageRelease(*device, update, keys, models, &found);
  }
  SayFirstProblem(images, refusedAlready, &found);
  if (args.Has("--json")) {
    PrintJson({{"update", update.string()},
               {"kind", images ? "image-set" : "package"},
               {"device", args.Value("--device").value_or("")},
               {"would_succeed", !found.HasProblem() && !found.afterErrors},
               {"verdict", found.verdict},
               {"findings", FindingsJson(found)}});
  } else {
    PrintFindings(update.string(), found);
  }
  SayVerdict(found.verdict);
  if (images && !set.complete) return kExitNoUpdate;
  if (found.HasProblem()) return kExitRefused;
  return found.afterErrors ? kExitIncomplete : kExitSuccess;
}

namespace {

int InspectPackageFile(const fs::path& package, bool json) {
  std::string failure;
  auto device = CheckedDevice::Open({}, platform::ToUtf8(imagefit::kImageSetModel), &failure);
  if (!device) {
    std::fprintf(stderr, "fitkit inspect: %s\n", failure.c_str());
    return kExitOther;
  }
  const std::u16string shown = device->ShowToDevice(package);
  platform::ScopedEnvironment installed(device->environment());
  const PackageFacts facts = InspectPackage(shown);
  const std::string mainExe = facts.mainExe ? *facts.mainExe : "";
  if (json) {
    Json entries = Json::array();
    for (const EntryFacts& e : facts.entries) {
      entries.push_back({{"name", e.name},
                         {"size", e.size},
                         {"packed", e.packed},
                         {"crc32", HexWord(e.crc)},
                         {"method", e.method == 0   ? "stored"
                                    : e.method == 8 ? "deflated"
                                                    : "other"},
                         {"folder", e.folder},
                         {"encrypted", e.encrypted}});
    }
    PrintJson({{"update", package.string()},
               {"kind", "package"},
               {"size", facts.size},
               {"readable", facts.openError == 0},
               {"error", facts.openError == 0 ? "" : report::ZipErrorWords(facts.openError)},
               {"files", facts.files},
               {"bytes", facts.bytes},
               {"main_exe", mainExe},
               {"main_exe_read", facts.mainExe.has_value()},
               {"signature", SignatureJson(package)},
               {"manifest", InspectManifestJson(package, false)},
               {"entries", entries}});
  } else {
    std::cout << "package " << package.string() << ": " << report::WithThousands(facts.size)
              << " bytes, " << SignatureLine(package) << '\n'
              << InspectManifestLines(package, false);
    if (facts.openError == 0) {
      std::cout << report::WithThousands(facts.entries.size())
                << (facts.entries.size() == 1 ? " entry, " : " entries, ")
                << report::WithThousands(facts.files) << (facts.files == 1 ? " file, " : " files, ")
                << report::WithThousands(facts.bytes) << " bytes unpacked\n";
      std::cout << "main.exe: "
                << (!facts.mainExe    ? "none, or not readable with the device's password"
                    : mainExe.empty() ? "no version"
                                      : mainExe)
                << '\n';
      for (const EntryFacts& e : facts.entries) {
        std::printf("  %12s  %12s  %s  %s%s\n", report::WithThousands(e.size).c_str(),
                    report::WithThousands(e.packed).c_str(), HexWord(e.crc).c_str(), e.name.c_str(),
                    e.encrypted || e.folder ? "" : "  (not encrypted)");
      }
    }
  }
  if (facts.openError != 0) {
    SayVerdict("not readable: " + report::ZipErrorWords(facts.openError));
    return kExitRefused;
  }
  SayVerdict("a readable package: " + report::WithThousands(facts.files) +
             (facts.files == 1 ? " file, " : " files, ") +
             (!facts.mainExe    ? std::string("no main.exe readable with the device's password")
              : mainExe.empty() ? std::string("main.exe without a version")
                                : "main.exe " + mainExe));
  return kExitSuccess;
}

// What an inspection found, in one line: the version and what is missing.
std::string ImageSetVerdict(const ImageSetFacts& facts) {
  std::string missing;
  for (const ImageFacts& image : facts.images) {
    if (image.path.empty()) missing += (missing.empty() ? "" : ", ") + image.name;
  }
  const std::string version =
      facts.versionFile.empty() ? "no version file" : "version " + facts.versionText;
  return "an image set with " + version +
         (missing.empty() ? ", all six images there" : "; missing: " + missing);
}

int InspectImageFolder(const fs::path& folder, bool json) {
  const ImageSetFacts facts = InspectImageSet(folder, true);
  if (json) {
    Json images = Json::array();
    for (const ImageFacts& image : facts.images) {
      Json item = {
          {"name", image.name},
          {"present", !image.path.empty()},
          {"size", image.size},
          {"signature", SignatureJson(image.path.empty() ? folder / image.name : image.path)}};
      if (image.bin) {
        item["bin"] = {{"start", HexWord(image.bin->start)},
                       {"length", image.bin->length},
                       {"records", image.bin->records},
                       {"problem", image.bin->problem}};
      }
      images.push_back(item);
    }
    PrintJson({{"update", folder.string()},
               {"kind", "image-set"},
               {"version_file", facts.versionFile},
               {"version_file_signature", SignatureJson(folder / facts.versionFile)},
               {"version", facts.versionText},
               {"version_code", HexWord(facts.versionCode)},
               {"revision", facts.revision},
               {"manifest", InspectManifestJson(folder, true)},
               {"images", images}});
  } else {
    std::cout << "image set " << folder.string() << '\n';
    if (facts.versionFile.empty()) {
      std::cout << "version: no version file\n";
    } else {
      std::cout << "version: " << facts.versionText << " (" << HexWord(facts.versionCode)
                << ") from " << facts.versionFile << ", for board revision " << facts.revision
                << "; " << SignatureLine(folder / facts.versionFile) << '\n';
    }
    for (const ImageFacts& image : facts.images) {
      std::printf(
          "  %-12s %s", image.name.c_str(),
          image.path.empty() ? "missing" : (report::WithThousands(image.size) + " bytes").c_str());
      if (image.bin) {
        std::printf(", BIN image at %s, %s bytes, %s records%s%s",
                    HexWord(image.bin->start).c_str(),
                    report::WithThousands(image.bin->length).c_str(),
                    report::WithThousands(image.bin->records).c_str(),
                    image.bin->problem.empty() ? "" : ": ", image.bin->problem.c_str());
      }
      if (!image.path.empty()) std::printf("; %s", SignatureLine(image.path).c_str());
      std::printf("\n");
    }
    std::cout << InspectManifestLines(folder, true);
  }
  SayVerdict(ImageSetVerdict(facts));
  return kExitSuccess;
}

}  // namespace

int RunInspect(const Words& words) {
  ParsedArgs args;
  const int early =
      ParseUpdateArguments("inspect", kInspectUsage, words, {{"--help"}, {"--json"}}, &args);
  if (early >= 0) return early;
  const fs::path update = args.operands().front();
  std::error_code error;
  return fs::is_directory(update, error) ? InspectImageFolder(update, args.Has("--json"))
                                         : InspectPackageFile(update, args.Has("--json"));
}

}  // namespace fitkit
