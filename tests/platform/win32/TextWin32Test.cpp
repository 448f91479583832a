// The program's 8-bit texts on Windows: the ANSI code page, compared and
// converted by the system.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/Errors.h"
#include "platform/LocaleCompare.h"
#include "platform/TextCodec.h"

namespace pw {
namespace {

class Cp1252 : public ::testing::Test {
 protected:
  void SetUp() override {
    if (GetACP() != 1252) GTEST_SKIP() << "written for the ANSI code page 1252";
  }
};

TEST_F(Cp1252, CompareStringIgnoresCaseOfAccentedLetters) {
  EXPECT_TRUE(SameTextLocale("\xC4pfel", "\xE4PFEL"));       // Äpfel, äPFEL
  EXPECT_TRUE(SameTextLocale("B\xFCro", "B\xDCRO"));         // Büro, BÜRO
  EXPECT_FALSE(SameTextLocale("B\xFCro", "Buro"));           // the accent counts
  EXPECT_FALSE(SameTextLocale("\xC3\x84pfel", "\xE4pfel"));  // UTF-8 bytes are other letters
  const ILocaleCompare& compare = Get<ILocaleCompare>();
  EXPECT_EQ(compare.FoldKey("*.\xC4X"), compare.FoldKey("*.\xE4x"));
  EXPECT_NE(compare.FoldKey("*.\xC4X"), compare.FoldKey("*.ax"));
}

TEST_F(Cp1252, TextsConvertThroughTheAnsiCodePage) {
  EXPECT_EQ(Local8BitToUtf16("C:\\B\xFCro"), u"C:\\B\u00FCro");
  EXPECT_EQ(Utf16ToLocal8Bit(u"C:\\B\u00FCro \u20AC"), "C:\\B\xFCro \x80");
  // No look-alike for a character the code page lacks: "?" cannot name a file.
  EXPECT_EQ(Utf16ToLocal8Bit(u"\u0141\u00F3d\u017A"),
            "?\xF3"
            "d?");
  EXPECT_EQ(Utf16ToLocal8Bit(u""), "");
}

TEST_F(Cp1252, BatchFilesAreInTheOemCodePage) {
  if (GetOEMCP() != 437 && GetOEMCP() != 850) GTEST_SKIP() << "written for OEM 437 or 850";
  EXPECT_EQ(ToBatchCodePage("C:\\B\xFCro\\a&b 50%"), "C:\\B\x81ro\\a&b 50%");
  EXPECT_EQ(ToBatchCodePage(""), "");
  EXPECT_THROW(ToBatchCodePage("\x80 5"), Exception) << "the euro sign has no OEM form here";
}

}  // namespace
}  // namespace pw
