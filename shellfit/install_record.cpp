// The install record: a short text file, written beside and renamed into
// place, whose last line is a CRC-32 of the lines before it; and the
// check those texts share with the staging folder's list of files.
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

constexpr std::string_view kFirstLine = "fitkit install record 2";
constexpr uint64_t kTailBytes = 1 << 20;
constexpr uint32_t kMostRecordBytes = 4096;
// A checked text's last line: this, eight hex digits, "\n".
constexpr std::string_view kCheckField = "check ";

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
    case InstallRecord::Step::Placed:
      return "placed";
    case InstallRecord::Step::Unpacking:
      break;
  }
  return "unpacking";
}

std::optional<InstallRecord::Step> StepNamed(std::string_view name, InstallRecord::Mode mode) {
  if (mode == InstallRecord::Mode::InPlace) {
    return name == "unpacking" ? std::optional(InstallRecord::Step::Unpacking) : std::nullopt;
  }
  for (auto step :
       {InstallRecord::Step::Committed, InstallRecord::Step::Moving, InstallRecord::Step::Placed}) {
    if (name == StepName(step)) return step;
  }
  return std::nullopt;
}

// The folder's own entry must be on the medium before anything in it counts.
bool MakeInstallFolder(std::u16string_view target) {
  const std::u16string folder = InstallFolder(target);
  if (platform::Files().GetEntryKind(folder) == platform::EntryKind::Folder) return true;
  return platform::Files().CreateDirectory(folder) && platform::Files().Flush(target);
}

bool IsHexId(std::string_view text) {
  return text.size() == 32 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

}  // namespace

