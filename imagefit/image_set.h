// Where the update lies and what it holds: the image folder, the six image
// paths and the packed version of the update.
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

// Indexes into ImagePaths, in the order the files are tested.
enum ImageIndex { kNboot, kEboot, kTinynk, kDrivers, kNk, kChain, kImageCount };
inline constexpr std::array<std::u16string_view, kImageCount> kImageFileNames = {
    u"nboot.bin", u"eboot.nb0", u"tinynk.bin", u"drivers.bin", u"nk.bin", u"chain.bin"};

extern std::u16string ImageFolder;
extern std::u16string Model;
extern std::array<std::u16string, kImageCount> ImagePaths;
extern uint32_t ImageVersion;

// The command line as given, else the program's folder; one trailing
// backslash removed. Never ends the program.
bool ChooseImageFolder(const std::u16string& commandLine);

// "<folder>\<name>" when it fits a device path (259 characters); false
// rather than a path cut into a different one.
bool JoinImagePath(std::u16string_view folder, std::u16string_view name, std::u16string* out);

// The version file: "<folder>\KTR 60.ini", else the first "*.ini" the folder
// lists, else the model-named path.
std::u16string FindVersionFile();

// The set in ImageFolder as the dialog shows it: Model, ImageVersion and
// ImagePaths filled; `complete` false when an image file is missing or its
// path too long. Reads only.
struct LocatedImageSet {
  std::u16string versionFile;
  uint32_t installed = 0;  // the device's version, as ReadInstalledVersion gives it
  bool complete = false;
};
LocatedImageSet LocateImageSet();

// Fills TitleText, the dialog title, ImageVersion, ImagePaths and the fields;
// false (nothing shown) when an image file is missing or its path too long.
bool PrepareImageSet(platform::Dialog& dialog);

}  // namespace imagefit
