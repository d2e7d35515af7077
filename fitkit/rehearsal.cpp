#include "fitkit/rehearsal.h"

#include <cstdio>
#include <iostream>
#include <optional>

#include "device/device.h"
#include "device/dialog_host_choice.h"
#include "fitkit/checked_device.h"
#include "fitkit/exit_codes.h"
#include "fitkit/image_set_check.h"
#include "fitkit/package_check.h"
#include "fitkit/progress_stream.h"
#include "fitkit/verdict.h"
#include "frame/device_identity.h"
#include "imagefit/image_set.h"
#include "imagefit/imagefit_entry.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/outcome_report.h"
#include "platform/text.h"
#include "report/json_report.h"
#include "report/outcome_table.h"
#include "report/outcome_words.h"
#include "shellfit/shellfit.h"
#include "shellfit/shellfit_entry.h"
#include "signature/minisign.h"

namespace fitkit {
namespace fs = std::filesystem;
namespace {

using Json = nlohmann::ordered_json;
using platform::ToUtf8;

constexpr char16_t kStorageCard[] = u"Storage Card";
constexpr char kUpdateFolder[] = "Update";

void PrintProblem(const std::string& text) {
  std::fprintf(stderr, "fitkit rehearse: %s\n", text.c_str());
}

// Where the update was put: a detail, on standard output, unless that holds
// JSON (--json, --progress=json); then on standard error, before the verdict.
bool detailsOnStderr = false;

void Detail(const std::string& text) {
  std::fprintf(detailsOnStderr ? stderr : stdout, "fitkit rehearse: %s\n", text.c_str());
}

// A host name as the device compares it: letter case aside.
bool SameName(const fs::path& name, std::u16string_view wanted) {
  return platform::EqualsNoCase(platform::FromUtf8(name.string()), wanted);
}

bool HasEnding(const fs::path& name, std::u16string_view ending) {
  const std::u16string text = platform::FromUtf8(name.string());
  return text.size() >= ending.size() &&
         platform::EqualsNoCase(std::u16string_view(text).substr(text.size() - ending.size()),
                                ending);
}

// The storage card's folder under fs/, whatever its letter case; made when
// the device has none.
fs::path StorageCard(const fs::path& root, std::error_code& error) {
  for (const auto& entry : fs::directory_iterator(root / "fs", error)) {
    if (SameName(entry.path().filename(), kStorageCard) && entry.is_directory(error)) {
      return entry.path();
    }
  }
  const fs::path made = root / "fs" / platform::ToUtf8(kStorageCard);
  fs::create_directories(made, error);
  return made;
}

// A signature file larger than the programs read is refused by them anyway;
// copying it first could fill the disk (a sparse file reads as any size).
bool SignatureFits(const fs::path& signature) {
  std::error_code error;
  if (!fs::exists(signature, error)) return true;
  const uintmax_t size =
      fs::is_regular_file(signature, error) ? fs::file_size(signature, error) : 0;
  if (error || size <= signature::kMostSignatureBytes) return true;
  PrintProblem(
      signature.string() + " is " + std::to_string(size) + " bytes, larger than any signature (" +
      std::to_string(signature::kMostSignatureBytes) + " bytes at most); nothing was copied");
  return false;
}

bool IsSameFile(const fs::path& a, const fs::path& b) {
  std::error_code error;
  return fs::exists(b, error) && fs::equivalent(a, b, error);
}

// The package as "<model> SHELL.ZIP" on the storage card, which shellfit
// takes before any other package there.
bool PlacePackage(const fs::path& root, const fs::path& package, std::u16string* commandLine) {
  std::error_code error;
  const fs::path card = StorageCard(root, error);
  std::u16string model;
  frame::ReadRegistryString(u"Ident", u"Model", &model);
  const fs::path placed = card / (model.empty() ? package.filename().string()
                                                : ToUtf8(shellfit::PackageNameFor(model)));
  for (const char* signature : {".minisig", ".manifest.minisig"}) {
    fs::path beside = package;
    if (!SignatureFits(beside += signature)) return false;
  }
  if (!error && !IsSameFile(package, placed)) {
    fs::copy_file(package, placed, fs::copy_options::overwrite_existing, error);
    // Its signature and release manifest go with it, and no older ones stay
    // beside it.
    for (const char* beside : {".minisig", ".manifest", ".manifest.minisig"}) {
      fs::path from = package, to = placed;
      from += beside;
      to += beside;
      std::error_code absent;
      fs::remove(to, absent);
      if (!error && fs::exists(from, absent)) {
        fs::copy_file(from, to, fs::copy_options::overwrite_existing, error);
      }
    }
  }
  if (error) {
    PrintProblem("cannot put " + package.string() + " on the device: " + error.message());
    return false;
  }
  *commandLine = std::u16string(u"\\").append(platform::FromUtf8(card.filename().string()));
  Detail("the package is " + ToUtf8(*commandLine) + "\\" + placed.filename().string());
  return true;
}

bool IsImageSetFile(const fs::path& name) {
  for (std::u16string_view image : imagefit::kImageFileNames) {
    if (SameName(name, image)) return true;
  }
  return HasEnding(name, u".ini") || HasEnding(name, u".minisig");
}

// The image set as "\Storage Card\Update" (its own folder when it already
// lies on the device); an earlier set's images and version files there go.
bool PlaceImageSet(const fs::path& root, const fs::path& folder, std::u16string* commandLine) {
  if (const std::u16string own = DevicePathIn(root, folder); !own.empty()) {
    *commandLine = own;
    return true;
  }
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    if (HasEnding(entry.path().filename(), u".minisig") && !SignatureFits(entry.path())) {
      return false;
    }
  }
  const fs::path target = StorageCard(root, error) / kUpdateFolder;
  fs::create_directories(target, error);
  for (const auto& entry : fs::directory_iterator(target, error)) {
    if (IsImageSetFile(entry.path().filename())) fs::remove(entry.path(), error);
  }
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    if (error || !entry.is_regular_file(error)) continue;
    fs::copy_file(entry.path(), target / entry.path().filename(),
                  fs::copy_options::overwrite_existing, error);
  }
  if (error) {
    PrintProblem("cannot put the image set " + folder.string() +
                 " on the device: " + error.message());
    return false;
  }
  *commandLine = std::u16string(u"\\")
                     .append(platform::FromUtf8(target.parent_path().filename().string()))
                     .append(u"\\")
                     .append(platform::FromUtf8(kUpdateFolder));
  Detail("the image set is " + ToUtf8(*commandLine));
  return true;
}

