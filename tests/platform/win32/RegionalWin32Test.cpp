// Regional settings as the system reports them, in the locale the test runs
// in (the Windows test leg runs these under en-US and again under de-DE).
#include <windows.h>

#include <gtest/gtest.h>

#include "archiver/DateTimeFormat.h"
#include "platform/Clock.h"
#include "platform/RegionalSettings.h"
#include "platform/fakes/Fakes.h"

namespace pw {
namespace {

std::string UserLocale() {
  wchar_t name[LOCALE_NAME_MAX_LENGTH];
  const int n = GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH);
  return n > 0 ? std::string(name, name + n - 1) : std::string();
}

TDateTime At(int hour, int minute) {
  TDateTime t;
  t.Year = 2026, t.Month = 3, t.Day = 7, t.Hour = hour, t.Minute = minute;
  return t;
}

std::string Formatted(const std::string& pattern, const TDateTime& when) {
  fakes::FakeClock clock(when);
  ScopedOverride<IClock> use(clock);
  return FormatSubDirName(pattern);
}

TEST(RegionalWin32, UnitedStates) {
  if (UserLocale() != "en-US") GTEST_SKIP() << "runs under en-US, not " << UserLocale();
  const TFormatSettings s = Get<IRegionalSettings>().Settings();
  EXPECT_EQ(s.ShortTimeFormat, "h:nn AMPM");
  EXPECT_EQ(s.LongTimeFormat, "h:nn:ss AMPM");
  EXPECT_EQ(s.ShortDateFormat, "m/d/yyyy");
  EXPECT_EQ(s.DateSeparator, "/");
  EXPECT_EQ(s.LongMonthNames[2], "March");
  EXPECT_EQ(s.ShortDayNames[0], "Sun");
  EXPECT_EQ(Formatted("t", At(14, 5)), "2:05 PM");
  EXPECT_EQ(Formatted("yyyy-mm-dd mmmm dddd", At(9, 0)), "2026-03-07 March Saturday");
}

TEST(RegionalWin32, Germany) {
  if (UserLocale() != "de-DE") GTEST_SKIP() << "runs under de-DE, not " << UserLocale();
  const TFormatSettings s = Get<IRegionalSettings>().Settings();
  EXPECT_EQ(s.ShortTimeFormat, "hh:nn");
  // Windows says dd.MM.yyyy and Wine d.M.yyyy; either way with dots.
  EXPECT_EQ(s.ShortDateFormat.find('/'), std::string::npos) << s.ShortDateFormat;
  EXPECT_EQ(s.DateSeparator, ".");
  EXPECT_EQ(s.TimeSeparator, ":");
  EXPECT_EQ(s.LongMonthNames[2], "M\xE4rz") << "in the ANSI code page";
  EXPECT_EQ(s.LongDayNames[6], "Samstag");
  EXPECT_EQ(Formatted("t", At(14, 5)), "14:05");
  EXPECT_NE(Formatted("ddddd", At(14, 5)).find("3.2026"), std::string::npos);
}

}  // namespace
}  // namespace pw
