#include "zipreader/zip_reader.h"

#include <cstring>

namespace {

constexpr uint32_t kSpreadReadAhead = 16384;

}  // namespace

CZipReadContext::CZipReadContext() {
  std::memset(&stream, 0, sizeof stream);
  stream.zalloc = TrackedAlloc;
  stream.zfree = TrackedFree;
}

CZipReader::CZipReader() : directory(&storage) {}

CZipReader::~CZipReader() {
  if (partner != nullptr) {
    CZipReader* before = partner;
    while (before->partner != this) before = before->partner;
    before->partner = before == partner ? nullptr : partner;
  }
  FreeTrackedBlocks();
  password.Release();
}

void CZipReader::OpenArchive(const std::u16string& path, int mode, int volumeSize) {
  if (!storage.IsClosed(false)) return;
  storage.OpenStore(path, mode, static_cast<uint32_t>(volumeSize));
  password.Release();
  entryState = 0;
  directory.Init();
  directory.ReadDirectory();
}

void CZipReader::OpenArchiveOf(const std::u16string& path, const CZipReader& owner) {
  if (!storage.IsClosed(false)) return;
  storage.OpenStore(path, 1, 0);
  // Such a reader decodes every few entries, spread over the archive: a
  // small block read ahead serves its headers and small entries as well.
  storage.SetReadAheadSize(kSpreadReadAhead);
  entryState = 0;
  directory.Init();
  directory.ReadDirectoryOf(owner.directory);
  password = owner.password;
}

bool CZipReader::GetEntryInfo(CZipEntryHeader& header, unsigned index) {
  if (storage.IsClosed(false)) return false;
  int entry = static_cast<int>(index & 0xFFFF);
  if (!directory.IsValidIndex(entry)) return false;
  header = directory.Header(entry);
  return true;
}

bool CZipReader::SetPassword(const char16_t* text) {
  if (entryState != 0) return false;
  if (text == nullptr) {
    password.Release();
    return true;
  }
  return ZipHost::WideToMultiByte(text, password, UseAnsiCodePage) >= 0;
}

void CZipReader::ThrowZipError(int32_t code, bool inflateResult) {
  if (inflateResult) code = MapInflateError(code);
  RaiseZipError(code, storage.IsClosed(false) ? std::u16string() : storage.File()->GetFilePath());
}

void CZipReader::CheckInflateResult(int result) {
  if (result != Z_OK && result != Z_NEED_DICT) ThrowZipError(result, true);
}
