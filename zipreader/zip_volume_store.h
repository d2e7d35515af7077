// The archive's storage: the open archive file, single or split into volumes
// (name.z01, name.z02, ..., name.zip), read across volume boundaries.
#pragma once

#include <cstdint>
#include <string>

#include "zipreader/zip_disk_file.h"

enum VolumeMode : int {
  SingleFile = 0,
  Split = 2,
  ExistingUnknown = 3,
  ExistingSplit = 4,
};

class CZipVolumeStore {
 public:
  CZipVolumeStore() = default;
  virtual ~CZipVolumeStore() = default;
  CZipVolumeStore(const CZipVolumeStore&) = delete;
  CZipVolumeStore& operator=(const CZipVolumeStore&) = delete;

  // mode 0: read and write, 1: read-only. A missing file is not raised here.
  void OpenStore(const std::u16string& path, int mode, uint32_t volumeSize);
  // Exactly `count` bytes or ErrBadArchive. With `atOnce` the bytes may start
  // on a later volume but never straddle two.
  uint32_t ReadBytes(void* buffer, uint32_t count, bool atOnce);
  void ChangeVolume(int number);
  void SetReadAheadSize(uint32_t size) { diskFile.SetReadAheadSize(size); }
  void UpdateVolumeInfo(uint16_t thisDisk);
  std::u16string VolumeFileName(const std::u16string& path, bool isLast) const;
  bool IsClosed(bool archiveLevel) const;

  CZipStream* File() const { return currentFile; }
  int CurrentVolume() const { return currentVolume; }
  int Mode() const { return mode; }
  uint32_t VolumeLimit() const { return volumeLimit; }
  [[noreturn]] void Raise(int32_t code) const;

 private:
  uint32_t ReadCurrent(void* buffer, uint32_t count);
  void NextVolume();

  CZipDiskFile diskFile;
  CZipStream* currentFile = nullptr;
  int mode = ExistingUnknown;
  uint32_t volumeLimit = 0;
  std::u16string lastExtension = u"zip";
  int currentVolume = -1;
};
