#include "fitkit/overlay_file_system.h"

#include "host/command_host.h"
#include "platform/text.h"

namespace fitkit {

OverlayFileSystem::OverlayFileSystem(platform::FileSystem& inner, std::u16string devicePath,
                                     std::filesystem::path hostFile)
    : FileSystemWrapper(inner),
      inner_(inner),
      devicePath_(std::move(devicePath)),
      hostFile_(std::move(hostFile)) {}

bool OverlayFileSystem::IsShown(std::u16string_view path) const {
  return platform::EqualsNoCase(path, devicePath_);
}

std::unique_ptr<platform::File> OverlayFileSystem::Open(std::u16string_view path, uint32_t access,
                                                        platform::Disposition disposition) {
  if (!IsShown(path)) return inner_.Open(path, access, disposition);
  if ((access & platform::AccessWrite) != 0) return nullptr;
  return host::OpenHostFileForReading(hostFile_);
}

uint32_t OverlayFileSystem::GetAttributes(std::u16string_view path) {
  if (!IsShown(path)) return inner_.GetAttributes(path);
  std::error_code error;
  return std::filesystem::is_regular_file(hostFile_, error)
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
  if (!IsShown(pattern)) return inner_.Find(pattern);
  std::error_code error;
  const auto size = std::filesystem::file_size(hostFile_, error);
  if (error) return {};
  platform::FindData found;
  found.name = devicePath_.substr(devicePath_.rfind(u'\\') + 1);
  found.attributes = GetAttributes(pattern);
  found.size = size;
  return {found};
}

}  // namespace fitkit
