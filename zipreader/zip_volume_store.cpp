#include "zipreader/zip_volume_store.h"

#include <cstdio>

#include "zipreader/zip_exception.h"
#include "zipreader/zip_path_parts.h"

void CZipVolumeStore::OpenStore(const std::u16string& path, int openMode, uint32_t volumeSize) {
  currentFile = &diskFile;
  uint32_t flags = FileRead | FileKeep | FileDenyRead;
  if (openMode == 0) flags |= FileWrite;
  currentFile->Open(path, flags, true);
  mode = volumeSize != 0 ? ExistingSplit : ExistingUnknown;
}

void CZipVolumeStore::Raise(int32_t code) const {
  RaiseZipError(code, currentFile != nullptr ? currentFile->GetFilePath() : std::u16string());
}

uint32_t CZipVolumeStore::ReadCurrent(void* buffer, uint32_t count) {
  return currentFile != nullptr ? currentFile->Read(buffer, count) : 0;
}

// The walk through the volumes ends at the last one, and a volume that cannot
// be opened ends it too: skipping it would splice unrelated data together.
void CZipVolumeStore::NextVolume() {
  if (mode != Split || currentVolume < 0 || static_cast<uint32_t>(currentVolume) >= volumeLimit) {
    Raise(ErrBadArchive);
  }
  ChangeVolume(currentVolume + 1);
  if (currentFile->IsClosed()) Raise(ErrBadArchive);
}

uint32_t CZipVolumeStore::ReadBytes(void* buffer, uint32_t count, bool atOnce) {
  if (count == 0) return 0;
  // A volume that failed to open is missing, not empty.
  if (mode == Split && currentFile->IsClosed()) Raise(ErrBadArchive);
  uint8_t* bytes = static_cast<uint8_t*>(buffer);
  uint32_t got = ReadCurrent(bytes, count);
  while (got == 0) {
    if (mode == SingleFile) Raise(ErrBadArchive);
    NextVolume();
    got = ReadCurrent(bytes, count);
  }
  if (got == count) return count;
  if (atOnce || mode == SingleFile) Raise(ErrBadArchive);
  while (got < count) {
    NextVolume();
    uint32_t more = ReadCurrent(bytes + got, count - got);
    if (more == 0) Raise(ErrBadArchive);
    got += more;
  }
  return count;
}

// A single-file archive has only volume 0, a split one only up to its last
// volume: any other number would open a file that is not part of the archive.
void CZipVolumeStore::ChangeVolume(int number) {
  if (number == currentVolume) return;
  if (mode != Split || number < 0 || static_cast<uint32_t>(number) > volumeLimit) {
    Raise(ErrBadArchive);
  }
  currentVolume = number;
  std::u16string name =
      VolumeFileName(currentFile->GetFilePath(), static_cast<uint32_t>(number) == volumeLimit);
  currentFile->Close();
  currentFile->Open(name, FileRead | FileKeep | FileDenyRead, true);
}

void CZipVolumeStore::UpdateVolumeInfo(uint16_t thisDisk) {
  currentVolume = thisDisk;
  if (thisDisk == 0) {
    mode = SingleFile;
    return;
  }
  mode = Split;
  volumeLimit = thisDisk;
  lastExtension = CZipPathParts(currentFile->GetFilePath()).GetExtension();
}

std::u16string CZipVolumeStore::VolumeFileName(const std::u16string& path, bool isLast) const {
  CZipPathParts parts(path);
  if (isLast) {
    parts.SetExtension(lastExtension);
  } else {
    char text[16];
    int number = currentVolume + 1;
    std::snprintf(text, sizeof text, number < 100 ? "z%.2d" : "z%.5d", number);
    parts.SetExtension(std::u16string(text, text + std::char_traits<char>::length(text)));
  }
  return parts.FullPath();
}

bool CZipVolumeStore::IsClosed(bool archiveLevel) const {
  if (archiveLevel) return currentVolume == -1;
  return currentFile == nullptr || currentFile->IsClosed();
}
