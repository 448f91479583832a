#include <gtest/gtest.h>

#include "platform/LocaleCompare.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

using test::Local8Bit;

TEST(LocaleCompare, IgnoresCaseBeyondAscii) {
  EXPECT_TRUE(SameTextLocale(Local8Bit("\xC3\x84pfel"), Local8Bit("\xC3\xA4PFEL")));
  EXPECT_TRUE(SameTextLocale("*.DOC", "*.doc"));
  EXPECT_FALSE(SameTextLocale("*.doc", "*.do"));
  EXPECT_FALSE(SameTextLocale(Local8Bit("\xC3\x84pfel"), "Apfel"));
  EXPECT_TRUE(SameTextLocale("", ""));
#ifndef _WIN32
  // Here the program's texts may come in either encoding.
  EXPECT_TRUE(SameTextLocale("\xC4pfel", "\xE4PFEL"));      // Windows-1252
  EXPECT_TRUE(SameTextLocale("\xC4pfel", "\xC3\xA4pfel"));  // one of each
#endif
}

TEST(LocaleCompare, FoldKeyAgreesWithSameText) {
  const ILocaleCompare& compare = Get<ILocaleCompare>();
  EXPECT_EQ(compare.FoldKey(Local8Bit("\xC3\x84pfel")), compare.FoldKey(Local8Bit("\xC3\xA4PFEL")));
  EXPECT_NE(compare.FoldKey("a"), compare.FoldKey("b"));
}

TEST(AsciiCompare, FoldsOnlyAtoZ) {
  EXPECT_EQ(UpperCaseAscii("docs\xC3\xA4z{"), "DOCS\xC3\xA4Z{");
  EXPECT_TRUE(SameTextAscii("Docs", "dOCS"));
  EXPECT_FALSE(SameTextAscii("\xC3\x84pfel", "\xC3\xA4pfel"));
}

class FixedAnswer : public ILocaleCompare {
 public:
  bool SameText(const std::string&, const std::string&) const override { return true; }
  std::string FoldKey(const std::string&) const override { return ""; }
};

TEST(Services, ScopedOverrideReplacesAndRestores) {
  FixedAnswer fake;
  {
    ScopedOverride<ILocaleCompare> scope(fake);
    EXPECT_TRUE(SameTextLocale("a", "b"));
  }
  EXPECT_FALSE(SameTextLocale("a", "b"));
}

}  // namespace
}  // namespace pw
