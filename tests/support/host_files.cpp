#include "tests/support/host_files.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <sstream>

namespace test_support {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<uint8_t> ReadBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> ReadLines(const fs::path& file) {
  std::ifstream in(file);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void WriteText(const fs::path& file, const std::string& text) {
  if (file.has_parent_path()) fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text;
}

void WriteBytes(const fs::path& file, const std::vector<uint8_t>& bytes) {
  WriteText(file, std::string(bytes.begin(), bytes.end()));
}

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

void SetModTime(const fs::path& file, int64_t secondsSinceEpoch) {
  timespec times[2] = {{secondsSinceEpoch, 0}, {secondsSinceEpoch, 0}};
  utimensat(AT_FDCWD, file.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

std::map<std::string, std::string> SnapshotTree(const fs::path& folder) {
  std::map<std::string, std::string> tree;
  std::error_code error;
  for (const auto& entry : fs::recursive_directory_iterator(folder, error)) {
    const std::string relative = entry.path().lexically_relative(folder).string();
    const auto status = fs::symlink_status(entry.path());
    std::string state = entry.is_directory() ? "<dir>" : ReadText(entry.path());
    state += " mode=" + std::to_string(static_cast<unsigned>(status.permissions()));
    state +=
        " mtime=" + std::to_string(fs::last_write_time(entry.path()).time_since_epoch().count());
    tree[relative] = state;
  }
  return tree;
}

std::vector<uint8_t> Utf16Bytes(std::u16string_view text, bool terminator) {
  std::vector<uint8_t> bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  if (terminator) bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

std::string Utf16FileBytes(std::u16string_view text) {
  const std::vector<uint8_t> units = Utf16Bytes(text, false);
  return "\xFF\xFE" + std::string(units.begin(), units.end());
}

}  // namespace test_support
