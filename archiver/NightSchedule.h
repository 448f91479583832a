// What the schedule of a settings file has done and has still to do: when
// its nightly run starts next, which of the marked directories are due, how
// the last nights went and how many were missed, read from the journal.
//
// Times are those of the local clock, as seconds since 1970-01-01 00:00 of
// the local calendar (TLocalTime): the schedule names a time of the local
// day, and the journal records each start with the local time, which is
// what is compared. An hour that the clock goes through twice in autumn is
// taken as one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archiver/Journal.h"
#include "model/HoardkeeperClasses.h"
#include "platform/Clock.h"
#include "platform/Scheduler.h"

namespace pw {

using TLocalTime = int64_t;

TLocalTime LocalTimeOf(const TDateTime& moment);
TDateTime DateTimeOf(TLocalTime time);
// The local time of a journal time ("2026-12-08T02:30:00+01:00"), its offset
// set aside; none for a text that is no such time.
std::optional<TLocalTime> LocalTimeOfJournal(std::string_view text);
// "Wed 2026-12-09 02:00".
std::string LocalTimeText(TLocalTime time);

// The latest start of the schedule at or before now, and the first after
// now; none when nothing is scheduled.
std::optional<TLocalTime> LatestScheduledStart(const TSchedule& schedule, TLocalTime now);
std::optional<TLocalTime> NextScheduledStart(const TSchedule& schedule, TLocalTime now);

// A marked directory of the document and what the journal holds of it.
struct TDirectoryNights {
  int position = 0;  // from 1, as `show` counts
  std::string directory;
  std::optional<TJournalRecord> latest;   // its latest record
  std::optional<TLocalTime> lastSuccess;  // the start of its latest successful job
};

struct TNightsReport {
  std::vector<TDirectoryNights> directories;  // the marked ones, in the document's order
  std::optional<TLocalTime> latestStart, nextStart;
  std::optional<TJournalRecord> lastRecord;  // the journal's last, of any directory
  // The latest start of any job in the journal: jobs end, and are written,
  // in another order than they start.
  std::optional<TLocalTime> lastStart;
  // Of the marked directories with a record, those whose latest one failed,
  // and the first of them in the document's order.
  int withRecords = 0;
  int failed = 0;
  std::string firstFailed;
  // Scheduled starts after the last success of any marked directory (after
  // the journal's first record when none succeeded) at which no job of the
  // settings file started before the next scheduled start: nights the
  // computer was off or asleep, or nothing ran. 0 without a schedule or a
  // journal.
  int missed = 0;
};

// Reads the journal once.
TNightsReport ReportNights(const TbkManager& manager, const std::string& journalFile,
                           TLocalTime now);

// A directory is due when it has not succeeded since the latest scheduled
// start; with none passed yet, or no schedule, it is not.
bool Due(const TDirectoryNights& directory, std::optional<TLocalTime> latestStart);
// Whether any job of the settings file started at or after the latest
// scheduled start: that night has been run, whatever became of it.
bool RunSince(const TNightsReport& report);

// The line that sums the last night up, or "" when it went well: "Last
// night: 2 of 12 directories failed" and "3 scheduled nights were missed",
// joined by "; " when both hold.
std::string NightsLine(const TNightsReport& report);

// "every day at 02:00", "on mon,fri at 02:30", or "none".
std::string ScheduleWords(const TSchedule& schedule);

// The nightly run of the settings file (its full name) as the schedulers
// are to start it: the companion beside this program, `run --wait --due`,
// and for a scheduler that does not make up missed starts the same with
// --if-missed.
TScheduledCommand NightlyRunCommand(const TSchedule& schedule, const std::string& settingsFileName);

// What the schedule of a settings file has done and will do, one fact a
// line, as `schedule show` prints it and the Schedule dialog shows it:
// "Settings file", "Schedule", "Kept by" (which scheduler holds it, asked
// of IScheduler), "Next run", "Last run" (when, and how the latest job of
// each marked directory went) and "Missed nights".
struct TScheduleFact {
  std::string label, value;
};
std::vector<TScheduleFact> ScheduleFacts(const TbkManager& manager,
                                         const std::string& settingsFileName, TLocalTime now);

}  // namespace pw
