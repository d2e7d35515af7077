#include "host/linux/iconv_code_page.h"

#include <gtest/gtest.h>

namespace {

using host::IconvCodePage;

TEST(IconvCodePage, Cp1252BothWaysIncludingTheUnassignedBytes) {
  auto cp = host::IconvCodePage::Create("1252");
  ASSERT_NE(cp, nullptr);
  EXPECT_EQ(cp->name(), "CP1252");
  std::u16string text;
  ASSERT_TRUE(cp->AnsiToWide("A\x80\xC4\x81\x8D\x8F\x90\x9D\xFFz", &text));
  EXPECT_EQ(text, u"A\u20AC\u00C4\u0081\u008D\u008F\u0090\u009D\u00FFz");
  std::string bytes;
  ASSERT_TRUE(cp->WideToAnsi(text, &bytes));
  EXPECT_EQ(bytes, "A\x80\xC4\x81\x8D\x8F\x90\x9D\xFFz");
  // Every byte survives the round trip.
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  ASSERT_TRUE(cp->AnsiToWide(all, &text));
  EXPECT_EQ(text.size(), 255u);
  ASSERT_TRUE(cp->WideToAnsi(text, &bytes));
  EXPECT_EQ(bytes, all);
}

TEST(IconvCodePage, UnconvertibleTextFailsAndEmptiesTheOutput) {
  auto cp = host::IconvCodePage::Create("CP1252");
  ASSERT_NE(cp, nullptr);
  std::string bytes = "old";
  EXPECT_FALSE(cp->WideToAnsi(u"\u4E2D", &bytes));
  EXPECT_EQ(bytes, "");
  EXPECT_FALSE(cp->WideToAnsi(u"a\xD800", &bytes));  // a lone surrogate
  std::u16string text = u"old";
  ASSERT_TRUE(cp->AnsiToWide("", &text));
  EXPECT_EQ(text, u"");
}

TEST(IconvCodePage, Cp949Multibyte) {
  auto cp = host::IconvCodePage::Create("CP949");
  ASSERT_NE(cp, nullptr);
  std::u16string text;
  // "한글" in the Wansung range and U+AC02, which only CP949's extension has.
  ASSERT_TRUE(cp->AnsiToWide("\xC7\xD1\xB1\xDB.zip \x81\x41", &text));
  EXPECT_EQ(text, u"\uD55C\uAE00.zip \uAC02");
  std::string bytes;
  ASSERT_TRUE(cp->WideToAnsi(text, &bytes));
  EXPECT_EQ(bytes, "\xC7\xD1\xB1\xDB.zip \x81\x41");
  // Half a character is no text; CP949 passes no unassigned bytes through.
  EXPECT_FALSE(cp->AnsiToWide("ab\xC7", &text));
  EXPECT_FALSE(cp->AnsiToWide("\x81", &text));
}

// Text of ASCII bytes alone is still the code page's own where that gives
// some of them other characters.
TEST(IconvCodePage, AsciiBytesKeepTheCodePagesMeaning) {
  auto sjis = host::IconvCodePage::Create("SHIFT_JIS");
  ASSERT_NE(sjis, nullptr);
  std::u16string text;
  ASSERT_TRUE(sjis->AnsiToWide("a\\b~", &text));
  EXPECT_EQ(text, u"a\u00A5b\u203E");
  EXPECT_FALSE(sjis->KeepsAscii());
  // A second byte may be 0x5C ("\x81\x5C" is one character in GBK): only
  // the last byte being no separator tells that a name ends in none.
  auto gbk = host::IconvCodePage::Create("CP936");
  ASSERT_NE(gbk, nullptr);
  EXPECT_TRUE(gbk->KeepsAscii());
  ASSERT_TRUE(gbk->AnsiToWide("d\x81\x5C", &text));
  EXPECT_EQ(text, u"d\u4E57");
  auto cp1252 = host::IconvCodePage::Create("CP1252");
  ASSERT_NE(cp1252, nullptr);
  ASSERT_TRUE(cp1252->AnsiToWide("a\\b~", &text));
  EXPECT_EQ(text, u"a\\b~");
  std::string bytes;
  ASSERT_TRUE(cp1252->WideToAnsi(u"x\\y", &bytes));
  EXPECT_EQ(bytes, "x\\y");
}

TEST(IconvCodePage, UnknownNames) { EXPECT_EQ(host::IconvCodePage::Create("CP99999"), nullptr); }

}  // namespace
