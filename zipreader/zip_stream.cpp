#include "zipreader/zip_stream.h"

bool CZipStream::Open(const std::u16string&, uint32_t, bool) { return true; }

uint32_t CZipStream::SeekToBegin() { return Seek(0, SeekBegin); }

uint32_t CZipStream::SeekToEnd() { return Seek(0, SeekEnd); }
