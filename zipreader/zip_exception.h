// The one exception type of the ZIP reader: a numeric code and the name of the
// file concerned. No message text: what() stays the std::exception default.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

enum ZipErrorCode : int32_t {
  ErrGeneric = 100,
  ErrBadArchive = 101,
  ErrBadCrc = 102,
  ErrBadPassword = 110,
  ErrHostUnsupported = 115,
  ErrNoEndRecord = 116,
  ErrInflateStreamEnd = 500,
  ErrInflateNeedDict = 501,
  ErrInflateErrno = 502,
  ErrInflateStream = 503,
  ErrInflateData = 504,
  ErrInflateMemory = 505,
  ErrInflateBuffer = 506,
  ErrInflateVersion = 507,
};

class CZipException : public std::exception {
 public:
  CZipException(int32_t code, std::u16string fileName)
      : fileName(std::move(fileName)), code(code) {}
  // A copy starts from a fresh std::exception and takes name and code.
  CZipException(const CZipException& other)
      : std::exception(), fileName(other.fileName), code(other.code) {}
  CZipException& operator=(const CZipException& other) {
    fileName = other.fileName;
    code = other.code;
    return *this;
  }
  ~CZipException() override = default;

  std::u16string fileName;
  int32_t code;
};

// Every throw of the reader goes through here. A null name gives an empty one.
[[noreturn]] void RaiseZipError(int32_t code, const char16_t* fileName);
[[noreturn]] void RaiseZipError(int32_t code, const std::u16string& fileName);

// zlib result code -> ZipErrorCode.
int32_t MapInflateError(int result);
