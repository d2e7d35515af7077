// A device root for fuzz targets, made once per process under $TMPDIR: a
// file system with a few folders and links (one pointing out of fs/), and an
// "outside" folder with a sentinel file beside it. A target calls
// CheckOutside() after each input; anything created, changed or deleted
// outside fs/ (and the simulated drivers' flash/ and journal.log) aborts, which libFuzzer reports
// as a crash.
#pragma once

#include <filesystem>
#include <string>

namespace fuzz_support {

class ScratchRoot {
 public:
  static ScratchRoot& Get();

  const std::filesystem::path& root() const { return root_; }
  std::filesystem::path fs() const { return root_ / "fs"; }
  // Aborts unless everything outside fs/ is as it was made.
  void CheckOutside() const;
  // Makes fs/ anew, as it was at the start.
  void Reset() const;

 private:
  ScratchRoot();
  void MakeFileSystem() const;
  std::string Listing() const;

  std::filesystem::path root_;
  std::string expected_;
};

}  // namespace fuzz_support
