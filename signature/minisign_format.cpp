// The text forms of minisign's keys and signatures: lines of base64.
#include <cstdio>
#include <vector>

#include "signature/minisign.h"

namespace signature {
namespace {

constexpr std::string_view kUntrusted = "untrusted comment:";
constexpr std::string_view kTrusted = "trusted comment: ";

// The decoded key line: the two algorithm bytes "Ed", the 8-byte key id, the
// 32-byte Ed25519 key. The decoded signature line: "ED" (a signature over the
// file's BLAKE2b-512), the key id, the 64-byte signature.
constexpr std::size_t kKeyIdAt = 2;          // after the algorithm bytes
constexpr std::size_t kPayloadAt = 10;       // the key or the signature, after the key id
constexpr std::size_t kPublicKeyBytes = 42;  // a whole decoded key line
constexpr std::size_t kSignatureBytes = 74;  // a whole decoded signature line
// The fourth line, decoded: the signature over the file's signature and the
// trusted comment, alone.
constexpr std::size_t kCommentSignatureBytes = 64;

template <typename Array>
constexpr std::size_t kSizeOf = std::tuple_size_v<Array>;
static_assert(kPayloadAt == kKeyIdAt + kSizeOf<KeyId>);
static_assert(kPublicKeyBytes == kPayloadAt + kSizeOf<decltype(PublicKey::key)>);
static_assert(kSignatureBytes == kPayloadAt + kSizeOf<decltype(Signature::fileSignature)>);
static_assert(kCommentSignatureBytes == kSizeOf<decltype(Signature::commentSignature)>);

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Padded standard base64 and nothing else.
std::optional<std::vector<uint8_t>> DecodeBase64(std::string_view text) {
  if (text.empty() || text.size() % 4 != 0) return std::nullopt;
  std::vector<uint8_t> out;
  out.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    int padding = 0;
    uint32_t group = 0;
    for (std::size_t j = 0; j < 4; ++j) {
      const char c = text[i + j];
      if (c == '=' && last && j >= 2) {
        ++padding;
        group <<= 6;
        continue;
      }
      const int value = Base64Value(c);
      if (value < 0 || padding > 0) return std::nullopt;
      group = group << 6 | uint32_t(value);
    }
    out.push_back(uint8_t(group >> 16));
    if (padding < 2) out.push_back(uint8_t(group >> 8));
    if (padding < 1) out.push_back(uint8_t(group));
  }
  return out;
}

// The text's lines without their "\n" and every carriage return before it
// (minisign reads its lines so, and never signs a comment that ends in one);
// trailing empty lines dropped.
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

template <std::size_t N>
void CopyBytes(std::array<uint8_t, N>& to, const std::vector<uint8_t>& from, std::size_t at) {
  for (std::size_t i = 0; i < N; ++i) to[i] = from[at + i];
}

}  // namespace

std::optional<PublicKey> ParsePublicKey(std::string_view text) {
  if (text.size() > kMostSignatureBytes) return std::nullopt;
  const std::vector<std::string_view> lines = Lines(text);
  std::string_view keyLine;
  if (lines.size() == 1) {
    keyLine = lines[0];
  } else if (lines.size() == 2 && lines[0].starts_with(kUntrusted)) {
    keyLine = lines[1];
  } else {
    return std::nullopt;
  }
  const auto bytes = DecodeBase64(keyLine);
  if (!bytes || bytes->size() != kPublicKeyBytes || (*bytes)[0] != 'E' || (*bytes)[1] != 'd') {
    return std::nullopt;
  }
  PublicKey key;
  CopyBytes(key.id, *bytes, kKeyIdAt);
  CopyBytes(key.key, *bytes, kPayloadAt);
  if (!UsableKey(key.key)) return std::nullopt;
  return key;
}

bool UsableKey(const std::array<uint8_t, 32>& key) {
  // y is little-endian in bits 0-254; bit 255 is the sign of x.
  if ((key[31] & 0x7F) != 0) return true;
  for (std::size_t i = 24; i < 31; ++i) {
    if (key[i] != 0) return true;
  }
  return false;
}

std::optional<Signature> ParseSignature(std::string_view text) {
  if (text.size() > kMostSignatureBytes) return std::nullopt;
  const std::vector<std::string_view> lines = Lines(text);
  if (lines.size() != 4 || !lines[0].starts_with(kUntrusted) || !lines[2].starts_with(kTrusted)) {
    return std::nullopt;
  }
  const auto main = DecodeBase64(lines[1]);
  const auto comment = DecodeBase64(lines[3]);
  if (!main || main->size() != kSignatureBytes || (*main)[0] != 'E' || (*main)[1] != 'D' ||
      !comment || comment->size() != kCommentSignatureBytes) {
    return std::nullopt;
  }
  Signature signature;
  CopyBytes(signature.keyId, *main, kKeyIdAt);
  CopyBytes(signature.fileSignature, *main, kPayloadAt);
  signature.trustedComment = std::string(lines[2].substr(kTrusted.size()));
  CopyBytes(signature.commentSignature, *comment, 0);
  return signature;
}

std::string KeyIdText(const KeyId& id) {
  // minisign prints the id as a little-endian number, without leading zeros.
  uint64_t number = 0;
  for (std::size_t i = id.size(); i-- > 0;) number = number << 8 | id[i];
  char digits[17];
  std::snprintf(digits, sizeof digits, "%llX", static_cast<unsigned long long>(number));
  return digits;
}

std::optional<std::string> CommentField(std::string_view comment, std::string_view name) {
  const auto trim = [](std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
  };
  std::optional<std::string> found;
  while (true) {
    const std::size_t end = comment.find(';');
    const std::string_view field = comment.substr(0, end);
    const std::size_t equals = field.find('=');
    if (equals != std::string_view::npos && trim(field.substr(0, equals)) == name) {
      if (found) return std::nullopt;  // two answers are none
      found = std::string(trim(field.substr(equals + 1)));
    }
    if (end == std::string_view::npos) break;
    comment.remove_prefix(end + 1);
  }
  return found;
}

}  // namespace signature
