// Reading the whole package once, into nothing, before anything on the flash
// drive is touched: a package that cannot be unpacked must not cost the
// device its old shell.
#include <memory>
#include <vector>

#include "frame/update_dialog.h"
#include "shellfit/entry_check_pool.h"
#include "shellfit/shellfit.h"
#include "zipreader/zip_reader.h"

namespace shellfit {
namespace {

// A reader of its own for one worker, on the same package and password.
std::unique_ptr<CZipReader> OpenReader(std::u16string_view package) {
  auto reader = std::make_unique<CZipReader>();
  reader->OpenArchive(std::u16string(package), 1, 0);
  if (!reader->SetPassword(std::u16string(kPackagePassword))) return nullptr;
  return reader;
}

}  // namespace

bool VerifyPackage(std::u16string_view package, int32_t* errorCode,
                   platform::Dialog* dialog) {
  *errorCode = 0;
  try {
    std::vector<std::unique_ptr<CZipReader>> readers;
    readers.push_back(OpenReader(package));
    if (readers.back() == nullptr) {
      *errorCode = ErrBadPassword;
      return false;
    }
    CZipReader& reader = *readers.back();
    CZipEntryHeader header;
    std::vector<uint16_t> files;
    for (unsigned index = 0; index <= 0xFFFF && reader.GetEntryInfo(header, index); ++index) {
      if (header.IsDirectory()) {
        if (dialog != nullptr) frame::PumpOneMessage(*dialog);
      } else {
        files.push_back(static_cast<uint16_t>(index));
      }
    }
    // A package without a single file would only erase the installed shell.
    if (files.empty()) {
      *errorCode = ErrBadArchive;
      return false;
    }
    // Readers are opened, and names and password converted, on this thread
    // alone (the code page converter is no thread's own): workers only read.
    const unsigned workers = CheckWorkerCount(files.size(), DirectoryBytes(reader));
    while (readers.size() < workers) {
      auto more = OpenReader(package);
      if (more == nullptr) break;
      readers.push_back(std::move(more));
    }
    const auto failure = CheckEntries(readers, files, [dialog] {
      if (dialog != nullptr) frame::PumpOneMessage(*dialog);
    });
    if (!failure) return true;
    if (failure->unexpected) std::rethrow_exception(failure->unexpected);
    *errorCode = failure->code;
    return false;
  } catch (const CZipException& error) {
    *errorCode = error.code;
    return false;
  }
}

}  // namespace shellfit
