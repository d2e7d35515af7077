// Shared helpers of the reader's tests.
#pragma once

#include <functional>
#include <string>

#include "zipreader/zip_reader.h"

namespace zip_test {

// The code of the CZipException that `action` throws; 0 when it throws none.
inline int ErrorCode(const std::function<void()>& action, std::u16string* fileName = nullptr) {
  try {
    action();
  } catch (const CZipException& e) {
    if (fileName != nullptr) *fileName = e.fileName;
    return e.code;
  }
  return 0;
}

inline std::u16string Wide(const std::string& text) {
  return std::u16string(text.begin(), text.end());
}

}  // namespace zip_test
