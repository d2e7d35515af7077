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

std::u16string_view Trimmed(std::u16string_view text) {
  size_t first = text.find_first_not_of(u'\\');
  if (first == std::u16string_view::npos) return {};
  size_t last = text.find_last_not_of(u'\\');
  return text.substr(first, last - first + 1);
}

}  // namespace

// Views of `path` until each part is stored: every extracted entry's name is
// split more than once.
void CZipPathParts::SplitPath(const std::u16string& path) {
  if (&path == &directory || &path == &title || &path == &extension || &path == &prefix) {
    const std::u16string copy = path;
    return SplitPath(copy);
  }
  const std::u16string_view whole(path);
  size_t count = PrefixMatch(path);
  bool hasPrefix = count == 2 || count == 4 || count == 8;
  prefix.assign(whole.substr(0, hasPrefix ? count : 0));
  const std::u16string_view rest = whole.substr(hasPrefix ? count : 0);

  std::u16string_view name = rest;
  std::u16string_view folders;
  size_t slash = rest.rfind(u'\\');
  if (slash != std::u16string_view::npos) {
    folders = rest.substr(0, slash + 1);
    name = rest.substr(slash + 1);
  }
  size_t dot = name.rfind(u'.');
  if (dot != std::u16string_view::npos) {
    title.assign(name.substr(0, dot));
    SetExtension(name.substr(dot));
  } else {
    title.assign(name);
    extension.clear();
  }
  directory.assign(Trimmed(folders));
}

std::u16string CZipPathParts::FileName() const {
  std::u16string name;
  AppendFileName(name);
  return name;
}

void CZipPathParts::AppendFileName(std::u16string& text) const {
  text += title;
  if (!extension.empty()) text.append(1, u'.').append(extension);
}

std::u16string CZipPathParts::DirectoryPath() const { return prefix + directory; }

std::u16string CZipPathParts::FullPath() const {
  std::u16string fileName = FileName();
  std::u16string result = DirectoryPath();
  if (!fileName.empty()) result += u"\\" + fileName;
  return result;
}

std::u16string CZipPathParts::PathWithoutPrefix() const {
  std::u16string result;
  result.reserve(directory.size() + title.size() + extension.size() + 2);
  result = directory;
  if (!directory.empty() && !(title.empty() && extension.empty())) result += u'\\';
  AppendFileName(result);
  return result;
}

void CZipPathParts::SetExtension(std::u16string_view text) {
  size_t first = text.find_first_not_of(u'.');
  extension.assign(first == std::u16string_view::npos ? std::u16string_view() : text.substr(first));
}
