#include "platform/version_query.h"

#include <algorithm>

#include "platform/byte_order.h"
#include "platform/text.h"

namespace platform {
namespace {

constexpr std::size_t kNodeHeader = 6;  // wLength, wValueLength, wType

uint16_t Le16(std::span<const uint8_t> b, std::size_t at) { return LoadLe16(b.data() + at); }

std::size_t Align4(std::size_t offset) { return (offset + 3) & ~static_cast<std::size_t>(3); }

struct Node {
  std::size_t end = 0;  // one past the node's last byte
  std::u16string key;
  std::size_t valueBegin = 0;
  std::size_t valueBytes = 0;  // as declared, not yet cut at `end`
  uint16_t valueLength = 0;
  bool text = false;
  std::size_t childrenBegin = 0;
};

// The node starting at `at`, which must lie inside [at, limit).
std::optional<Node> ReadNode(std::span<const uint8_t> block, std::size_t at, std::size_t limit) {
  if (at + kNodeHeader > limit) return std::nullopt;
  const uint16_t length = Le16(block, at);
  if (length < kNodeHeader) return std::nullopt;
  Node node;
  node.end = std::min(at + length, limit);
  node.valueLength = Le16(block, at + 2);
  node.text = Le16(block, at + 4) == 1;
  std::size_t p = at + kNodeHeader;
  for (;; p += 2) {
    if (p + 2 > node.end) return std::nullopt;  // key without its terminator
    const char16_t unit = Le16(block, p);
    if (unit == 0) break;
    node.key.push_back(unit);
  }
  node.valueBegin = Align4(p + 2);
  node.valueBytes = node.text ? node.valueLength * std::size_t{2} : node.valueLength;
  node.childrenBegin = Align4(node.valueBegin + node.valueBytes);
  return node;
}

std::optional<Node> FindChild(std::span<const uint8_t> block, const Node& parent,
                              std::u16string_view key) {
  std::size_t at = parent.childrenBegin;
  while (at + kNodeHeader <= parent.end) {
    const auto child = ReadNode(block, at, parent.end);
    if (!child) return std::nullopt;
    if (EqualsNoCase(child->key, key)) return child;
    at = Align4(child->end);
  }
  return std::nullopt;
}

VersionValue ValueOf(std::span<const uint8_t> block, const Node& node) {
  VersionValue value;
  value.length = node.valueLength;
  value.text = node.text;
  if (node.valueBegin >= node.end) return value;
  // Compilers disagree on whether a string's length counts units or bytes;
  // a string node holds nothing but its text, so take it up to the node's end.
  const std::size_t end =
      node.text ? node.end : std::min(node.end, node.valueBegin + node.valueBytes);
  value.bytes = block.subspan(node.valueBegin, end - node.valueBegin);
  return value;
}

}  // namespace

std::optional<VersionValue> QueryVersionValue(std::span<const uint8_t> block,
                                              std::u16string_view subBlock) {
  auto node = ReadNode(block, 0, block.size());
  while (node && !subBlock.empty()) {
    const std::size_t cut = std::min(subBlock.find(u'\\'), subBlock.size());
    const std::u16string_view component = subBlock.substr(0, cut);
    subBlock.remove_prefix(std::min(cut + 1, subBlock.size()));
    if (!component.empty()) node = FindChild(block, *node, component);
  }
  if (!node) return std::nullopt;
  return ValueOf(block, *node);
}

std::u16string VersionValueText(const VersionValue& value) {
  std::u16string text;
  for (std::size_t i = 0; i + 1 < value.bytes.size(); i += 2) {
    const char16_t unit = static_cast<char16_t>(value.bytes[i] | value.bytes[i + 1] << 8);
    if (unit == 0) break;
    text.push_back(unit);
  }
  return text;
}

}  // namespace platform
