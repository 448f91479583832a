// The date-time pattern language as a table of (pattern, moment, expected).
#include <gtest/gtest.h>

#include "archiver/DateTimeFormat.h"
#include "platform/fakes/Fakes.h"

namespace pw {
namespace {

using fakes::German;
using fakes::UsEnglish;

TDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  TDateTime t;
  t.Year = y, t.Month = mo, t.Day = d, t.Hour = h, t.Minute = mi, t.Second = s, t.Millisecond = ms;
  return t;
}

struct Case {
  const char* pattern;
  TDateTime when;
  const char* us;
  const char* german;
};

// 7 December 2026 is a Monday.
const TDateTime kMorning = At(2026, 12, 7, 9, 5, 3, 4);
const TDateTime kEvening = At(2026, 12, 7, 21, 45, 30, 250);
const TDateTime kNoon = At(2026, 12, 7, 12, 0, 0);
const TDateTime kMidnight = At(2026, 12, 7, 0, 0, 0);
const TDateTime kMarch = At(2009, 3, 1, 0, 30, 0);  // a Sunday

const Case kCases[] = {
    // years
    {"y", kMorning, "26", "26"},
    {"yy", kMarch, "09", "09"},
    {"yyy", kMorning, "2026", "2026"},
    {"yyyyyy", kMorning, "2026", "2026"},
    {"yyyy", At(987, 1, 1), "0987", "0987"},
    // months and names
    {"m", kMarch, "3", "3"},
    {"mm", kMarch, "03", "03"},
    {"mmm", kMarch, "Mar", "M\xC3\xA4r"},
    {"mmmm", kMarch, "March", "M\xC3\xA4rz"},
    {"mmmmmm", kMorning, "December", "Dezember"},
    // days and names
    {"d", kMorning, "7", "7"},
    {"dd", kMorning, "07", "07"},
    {"ddd", kMorning, "Mon", "Mo"},
    {"dddd", kMarch, "Sunday", "Sonntag"},
    {"ddddd", kMorning, "12/7/2026", "07.12.2026"},
    {"dddddd", kMorning, "Monday, December 7, 2026", "Montag, 7. Dezember 2026"},
    {"ddddddddd", kMorning, "Monday, December 7, 2026", "Montag, 7. Dezember 2026"},
    {"aaa", kMorning, "Mon", "Mo"},
    {"aaaa", kMorning, "Monday", "Montag"},
    // hours, minutes, seconds, milliseconds
    {"h", kMorning, "9", "9"},
    {"hh", kMorning, "09", "09"},
    {"hhh", kMorning, "09", "09"},
    {"hh", kEvening, "21", "21"},
    {"n", kMorning, "5", "5"},
    {"nn", kMorning, "05", "05"},
    {"nnnn", kMorning, "05", "05"},
    {"s", kMorning, "3", "3"},
    {"ss", kMorning, "03", "03"},
    {"sss", kMorning, "03", "03"},
    {"z", kMorning, "4", "4"},
    {"zz", kMorning, "04", "04"},
    {"zzz", kMorning, "004", "004"},
    {"zzzzz", kEvening, "250", "250"},
    // regional time formats and c
    {"t", kEvening, "9:45 PM", "21:45"},
    {"tt", kEvening, "9:45:30 PM", "21:45:30"},
    {"c", kMidnight, "12/7/2026", "07.12.2026"},
    {"c", kEvening, "12/7/2026 9:45:30 PM", "07.12.2026 21:45:30"},
    {"c", At(2026, 12, 7, 0, 0, 1), "12/7/2026 12:00:01 AM", "07.12.2026 00:00:01"},
    // designators and the 12-hour clock
    {"h AM/PM", kMorning, "9 AM", "9 AM"},
    {"h am/pm", kEvening, "9 pm", "9 pm"},
    {"hh Am/pM", kEvening, "09 pM", "09 pM"},
    {"h a/p", kEvening, "9 p", "9 p"},
    {"h A/P", kMorning, "9 A", "9 A"},
    {"h AMPM", kEvening, "9 PM", "9 "},
    {"h ampm", kMorning, "9 AM", "9 "},
    {"h AM/PM", kNoon, "12 PM", "12 PM"},
    {"h AM/PM", kMidnight, "12 AM", "12 AM"},
    {"hh", kMidnight, "00", "00"},
    {"h \"am/pm\"", kEvening, "21 am/pm", "21 am/pm"},  // quoted: no 12-hour clock
    {"h h am/pm", kEvening, "21 9 pm", "21 9 pm"},      // another h comes first
    {"h x am/pm", kEvening, "9 x pm", "9 x pm"},        // only an "a" or an h ends the search
    {"h a am/pm", kEvening, "21 a pm", "21 a pm"},      // the first "a" decides
    // m after h means minutes
    {"hh-mm", kMorning, "09-05", "09-05"},
    {"mm-hh", kMorning, "12-09", "12-09"},
    {"hh:mm", kMorning, "09:05", "09:05"},
    {"h\"x\"m", kMorning, "9x5", "9x5"},  // quoted text is skipped
    {"hxm", kMorning, "9x12", "9x12"},    // a letter that is no specifier still counts
    {"hh mm mm", kMorning, "09 05 12", "09 05 12"},
    {"h mmm", kMorning, "9 Dec", "9 Dez"},
    // separators
    {"yyyy/mm/dd", kMorning, "2026/12/07", "2026.12.07"},
    {"hh:nn:ss", kMorning, "09:05:03", "09:05:03"},
    // quoted texts
    {"\"My Archive\" for yyyy-mm-dd", kMorning, "My Archive for 2026-12-07",
     "My Archive for 2026-12-07"},
    {"'d' d", kMorning, "d 7", "d 7"},
    {"\"it's\" d", kMorning, "it's 7", "it's 7"},
    {"d \"unclosed yyyy", kMorning, "7 unclosed yyyy", "7 unclosed yyyy"},
    {"\"\"", kMorning, "", ""},
    // everything else is copied
    {"yyyy-mm-dd-hh-mm", kMorning, "2026-12-07-09-05", "2026-12-07-09-05"},
    {"yyyymmddhhmm", kMorning, "202612070905", "202612070905"},
    {"[yyyy] #1 b_q", kMorning, "[2026] #1 b_q", "[2026] #1 b_q"},
    {"a", kMorning, "a", "a"},
    {"aa", kMorning, "aa", "aa"},
    {"e g", kMorning, "2026 ", "2026 "},  // no eras in these calendars
    {"", kMorning, "", ""},
};

TEST(DateTimePattern, EveryCaseInBothLocales) {
  const TFormatSettings us = UsEnglish();
  const TFormatSettings de = German();
  for (const Case& c : kCases) {
    EXPECT_EQ(FormatDateTime(c.pattern, c.when, us), c.us) << "US: " << c.pattern;
    EXPECT_EQ(FormatDateTime(c.pattern, c.when, de), c.german) << "German: " << c.pattern;
  }
}

TEST(DateTimePattern, LettersIgnoreCase) {
  const TFormatSettings us = UsEnglish();
  EXPECT_EQ(FormatDateTime("YYYY-MM-DD HH:NN", kMorning, us), "2026-12-07 09:05");
  EXPECT_EQ(FormatDateTime("DDDD MMMM", kMorning, us), "Monday December");
  EXPECT_EQ(FormatDateTime("T", kMorning, us), "9:05 AM");
}

TEST(DateTimePattern, ErasNameTheYear) {
  const TFormatSettings jp = fakes::JapaneseWithEras();
  EXPECT_EQ(FormatDateTime("g e", kMorning, jp), "\xE4\xBB\xA4\xE5\x92\x8C 8");
  EXPECT_EQ(FormatDateTime("ee", At(2019, 4, 30), jp), "31");  // last day of the older era
  EXPECT_EQ(FormatDateTime("ee", At(2019, 5, 1), jp), "01");
  EXPECT_EQ(FormatDateTime("g", At(1980, 1, 1), jp), "");
}

TEST(DateTimePattern, ResultsStopAt256Characters) {
  const TFormatSettings us = UsEnglish();
  std::string pattern;
  for (int i = 0; i < 40; ++i) pattern += "dddddd ";  // a long date each
  const std::string result = FormatDateTime(pattern, kMorning, us);
  EXPECT_EQ(result.size(), 256u);
  EXPECT_EQ(result.substr(0, 24), "Monday, December 7, 2026");
  EXPECT_EQ(FormatDateTime(std::string(300, 'x'), kMorning, us), std::string(256, 'x'));

  // A cut never leaves half a character.
  TFormatSettings de = German();
  std::string march;
  for (int i = 0; i < 60; ++i) march += "mmmm ";
  // 2 + 42 * 6 bytes, then "M" and the first byte of the two-byte letter.
  const std::string cut = FormatDateTime("xx" + march, kMarch, de);
  EXPECT_EQ(cut.size(), 255u);
  EXPECT_EQ(cut.back(), 'M');
}

TEST(DateTimePattern, RegionalFormatsExpandOneLevelOnly) {
  TFormatSettings looping = UsEnglish();
  looping.ShortDateFormat = "ddddd|yyyy";
  EXPECT_EQ(FormatDateTime("ddddd", kMorning, looping), "|2026");
}

TEST(SubDirName, ReadsTheClockOnce) {
  fakes::FakeClock clock(kEvening);
  fakes::FixedRegionalSettings regional(UsEnglish());
  ScopedOverride<IClock> useClock(clock);
  ScopedOverride<IRegionalSettings> useRegional(regional);
  EXPECT_EQ(FormatSubDirName("yyyy-mm-dd hh-nn-ss-zzz AMPM"), "2026-12-07 09-45-30-250 PM");
  EXPECT_EQ(clock.reads, 1);
}

TEST(SubDirName, ALetterThatEndsOnTheLastByteStaysWhole) {
  fakes::FakeClock clock(kEvening);
  fakes::FixedRegionalSettings regional(UsEnglish());
  ScopedOverride<IClock> useClock(clock);
  ScopedOverride<IRegionalSettings> useRegional(regional);
  // Two, three and four bytes: a-umlaut, the euro sign and an emoji.
  for (const std::string letter : {"\xC3\xA4", "\xE2\x82\xAC", "\xF0\x9F\x98\x80"}) {
    const std::string filler(kMaxFormattedLength - letter.size(), '_');
    EXPECT_EQ(FormatSubDirName("'" + filler + letter + "'"), filler + letter);
    EXPECT_EQ(FormatSubDirName("'" + filler + letter + "' yyyy"), filler + letter)
        << "what follows is cut, the letter is not";
    // Over the edge by one byte or more: the letter goes whole.
    for (size_t over = 1; over < letter.size(); ++over) {
      const std::string before(kMaxFormattedLength - letter.size() + over, '_');
      EXPECT_EQ(FormatSubDirName("'" + before + letter + "'"), before) << over;
    }
  }
}

TEST(DayOfWeek, KnownDates) {
  EXPECT_EQ(At(2026, 12, 7).DayOfWeek(), 2);   // Monday
  EXPECT_EQ(At(2009, 3, 1).DayOfWeek(), 1);    // Sunday
  EXPECT_EQ(At(2000, 2, 29).DayOfWeek(), 3);   // Tuesday
  EXPECT_EQ(At(1899, 12, 30).DayOfWeek(), 7);  // Saturday
}

}  // namespace
}  // namespace pw

