// Reading and writing host files in the tests, and comparing folder trees.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace test_support {

std::string ReadText(const std::filesystem::path& file);  // "" when missing
std::vector<uint8_t> ReadBytes(const std::filesystem::path& file);
std::vector<std::string> ReadLines(const std::filesystem::path& file);
// Both create the file's folders first.
void WriteText(const std::filesystem::path& file, const std::string& text);
void WriteBytes(const std::filesystem::path& file, const std::vector<uint8_t>& bytes);

// `text` in single quotes for sh.
std::string Quote(const std::string& text);

// Sets a file's modification time to `secondsSinceEpoch` (an even number, so
// that a ZIP's DOS time holds it exactly).
void SetModTime(const std::filesystem::path& file, int64_t secondsSinceEpoch);

// A snapshot of a folder tree: relative path -> content ("<dir>" for folders),
// permissions and modification time, for comparing a tree before and after a
// run byte for byte.
std::map<std::string, std::string> SnapshotTree(const std::filesystem::path& folder);

// UTF-16LE bytes of `text`, with a two-byte terminator unless told otherwise.
std::vector<uint8_t> Utf16Bytes(std::u16string_view text, bool terminator = true);
// A UTF-16LE text file's bytes: the byte order mark and `text`, no terminator.
std::string Utf16FileBytes(std::u16string_view text);

}  // namespace test_support
