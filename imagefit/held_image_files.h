// The image files as START checked them, kept open until the transfer is
// over: the transfer reads these very handles, so what reaches the driver is
// what was checked, even when the folder is deleted or a file is replaced
// under its name in the meantime.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "imagefit/image_set.h"
#include "platform/file_system.h"
#include "signature/verified_file.h"

namespace imagefit {

class HeldImageFiles {
 public:
  HeldImageFiles() = default;
  HeldImageFiles(const HeldImageFiles&) = delete;
  HeldImageFiles& operator=(const HeldImageFiles&) = delete;

  // Opens the file at `paths[index]` for reading and keeps writers away from
  // it where the file system can; null when it cannot be opened. A file held
  // there already for the same path is kept and rewound.
  platform::File* Open(int index, std::u16string_view path);

  // The block tree of the held file at `index`, read once, that read also
  // making START's check of the same bytes (see Checked); false when the
  // file cannot be read to its end.
  bool TreeAndCheck(int index, signature::BlockTree* tree);
  // What TreeAndCheck found wrong with the contents of the file held at
  // `index` (empty when sound); null when it has not read that file or the
  // file is not yet verified against that tree.
  const std::string* Checked(int index) const;

  // From here on the held file at `index` is read only through `verified`,
  // the block hashes its release manifest was checked against: a block
  // changed on the card since fails the read.
  void Verify(int index, std::shared_ptr<signature::VerifiedTree> verified);
  // Whether a read of a verified file met a block that no longer matched.
  bool Changed() const;

  // From here on, View (and so OpenImageFile) reads the held files.
  void Serve();

  // A reader of the held file for `path`, or null when none is held there
  // or the files are not served yet.
  std::unique_ptr<platform::File> View(std::u16string_view path);

 private:
  struct Held {
    std::u16string path;
    std::unique_ptr<platform::File> file;
    uint64_t position = UINT64_MAX;  // where the last view left it; MAX: unknown
    std::shared_ptr<signature::VerifiedTree> verified;
    // The check of the bytes the tree was made of: a verified file serves
    // only those, so they need not be read and checked again.
    std::optional<std::string> checked;
  };
  friend class HeldFileView;

  std::array<Held, kImageCount> files_;
  bool serving_ = false;
};

// The image file at `path`, opened for reading: a reader of the file `held`
// serves (a checked set being sent), else the file system's own.
std::unique_ptr<platform::File> OpenImageFile(std::u16string_view path,
                                              HeldImageFiles* held = nullptr);

}  // namespace imagefit
