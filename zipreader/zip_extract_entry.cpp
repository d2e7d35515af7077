// Extraction of one entry into a file or folder of the device.
#include "platform/text.h"
#include "zipreader/zip_decode_ahead.h"
#include "zipreader/zip_reader.h"

namespace {

// A name from the archive may not leave the target folder: it is cut at a
// NUL (device strings end there), and empty, "." and ".." components are
// dropped, whichever separator they stand between. A name beginning with a
// separator already lost it in the split.
std::u16string Confined(const std::u16string& piece) {
  std::u16string_view text(piece.c_str());
  std::u16string result;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find_first_of(u"\\/", start);
    if (end == std::u16string_view::npos) end = text.size();
    std::u16string_view part = text.substr(start, end - start);
    if (!part.empty() && part != u"." && part != u"..") {
      if (!result.empty()) result += u'\\';
      result += part;
    }
    start = end + 1;
  }
  return result;
}

// The part of the target path below the folder.
std::u16string TargetPiece(const std::u16string& entryName, bool fullPath,
                           const char16_t* newName) {
  std::u16string name = newName != nullptr ? std::u16string(newName) : entryName;
  if (name.empty()) return {};
  CZipPathParts parts(name);
  std::u16string piece = fullPath ? parts.PathWithoutPrefix() : parts.FileName();
  return newName != nullptr ? piece : Confined(piece);
}

// A folder entry that names nothing below the target folder (one extracted
// without its path, or "..\") stands for that folder: it is made when
// missing, and its attributes stay the caller's.
bool ExtractFolderItself(const char16_t* targetFolder) {
  if (targetFolder != nullptr && *targetFolder != 0) ZipHost::ForceDirectory(targetFolder);
  return true;
}

}  // namespace

std::u16string CZipReader::BuildTargetPath(const std::u16string& entryName,
                                           const char16_t* targetFolder, bool fullPath,
                                           const char16_t* newName) {
  std::u16string folder = targetFolder != nullptr ? targetFolder : u"";
  bool nameEmpty = newName != nullptr ? *newName == 0 : entryName.empty();
  if (nameEmpty) return folder;
  if (!folder.empty()) folder += u'\\';
  return folder + TargetPiece(entryName, fullPath, newName);
}

bool CZipReader::ExtractDirectory(const CZipEntryHeader& header, const std::u16string& target) {
  ZipHost::ForceDirectory(target);
  ZipHost::SetFileAttr(target, header.GetSystemAttr());
  return true;
}

// Entries of one folder usually follow each other: the folder that took the
// last file is not looked up again for the next one. Should the file not be
// created there after all (the folder went away meanwhile), the folder is
// made as usual and the file created again.
void CZipReader::CreateTargetFile(CZipDiskFile& file, const std::u16string& target) {
  constexpr uint32_t kCreate = FileCreate | FileDenyRead | FileWrite;
  const std::u16string folder = CZipPathParts(target).DirectoryPath();
  const bool known = !madeFolder.empty() && folder == madeFolder;
  if (!known) ZipHost::ForceDirectory(folder);
  file.Open(target, kCreate, true);
  if (file.IsClosed() && known) {
    ZipHost::ForceDirectory(folder);
    file.Open(target, kCreate, true);
  }
  madeFolder = file.IsClosed() ? std::u16string() : folder;
}

// Beyond the usual steps, a file entry is refused (false) when its name
// leaves nothing to write below the folder, or the target is longer than a device
// path can be; and a buffer size of 0 is refused whatever the folder, since
// the copy loop could never end. A file that could not be written in full
// (a full drive) is false too, although the entry is still read to its end
// and its CRC checked.
bool CZipReader::ExtractEntry(uint16_t index, const char16_t* targetFolder, bool fullPath,
                              const char16_t* newName, unsigned bufferSize) {
  if (bufferSize == 0) return false;
  CZipEntryHeader header;
  GetEntryInfo(header, index);
  std::u16string entryName = header.GetEntryName();
  if (TargetPiece(entryName, fullPath, newName).empty()) {
    return header.IsDirectory() && ExtractFolderItself(targetFolder);
  }
  std::u16string target = BuildTargetPath(entryName, targetFolder, fullPath, newName);
  if (target.size() >= platform::kMaxPath) return false;
  if (header.IsDirectory()) return ExtractDirectory(header, target);
  const bool fromAhead = ahead != nullptr && entryState == 0 && directory.IsValidIndex(index) &&
                         bufferSize == ahead->PieceSize() && OpenEntryAhead(index);
  if (!fromAhead && !OpenEntry(index)) return false;
  CZipDiskFile file;
  CreateTargetFile(file, target);
  uint8_t* buffer = extractBuffer.Allocate(bufferSize, false);
  bool written = true;
  for (;;) {
    unsigned n = ReadEntry(buffer, bufferSize);
    if (n > 0 && !file.Write(buffer, n)) written = false;
    if (n != bufferSize) break;
  }
  return CloseExtractedFile(file) == 1 && written;
}