// Every file shellfit will delete: the flash drive's, but the kept ones.
void ListOldFiles(const std::u16string& folder, std::multimap<std::string, uint64_t>* files) {
  for (const platform::FindData& found : platform::Files().Find(folder + u"\\*")) {
    if (found.attributes & platform::FILE_ATTRIBUTE_DIRECTORY) {
      if (!found.name.starts_with(u".")) ListOldFiles(folder + u"\\" + found.name, files);
      continue;
    }
    bool kept = false;
    for (std::u16string_view name : shellfit::kPreservedNames) {
      kept = kept || platform::EqualsNoCase(found.name, name);
    }
    if (!kept) files->emplace(ToUtf8(found.name), found.size);
  }
}

UpdateSizes PackageSizes(const std::u16string& source) {
  UpdateSizes sizes;
  std::u16string model;
  frame::ReadRegistryString(u"Ident", u"Model", &model);
  const PackageFacts facts = InspectPackage(source + u"\\" + shellfit::PackageNameFor(model));
  for (const EntryFacts& entry : facts.entries) {
    sizes.items.push_back(entry.name);
    sizes.sizes.push_back(entry.folder ? 0 : entry.size);
  }
  std::u16string flash;
  if (frame::GetFlashDriveFolder(&flash)) ListOldFiles(flash, &sizes.deleted);
  return sizes;
}

