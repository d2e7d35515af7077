#include "fitkit/overlay_file_system.h"

#include "host/command_host.h"
#include "platform/text.h"
#include "platform/wildcard.h"

namespace fitkit {
namespace fs = std::filesystem;
namespace {

constexpr uint32_t kShownFileAttributes =
    platform::FILE_ATTRIBUTE_ARCHIVE | platform::FILE_ATTRIBUTE_READONLY;

bool IsRegularFile(const fs::path& path) {
  std::error_code error;
  return fs::is_regular_file(path, error);
}

}  // namespace

OverlayFileSystem::OverlayFileSystem(platform::FileSystem& inner, std::u16string devicePath,
                                     fs::path hostPath)
    : FileSystemWrapper(inner),
      inner_(inner),
      devicePath_(std::move(devicePath)),
      hostPath_(std::move(hostPath)) {
  std::error_code error;
  folder_ = fs::is_directory(hostPath_, error);
}

bool OverlayFileSystem::IsShown(std::u16string_view path) const {
  if (platform::EqualsNoCase(path, devicePath_)) return true;
  if (!folder_ || path.size() <= devicePath_.size() + 1) return false;
  return path[devicePath_.size()] == u'\\' &&
         platform::EqualsNoCase(path.substr(0, devicePath_.size()), devicePath_) &&
         path.find(u'\\', devicePath_.size() + 1) == std::u16string_view::npos;
}

std::optional<fs::path> OverlayFileSystem::HostPathOf(std::u16string_view path) const {
  if (platform::EqualsNoCase(path, devicePath_)) return hostPath_;
  const std::u16string_view name = path.substr(devicePath_.size() + 1);
  // The device finds names whatever their letter case; its own case first.
  if (IsRegularFile(hostPath_ / platform::ToUtf8(name))) return hostPath_ / platform::ToUtf8(name);
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(hostPath_, error)) {
    if (platform::EqualsNoCase(platform::FromUtf8(entry.path().filename().string()), name) &&
        entry.is_regular_file(error)) {
      return entry.path();
    }
  }
  return std::nullopt;
}

std::unique_ptr<platform::File> OverlayFileSystem::Open(std::u16string_view path, uint32_t access,
                                                        platform::Disposition disposition) {
  if (!IsShown(path)) return inner_.Open(path, access, disposition);
  const auto host = HostPathOf(path);
  if ((access & platform::AccessWrite) != 0 || !host) return nullptr;
  return host::OpenHostFileForReading(*host);
}

uint32_t OverlayFileSystem::GetAttributes(std::u16string_view path) {
  if (!IsShown(path)) return inner_.GetAttributes(path);
  const auto host = HostPathOf(path);
  if (!host) return platform::kInvalidAttributes;
  std::error_code error;
  if (fs::is_directory(*host, error)) return platform::FILE_ATTRIBUTE_DIRECTORY;
  return IsRegularFile(*host) ? kShownFileAttributes : platform::kInvalidAttributes;
}

platform::EntryKind OverlayFileSystem::GetEntryKind(std::u16string_view path) {
  if (!IsShown(path)) return inner_.GetEntryKind(path);
  return FileSystem::GetEntryKind(path);
}

bool OverlayFileSystem::SetAttributes(std::u16string_view path, uint32_t attributes) {
  return !IsShown(path) && inner_.SetAttributes(path, attributes);
}

bool OverlayFileSystem::DeleteFile(std::u16string_view path) {
  return !IsShown(path) && inner_.DeleteFile(path);
}

bool OverlayFileSystem::CreateDirectory(std::u16string_view path) {
  return !IsShown(path) && inner_.CreateDirectory(path);
}

bool OverlayFileSystem::MoveFile(std::u16string_view from, std::u16string_view to) {
  return !IsShown(from) && !IsShown(to) && inner_.MoveFile(from, to);
}

bool OverlayFileSystem::RemoveDirectory(std::u16string_view path) {
  return !IsShown(path) && inner_.RemoveDirectory(path);
}

bool OverlayFileSystem::CanCreate(std::u16string_view path) {
  return !IsShown(path) && inner_.CanCreate(path);
}

// The shown folder's files whose names match, in the host's order.
std::vector<platform::FindData> OverlayFileSystem::FindInFolder(
    std::u16string_view wildcard) const {
  std::vector<platform::FindData> found;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(hostPath_, error)) {
    const std::u16string name = platform::FromUtf8(entry.path().filename().string());
    if (!entry.is_regular_file(error) || !platform::MatchWildcard(wildcard, name)) continue;
    platform::FindData file;
    file.name = name;
    file.attributes = kShownFileAttributes;
    file.size = entry.file_size(error);
    found.push_back(std::move(file));
  }
  return found;
}

std::vector<platform::FindData> OverlayFileSystem::Find(std::u16string_view pattern) {
  if (!IsShown(pattern)) return inner_.Find(pattern);
  if (folder_ && !platform::EqualsNoCase(pattern, devicePath_)) {
    return FindInFolder(pattern.substr(devicePath_.size() + 1));
  }
  platform::FindData found;
  found.name = devicePath_.substr(devicePath_.rfind(u'\\') + 1);
  found.attributes = GetAttributes(pattern);
  if (found.attributes == platform::kInvalidAttributes) return {};
  std::error_code error;
  if (!folder_) found.size = fs::file_size(hostPath_, error);
  return {found};
}

}  // namespace fitkit
