// Reading the whole package once, into nothing, before anything on the flash
// drive is touched: a package that cannot be unpacked must not cost the
// device its old shell.
#include "shellfit/package_verification.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "frame/update_dialog.h"
#include "platform/file_system.h"
#include "shellfit/entry_check_pool.h"
#include "shellfit/package_fit.h"
#include "shellfit/shellfit.h"
#include "shellfit/update_report.h"
#include "signature/update_signature.h"
#include "zipreader/zip_disk_file.h"
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

// The file a reader has open, when it is one of the file system's.
platform::File* OpenFile(const CZipReader& reader) {
  auto* disk = dynamic_cast<CZipDiskFile*>(reader.ArchiveFile());
  return disk != nullptr ? disk->Handle() : nullptr;
}

// Another name may lead to another file by now (a package renamed over the
// held one): where the file system can tell, it must be the very file.
bool SameFile(const CZipReader& held, const CZipReader& other) {
  platform::File* a = OpenFile(held);
  platform::File* b = OpenFile(other);
  platform::FileIdentity first, second;
  if (a == nullptr || b == nullptr || !a->GetIdentity(&first) || !b->GetIdentity(&second)) {
    return true;
  }
  return first == second;
}

// A worker's own open must be of the very file the held reader checks: the
// same file where that can be told, the same length and the same directory,
// entry for entry.
bool SameArchive(CZipReader& held, CZipReader& other) {
  if (held.ArchiveFile() == nullptr || other.ArchiveFile() == nullptr ||
      held.ArchiveFile()->GetLength() != other.ArchiveFile()->GetLength() ||
      !SameFile(held, other)) {
    return false;
  }
  const auto& a = held.Headers();
  const auto& b = other.Headers();
  // A spare that shares the held table proved it entry for entry when opened.
  if (&a == &b) return true;
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i]->crc32 != b[i]->crc32 || a[i]->compressedSize != b[i]->compressedSize ||
        a[i]->uncompressedSize != b[i]->uncompressedSize ||
        a[i]->localHeaderOffset != b[i]->localHeaderOffset) {
      return false;
    }
  }
  return true;
}

// A spare reader shares the held reader's entry table: it costs its buffers,
// not a copy of the directory.
std::unique_ptr<CZipReader> OpenSpareOf(const CZipReader& held, std::u16string_view package) {
  auto reader = std::make_unique<CZipReader>();
  try {
    reader->OpenArchiveOf(std::u16string(package), held);
  } catch (const CZipException&) {
    return nullptr;
  }
  return reader;
}

// Each decoding thread steps four readers side by side (their key chains in
// one loop); more than eight would cost memory for little.
constexpr unsigned kMostSpares = 8;

void KeepSpares(CZipReader& reader, std::u16string_view package,
                std::vector<std::unique_ptr<CZipReader>>& others, SpareReaders* spares) {
  if (spares == nullptr || !WorthDecodingAhead(reader)) return;
  const unsigned wanted = std::min<unsigned>(
      kMostSpares, ZipCryptKeys::kMostTogether * std::max(1u, std::thread::hardware_concurrency()));
  // A reader with its own copy of the entry table would hold that copy for
  // the whole extraction: only readers that share the held table are kept.
  std::erase_if(others, [&reader](const std::unique_ptr<CZipReader>& other) {
    return &other->Headers() != &reader.Headers();
  });
  while (others.size() < wanted) {
    auto more = OpenSpareOf(reader, package);
    if (more == nullptr || !SameArchive(reader, *more)) break;
    others.push_back(std::move(more));
  }
  for (auto& other : others) {
    if (spares->size() < wanted && other->ArchiveFile()->DenyWriters()) {
      spares->push_back(std::move(other));
    }
  }
}

// While the package is read through, the status line names it and the bar
// counts its files.
void ShowCheckBegins(platform::Dialog* dialog, std::u16string_view package, std::size_t files) {
  if (dialog == nullptr) return;
  const std::size_t slash = package.rfind(u'\\');
  frame::ShowStatus(*dialog, u"Checking...",
                    slash == std::u16string_view::npos ? package : package.substr(slash + 1));
  dialog->SetProgressRange(kProgressControl, 0, uint16_t(std::min<std::size_t>(files, 0xFFFF)));
  dialog->SetProgressPos(kProgressControl, 0);
}