namespace pw {
namespace {

TEST(SubDirName, RealLocaleGivesUsableNames) {
  const TFormatSettings settings = Get<IRegionalSettings>().Settings();
  for (const std::string& name : settings.LongMonthNames) EXPECT_FALSE(name.empty());
  for (const std::string& name : settings.ShortDayNames) EXPECT_FALSE(name.empty());
  // The clock stands still, so that no day or year can turn between reads.
  fakes::FakeClock clock(kEvening);
  ScopedOverride<IClock> useClock(clock);
  EXPECT_EQ(FormatSubDirName("yyyy"), "2026");
  const std::string shortDate = FormatSubDirName("ddddd");
  EXPECT_NE(shortDate.find('7'), std::string::npos) << shortDate;
  EXPECT_FALSE(FormatSubDirName("tt").empty());
}

TEST(SubDirName, RealClockGivesAValidDate) {
  const TDateTime now = Get<IClock>().Now();
  EXPECT_GE(now.Year, 2024);
  EXPECT_TRUE(now.Month >= 1 && now.Month <= 12) << now.Month;
  EXPECT_TRUE(now.Day >= 1 && now.Day <= 31) << now.Day;
  EXPECT_TRUE(now.Hour >= 0 && now.Hour < 24 && now.Minute < 60 && now.Second < 61);
}

#ifndef _WIN32
// What the real date prints with the format, at a moment it is given.
std::string DatePrints(const std::string& format, const char* moment, const char* locale) {
  std::string quoted = "'";
  for (const char c : "+" + format) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  quoted += "'";
  const std::string command =
      std::string("LC_ALL=") + locale + " date -d '" + moment + "' " + quoted + " 2>&1";
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    ::pclose(pipe);
  }
  if (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

// A script names its night's folder through date: for the patterns of
// numbers and text, date prints what the program's own formatter gives, in
// English and German; the others are not given to date.
TEST(DateCommandFormat, DatePrintsWhatTheFormatterGives) {
  const char* const patterns[] = {"yyyy-mm-dd",      "yyyy-mm-dd-hh-mm", "yyyymmddhhmm",
                                  "\"My Archive\" for yyyy-mm-dd", "yyyy-mm",
                                  "yyyy-mm-dd_hhnnss", "d.m.yy h-n-s",     "mm-hh 'it''s' 100%",
                                  "yyy hh:", "zzz"};
  const std::pair<const char*, TDateTime> moments[] = {
      {"2026-12-07 09:05:03.004", kMorning}, {"2026-03-01 21:45:30.250", At(2026, 3, 1, 21, 45, 30, 250)}};
  for (const char* pattern : patterns) {
    const std::optional<std::string> format = DateCommandFormat(pattern);
    if (std::string(pattern) == "yyy hh:") {
      EXPECT_FALSE(format) << "the regional time separator";
      continue;
    }
    ASSERT_TRUE(format) << pattern;
    for (const auto& [moment, when] : moments) {
      EXPECT_EQ(DatePrints(*format, moment, "C.UTF-8"), FormatDateTime(pattern, when, UsEnglish()))
          << pattern << " at " << moment;
      EXPECT_EQ(DatePrints(*format, moment, "de_DE.UTF-8"), FormatDateTime(pattern, when, German()))
          << pattern << " at " << moment;
    }
  }
  for (const char* named : {"dddd", "d mmm yyyy", "ddddd", "h AM/PM", "c", "t", "yyyy/mm/dd", "zz"}) {
    EXPECT_FALSE(DateCommandFormat(named)) << named;
  }
}
#endif

}  // namespace
}  // namespace pw
