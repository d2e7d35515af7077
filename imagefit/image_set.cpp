#include "imagefit/image_set.h"

#include <vector>

#include "frame/device_identity.h"
#include "frame/update_dialog.h"
#include "imagefit/image_version.h"
#include "imagefit/update_mark.h"
#include "imagefit/update_report.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/text.h"

namespace imagefit {

std::u16string ImageFolder;
std::u16string Model;
std::array<std::u16string, kImageCount> ImagePaths;
uint32_t ImageVersion = 0;

bool ChooseImageFolder(const std::u16string& commandLine) {
  if (!commandLine.empty()) {
    ImageFolder = commandLine;
  } else {
    frame::GetModuleFolder(&ImageFolder);
  }
  if (!ImageFolder.empty() && ImageFolder.back() == u'\\') ImageFolder.pop_back();
  return true;
}

bool JoinImagePath(std::u16string_view folder, std::u16string_view name, std::u16string* out) {
  out->clear();
  if (folder.size() + 1 + name.size() > platform::kMaxPath - 1) return false;
  out->append(folder).append(u"\\").append(name);
  return true;
}

std::u16string FindVersionFile() {
  std::u16string modelPath;
  JoinImagePath(ImageFolder, Model + u".ini", &modelPath);
  if (!modelPath.empty() && frame::FileExists(modelPath)) return modelPath;
  std::u16string pattern;
  if (!JoinImagePath(ImageFolder, u"*.ini", &pattern)) return modelPath;
  const std::vector<platform::FindData> found = platform::Files().Find(pattern);
  std::u16string firstMatch;
  if (!found.empty() && JoinImagePath(ImageFolder, found.front().name, &firstMatch))
    return firstMatch;
  return modelPath;
}

namespace {

bool BuildImagePaths() {
  for (int i = 0; i < kImageCount; ++i) {
    if (!JoinImagePath(ImageFolder, kImageFileNames[i], &ImagePaths[i])) return false;
    if (!frame::FileExists(ImagePaths[i])) return false;
  }
  return true;
}

}  // namespace

LocatedImageSet LocateImageSet() {
  Model = kImageSetModel;
  LocatedImageSet set;
  set.versionFile = FindVersionFile();
  set.installed = ReadInstalledVersion();
  ImageVersion = set.versionFile.empty() ? 0 : ReadImageVersion(set.versionFile);
  set.complete = BuildImagePaths();
  return set;
}

bool PrepareImageSet(platform::Dialog& dialog) {
  const LocatedImageSet set = LocateImageSet();
  if (frame::FrameRun* frame = frame::FrameOf(dialog)) frame->run.title = Model + u" OS UPDATE";
  dialog.SetWindowText(Model + u" OS UPDATE");
  NoteImageSet(set.versionFile, set.installed, set.complete);
  if (!set.complete) return false;
  dialog.SetItemText(kInstalledVersionField, FormatShownVersion(set.installed));
  dialog.SetItemText(kNewVersionField, FormatShownVersion(ImageVersion));
  const MarkedStep interrupted = ReadUpdateMark();
  NoteInterruptedUpdate(interrupted);
  dialog.SetItemText(kStatusLine, interrupted == MarkedStep::None
                                      ? std::u16string_view(u"Ready...")
                                      : InterruptedStatusText(interrupted));
  dialog.SetProgressRange(kProgressBar, 0, 100);
  dialog.SetProgressPos(kProgressBar, 0);
  return true;
}

}  // namespace imagefit
