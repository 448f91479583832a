// What the schedule has done and has still to do, read from journals of
// nights that went well, failed or never came.
#include <gtest/gtest.h>

#include "archiver/Journal.h"
#include "archiver/NightSchedule.h"
#include "platform/ProgramPath.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

TLocalTime At(const char* journalTime) {
  return LocalTimeOfJournal(journalTime).value();
}

TEST(ScheduledStarts, LatestAndNextKeepToTheDaysOfTheWeek) {
  // 2026-12-09 is a Wednesday.
  const TLocalTime now = At("2026-12-09T10:00:00+01:00");
  EXPECT_EQ(LocalTimeText(now), "Wed 2026-12-09 10:00");
  TSchedule every{120, kEveryDay};
  EXPECT_EQ(LatestScheduledStart(every, now), At("2026-12-09T02:00:00Z"));
  EXPECT_EQ(NextScheduledStart(every, now), At("2026-12-10T02:00:00Z"));
  // At the very second of a start, that start has come.
  EXPECT_EQ(LatestScheduledStart(every, At("2026-12-09T02:00:00Z")), At("2026-12-09T02:00:00Z"));
  EXPECT_EQ(NextScheduledStart(every, At("2026-12-09T02:00:00Z")), At("2026-12-10T02:00:00Z"));

  TSchedule mondays{23 * 60 + 30, 0b0000001};
  EXPECT_EQ(LatestScheduledStart(mondays, now), At("2026-12-07T23:30:00Z"));
  EXPECT_EQ(NextScheduledStart(mondays, now), At("2026-12-14T23:30:00Z"));
  // Across the end of a year and a leap day.
  TSchedule fridays{0, 0b0010000};
  EXPECT_EQ(NextScheduledStart(fridays, At("2026-12-31T12:00:00Z")), At("2027-01-01T00:00:00Z"));
  EXPECT_EQ(LatestScheduledStart(every, At("2028-03-01T01:00:00Z")), At("2028-02-29T02:00:00Z"));

  EXPECT_EQ(LatestScheduledStart(TSchedule{}, now), std::nullopt);
  EXPECT_EQ(NextScheduledStart(TSchedule{}, now), std::nullopt);
}

TEST(ScheduledStarts, JournalTimesAreReadOnTheLocalClock) {
  EXPECT_EQ(At("2026-12-09T02:00:00+01:00"), At("2026-12-09T02:00:00-05:00"));
  EXPECT_EQ(DateTimeOf(At("1969-12-31T23:59:59Z")).Year, 1969);
  for (const char* bad : {"", "2026-12-09", "2026-13-01T00:00:00Z", "2026-02-30T00:00:00Z",
                          "2026-12-09 02:00:00", "2026-12-09T24:00:00Z"}) {
    EXPECT_EQ(LocalTimeOfJournal(bad), std::nullopt) << bad;
  }
}

class NightsTest : public ::testing::Test {
 protected:
  NightsTest() : temp("nights") {
    journal = test::ProgramPath(temp / "Packetwright.journal");
    manager.SetSchedule(TSchedule{120, kEveryDay});
    for (const char* name : {"/data/one", "/data/two", "/data/off"}) {
      manager.Directories()->Add()->SetPath(name);
    }
    manager.Directories()->Items(2)->SetNeedArchive(false);
  }

  void Add(int position, const std::string& started, int status = 0) {
    TJournalRecord r;
    r.position = position;
    r.directory = manager.Directories()->Items(position - 1)->Path();
    r.archive = "/out/" + std::to_string(position) + ".7z";
    r.started = started;
    r.ended = started;
    r.status = status;
    AppendJournalRecord(journal, r);
  }

  TNightsReport Report(const char* now) { return ReportNights(manager, journal, At(now)); }

  test::TTempFolder temp;
  std::string journal;
  TbkManager manager;
};

