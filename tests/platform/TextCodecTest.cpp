#include <gtest/gtest.h>

#include "platform/TextCodec.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

TEST(TextCodec, ValidUtf8DecodesAsUtf8) {
  EXPECT_EQ(DecodeLocal8Bit("\xC3\x84pfel"), U"\u00C4pfel");
  EXPECT_EQ(DecodeLocal8Bit("\xF0\x9F\x98\x80"), U"\U0001F600");
  EXPECT_EQ(EncodeUtf8(DecodeLocal8Bit("a\xE2\x82\xAC")), "a\xE2\x82\xAC");
}

TEST(TextCodec, AnythingElseIsWindows1252) {
  EXPECT_EQ(DecodeLocal8Bit("\xC4pfel"), U"\u00C4pfel");
  EXPECT_EQ(DecodeLocal8Bit("\x80\x9F\x81"), U"\u20AC\u0178\u0081");
  // Overlong forms, surrogates and cut sequences are not UTF-8.
  EXPECT_FALSE(IsValidUtf8("\xC0\x80"));
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));
  EXPECT_FALSE(IsValidUtf8("\xE2\x82"));
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));
  EXPECT_TRUE(IsValidUtf8(""));
}

TEST(TextCodec, LongAsciiRunsHideNoBadByte) {
  const std::string ascii(17, 'a');
  EXPECT_TRUE(IsValidUtf8(ascii + "\xC3\xA4" + ascii));
  EXPECT_FALSE(IsValidUtf8(ascii + "\xE2\x82"));
  for (size_t at = 0; at < ascii.size(); ++at) {
    std::string text = ascii;
    text[at] = '\x80';
    EXPECT_FALSE(IsValidUtf8(text)) << at;
  }
}

TEST(TextCodec, Utf8AndTheProgramsTexts) {
  // Windows-1252 reads as such wherever the 8-bit text is not UTF-8.
  EXPECT_EQ(Local8BitToUtf8("\xC4pfel \x80"), "\xC3\x84pfel \xE2\x82\xAC");
  EXPECT_EQ(Local8BitToUtf8(test::Local8Bit("\xC3\x84pfel")), "\xC3\x84pfel");
  EXPECT_EQ(Utf8ToLocal8Bit("\xC3\x84pfel \xE2\x82\xAC"),
            test::Local8Bit("\xC3\x84pfel \xE2\x82\xAC"));
  std::string out = "longer than the result";
  Utf8ToLocal8Bit("a\\b", out);
  EXPECT_EQ(out, "a\\b");
}

#ifndef _WIN32
TEST(TextCodec, Utf16AndTheProgramsTexts) {
  EXPECT_EQ(Local8BitToUtf16("\xC3\x84 \xF0\x9F\x98\x80"), u"\u00C4 \U0001F600");
  EXPECT_EQ(Local8BitToUtf16("\xC4 \x80"), u"\u00C4 \u20AC");
  EXPECT_EQ(Local8BitToUtf16(""), u"");
  EXPECT_EQ(Utf16ToLocal8Bit(u"\u00C4 \U0001F600"), "\xC3\x84 \xF0\x9F\x98\x80");
  // Lone surrogates, at the end, reversed and alone, have no UTF-8 form.
  const std::u16string lone = {u'a', 0xD83D, u'b', 0xDE00, 0xD83D, u'c', 0xDE00, 0xD83D};
  EXPECT_EQ(Utf16ToLocal8Bit(lone), "a?b??c??");
  EXPECT_EQ(Utf16ToLocal8Bit(u""), "");
}
#endif

}  // namespace
}  // namespace pw
