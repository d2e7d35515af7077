// What both hosts' report writers (host/report_file.h) share: writing a
// whole text to a descriptor, and replacing a file by a whole new one. Each
// host passes the few calls of its own C runtime.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>

#include "host/common/write_all.h"

namespace host {

struct ReportFileCalls {
  // A new, empty file (an existing one truncated); -1 with errno set.
  int (*create)(const std::filesystem::path& file);
  WriteSomeCall write;
  int (*sync)(int fd);
  void (*close)(int fd);
  // Renames `from` over `to`; false with errno set.
  bool (*replace)(const std::filesystem::path& from, const std::filesystem::path& to);
  int (*processId)();
};

bool WriteWholeText(const ReportFileCalls& calls, int fd, const std::string& text);

// Sets `*error` to errno's text for `number`; always false.
bool ReportFailed(std::string* error, int number);

// A whole new file under a temporary name, renamed over `file`: a reader
// finds the whole document or none. `prepare`, when given, runs on the new
// file before it is written (the old file's owner and mode kept).
bool ReplaceWhole(const ReportFileCalls& calls, const std::filesystem::path& file,
                  const std::string& text, std::string* error,
                  const std::function<bool(int fd)>& prepare = nullptr);

}  // namespace host
