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

class TCodePages final : public ICodePages {
 public:
  TCodePages(unsigned ansi, unsigned oem) : ansi_(ansi), oem_(oem) {}
  unsigned Ansi() override { return ansi_; }
  unsigned Oem() override { return oem_; }

 private:
  unsigned ansi_, oem_;
};

// A system set to "Use Unicode UTF-8 for worldwide language support": the
// 8-bit texts are UTF-8 and so are batch files. The conversions must not ask
// UTF-8 for best-fit mapping or a default character, which it refuses.
TEST(CodePages, Utf8AsTheSystemsCodePage) {
  TCodePages utf8(CP_UTF8, CP_UTF8);
  const ScopedOverride<ICodePages> system(utf8);
  EXPECT_EQ(Utf16ToLocal8Bit(u"C:\\B\u00FCro \u20AC \U0001F600"),
            "C:\\B\xC3\xBCro \xE2\x82\xAC \xF0\x9F\x98\x80");
  EXPECT_EQ(Local8BitToUtf16("C:\\B\xC3\xBCro \xE2\x82\xAC"), u"C:\\B\u00FCro \u20AC");
  EXPECT_EQ(Utf8ToLocal8Bit("\xC5\x81\xC3\xB3" "d\xC5\xBA"), "\xC5\x81\xC3\xB3" "d\xC5\xBA");
  EXPECT_EQ(Local8BitToUtf8("\xC5\x81\xC3\xB3" "d\xC5\xBA"), "\xC5\x81\xC3\xB3" "d\xC5\xBA");
  EXPECT_EQ(ToBatchCodePage("C:\\\xC5\x81\xC3\xB3" "d\xC5\xBA 50%"),
            "C:\\\xC5\x81\xC3\xB3" "d\xC5\xBA 50%");
}

// The same conversions through another code page than the system's.
TEST(CodePages, TheCodePagesInPlaceAreTheOnesUsed) {
  TCodePages polish(1250, 852);
  const ScopedOverride<ICodePages> system(polish);
  EXPECT_EQ(Utf16ToLocal8Bit(u"\u0141\u00F3d\u017A"), "\xA3\xF3" "d\x9F");
  EXPECT_EQ(Local8BitToUtf16("\xA3\xF3" "d\x9F"), u"\u0141\u00F3d\u017A");
  EXPECT_EQ(ToBatchCodePage("\xA3\xF3" "d\x9F"), "\x9D\xA2" "d\xAB");
  EXPECT_EQ(Utf16ToLocal8Bit(u"\u20AC\u00E6"), "\x80?");
}

}  // namespace
}  // namespace pw
