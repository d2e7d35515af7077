#include "fitkit/package_check.h"

#include "frame/device_identity.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "readers/version_pe.h"
#include "report/outcome_words.h"
#include "shellfit/package_decision.h"
#include "shellfit/package_fit.h"
#include "shellfit/shellfit.h"
#include "zipreader/zip_reader.h"

namespace fitkit {
namespace {

using platform::ToUtf8;

// A main.exe larger than this is not read into memory for its version.
constexpr uint32_t kLargestReadExecutable = 64u << 20;

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// The entry read into memory with the password; none when it cannot be.
std::optional<std::vector<uint8_t>> ReadEntry(CZipReader& reader, uint16_t index, uint32_t size) {
  if (size > kLargestReadExecutable || !reader.OpenEntry(index)) return std::nullopt;
  std::vector<uint8_t> bytes(size);
  uint32_t done = 0;
  while (done < size) {
    const unsigned got = reader.ReadEntry(bytes.data() + done, size - done);
    if (got == 0) break;
    done += got;
  }
  if (reader.CloseEntry(nullptr, false) != 1 || done != size) return std::nullopt;
  return bytes;
}

std::optional<std::string> MainExeVersion(CZipReader& reader) {
  CZipEntryHeader header;
  for (unsigned index = 0; index <= 0xFFFF && reader.GetEntryInfo(header, index); ++index) {
    if (!platform::EqualsNoCase(header.GetEntryName(), u"main.exe")) continue;
    const auto bytes = ReadEntry(reader, uint16_t(index), header.uncompressedSize);
    if (!bytes) return std::nullopt;
    readers::MemoryByteSource source(bytes->data(), bytes->size());
    const auto block = readers::FindVersionResource(source);
    return block ? ToUtf8(shellfit::FileVersionIn(*block)) : std::string();
  }
  return std::nullopt;
}

void ReadEntries(CZipReader& reader, PackageFacts* facts) {
  CZipEntryHeader header;
  for (unsigned index = 0; index <= 0xFFFF && reader.GetEntryInfo(header, index); ++index) {
    EntryFacts entry;
    entry.name = ToUtf8(header.GetEntryName());
    entry.size = header.uncompressedSize;
    entry.packed = header.compressedSize;
    entry.crc = header.crc32;
    entry.method = header.method;
    entry.folder = header.IsDirectory();
    entry.encrypted = header.IsEncrypted();
    if (!entry.folder) {
      ++facts->files;
      facts->bytes += entry.size;
    }
    facts->entries.push_back(std::move(entry));
  }
}

void CheckName(const std::string& hostName, const std::vector<std::string>& models,
               Findings* found) {
  const std::u16string name = platform::FromUtf8(hostName);
  for (const std::string& model : models) {
    const std::u16string wanted = shellfit::PackageNameFor(platform::FromUtf8(model));
    if (platform::EqualsNoCase(name, wanted)) {
      found->Ok("named " + Quoted(ToUtf8(wanted)) + ", as shellfit on a " + Quoted(model) +
                " device looks for it");
    } else if (shellfit::IsOtherPackageName(name)) {
      // shellfit takes it when no package is named for the model, and
      // fitkit rehearse places it under that name: neither refuses it.
      found->Note("named for another model: a " + Quoted(model) + " device looks for " +
                  Quoted(ToUtf8(wanted)) + " first, and takes this one only when that is " +
                  "missing and this is the first *.zip in the folder");
    } else {
      found->Note("shellfit would not find it as " + Quoted(hostName) + ": copy it as " +
                  Quoted(ToUtf8(wanted)) + " (fitkit rehearse does)");
    }
  }
}

void CheckVersion(const std::u16string& target, const PackageFacts& facts, Findings* found) {
  std::u16string installed;
  shellfit::GetFileVersionString(shellfit::WithBackslash(target) + u"main.exe", &installed);
  const std::string packaged = facts.mainExe.value_or("");
  if (installed.empty() || packaged.empty()) {
    found->Note("main.exe " +
                (installed.empty() ? std::string("has no installed version")
                                   : "installed " + ToUtf8(installed)) +
                (packaged.empty() ? ", none in the package" : ", packaged " + packaged) +
                ": shellfit /upgrade would install it");
    return;
  }
  const auto form = frame::VersionForm::Plain;
  if (frame::ParseVersion(installed, form) <
      frame::ParseVersion(platform::FromUtf8(packaged), form)) {
    found->Ok("main.exe " + ToUtf8(installed) + " -> " + packaged + ": newer");
  } else {
    found->Note("main.exe " + packaged + " is not newer than the installed " + ToUtf8(installed) +
                ": shellfit /upgrade would not start; START and /force install it anyway");
  }
}

std::string CannotBeRead(const shellfit::PackageStatus& status) {
  return "the package cannot be read: " + report::ZipErrorWords(status.zipError());
}

// What shellfit's START decides, in its order: the package opens with the
// password and uses nothing the reader cannot read; the device can take it;
// every entry reads through.
void CheckReadAndFit(const std::u16string& path, const std::u16string& target, Findings* found) {
  CZipReader reader;
  if (const shellfit::PackageStatus opened = shellfit::OpenHeldPackage(reader, path);
      !opened.ok()) {
    found->Problem(CannotBeRead(opened));
    return;
  }
  const shellfit::PackageDecision decision = shellfit::DecidePackage(
      reader, path, target, shellfit::ReadThrough::kAlways, nullptr, nullptr);
  const shellfit::PackageStatus& status = decision.status;
  if (!decision.fits) {
    found->Problem(status.kind() == shellfit::PackageStatus::Kind::kUnreadable
                       ? CannotBeRead(status)
                   : status.kind() == shellfit::PackageStatus::Kind::kUnsupported
                       ? ToUtf8(status.words())
                       : ToUtf8(shellfit::RefusalSentence(status)));
    return;
  }
  found->Ok("every name can be written to " + ToUtf8(target) + ", and there is room");
  if (!decision.readThrough) {
    found->Problem(CannotBeRead(status));
    return;
  }
  found->Ok("the password opens every entry, and every entry's data matches its CRC-32");
}

}  // namespace

PackageFacts InspectPackage(const std::u16string& devicePath) {
  PackageFacts facts;
  facts.path = devicePath;
  const auto listed = platform::Files().Find(devicePath);
  if (listed.size() == 1) facts.size = listed.front().size;
  CZipReader reader;
  try {
    reader.OpenArchive(devicePath, 1, 0);
    ReadEntries(reader, &facts);
    if (reader.SetPassword(std::u16string(shellfit::kPackagePassword))) {
      facts.mainExe = MainExeVersion(reader);
    }
  } catch (const CZipException& error) {
    facts.openError = error.code;
  }
  return facts;
}

Findings CheckPackage(const std::u16string& devicePath, const std::string& hostName,
                      const std::vector<std::string>& models, bool realDevice) {
  Findings found;
  const PackageFacts facts = InspectPackage(devicePath);
  std::u16string target;
  frame::GetFlashDriveFolder(&target);
  if (facts.openError != 0) {
    found.Problem("the package cannot be read: " + report::ZipErrorWords(facts.openError));
  } else {
    CheckName(hostName, models, &found);
    CheckReadAndFit(devicePath, target, &found);
    if (realDevice) CheckVersion(target, facts, &found);
  }
  const std::string where = realDevice ? " to " + ToUtf8(target) : std::string();
  if (const std::string* problem = found.FirstProblem()) {
    found.verdict = "would be refused: " + *problem;
  } else {
    found.verdict = "would install " + report::WithThousands(facts.files) +
                    (facts.files == 1 ? " file (" : " files (") +
                    report::WithThousands(facts.bytes) + " bytes)" + where +
                    (!facts.mainExe           ? ", no main.exe"
                     : facts.mainExe->empty() ? ", main.exe without a version"
                                              : ", main.exe " + *facts.mainExe);
  }
  return found;
}

}  // namespace fitkit
