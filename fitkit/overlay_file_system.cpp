#include "fitkit/overlay_file_system.h"

#include "host/command_host.h"
#include "platform/text.h"

namespace fitkit {

OverlayFileSystem::OverlayFileSystem(platform::FileSystem& inner, std::u16string devicePath,
                                     std::filesystem::path hostFile)
    : FileSystemWrapper(inner), inner_(inner) {
  Add(std::move(devicePath), std::move(hostFile));
}

void OverlayFileSystem::Add(std::u16string devicePath, std::filesystem::path hostFile) {
  shown_.push_back({std::move(devicePath), std::move(hostFile)});
}

const OverlayFileSystem::Shown* OverlayFileSystem::ShownAt(std::u16string_view path) const {
  for (const Shown& shown : shown_) {
    if (platform::EqualsNoCase(path, shown.devicePath)) return &shown;
  }
  return nullptr;
}

std::unique_ptr<platform::File> OverlayFileSystem::Open(std::u16string_view path, uint32_t access,
                                                        platform::Disposition disposition) {
  const Shown* shown = ShownAt(path);
  if (shown == nullptr) return inner_.Open(path, access, disposition);
  if ((access & platform::AccessWrite) != 0) return nullptr;
  return host::OpenHostFileForReading(shown->hostFile);
}

uint32_t OverlayFileSystem::GetAttributes(std::u16string_view path) {
  const Shown* shown = ShownAt(path);
  if (shown == nullptr) return inner_.GetAttributes(path);
  std::error_code error;
  return std::filesystem::is_regular_file(shown->hostFile, error)
             ? platform::FILE_ATTRIBUTE_ARCHIVE | platform::FILE_ATTRIBUTE_READONLY
             : platform::kInvalidAttributes;
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

std::vector<platform::FindData> OverlayFileSystem::Find(std::u16string_view pattern) {
  const Shown* shown = ShownAt(pattern);
  if (shown == nullptr) return inner_.Find(pattern);
  std::error_code error;
  const auto size = std::filesystem::file_size(shown->hostFile, error);
  if (error) return {};
  platform::FindData found;
  found.name = shown->devicePath.substr(shown->devicePath.rfind(u'\\') + 1);
  found.attributes = GetAttributes(pattern);
  found.size = size;
  return {found};
}

}  // namespace fitkit