// Stored bytes per file entry from which the spares decode ahead.
constexpr uint64_t kDecodeAheadFrom = 512;

}  // namespace

bool WorthDecodingAhead(const CZipReader& reader) {
  uint64_t files = 0, stored = 0;
  for (const auto& header : reader.Headers()) {
    if (header->IsDirectory()) continue;
    ++files;
    stored += header->compressedSize;
  }
  return files > 0 && stored >= kDecodeAheadFrom * files;
}

PackageStatus OpenHeldPackage(CZipReader& reader, std::u16string_view package) {
  try {
    reader.OpenArchive(std::u16string(package), 1, 0);
    // From here on nobody else may change what is being checked, as on the
    // device, where the open package cannot be written or replaced.
    if (reader.ArchiveFile() != nullptr && !reader.ArchiveFile()->DenyWriters()) {
      signature::NoteWritersNotKeptAway(package);
    }
    if (!reader.SetPassword(std::u16string(kPackagePassword))) {
      return PackageStatus::Unreadable(ErrBadPassword);
    }
    NotePackage(package, CountEntries(reader, false));
    return PackageStatus::Ok();
  } catch (const CZipException& error) {
    return PackageStatus::Unreadable(error.code);
  }
}

PackageStatus ReadPackageThrough(CZipReader& reader, std::u16string_view package,
                                 platform::Dialog* dialog, SpareReaders* spares) {
  try {
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
    NotePackageFiles(files.size());
    if (files.empty()) return PackageStatus::Unreadable(ErrBadArchive);
    // Readers are opened, and names and password converted, on this thread
    // alone (the code page converter is no thread's own): workers only read.
    // The held reader is the first worker; the others open the package again
    // and are used only when they see the same file.
    const unsigned workers = CheckWorkerCount(files.size(), DirectoryBytes(reader));
    std::vector<std::unique_ptr<CZipReader>> others;
    std::vector<CZipReader*> readers{&reader};
    while (readers.size() < workers) {
      auto more = OpenReader(package);
      if (more == nullptr || !SameArchive(reader, *more)) break;
      readers.push_back(more.get());
      others.push_back(std::move(more));
    }
    // Each worker reads a second entry alongside with a reader that shares
    // the held table; the spares of the extraction are taken from these.
    std::vector<CZipReader*> partners;
    while (partners.size() < readers.size()) {
      auto partner = OpenSpareOf(reader, package);
      if (partner == nullptr || !SameArchive(reader, *partner)) break;
      partners.push_back(partner.get());
      others.push_back(std::move(partner));
    }
    ShowCheckBegins(dialog, package, files.size());
    std::size_t checked = 0;
    const auto failure = CheckEntries(readers, partners, files, [dialog, &checked] {
      if (dialog == nullptr) return;
      dialog->SetProgressPos(kProgressControl, int(std::min<std::size_t>(++checked, 0xFFFF)));
      frame::PumpOneMessage(*dialog);
    });
    // The run's own steps begin with the bar where the dialog showed it.
    if (dialog != nullptr) dialog->SetProgressPos(kProgressControl, 0);
    if (!failure) {
      KeepSpares(reader, package, others, spares);
      return PackageStatus::Ok();
    }
    if (failure->unexpected) std::rethrow_exception(failure->unexpected);
    return PackageStatus::Unreadable(failure->code);
  } catch (const CZipException& error) {
    try {
      reader.CloseEntry(nullptr, true);
    } catch (const CZipException&) {
    }
    return PackageStatus::Unreadable(error.code);
  }
}

void OpenSpareReaders(CZipReader& reader, std::u16string_view package, SpareReaders* spares) {
  std::vector<std::unique_ptr<CZipReader>> none;
  try {
    KeepSpares(reader, package, none, spares);
  } catch (const CZipException&) {
    // Without spares the entries are decoded one after the other.
  }
}

PackageStatus VerifyOpenPackage(CZipReader& reader, std::u16string_view package,
                                platform::Dialog* dialog, SpareReaders* spares) {
  const PackageStatus opened = OpenHeldPackage(reader, package);
  return opened.ok() ? ReadPackageThrough(reader, package, dialog, spares) : opened;
}

PackageStatus VerifyPackage(std::u16string_view package, platform::Dialog* dialog) {
  CZipReader reader;
  return VerifyOpenPackage(reader, package, dialog);
}

}  // namespace shellfit
