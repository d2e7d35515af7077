#include "package_files.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>

#include "tests/zipreader/zip_builder.h"

namespace shellfit_test {

void Zip(const fs::path& archive, const fs::path& from, const std::vector<std::string>& names,
         const std::string& password) {
  using test_support::Quote;
  fs::create_directories(archive.parent_path());
  std::string command = std::string("cd ")
                            .append(Quote(from.string()))
                            .append(" && TZ=UTC zip -q -r -X -P ")
                            .append(Quote(password))
                            .append(" ")
                            .append(Quote(fs::absolute(archive).string()));
  for (const auto& name : names) command.append(" ").append(Quote(name));
  if (std::system(command.c_str()) != 0) throw std::runtime_error("zip failed: " + command);
}

void ZipFixedHeaders(const fs::path& archive, const fs::path& from,
                     const std::vector<std::string>& names, const std::string& password) {
  zip_test::ZipBuilder b;
  b.password = password;
  auto add = [&](const fs::path& path) {
    const std::string name = fs::relative(path, from).generic_string();
    if (fs::is_directory(path)) {
      b.entries.push_back({.name = name + "/", .externalAttr = 0x41ED0010});
    } else {
      b.entries.push_back({.name = name, .data = ReadText(path), .encrypt = true});
    }
  };
  for (const auto& name : names) {
    std::vector<fs::path> paths{from / name};
    if (fs::is_directory(from / name)) {
      for (const auto& below : fs::recursive_directory_iterator(from / name)) {
        paths.push_back(below.path());
      }
    }
    std::sort(paths.begin(), paths.end());
    for (const auto& path : paths) add(path);
  }
  fs::create_directories(archive.parent_path());
  WriteText(archive, b.Build().bytes);
}

std::size_t FirstEntryDataOffset(const fs::path& archive) {
  const std::string zip = ReadText(archive);
  auto le16 = [&](std::size_t at) {
    return static_cast<std::size_t>(static_cast<uint8_t>(zip[at]) |
                                    static_cast<uint8_t>(zip[at + 1]) << 8);
  };
  return 30 + le16(26) + le16(28);
}

fs::path PeFixture(const std::string& name) { return fs::path(FITKIT_PE_FIXTURES) / name; }

}  // namespace shellfit_test
