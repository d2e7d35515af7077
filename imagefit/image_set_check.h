// START's check of the whole image set before anything but the board
// revision query reaches a driver: every BIN image read through to its end
// record, the boot loaders present and not empty. A set the driver would take
// only in part must not cost the device its boot loaders or its kernel.
#pragma once

#include <string>
#include <string_view>

#include "imagefit/held_image_files.h"
#include "imagefit/image_set.h"
#include "platform/dialog.h"
#include "platform/file_system.h"

namespace imagefit {

// A BIN image read from its start to its end record: the region its header
// names, the records before the end record, and what is wrong with it in
// words ("record 3 does not match its checksum"), empty when it is sound.
struct BinImageFacts {
  uint32_t start = 0;
  uint32_t length = 0;
  uint64_t records = 0;
  std::string problem;
};
BinImageFacts ReadBinImage(platform::File& file);

// The boot loaders (kNboot, kEboot) travel whole; the other four images are
// BIN images, read record by record.
bool IsBinImage(int index);

// ReadBinImage's problem alone.
std::string CheckBinImage(platform::File& file);

// What is wrong with the contents of image `index` read from `file`'s start,
// empty when it is sound.
std::string CheckImageFile(int index, platform::File& file);

// The first file of a set that cannot be used, and why ("record 3 does not
// match its checksum"); an empty path when the set is sound.
struct ImageSetProblem {
  std::u16string path;
  std::string what;
  bool found() const { return !path.empty(); }
  // The message box's text.
  std::u16string Text() const;
};

// Opens the six files of the set into `held` and checks them.
ImageSetProblem CheckImageSet(const ImageSet& set, HeldImageFiles* held);

class UpdateReport;

// The check as START makes it, noted in `report`: true for a sound set,
// whose files `held` then serves to the transfer; otherwise one message box
// says what is wrong, and the dialog stays as it was.
bool CheckImageSetForStart(platform::Dialog& dialog, const ImageSet& set, HeldImageFiles* held,
                           UpdateReport& report);

}  // namespace imagefit