TEST_F(NightsTest, NightsThatNothingRanForAreMissedAndCaughtUpOnce) {
  // No journal: nothing to say.
  TNightsReport r = Report("2026-12-09T10:00:00+01:00");
  EXPECT_EQ(r.missed, 0);
  EXPECT_EQ(r.withRecords, 0);
  EXPECT_TRUE(Due(r.directories[0], r.latestStart));
  EXPECT_EQ(NightsLine(r), "");
  ASSERT_EQ(r.directories.size(), 2u) << "only the marked directories";

  // The night of the 6th went well; the 7th, 8th and 9th the computer was off.
  Add(1, "2026-12-06T02:00:05+01:00");
  Add(2, "2026-12-06T02:00:06+01:00");
  r = Report("2026-12-09T10:00:00+01:00");
  EXPECT_EQ(r.missed, 3);
  EXPECT_EQ(NightsLine(r), "3 scheduled nights were missed");
  EXPECT_FALSE(RunSince(r));
  EXPECT_TRUE(Due(r.directories[0], r.latestStart));
  EXPECT_TRUE(Due(r.directories[1], r.latestStart));

  // The catch-up at ten: nothing is due any more, the nights are made up.
  // Jobs are written as they end: the last record written may be of a job
  // that started long before.
  Add(2, "2026-12-09T10:00:02+01:00");
  Add(1, "2026-12-09T10:00:01+01:00");
  Add(3, "2026-12-09T01:59:00+01:00", 2);
  r = Report("2026-12-09T10:15:00+01:00");
  EXPECT_EQ(r.missed, 0);
  EXPECT_TRUE(RunSince(r));
  EXPECT_FALSE(Due(r.directories[0], r.latestStart));
  EXPECT_FALSE(Due(r.directories[1], r.latestStart));
  // The next night both are due again.
  r = Report("2026-12-10T02:00:00+01:00");
  EXPECT_TRUE(Due(r.directories[0], r.latestStart));
  EXPECT_FALSE(RunSince(r));
}

TEST_F(NightsTest, ADirectoryThatFailedStaysDueAndIsCounted) {
  Add(1, "2026-12-08T02:00:05+01:00");
  Add(2, "2026-12-08T02:00:06+01:00");
  Add(1, "2026-12-09T02:00:05+01:00");
  Add(2, "2026-12-09T02:00:06+01:00", 2);
  TNightsReport r = Report("2026-12-09T08:00:00+01:00");
  EXPECT_EQ(r.failed, 1);
  EXPECT_EQ(r.withRecords, 2);
  EXPECT_EQ(r.firstFailed, "/data/two");
  EXPECT_EQ(r.missed, 0) << "the night ran, though not well";
  EXPECT_EQ(NightsLine(r), "Last night: 1 of 2 directories failed");
  EXPECT_TRUE(RunSince(r));
  EXPECT_FALSE(Due(r.directories[0], r.latestStart));
  EXPECT_TRUE(Due(r.directories[1], r.latestStart));
  ASSERT_TRUE(r.nextStart);
  EXPECT_EQ(LocalTimeText(*r.nextStart), "Thu 2026-12-10 02:00");

  // Two nights later, with nothing run since: both missed, and still failed.
  r = Report("2026-12-11T09:00:00+01:00");
  EXPECT_EQ(r.missed, 2);
  EXPECT_EQ(NightsLine(r), "Last night: 1 of 2 directories failed; 2 scheduled nights were missed");
}

TEST_F(NightsTest, OnlyTheScheduledDaysCount) {
  manager.SetSchedule(TSchedule{120, 0b0000001});  // Mondays
  Add(1, "2026-11-30T02:00:05+01:00");              // a Monday
  TNightsReport r = Report("2026-12-09T10:00:00+01:00");
  EXPECT_EQ(r.missed, 1) << "Monday the 7th only";
  EXPECT_TRUE(Due(r.directories[0], r.latestStart));
  // A record of an unmarked directory is still a run of the settings file.
  Add(3, "2026-12-07T02:00:01+01:00");
  r = Report("2026-12-09T10:00:00+01:00");
  EXPECT_EQ(r.missed, 0);
  EXPECT_TRUE(Due(r.directories[0], r.latestStart));
}

}  // namespace
}  // namespace pw
