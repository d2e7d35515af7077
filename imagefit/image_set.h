// Where the update lies and what it holds: one run's image set (the image
// folder, the six image paths and the packed version of the update), found
// once and passed to what reads it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/dialog.h"
#include "platform/dialog_controls.h"

namespace imagefit {

// Dialog controls of imagefit's dialog.
inline constexpr int kInstalledVersionField = platform::controls::kImageInstalledVersion;
inline constexpr int kNewVersionField = platform::controls::kImageNewVersion;
inline constexpr int kProgressBar = platform::controls::kImageProgress;
inline constexpr int kStatusLine = platform::controls::kStatus;
inline constexpr int kStartButton = platform::controls::kStart;
inline constexpr int kCancelButton = platform::controls::kCancel;

// The model imagefit is made for: its version file is named after it,
// whatever the device's registry says.
inline constexpr std::u16string_view kImageSetModel = u"KTR 60";

// Indexes into ImageSet::paths, in the order the files are tested.
enum ImageIndex { kNboot, kEboot, kTinynk, kDrivers, kNk, kChain, kImageCount };
inline constexpr std::array<std::u16string_view, kImageCount> kImageFileNames = {
    u"nboot.bin", u"eboot.nb0", u"tinynk.bin", u"drivers.bin", u"nk.bin", u"chain.bin"};

// One run's image set. Each run finds its own: two runs in one process
// (fitkit rehearse) never see each other's.
struct ImageSet {
  std::u16string folder;  // without a trailing backslash
  std::u16string model;   // names the version file and the dialog's title
  std::array<std::u16string, kImageCount> paths;
  uint32_t version = 0;  // packed, from the version file (0 without one)
};

// The command line as given, else the program's folder; one trailing
// backslash removed.
std::u16string ChooseImageFolder(const std::u16string& commandLine);

// "<folder>\<name>" when it fits a device path (259 characters); false
// rather than a path cut into a different one.
bool JoinImagePath(std::u16string_view folder, std::u16string_view name, std::u16string* out);

// The version file: "<folder>\<model>.ini", else the first "*.ini" the
// folder lists, else the model-named path.
std::u16string FindVersionFile(const ImageSet& set);

// The set in `folder` as the dialog shows it: model, version and paths
// filled; `complete` false when an image file is missing or its path too
// long. Reads only.
struct LocatedImageSet {
  ImageSet set;
  std::u16string versionFile;
  uint32_t installed = 0;  // the device's version, as ReadInstalledVersion gives it
  bool complete = false;
};
LocatedImageSet LocateImageSet(const std::u16string& folder);

// "KTR 60 OS UPDATE": the dialog's title and the message boxes' caption.
std::u16string ImageSetTitle(const ImageSet& set);

// Notes the set for the report and, for a complete one, fills the dialog's
// fields; false (nothing shown) when an image file is missing or its path
// too long.
bool ShowImageSet(platform::Dialog& dialog, const LocatedImageSet& located);

}  // namespace imagefit
