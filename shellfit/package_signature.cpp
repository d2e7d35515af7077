#include "shellfit/package_signature.h"

#include <memory>
#include <vector>

#include "frame/update_dialog.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "shellfit/package_fit.h"
#include "shellfit/shellfit.h"
#include "shellfit/update_report.h"
#include "signature/update_signature.h"
#include "zipreader/zip_reader.h"

namespace shellfit {
namespace {

using signature::Refusal;

// The BLAKE2b-512 of the whole held file, read through the reader's own
// stream, whose position is put back for the reader.
bool HeldDigest(CZipStream& file, signature::Digest* digest) {
  constexpr uint32_t kChunk = 1 << 20;
  const uint32_t position = file.GetPosition();
  const uint32_t length = file.GetLength();
  if (position == kZipBadPosition || length == kZipBadPosition || file.SeekToBegin() != 0) {
    return false;
  }
  auto chunk = std::make_unique<uint8_t[]>(kChunk);
  signature::FileDigest hash;
  uint64_t total = 0;
  for (uint32_t got; (got = file.Read(chunk.get(), kChunk)) > 0;) {
    hash.Update(chunk.get(), got);
    total += got;
  }
  *digest = hash.Final();
  return total == length && file.Seek(int32_t(position), SeekBegin) == position;
}

}  // namespace

bool PackageSignatureHolds(std::u16string_view package) {
  const signature::DeviceKeys keys = signature::ReadDeviceKeys();
  if (!keys.required) return true;
  auto file =
      platform::Files().Open(package, platform::AccessRead, platform::Disposition::OpenExisting);
  if (file == nullptr) return false;
  std::vector<uint8_t> chunk(1 << 20);
  signature::FileDigest hash;
  uint32_t got = 0;
  while (file->Read(chunk.data(), uint32_t(chunk.size()), &got) && got > 0) {
    hash.Update(chunk.data(), got);
  }
  return signature::CheckSignature(keys, package, hash.Final(), Model).refusal == Refusal::None;
}

bool CheckPackageSignature(platform::Dialog& dialog, CZipReader& reader,
                           std::u16string_view package) {
  const signature::DeviceKeys keys = signature::ReadDeviceKeys();
  if (!keys.required) {
    signature::NoteSignatureNotRequired();
    return true;
  }
  CZipStream* file = reader.ArchiveFile();
  signature::SignatureCheck check;
  signature::Digest digest{};
  std::u16string text;
  // One signature covers one file: a package split into volumes has none.
  if (reader.Directory().EndRecord().thisDisk != 0) {
    check.refusal = Refusal::Unreadable;
    text = std::u16string(package) +
           u" is split into several files, and only a package in one file can be signed.";
  } else if (file == nullptr || !HeldDigest(*file, &digest)) {
    check.refusal = Refusal::Unreadable;
    text = std::u16string(package) + u" cannot be read, so its signature cannot be checked.";
  } else {
    check = signature::CheckSignature(keys, package, digest, Model);
  }
  signature::NoteSignature(package, check);
  if (check.refusal == Refusal::None) return true;
  text = text.empty() ? signature::RefusalText(package, Model, check)
                      : text + std::u16string(kNothingChanged);
  NoteRefusedFit(text);
  frame::ShowMessageBox(dialog, text, kNoticeStyle);
  return false;
}

}  // namespace shellfit
