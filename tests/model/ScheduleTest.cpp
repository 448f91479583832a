// The nightly schedule as the document keeps it: its text, its place in the
// settings file, and what a file may not hold there.
#include <gtest/gtest.h>

#include "model/HoardkeeperClasses.h"
#include "platform/Errors.h"
#include "tests/model/StreamBytes.h"

namespace pw {
namespace {

using namespace pw::test;

TEST(ScheduleText, TimesAndDaysAreReadStrictly) {
  EXPECT_EQ(ParseScheduleTime("02:00"), 120);
  EXPECT_EQ(ParseScheduleTime("2:05"), 125);
  EXPECT_EQ(ParseScheduleTime("23:59"), 23 * 60 + 59);
  for (const char* bad : {"24:00", "12:60", "2:5", "0200", ":00", "02:00:00", "ab:cd", "",
                          "-1:00", "002:00"}) {
    EXPECT_EQ(ParseScheduleTime(bad), std::nullopt) << bad;
  }
  EXPECT_EQ(ParseScheduleDays("mon,FRI,Sun"), 0b1010001);
  for (const char* bad : {"", "mon,", ",mon", "mon,mon", "monday", "mo", "mon tue"}) {
    EXPECT_EQ(ParseScheduleDays(bad), std::nullopt) << bad;
  }
}

TEST(ScheduleText, TextAndParseGiveEachOtherBack) {
  TSchedule every;
  every.minuteOfDay = 150;
  EXPECT_EQ(ScheduleText(every), "02:30");
  TSchedule some{23 * 60 + 5, 0b0010101};
  EXPECT_EQ(ScheduleText(some), "23:05 mon,wed,fri");
  EXPECT_EQ(ScheduleDaysText(some), "mon,wed,fri");
  EXPECT_EQ(ScheduleDaysText(every), "");
  for (const TSchedule& s : {every, some, TSchedule{}}) {
    EXPECT_EQ(ParseSchedule(ScheduleText(s)), s) << ScheduleText(s);
  }
  EXPECT_EQ(ScheduleText(TSchedule{}), "");
  EXPECT_EQ(ParseSchedule("02:30 "), std::nullopt);
  EXPECT_EQ(ParseSchedule("02:30 xyz"), std::nullopt);
}

TEST(ScheduleInTheSettingsFile, ComesAfterTheExcludeSwitchAndTravelsBack) {
  TbkManager manager;
  manager.SetExcludeKey("-x");
  manager.SetModified(false);
  manager.SetSchedule(TSchedule{150, 0b0000011});
  EXPECT_TRUE(manager.GetModified());
  manager.SetModified(false);
  manager.SetSchedule(TSchedule{150, 0b0000011});
  EXPECT_FALSE(manager.GetModified()) << "the same schedule again is no change";

  const std::string bytes = Save(manager);
  EXPECT_EQ(bytes, Document(Short("OutputPath") + Str("C:\\MyArchives") + Short("ExcludeKey") +
                            Str("-x") + Short("Schedule") + Str("02:30 mon,tue") +
                            Short("Directories") + Hex("0E 00") + Short("Rules") + Hex("0E 00")));
  TbkManager copy;
  Load(copy, bytes);
  EXPECT_EQ(copy.Schedule(), manager.Schedule());
}

TEST(ScheduleInTheSettingsFile, AScheduleThatIsNoneOfOursIsRefused) {
  for (const char* bad : {"25:00", "02:00 mon,mon", "02:00  mon"}) {
    TbkManager manager;
    try {
      Load(manager, Document(Short("Schedule") + Str(bad)));
      ADD_FAILURE() << bad << " was read";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), "Error reading TbkManager.Schedule: Invalid property value") << bad;
    }
  }
  TbkManager manager;
  EXPECT_THROW(Load(manager, Document(Short("Schedule") + Hex("08"))), Exception)
      << "a schedule is a text";
}

}  // namespace
}  // namespace pw
