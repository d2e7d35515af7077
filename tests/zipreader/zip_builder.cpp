#include "tests/zipreader/zip_builder.h"

#include <zlib.h>

#include <algorithm>

#include "zipreader/zip_byte_buffer.h"
#include "zipreader/zip_crypt.h"

namespace zip_test {

namespace {

void AppendU16(std::string& out, uint16_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8));
}

void AppendU32(std::string& out, uint32_t v) {
  AppendU16(out, static_cast<uint16_t>(v & 0xFFFF));
  AppendU16(out, static_cast<uint16_t>(v >> 16));
}

std::string Encrypt(const std::string& password, const BuildEntry& e, uint32_t crc,
                    const std::string& payload) {
  ZipCryptKeys keys;
  CZipByteBuffer pw(static_cast<uint32_t>(password.size()), false);
  std::copy(password.begin(), password.end(), pw.Data());
  keys.Init(pw);
  std::string plain = Pseudorandom(11, crc ^ 0x5A5A);
  plain.push_back(static_cast<char>(e.descriptor ? e.modTime >> 8 : crc >> 24));
  plain += payload;
  std::string out;
  for (char c : plain) {
    uint8_t p = static_cast<uint8_t>(c);
    out.push_back(static_cast<char>(p ^ keys.DecryptByte()));
    keys.Update(p);
  }
  return out;
}

}  // namespace

std::string Deflate(const std::string& data) {
  z_stream s{};
  deflateInit2(&s, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&s, data.size()) + 16, '\0');
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  s.avail_in = static_cast<uInt>(data.size());
  s.next_out = reinterpret_cast<Bytef*>(out.data());
  s.avail_out = static_cast<uInt>(out.size());
  deflate(&s, Z_FINISH);
  out.resize(s.total_out);
  deflateEnd(&s);
  return out;
}

uint32_t Crc(const std::string& data) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

void PutU16(std::string& bytes, size_t at, uint16_t value) {
  bytes[at] = static_cast<char>(value & 0xFF);
  bytes[at + 1] = static_cast<char>(value >> 8);
}

void PutU32(std::string& bytes, size_t at, uint32_t value) {
  PutU16(bytes, at, static_cast<uint16_t>(value & 0xFFFF));
  PutU16(bytes, at + 2, static_cast<uint16_t>(value >> 16));
}

std::string Pseudorandom(size_t size, uint32_t seed) {
  std::string out(size, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (char& c : out) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x >> 24);
  }
  return out;
}

BuiltArchive ZipBuilder::Build() const {
  BuiltArchive a;
  std::string& out = a.bytes;
  out = prefix;
  std::vector<std::string> centrals;
  for (const BuildEntry& e : entries) {
    uint32_t crc = Crc(e.data);
    std::string payload = e.method == 8 ? Deflate(e.data) : e.data;
    if (e.encrypt) payload = Encrypt(password, e, crc, payload);
    uint16_t flags =
        static_cast<uint16_t>((e.encrypt ? 1 : 0) | (e.descriptor ? 8 : 0) | e.extraFlags);
    uint32_t local = static_cast<uint32_t>(out.size());
    a.localOffsets.push_back(local);
    std::string header;
    AppendU32(header, 0x04034B50);
    AppendU16(header, 20);
    AppendU16(header, flags);
    AppendU16(header, e.method);
    AppendU16(header, e.modTime);
    AppendU16(header, e.modDate);
    AppendU32(header, e.descriptor ? 0 : crc);
    AppendU32(header, e.descriptor ? 0 : static_cast<uint32_t>(payload.size()));
    AppendU32(header, e.descriptor ? 0 : static_cast<uint32_t>(e.data.size()));
    AppendU16(header, static_cast<uint16_t>(e.name.size()));
    AppendU16(header, static_cast<uint16_t>(e.localExtra.size()));
    out += header + e.name + e.localExtra;
    a.dataOffsets.push_back(static_cast<uint32_t>(out.size()));
    out += payload;
    if (e.descriptor) {
      if (e.descriptorSignature) AppendU32(out, 0x08074B50);
      AppendU32(out, crc);
      AppendU32(out, static_cast<uint32_t>(payload.size()));
      AppendU32(out, static_cast<uint32_t>(e.data.size()));
    }
    std::string c;
    AppendU32(c, 0x02014B50);
    AppendU16(c, e.versionMadeBy);
    AppendU16(c, 20);
    AppendU16(c, flags);
    AppendU16(c, e.method);
    AppendU16(c, e.modTime);
    AppendU16(c, e.modDate);
    AppendU32(c, crc);
    AppendU32(c, static_cast<uint32_t>(payload.size()));
    AppendU32(c, static_cast<uint32_t>(e.data.size()));
    AppendU16(c, static_cast<uint16_t>(e.name.size()));
    AppendU16(c, 0);
    AppendU16(c, 0);
    AppendU16(c, 0);
    AppendU16(c, 0);
    AppendU32(c, e.externalAttr);
    AppendU32(c, local - static_cast<uint32_t>(prefix.size()));
    centrals.push_back(c + e.name);
  }
  a.directoryOffset = static_cast<uint32_t>(out.size());
  std::vector<size_t> order(centrals.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = reverseCentral ? order.size() - 1 - i : i;
  a.centralOffsets.resize(centrals.size());
  for (size_t i : order) {
    a.centralOffsets[i] = static_cast<uint32_t>(out.size());
    out += centrals[i];
  }
  uint32_t directorySize = static_cast<uint32_t>(out.size()) - a.directoryOffset;
  a.endOffset = static_cast<uint32_t>(out.size());
  AppendU32(out, 0x06054B50);
  AppendU16(out, 0);
  AppendU16(out, 0);
  AppendU16(out, static_cast<uint16_t>(entries.size()));
  AppendU16(out, static_cast<uint16_t>(entries.size()));
  AppendU32(out, directorySize);
  AppendU32(out, a.directoryOffset - static_cast<uint32_t>(prefix.size()));
  AppendU16(out, static_cast<uint16_t>(comment.size()));
  out += comment;
  return a;
}

}  // namespace zip_test