uint32_t Crc(std::string_view bytes, uint32_t before) {
  return static_cast<uint32_t>(
      crc32(before, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

std::string Hex(uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08x", value);
  return text;
}

std::string CheckedText(std::string body) {
  const uint32_t check = Crc(body);
  // Appended in place: a staging list of a big package is megabytes long.
  body.append(kCheckField).append(Hex(check)).append(1, '\n');
  return body;
}

bool CheckedTextPieces::Add(std::string_view piece) {
  check_ = Crc(piece, check_);
  ok_ = ok_ && take_(piece);
  return ok_;
}

bool CheckedTextPieces::Finish() {
  const std::string line = std::string(kCheckField) + Hex(check_) + "\n";
  ok_ = ok_ && take_(line);
  return ok_;
}

std::optional<TextLines> ParseCheckedText(std::string_view text, std::string_view firstLine) {
  const std::size_t checkAt = text.rfind(kCheckField);
  if (checkAt == std::string_view::npos || !text.ends_with("\n") ||
      (checkAt > 0 && text[checkAt - 1] != '\n')) {
    return std::nullopt;
  }
  // The digits lie between the field's name and the final "\n".
  std::string_view digits = text.substr(checkAt + kCheckField.size());
  digits.remove_suffix(1);
  uint32_t check = 0;
  if (!ParseNumber(digits, &check, 16) || check != Crc(text.substr(0, checkAt))) {
    return std::nullopt;
  }
  std::string_view body = text.substr(0, checkAt);
  if (!body.starts_with(firstLine) || body.substr(firstLine.size(), 1) != "\n") {
    return std::nullopt;
  }
  body.remove_prefix(firstLine.size() + 1);
  TextLines lines;
  while (!body.empty()) {
    const std::size_t end = body.find('\n');
    const std::string_view line = body.substr(0, end);
    const std::size_t blank = line.find(' ');
    if (end == std::string_view::npos || blank == std::string_view::npos) return std::nullopt;
    lines.emplace_back(line.substr(0, blank), line.substr(blank + 1));
    body.remove_prefix(end + 1);
  }
  return lines;
}

std::u16string InstallFolder(std::u16string_view target) {
  return WithBackslash(target) + u".fitkit";
}

std::u16string StagingFolder(std::u16string_view target) {
  return InstallFolder(target) + u"\\staging";
}

std::u16string OldShellFolder(std::u16string_view target) {
  return InstallFolder(target) + u"\\old";
}

std::u16string RecordPath(std::u16string_view target) {
  return InstallFolder(target) + u"\\install.rec";
}

bool IsStagingFolder(std::u16string_view folder) {
  const std::u16string_view name = u"\\.fitkit\\staging";
  return folder.size() > name.size() && folder.substr(folder.size() - name.size()) == name;
}

std::string FormatInstallRecord(const InstallRecord& record) {
  std::string text = std::string(kFirstLine) + "\n";
  text += "mode " + std::string(ModeName(record.mode)) + "\n";
  text += "step " + std::string(StepName(record.step)) + "\n";
  if (record.mode == InstallRecord::Mode::Staged) {
    text += "install " + record.install + "\n";
    text += "list-crc " + Hex(record.listCrc) + "\n";
  }
  text += "package " + platform::ToUtf8(record.package) + "\n";
  text += "package-size " + std::to_string(record.packageSize) + "\n";
  text += "package-tail-crc " + Hex(record.packageTailCrc) + "\n";
  if (record.securityVersion) {
    text += "security-version " + std::to_string(*record.securityVersion) + "\n";
  }
  return CheckedText(std::move(text));
}

std::optional<InstallRecord> ParseInstallRecord(std::string_view text) {
  const auto lines = ParseCheckedText(text, kFirstLine);
  if (!lines) return std::nullopt;
  std::map<std::string_view, std::string_view> fields(lines->begin(), lines->end());
  if (fields.size() != lines->size()) return std::nullopt;  // a name twice
  InstallRecord record;
  const std::string_view mode = fields["mode"];
  if (mode != "staged" && mode != "in-place") return std::nullopt;
  record.mode = mode == "staged" ? InstallRecord::Mode::Staged : InstallRecord::Mode::InPlace;
  const auto step = StepNamed(fields["step"], record.mode);
  if (!step) return std::nullopt;
  record.step = *step;
  record.package = platform::FromUtf8(std::string(fields["package"]));
  if (record.mode == InstallRecord::Mode::Staged) {
    record.install = std::string(fields["install"]);
    if (!IsHexId(record.install) || !ParseNumber(fields["list-crc"], &record.listCrc, 16)) {
      return std::nullopt;
    }
  }
  if (record.package.empty() || !ParseNumber(fields["package-size"], &record.packageSize, 10) ||
      !ParseNumber(fields["package-tail-crc"], &record.packageTailCrc, 16)) {
    return std::nullopt;
  }
  // Written only for a signed release.
  if (const auto security = fields.find("security-version"); security != fields.end()) {
    uint32_t version = 0;
    if (!ParseNumber(security->second, &version, 10)) return std::nullopt;
    record.securityVersion = version;
  }
  return record;
}

bool ReadPlainFile(std::u16string_view path, std::string* out, uint32_t most) {
  if (platform::Files().GetEntryKind(path) != platform::EntryKind::File) return false;
  auto file =
      platform::Files().Open(path, platform::AccessRead, platform::Disposition::OpenExisting);
  if (file == nullptr) return false;
  out->resize(std::size_t(most) + 1);
  uint32_t got = 0;
  std::size_t total = 0;
  while (total < out->size() &&
         file->Read(out->data() + total, static_cast<uint32_t>(out->size() - total), &got) &&
         got > 0) {
    total += got;
  }
  out->resize(total);
  return total <= most;
}

std::optional<InstallRecord> ReadInstallRecord(std::u16string_view target) {
  std::string text;
  if (!ReadPlainFile(RecordPath(target), &text, kMostRecordBytes)) return std::nullopt;
  return ParseInstallRecord(text);
}

// Written beside, flushed, renamed over the old one and the folder flushed:
// whatever moment the power goes, the file is the old one or the new one.
bool WriteFileInOneStep(std::u16string_view path, std::string_view text) {
  const std::u16string fresh = std::u16string(path) + u".new";
  {
    auto file =
        platform::Files().Open(fresh, platform::AccessWrite, platform::Disposition::CreateAlways);
    if (file == nullptr || !file->Write(text.data(), static_cast<uint32_t>(text.size())) ||
        !file->Flush()) {
      return false;
    }
  }
  const std::size_t slash = path.rfind(u'\\');
  return platform::Files().MoveFile(fresh, path) &&
         platform::Files().Flush(path.substr(0, slash == std::u16string_view::npos ? 0 : slash));
}

bool WriteInstallRecord(std::u16string_view target, const InstallRecord& record) {
  return MakeInstallFolder(target) &&
         WriteFileInOneStep(RecordPath(target), FormatInstallRecord(record));
}

bool DropInstallRecord(std::u16string_view target) {
  const std::u16string path = RecordPath(target);
  if (platform::Files().GetEntryKind(path) == platform::EntryKind::None) return true;
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
