#include "zipreader/zip_path_parts.h"

#include <algorithm>

#include "platform/text.h"

namespace {

// How many leading characters of `path` (lower-cased) match "\\?\unc\".
size_t PrefixMatch(const std::u16string& path) {
  static constexpr std::u16string_view kLongest = u"\\\\?\\unc\\";
  size_t k = std::min<size_t>(path.size(), kLongest.size());
  size_t count = 0;
  while (count < k && platform::LowerUnit(path[count]) == kLongest[count]) ++count;
  return count;
}

std::u16string Trimmed(const std::u16string& text) {
  size_t first = text.find_first_not_of(u'\\');
  if (first == std::u16string::npos) return {};
  size_t last = text.find_last_not_of(u'\\');
  return text.substr(first, last - first + 1);
}

}  // namespace

void CZipPathParts::SplitPath(const std::u16string& path) {
  size_t count = PrefixMatch(path);
  bool hasPrefix = count == 2 || count == 4 || count == 8;
  prefix = hasPrefix ? path.substr(0, count) : std::u16string();
  std::u16string rest = hasPrefix ? path.substr(count) : path;

  std::u16string name = rest;
  std::u16string folders;
  size_t slash = rest.rfind(u'\\');
  if (slash != std::u16string::npos) {
    folders = rest.substr(0, slash + 1);
    name = rest.substr(slash + 1);
  }
  size_t dot = name.rfind(u'.');
  if (dot != std::u16string::npos) {
    title = name.substr(0, dot);
    SetExtension(name.substr(dot));
  } else {
    title = name;
    extension.clear();
  }
  directory = Trimmed(folders);
}

std::u16string CZipPathParts::FileName() const {
  return extension.empty() ? title : title + u"." + extension;
}

std::u16string CZipPathParts::DirectoryPath() const { return prefix + directory; }

std::u16string CZipPathParts::FullPath() const {
  std::u16string fileName = FileName();
  std::u16string result = DirectoryPath();
  if (!fileName.empty()) result += u"\\" + fileName;
  return result;
}

std::u16string CZipPathParts::PathWithoutPrefix() const {
  std::u16string fileName = FileName();
  std::u16string result = directory;
  if (!directory.empty() && !fileName.empty()) result += u"\\";
  return result + fileName;
}

void CZipPathParts::SetExtension(const std::u16string& text) {
  size_t first = text.find_first_not_of(u'.');
  extension = first == std::u16string::npos ? std::u16string() : text.substr(first);
}
