// The locale's format pictures in the program's pattern language.
#include <gtest/gtest.h>

#include "platform/RegionalSettings.h"

namespace pw {
namespace {

TEST(QtFormats, FieldsSeparatorsAndLiterals) {
  EXPECT_EQ(ConvertQtDateTimeFormat("M/d/yy", "/", ":"), "m/d/yy");
  EXPECT_EQ(ConvertQtDateTimeFormat("dddd, MMMM d, yyyy", "/", ":"), "dddd, mmmm d, yyyy");
  EXPECT_EQ(ConvertQtDateTimeFormat("h:mm AP", "/", ":"), "h:nn AMPM");
  EXPECT_EQ(ConvertQtDateTimeFormat("h:mm:ss ap t", "/", ":"), "h:nn:ss AMPM");
  EXPECT_EQ(ConvertQtDateTimeFormat("HH:mm:ss t", "/", ":"), "hh:nn:ss");
  EXPECT_EQ(ConvertQtDateTimeFormat("dd.MM.yy", ".", ":"), "dd/mm/yy");
  EXPECT_EQ(ConvertQtDateTimeFormat("HH 'Uhr' mm", ".", ":"), "hh\" Uhr \"nn");
  EXPECT_EQ(ConvertQtDateTimeFormat("d/M 'o''clock'", ".", ":"), "d\"/\"m\" o'clock\"");
  EXPECT_EQ(ConvertQtDateTimeFormat("zzz z", "/", ":"), "zzz z");
}

TEST(QtFormats, SeparatorIsTheFirstPunctuationBetweenFields) {
  EXPECT_EQ(SeparatorOf("dd.MM.yy", "/"), ".");
  EXPECT_EQ(SeparatorOf("M/d/yy", "-"), "/");
  EXPECT_EQ(SeparatorOf("'at' HH:mm", "-"), ":");
  EXPECT_EQ(SeparatorOf("yyyy\xE5\xB9\xB4M\xE6\x9C\x88", "/"), "/");
  EXPECT_EQ(SeparatorOf("", "/"), "/");
}

TEST(WindowsFormats, FieldsAndLiterals) {
  EXPECT_EQ(ConvertWindowsDateTimeFormat("M/d/yyyy"), "m/d/yyyy");
  EXPECT_EQ(ConvertWindowsDateTimeFormat("h:mm:ss tt"), "h:nn:ss AMPM");
  EXPECT_EQ(ConvertWindowsDateTimeFormat("HH:mm"), "hh:nn");
  EXPECT_EQ(ConvertWindowsDateTimeFormat("dddd, d. MMMM yyyy"), "dddd, d. mmmm yyyy");
  EXPECT_EQ(ConvertWindowsDateTimeFormat("gg yyyy"), "g yyyy");
  EXPECT_EQ(ConvertWindowsDateTimeFormat("'Day' d"), "\"Day \"d");
}

}  // namespace
}  // namespace pw