UpdateSizes ImageSizes(const fs::path& folder) {
  UpdateSizes sizes;
  sizes.images = true;
  for (const ImageFacts& image : InspectImageSet(folder).images) {
    sizes.items.push_back(image.name);
    sizes.sizes.push_back(image.size);
  }
  return sizes;
}

// Whether a stopped run of imagefit had written anything to the flash: a
// boot loader stored, or the kernel's update opened (its regions may follow).
bool ProgrammingBegan(const Json& report) {
  if (!report.contains("steps")) return false;
  for (const Json& step : report["steps"]) {
    const std::string name = step.value("step", "");
    if ((name == "nboot" || name == "eboot" || name == "open flash driver") &&
        step.value("result", "") == "ok") {
      return true;
    }
  }
  return false;
}

void Finish(const RehearsalRequest& request, report::JsonReport& report, int status,
            ProgressStream* progress) {
  report.Finish(status);
  const std::string line = report::ClosingLine(report.document());
  if (progress != nullptr) {
    progress->End(report.document(), line);
  } else if (request.json) {
    std::cout << report.document().dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
  }
  std::string error;
  if (!request.reportFile.empty() && !report.WriteTo(request.reportFile, &error)) {
    PrintProblem("cannot write the report " + request.reportFile + ": " + error);
  }
  SayVerdict(line);
}

}  // namespace

int ExitCodeFor(const Json& report) {
  const platform::RunOutcome outcome = report::OutcomeOf(report);
  if (outcome == platform::RunOutcome::kStopped && ProgrammingBegan(report)) {
    return kExitIncomplete;
  }
  return report::FactsOf(outcome).exit;
}

int Rehearse(const RehearsalRequest& request) {
  if (!IsDeviceRoot(request.device)) {
    PrintProblem(request.device.string() +
                 " is no device root (it holds no device.ini); make one with "
                 "fitkit device create");
    return kExitNoDevice;
  }
  std::error_code error;
  if (!fs::exists(request.update, error)) {
    PrintProblem("there is no update at " + request.update.string());
    return kExitNoUpdate;
  }
  const bool images = fs::is_directory(request.update, error);
  const fs::path root = fs::absolute(request.device).lexically_normal();
  const auto device = device::Device::Open(root);
  std::optional<ProgressStream> progress;
  HeadlessDialogHost host(device::DialogScreen(device->context()), request.answers,
                          [&progress](const ScreenState& state) {
                            if (progress) progress->OnScreen(state);
                          });
  platform::Environment env = device->environment();
  env.dialogs = &host;
  platform::ScopedEnvironment installed(env);

  std::u16string commandLine;
  const fs::path update = fs::absolute(request.update);
  detailsOnStderr = request.json || request.progressJson;
  if (!(images ? PlaceImageSet(root, update, &commandLine)
               : PlacePackage(root, update, &commandLine))) {
    return kExitOther;
  }
  if (request.progressJson) {
    progress.emplace(std::cout, images ? ImageSizes(update) : PackageSizes(commandLine));
  }
  report::JsonReport report(images ? "imagefit" : "shellfit", ToUtf8(commandLine), root);
  int status = 0;
  {
    platform::ScopedOutcomeRecorder recorder(report);
    status = images ? imagefit::ImagefitMain(commandLine) : shellfit::ShellfitMain(commandLine);
    if (!host.unanswered().empty()) {
      // Unanswered after a write, the question leaves the device part new:
      // that is an incomplete update, not a refusal.
      const bool written = ProgrammingBegan(report.document());
      platform::SetOutcome(
          written ? platform::RunOutcome::kStopped : platform::RunOutcome::kRefused,
          "the program asked \"" + host.unanswered() +
              "\" and no answer was given (--yes, --no, "
              "--revision=yes|no, --continue=yes|no)" +
              (written ? "; part of the update was already written" : ""));
    }
  }
  Finish(request, report, status, progress ? &*progress : nullptr);
  return ExitCodeFor(report.document());
}

}  // namespace fitkit
