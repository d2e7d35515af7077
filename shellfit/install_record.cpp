// The install record: a short text file, written beside and renamed into
// place, whose last line is a CRC-32 of the lines before it.
#include "shellfit/install_record.h"

#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "shellfit/shellfit.h"

namespace shellfit {
namespace {

constexpr std::string_view kFirstLine = "fitkit install record 1";
constexpr uint64_t kTailBytes = 1 << 20;
constexpr uint32_t kMostRecordBytes = 4096;

std::u16string RecordPath(std::u16string_view target) {
  return InstallFolder(target) + u"\\install.rec";
}
std::u16string NewRecordPath(std::u16string_view target) {
  return InstallFolder(target) + u"\\install.new";
}

uint32_t Crc(std::string_view bytes) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

std::string Hex(uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08x", value);
  return text;
}

template <typename Number>
bool ParseNumber(std::string_view text, Number* out, int base) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *out, base);
  return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

const char* ModeName(InstallRecord::Mode mode) {
  return mode == InstallRecord::Mode::Staged ? "staged" : "in-place";
}

const char* StepName(InstallRecord::Step step) {
  switch (step) {
    case InstallRecord::Step::Committed:
      return "committed";
    case InstallRecord::Step::Moving:
      return "moving";
    case InstallRecord::Step::Unpacking:
      break;
  }
  return "unpacking";
}

bool ReadWhole(std::u16string_view path, std::string* out, uint32_t most) {
  auto file =
      platform::Files().Open(path, platform::AccessRead, platform::Disposition::OpenExisting);
  if (file == nullptr) return false;
  out->resize(most + 1);
  uint32_t got = 0, total = 0;
  while (total < out->size() && file->Read(out->data() + total, most + 1 - total, &got) &&
         got > 0) {
    total += got;
  }
  out->resize(total);
  return total <= most;
}

// The folder's own entry must be on the medium before anything in it counts.
bool MakeInstallFolder(std::u16string_view target) {
  const std::u16string folder = InstallFolder(target);
  const uint32_t attributes = platform::Files().GetAttributes(folder);
  if (attributes != platform::kInvalidAttributes &&
      (attributes & platform::FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return true;
  }
  return platform::Files().CreateDirectory(folder) && platform::Files().Flush(target);
}

}  // namespace

std::u16string InstallFolder(std::u16string_view target) {
  return WithBackslash(target) + u".fitkit";
}

std::u16string StagingFolder(std::u16string_view target) {
  return InstallFolder(target) + u"\\staging";
}

bool IsStagingFolder(std::u16string_view folder) {
  const std::u16string_view name = u"\\.fitkit\\staging";
  return folder.size() > name.size() && folder.substr(folder.size() - name.size()) == name;
}

std::string FormatInstallRecord(const InstallRecord& record) {
  std::string text = std::string(kFirstLine) + "\n";
  text += "mode " + std::string(ModeName(record.mode)) + "\n";
  text += "step " + std::string(StepName(record.step)) + "\n";
  text += "package " + platform::ToUtf8(record.package) + "\n";
  text += "package-size " + std::to_string(record.packageSize) + "\n";
  text += "package-tail-crc " + Hex(record.packageTailCrc) + "\n";
  return text + "check " + Hex(Crc(text)) + "\n";
}

std::optional<InstallRecord> ParseInstallRecord(std::string_view text) {
  const std::size_t checkAt = text.rfind("check ");
  uint32_t check = 0;
  if (checkAt == std::string_view::npos || !text.ends_with("\n") ||
      !ParseNumber(text.substr(checkAt + 6, text.size() - checkAt - 7), &check, 16) ||
      check != Crc(text.substr(0, checkAt))) {
    return std::nullopt;
  }
  std::map<std::string, std::string> fields;
  std::string_view body = text.substr(0, checkAt);
  if (!body.starts_with(std::string(kFirstLine) + "\n")) return std::nullopt;
  body.remove_prefix(kFirstLine.size() + 1);
  while (!body.empty()) {
    const std::size_t end = body.find('\n');
    const std::string_view line = body.substr(0, end);
    const std::size_t blank = line.find(' ');
    if (end == std::string_view::npos || blank == std::string_view::npos) return std::nullopt;
    fields[std::string(line.substr(0, blank))] = std::string(line.substr(blank + 1));
    body.remove_prefix(end + 1);
  }
  InstallRecord record;
  const std::string& mode = fields["mode"];
  const std::string& step = fields["step"];
  record.mode = mode == "staged" ? InstallRecord::Mode::Staged : InstallRecord::Mode::InPlace;
  record.step = step == "committed" ? InstallRecord::Step::Committed
                : step == "moving"  ? InstallRecord::Step::Moving
                                    : InstallRecord::Step::Unpacking;
  record.package = platform::FromUtf8(fields["package"]);
  const bool known = (mode == "staged" && (step == "committed" || step == "moving")) ||
                     (mode == "in-place" && step == "unpacking");
  if (!known || record.package.empty() ||
      !ParseNumber(fields["package-size"], &record.packageSize, 10) ||
      !ParseNumber(fields["package-tail-crc"], &record.packageTailCrc, 16)) {
    return std::nullopt;
  }
  return record;
}

std::optional<InstallRecord> ReadInstallRecord(std::u16string_view target) {
  std::string text;
  if (!ReadWhole(RecordPath(target), &text, kMostRecordBytes)) return std::nullopt;
  return ParseInstallRecord(text);
}

// Written beside, flushed, renamed over the old one and the folder flushed:
// whatever moment the power goes, the record is the old one or the new one.
bool WriteInstallRecord(std::u16string_view target, const InstallRecord& record) {
  if (!MakeInstallFolder(target)) return false;
  const std::string text = FormatInstallRecord(record);
  const std::u16string fresh = NewRecordPath(target);
  {
    auto file =
        platform::Files().Open(fresh, platform::AccessWrite, platform::Disposition::CreateAlways);
    if (file == nullptr || !file->Write(text.data(), static_cast<uint32_t>(text.size())) ||
        !file->Flush()) {
      return false;
    }
  }
  return platform::Files().MoveFile(fresh, RecordPath(target)) &&
         platform::Files().Flush(InstallFolder(target));
}

bool DropInstallRecord(std::u16string_view target) {
  const std::u16string path = RecordPath(target);
  if (platform::Files().GetAttributes(path) == platform::kInvalidAttributes) return true;
  return platform::Files().DeleteFile(path) && platform::Files().Flush(InstallFolder(target));
}

bool DescribePackage(std::u16string_view package, InstallRecord* record) {
  auto file =
      platform::Files().Open(package, platform::AccessRead, platform::Disposition::OpenExisting);
  uint64_t size = 0;
  if (file == nullptr || !file->GetSize(&size)) return false;
  const uint64_t tail = std::min(size, kTailBytes);
  if (!file->Seek(static_cast<int64_t>(size - tail), platform::SeekOrigin::Begin, nullptr)) {
    return false;
  }
  std::vector<unsigned char> buffer(65536);
  uLong crc = crc32(0, nullptr, 0);
  for (uint64_t left = tail; left > 0;) {
    uint32_t got = 0;
    const auto want = static_cast<uint32_t>(std::min<uint64_t>(left, buffer.size()));
    if (!file->Read(buffer.data(), want, &got) || got == 0) return false;
    crc = crc32(crc, buffer.data(), got);
    left -= got;
  }
  record->package = std::u16string(package);
  record->packageSize = size;
  record->packageTailCrc = static_cast<uint32_t>(crc);
  return true;
}

}  // namespace shellfit
