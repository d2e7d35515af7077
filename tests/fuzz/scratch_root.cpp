#include "tests/fuzz/scratch_root.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace fuzz_support {
namespace fs = std::filesystem;

namespace {

void Write(const fs::path& file, const std::string& text) {
  std::ofstream(file, std::ios::binary) << text;
}

}  // namespace

ScratchRoot& ScratchRoot::Get() {
  static ScratchRoot root;
  return root;
}

ScratchRoot::ScratchRoot() {
  std::string pattern = (fs::temp_directory_path() / "fitkit-fuzz-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) std::abort();
  root_ = pattern;
  fs::create_directories(root_ / "outside" / "deep");
  Write(root_ / "device.ini", "[screen]\nwidth = 480\n");
  Write(root_ / "outside" / "sentinel.txt", "must stay as it is\n");
  MakeFileSystem();
  expected_ = Listing();
}

void ScratchRoot::MakeFileSystem() const {
  fs::create_directories(root_ / "fs" / "Flash Disk");
  fs::create_directories(root_ / "fs" / "Storage Card" / "Sub");
  Write(root_ / "fs" / "Storage Card" / "a.txt", "a\n");
  fs::create_directory_symlink("../../outside", root_ / "fs" / "Storage Card" / "out");
  fs::create_directory_symlink("Storage Card", root_ / "fs" / "card");
  fs::create_symlink("../outside/sentinel.txt", root_ / "fs" / "sentinel");
  fs::create_symlink("loop", root_ / "fs" / "loop");
}

// Every entry outside fs/ with its type and, for files, its content.
std::string ScratchRoot::Listing() const {
  std::vector<std::string> lines;
  std::error_code error;
  for (fs::recursive_directory_iterator it(root_, error), end; !error && it != end;
       it.increment(error)) {
    const fs::path relative = it->path().lexically_relative(root_);
    const fs::path top = *relative.begin();
    if (top == "fs" || top == "flash" || top == "journal.log") {
      it.disable_recursion_pending();
      continue;
    }
    std::string line = relative.string();
    if (it->is_symlink()) {
      line += " -> " + fs::read_symlink(it->path()).string();
    } else if (it->is_regular_file()) {
      std::ifstream in(it->path(), std::ios::binary);
      std::ostringstream bytes;
      bytes << in.rdbuf();
      line += " = " + bytes.str();
    }
    lines.push_back(line);
  }
  std::sort(lines.begin(), lines.end());
  std::string all;
  for (const auto& line : lines) all += line + '\n';
  return all;
}

void ScratchRoot::CheckOutside() const {
  const std::string now = Listing();
  if (now == expected_) return;
  std::fprintf(stderr, "outside the file system changed:\n--- before\n%s--- after\n%s",
               expected_.c_str(), now.c_str());
  std::abort();
}

void ScratchRoot::Reset() const {
  std::error_code error;
  for (fs::recursive_directory_iterator it(fs(), error), end; !error && it != end;
       it.increment(error)) {
    if (!it->is_symlink())
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
  }
  fs::remove_all(fs(), error);
  MakeFileSystem();
}

}  // namespace fuzz_support
