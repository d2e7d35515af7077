// A path split into prefix, folders, title and extension, and put together
// again. "\" is the only separator; "/" is an ordinary character here.
#pragma once

#include <string>
#include <string_view>

class CZipPathParts {
 public:
  CZipPathParts() = default;
  explicit CZipPathParts(const std::u16string& path) { SplitPath(path); }
  virtual ~CZipPathParts() = default;

  void SplitPath(const std::u16string& path);

  std::u16string FileName() const;
  std::u16string DirectoryPath() const;
  std::u16string FullPath() const;
  std::u16string PathWithoutPrefix() const;
  const std::u16string& GetDirectory() const { return directory; }
  const std::u16string& GetTitle() const { return title; }
  const std::u16string& GetExtension() const { return extension; }
  const std::u16string& GetPrefix() const { return prefix; }
  void SetExtension(std::u16string_view text);

 private:
  void AppendFileName(std::u16string& text) const;

  std::u16string directory;
  std::u16string title;
  std::u16string extension;
  std::u16string prefix;
};
