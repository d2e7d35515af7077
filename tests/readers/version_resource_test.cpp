// The PE version reader and the version-block look-up, against real PE files
// made by a resource compiler and linker, and against damaged copies of them.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>

#include "platform/text.h"
#include "platform/version_query.h"
#include "readers/version_pe.h"

namespace {

using platform::QueryVersionValue;
using platform::VersionValueText;
using readers::FindVersionResource;
using readers::MemoryByteSource;

std::vector<uint8_t> ReadFixture(const std::string& name) {
  std::ifstream in(std::string(FITKIT_PE_FIXTURES) + "/" + name, std::ios::binary);
  EXPECT_TRUE(in) << name;
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::optional<std::vector<uint8_t>> VersionBlockOf(const std::vector<uint8_t>& image) {
  readers::MemoryByteSource source(image.data(), image.size());
  return readers::FindVersionResource(source);
}

// "lang+codepage" of the first translation, as GetFileVersionString formats it.
std::string FirstTranslation(const std::vector<uint8_t>& block) {
  const auto value = QueryVersionValue(block, u"\\VarFileInfo\\Translation");
  if (!value || value->bytes.size() < 4) return "";
  const auto& b = value->bytes;
  char text[9];
  std::snprintf(text, sizeof text, "%04x%04x", b[0] | b[1] << 8, b[2] | b[3] << 8);
  return text;
}

std::optional<std::string> StringValue(const std::vector<uint8_t>& block, const std::string& table,
                                       const std::string& name) {
  const auto path = platform::FromUtf8("\\StringFileInfo\\" + table + "\\" + name);
  const auto value = QueryVersionValue(block, path);
  if (!value || value->length == 0) return std::nullopt;
  return platform::ToUtf8(VersionValueText(*value));
}

TEST(PeVersionResource, ReadsFileVersionOfTheFirstTranslation) {
  struct Case {
    const char* file;
    const char* translation;
    std::optional<std::string> fileVersion;
  };
  const Case cases[] = {
      {"v123.exe", "040904b0", "1.2.3"},
      {"v124.exe", "040904b0", "1.2.4"},
      {"commas.exe", "040904b0", "1, 2, 3, 4"},
      {"arm.exe", "040904b0", "2.0.1"},
      {"no_file_version.exe", "040904b0", std::nullopt},
      // The first translation names the table without FileVersion; the other
      // table's value must not be taken instead.
      {"two_translations.exe", "040704e4", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const auto block = VersionBlockOf(ReadFixture(c.file));
    ASSERT_TRUE(block.has_value());
    const std::string translation = FirstTranslation(*block);
    EXPECT_EQ(translation, c.translation);
    EXPECT_EQ(StringValue(*block, translation, "FileVersion"), c.fileVersion);
  }
  const auto two = VersionBlockOf(ReadFixture("two_translations.exe"));
  EXPECT_EQ(StringValue(*two, "040904b0", "FileVersion"), "7.7.7");
  EXPECT_EQ(StringValue(*two, "040704E4", "companyname"), "fitkit");
}

TEST(PeVersionResource, ImagesWithoutAVersionResourceGiveNone) {
  for (const char* file : {"no_resources.exe", "rcdata_only.exe", "not_pe.exe"}) {
    SCOPED_TRACE(file);
    EXPECT_FALSE(VersionBlockOf(ReadFixture(file)).has_value());
  }
  EXPECT_FALSE(VersionBlockOf({}).has_value());
}

TEST(PeVersionResource, StringTableWithoutTranslation) {
  const auto block = VersionBlockOf(ReadFixture("no_translation.exe"));
  ASSERT_TRUE(block.has_value());
  EXPECT_EQ(FirstTranslation(*block), "");
  EXPECT_EQ(StringValue(*block, "040904b0", "FileVersion"), "3.0.0");
}

// Every value found lies inside the block it was looked up in.
void ExpectValuesInside(const std::vector<uint8_t>& block) {
  for (const std::u16string path :
       {u"\\", u"\\VarFileInfo\\Translation", u"\\StringFileInfo\\040904b0\\FileVersion"}) {
    const auto value = QueryVersionValue(block, path);
    if (!value || value->bytes.empty()) continue;
    EXPECT_GE(value->bytes.data(), block.data());
    EXPECT_LE(value->bytes.data() + value->bytes.size(), block.data() + block.size());
  }
}

// Copies of exactly the damaged size, so that a read past the end shows under
// the address sanitizer and as a wrong result otherwise.
void ExpectNoCrash(const std::vector<uint8_t>& image) {
  const auto block = VersionBlockOf(image);
  if (!block) return;
  // The block is read from the image: it cannot be larger than the image.
  EXPECT_LE(block->size(), image.size());
  const std::string translation = FirstTranslation(*block);
  (void)StringValue(*block, translation.empty() ? "040904b0" : translation, "FileVersion");
  ExpectValuesInside(*block);
}

TEST(PeVersionResource, TruncatedImagesNeverReadPastTheirEnd) {
  const auto image = ReadFixture("v123.exe");
  const auto whole = VersionBlockOf(image);
  ASSERT_TRUE(whole.has_value());
  int truncatedWithVersion = 0;
  for (std::size_t size = 0; size < image.size(); ++size) {
    const std::vector<uint8_t> cut(image.begin(), image.begin() + size);
    const auto block = VersionBlockOf(cut);
    if (block) {
      ++truncatedWithVersion;
      EXPECT_EQ(*block, *whole) << "cut at " << size;
    }
  }
  // Only cuts in the zero padding after the resource data may still hold it.
  EXPECT_LT(truncatedWithVersion, 512);
}

TEST(PeVersionResource, CorruptedImagesGiveNoVersionOrAValidBlock) {
  for (const char* file : {"v123.exe", "arm.exe", "two_translations.exe"}) {
    const auto image = ReadFixture(file);
    std::mt19937 random(42);
    for (int round = 0; round < 3000; ++round) {
      auto damaged = image;
      const int flips = 1 + round % 4;
      for (int i = 0; i < flips; ++i) {
        damaged[random() % damaged.size()] = static_cast<uint8_t>(random());
      }
      ExpectNoCrash(damaged);
    }
  }
}

void Put32(std::vector<uint8_t>& image, std::size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) image[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

TEST(PeVersionResource, HostileHeaderFieldsGiveNoVersion) {
  const auto image = ReadFixture("v123.exe");
  auto farHeader = image;
  Put32(farHeader, 0x3C, 0xFFFFFFF0u);  // PE header beyond the file
  EXPECT_FALSE(VersionBlockOf(farHeader).has_value());

  // The version data's RVA and size as the data entry holds them: point it
  // outside every section, then make it absurdly large.
  const auto block = VersionBlockOf(image);
  ASSERT_TRUE(block.has_value());
  const uint32_t size = static_cast<uint32_t>(block->size());
  auto le32 = [&](std::size_t at) {
    return static_cast<uint32_t>(image[at] | image[at + 1] << 8 | image[at + 2] << 16 |
                                 static_cast<uint32_t>(image[at + 3]) << 24);
  };
  std::size_t sizeAt = 0;
  for (std::size_t at = 0; at + 16 <= image.size(); at += 4) {
    if (le32(at) >= 0x1000 && le32(at + 4) == size && le32(at + 8) == 0 && le32(at + 12) == 0) {
      sizeAt = at + 4;
      break;
    }
  }
  ASSERT_NE(sizeAt, 0u);
  auto outside = image;
  Put32(outside, sizeAt - 4, 0x7FFFFFF0u);
  EXPECT_FALSE(VersionBlockOf(outside).has_value());
  auto huge = image;
  Put32(huge, sizeAt, 0xFFFFFFF0u);
  EXPECT_FALSE(VersionBlockOf(huge).has_value());
}

// A version block built by hand, for layouts the fixtures' compiler never writes.
std::vector<uint8_t> Node(std::u16string key, uint16_t type, std::vector<uint8_t> value,
                          uint16_t valueLength, const std::vector<std::vector<uint8_t>>& children) {
  std::vector<uint8_t> out(6);
  for (char16_t c : key + u'\0') {
    out.push_back(static_cast<uint8_t>(c));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
  while (out.size() % 4) out.push_back(0);
  out.insert(out.end(), value.begin(), value.end());
  for (const auto& child : children) {
    while (out.size() % 4) out.push_back(0);
    out.insert(out.end(), child.begin(), child.end());
  }
  out[0] = static_cast<uint8_t>(out.size());
  out[1] = static_cast<uint8_t>(out.size() >> 8);
  out[2] = static_cast<uint8_t>(valueLength);
  out[3] = static_cast<uint8_t>(valueLength >> 8);
  out[4] = static_cast<uint8_t>(type);
  return out;
}

std::vector<uint8_t> Utf16(const std::u16string& text) {
  std::vector<uint8_t> out;
  for (char16_t c : text + u'\0') {
    out.push_back(static_cast<uint8_t>(c));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
  return out;
}

std::vector<uint8_t> BlockWithFileVersion(uint16_t stringValueLength) {
  const auto str = Node(u"FileVersion", 1, Utf16(u"4.5.6"), stringValueLength, {});
  const auto table = Node(u"040904b0", 1, {}, 0, {str});
  const auto sfi = Node(u"StringFileInfo", 1, {}, 0, {table});
  const auto var = Node(u"Translation", 0, {0x09, 0x04, 0xb0, 0x04}, 4, {});
  const auto vfi = Node(u"VarFileInfo", 1, {}, 0, {var});
  return Node(u"VS_VERSION_INFO", 0, std::vector<uint8_t>(52), 52, {sfi, vfi});
}

TEST(VersionQuery, StringLengthInUnitsOrBytesGivesTheSameText) {
  for (uint16_t length : {6, 12}) {
    const auto block = BlockWithFileVersion(length);
    EXPECT_EQ(FirstTranslation(block), "040904b0");
    EXPECT_EQ(StringValue(block, "040904b0", "FileVersion"), "4.5.6");
  }
  const auto root = QueryVersionValue(BlockWithFileVersion(6), u"\\");
  ASSERT_TRUE(root.has_value());
  EXPECT_EQ(root->bytes.size(), 52u);
}

TEST(VersionQuery, DamagedLengthsStayInsideTheBlock) {
  const auto good = BlockWithFileVersion(6);
  // Every truncation and every corrupted length byte must end cleanly.
  for (std::size_t size = 0; size < good.size(); ++size) {
    const std::vector<uint8_t> cut(good.begin(), good.begin() + size);
    (void)StringValue(cut, "040904b0", "FileVersion");
    (void)FirstTranslation(cut);
    ExpectValuesInside(cut);
  }
  for (std::size_t at = 0; at + 1 < good.size(); at += 2) {
    for (uint16_t length : {0, 1, 5, 6, 0xFFFF}) {
      auto bad = good;
      bad[at] = static_cast<uint8_t>(length);
      bad[at + 1] = static_cast<uint8_t>(length >> 8);
      (void)StringValue(bad, "040904b0", "FileVersion");
      (void)FirstTranslation(bad);
      ExpectValuesInside(bad);
    }
  }
  auto zeroChild = good;
  // A child claiming length 0 must not make the walk spin forever.
  const std::size_t sfiAt = 0x5C;
  zeroChild[sfiAt] = 0;
  zeroChild[sfiAt + 1] = 0;
  EXPECT_EQ(StringValue(zeroChild, "040904b0", "FileVersion"), std::nullopt);
}

}  // namespace
