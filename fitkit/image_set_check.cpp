#include "fitkit/image_set_check.h"

#include <memory>

#include "device/device_config.h"
#include "fitkit/checked_device.h"
#include "imagefit/device_power.h"
#include "imagefit/flash_driver.h"
#include "imagefit/held_image_files.h"
#include "imagefit/image_set.h"
#include "imagefit/image_version.h"
#include "imagefit/start_decision.h"
#include "platform/drivers.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/flash_protocol.h"
#include "platform/text.h"
#include "report/outcome_words.h"

namespace fitkit {
namespace {

using platform::ToUtf8;

// The file at `path` as its folder lists it; none for a folder or nothing.
std::optional<platform::FindData> Listed(const std::u16string& path) {
  if (path.empty()) return std::nullopt;
  const std::vector<platform::FindData> found = platform::Files().Find(path);
  if (found.size() != 1 || (found.front().attributes & platform::FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return std::nullopt;
  }
  return found.front();
}

ImageFacts ReadImage(const std::u16string& folder, int index,
                     const std::filesystem::path& hostFolder, bool readBins) {
  ImageFacts image;
  image.name = ToUtf8(imagefit::kImageFileNames[index]);
  std::u16string path;
  imagefit::JoinImagePath(folder, imagefit::kImageFileNames[index], &path);
  const std::optional<platform::FindData> listed = Listed(path);
  if (!listed) return image;
  image.path = hostFolder / ToUtf8(listed->name);
  image.size = listed->size;
  if (readBins && imagefit::IsBinImage(index)) {
    const std::unique_ptr<platform::File> file =
        platform::Files().Open(path, platform::AccessRead, platform::Disposition::OpenExisting);
    if (file) image.bin = imagefit::ReadBinImage(*file);
  }
  return image;
}

std::string FileName(std::u16string_view path) {
  return ToUtf8(path.substr(path.rfind(u'\\') + 1));
}

std::string Missing(const ImageSetFacts& facts) {
  std::string missing;
  for (const ImageFacts& image : facts.images) {
    if (image.path.empty()) missing += (missing.empty() ? "" : ", ") + image.name;
  }
  return missing;
}

void CheckVersion(const ImageSetFacts& facts, Findings* found) {
  if (facts.versionFile.empty()) {
    found->Problem("there is no version file (\"" + ToUtf8(imagefit::kImageSetModel) +
                   ".ini\" or any \"*.ini\")");
  } else if (facts.versionCode == 0) {
    found->Problem("the version file " + facts.versionFile + " holds no version (\"V1.0.7\")");
  } else {
    found->Ok("version " + facts.versionText + " for board revision " +
              std::to_string(facts.revision) + " (" + facts.versionFile + ")");
  }
}

// The revision question as rehearse meets it: Yes goes on, No declines, and
// a question nobody answers ends the run as refused.
void CheckRevision(const imagefit::StartDecision& decision, Answer revision, Findings* found) {
  const std::string asked = "the board is revision " + std::to_string(decision.board) +
                            ", the image is for " + std::to_string(decision.image) +
                            ": imagefit would ask \"" + QuestionLine(decision.revisionQuestion) +
                            "\"";
  if (revision == Answer::Yes) {
    found->Note(asked + ", answered yes (--revision=yes)");
  } else if (revision == Answer::No) {
    found->Problem(asked + ", answered no (--revision=no): the update would be declined");
  } else {
    found->Problem(asked + " (rehearse: --revision=yes or no)");
  }
}

// START's decision on a real device: the revision question first, then the
// images.
void CheckStart(const imagefit::ImageSet& set, Answer revision, Findings* found) {
  imagefit::HeldImageFiles held;
  const imagefit::StartDecision decision = imagefit::DecideStart(set, &held);
  if (!decision.revisionQuestion.empty()) CheckRevision(decision, revision, found);
  if (decision.problem.found()) {
    found->Problem(FileName(decision.problem.path) + " cannot be used: " + decision.problem.what);
  } else {
    found->Ok("every image reads through as START checks it");
  }
}

void CheckImagesAlone(const imagefit::ImageSet& set, Findings* found) {
  imagefit::HeldImageFiles held;
  const imagefit::ImageSetProblem problem = imagefit::CheckImageSet(set, &held);
  if (problem.found()) {
    found->Problem(FileName(problem.path) + " cannot be used: " + problem.what);
  } else {
    found->Ok("every image reads through as START checks it");
  }
}

// What imagefit's steps meet on the device after START's checks, in their
// order, asked with imagefit's own calls of drivers that only answer.
void CheckDevice(const ImageSetFacts& facts, const device::DeviceConfig& device, Findings* found) {
  if (!imagefit::IsOnExternalPower()) {
    found->Problem("the device is not on external power: imagefit would stop at once");
  }
  if (!platform::Drivers().Open(platform::protocol::kPowerDriverName)) {
    found->Note(
        "the device has no power driver (PWR1): imagefit notes its steps as failed and "
        "restarts the device after errors (exit 3)");
    found->afterErrors = true;
  }
  if (!imagefit::OpenUpdateDriver()) {
    found->Problem(
        "the device has no flash update driver (SCD1): imagefit would ask whether to "
        "continue after the first boot loader (rehearse: --continue=yes or no)");
  }
  if (!device.FailingCodes().empty()) {
    found->Note(
        "the device's driver is set to fail some control codes: imagefit would ask "
        "whether to continue (rehearse: --continue=yes or no)");
  }
  found->Ok("OS " + ToUtf8(imagefit::FormatShownVersion(facts.installed)) + " -> " +
            facts.versionText);
}

}  // namespace

ImageSetFacts InspectImageSet(const std::u16string& folder, const std::filesystem::path& hostFolder,
                              bool readBins) {
  const imagefit::LocatedImageSet located =
      imagefit::LocateImageSet(imagefit::ChooseImageFolder(folder));
  ImageSetFacts facts;
  facts.set = located.set;
  facts.complete = located.complete;
  facts.installed = located.installed;
  for (int i = 0; i < imagefit::kImageCount; ++i)
    facts.images.push_back(ReadImage(facts.set.folder, i, hostFolder, readBins));
  if (const auto listed = Listed(located.versionFile)) facts.versionFile = ToUtf8(listed->name);
  facts.versionCode = facts.set.version;
  facts.versionText = ToUtf8(imagefit::FormatShownVersion(facts.versionCode));
  facts.revision = facts.versionCode >> 24;
  return facts;
}

ImageSetFacts InspectImageSet(const std::filesystem::path& folder, bool readBins) {
  std::string failure;
  const auto device = CheckedDevice::Open({}, ToUtf8(imagefit::kImageSetModel), &failure);
  if (!device) return {};
  const std::u16string shown = device->ShowToDevice(folder);
  platform::ScopedEnvironment installed(device->environment());
  return InspectImageSet(shown, folder, readBins);
}

Findings CheckImageSet(const ImageSetFacts& facts, const device::DeviceConfig* device,
                       Answer revision) {
  Findings found;
  if (!facts.complete) {
    found.Problem("the image set lacks " + Missing(facts) +
                  ": imagefit would end at once (no update found)");
    found.verdict = "would not be programmed: " + found.items.back().text;
    return found;
  }
  found.Ok("all six images are there");
  CheckVersion(facts, &found);
  if (device != nullptr) {
    CheckStart(facts.set, revision, &found);
    CheckDevice(facts, *device, &found);
  } else {
    CheckImagesAlone(facts.set, &found);
  }
  uint64_t bytes = 0;
  for (const ImageFacts& image : facts.images) bytes += image.size;
  if (const std::string* problem = found.FirstProblem()) {
    found.verdict = "would not be programmed: " + *problem;
  } else {
    found.verdict = "would program " + facts.versionText + " (" + report::WithThousands(bytes) +
                    " bytes in six images) and restart the device" +
                    (found.afterErrors ? " after errors" : "");
  }
  return found;
}

}  // namespace fitkit
