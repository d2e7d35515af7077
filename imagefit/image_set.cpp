#include "imagefit/image_set.h"

#include <vector>

#include "frame/device_identity.h"
#include "imagefit/image_version.h"
#include "imagefit/update_mark.h"
#include "imagefit/update_report.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/text.h"

namespace imagefit {

std::u16string ChooseImageFolder(const std::u16string& commandLine) {
  std::u16string folder = commandLine;
  if (folder.empty()) frame::GetModuleFolder(&folder);
  if (!folder.empty() && folder.back() == u'\\') folder.pop_back();
  return folder;
}

bool JoinImagePath(std::u16string_view folder, std::u16string_view name, std::u16string* out) {
  out->clear();
  if (folder.size() + 1 + name.size() > platform::kMaxPath - 1) return false;
  out->append(folder).append(u"\\").append(name);
  return true;
}

std::u16string FindVersionFile(const ImageSet& set) {
  std::u16string modelPath;
  JoinImagePath(set.folder, set.model + u".ini", &modelPath);
  if (!modelPath.empty() && frame::FileExists(modelPath)) return modelPath;
  std::u16string pattern;
  if (!JoinImagePath(set.folder, u"*.ini", &pattern)) return modelPath;
  const std::vector<platform::FindData> found = platform::Files().Find(pattern);
  std::u16string firstMatch;
  if (!found.empty() && JoinImagePath(set.folder, found.front().name, &firstMatch))
    return firstMatch;
  return modelPath;
}

namespace {

bool BuildImagePaths(ImageSet& set) {
  for (int i = 0; i < kImageCount; ++i) {
    if (!JoinImagePath(set.folder, kImageFileNames[i], &set.paths[i])) return false;
    if (!frame::FileExists(set.paths[i])) return false;
  }
  return true;
}

}  // namespace

LocatedImageSet LocateImageSet(const std::u16string& folder) {
  LocatedImageSet located;
  located.set.folder = folder;
  located.set.model = kImageSetModel;
  located.versionFile = FindVersionFile(located.set);
  located.installed = ReadInstalledVersion();
  located.set.version = located.versionFile.empty() ? 0 : ReadImageVersion(located.versionFile);
  located.complete = BuildImagePaths(located.set);
  return located;
}

std::u16string ImageSetTitle(const ImageSet& set) { return set.model + u" OS UPDATE"; }

bool ShowImageSet(platform::Dialog& dialog, const LocatedImageSet& located) {
  NoteImageSet(located);
  if (!located.complete) return false;
  dialog.SetItemText(kInstalledVersionField, FormatShownVersion(located.installed));
  dialog.SetItemText(kNewVersionField, FormatShownVersion(located.set.version));
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
