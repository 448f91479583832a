#include <gtest/gtest.h>

#include "platform/TextCodec.h"

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

}  // namespace
}  // namespace pw
