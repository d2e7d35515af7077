#include "zipreader/zip_exception.h"

void RaiseZipError(int32_t code, const char16_t* fileName) {
  throw CZipException(code, fileName != nullptr ? std::u16string(fileName) : std::u16string());
}

void RaiseZipError(int32_t code, const std::u16string& fileName) {
  throw CZipException(code, fileName);
}

int32_t MapInflateError(int result) {
  switch (result) {
    case 1:
      return ErrInflateStreamEnd;
    case 2:
      return ErrInflateNeedDict;
    case -1:
      return ErrInflateErrno;
    case -2:
      return ErrInflateStream;
    case -3:
      return ErrInflateData;
    case -4:
      return ErrInflateMemory;
    case -5:
      return ErrInflateBuffer;
    case -6:
      return ErrInflateVersion;
    default:
      return ErrGeneric;
  }
}
