#include "archiver/NightSchedule.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <unordered_map>

#include "archiver/JournalResult.h"
#include "archiver/Password.h"
#include "platform/ProgramPath.h"

namespace pw {

namespace {

constexpr int64_t kDay = 86400;

// 0 for Monday to 6 for Sunday.
int WeekdayOf(TLocalTime time) {
  const int64_t days = time >= 0 ? time / kDay : (time - kDay + 1) / kDay;
  return static_cast<int>(((days % 7) + 7 + 3) % 7);  // 1970-01-01 was a Thursday
}

TLocalTime StartOfDay(TLocalTime time) {
  return time - (((time % kDay) + kDay) % kDay);
}

// A scheduled start comes on one of the next or previous eight days, or never.
constexpr int kWeekAndADay = 8;

}  // namespace

TLocalTime LocalTimeOf(const TDateTime& m) {
  using namespace std::chrono;
  const sys_days day = year_month_day{year{m.Year}, month{static_cast<unsigned>(m.Month)},
                                      std::chrono::day{static_cast<unsigned>(m.Day)}};
  return day.time_since_epoch().count() * kDay + m.Hour * 3600 + m.Minute * 60 + m.Second;
}

TDateTime DateTimeOf(TLocalTime time) {
  using namespace std::chrono;
  const TLocalTime start = StartOfDay(time);
  const year_month_day ymd{sys_days{days{start / kDay}}};
  const int64_t second = time - start;
  TDateTime m;
  m.Year = static_cast<int>(ymd.year());
  m.Month = static_cast<int>(static_cast<unsigned>(ymd.month()));
  m.Day = static_cast<int>(static_cast<unsigned>(ymd.day()));
  m.Hour = static_cast<int>(second / 3600);
  m.Minute = static_cast<int>(second / 60 % 60);
  m.Second = static_cast<int>(second % 60);
  return m;
}

std::optional<TLocalTime> LocalTimeOfJournal(std::string_view t) {
  // "YYYY-MM-DDTHH:MM:SS", then the offset.
  if (t.size() < 19 || t[4] != '-' || t[7] != '-' || t[10] != 'T' || t[13] != ':' ||
      t[16] != ':') {
    return std::nullopt;
  }
  int value[6] = {};
  const size_t at[6] = {0, 5, 8, 11, 14, 17}, width[6] = {4, 2, 2, 2, 2, 2};
  for (int i = 0; i < 6; ++i) {
    for (size_t k = at[i]; k < at[i] + width[i]; ++k) {
      if (t[k] < '0' || t[k] > '9') return std::nullopt;
      value[i] = value[i] * 10 + (t[k] - '0');
    }
  }
  const std::chrono::year_month_day ymd{std::chrono::year{value[0]},
                                        std::chrono::month{static_cast<unsigned>(value[1])},
                                        std::chrono::day{static_cast<unsigned>(value[2])}};
  if (!ymd.ok() || value[3] > 23 || value[4] > 59 || value[5] > 60) return std::nullopt;
  TDateTime m;
  m.Year = value[0], m.Month = value[1], m.Day = value[2];
  m.Hour = value[3], m.Minute = value[4], m.Second = value[5];
  return LocalTimeOf(m);
}

std::string LocalTimeText(TLocalTime time) {
  static const char* const names[7] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
  const TDateTime m = DateTimeOf(time);
  char text[32];
  std::snprintf(text, sizeof text, "%s %04d-%02d-%02d %02d:%02d", names[WeekdayOf(time)], m.Year,
                m.Month, m.Day, m.Hour, m.Minute);
  return text;
}

std::optional<TLocalTime> LatestScheduledStart(const TSchedule& schedule, TLocalTime now) {
  if (!schedule.Set() || (schedule.days & kEveryDay) == 0) return std::nullopt;
  for (int back = 0; back < kWeekAndADay; ++back) {
    const TLocalTime start = StartOfDay(now) - back * kDay + schedule.minuteOfDay * 60;
    if (start <= now && schedule.On(WeekdayOf(start))) return start;
  }
  return std::nullopt;
}

std::optional<TLocalTime> NextScheduledStart(const TSchedule& schedule, TLocalTime now) {
  if (!schedule.Set() || (schedule.days & kEveryDay) == 0) return std::nullopt;
  for (int ahead = 0; ahead < kWeekAndADay; ++ahead) {
    const TLocalTime start = StartOfDay(now) + ahead * kDay + schedule.minuteOfDay * 60;
    if (start > now && schedule.On(WeekdayOf(start))) return start;
  }
  return std::nullopt;
}

TNightsReport ReportNights(const TbkManager& manager, const std::string& journalFile,
                           TLocalTime now) {
  TNightsReport report;
  const TSchedule& schedule = manager.Schedule();
  report.latestStart = LatestScheduledStart(schedule, now);
  report.nextStart = NextScheduledStart(schedule, now);
  std::unordered_map<std::string, size_t> marked;  // by the path as the journal gives it back
  const TbkDirectories& directories = *manager.Directories();
  for (int i = 0; i < directories.Count(); ++i) {
    const TbkDirectory& d = *directories.Items(i);
    if (!d.NeedArchive()) continue;
    if (!marked.try_emplace(AsReadFromJournal(d.Path()), report.directories.size()).second) {
      continue;
    }
    TDirectoryNights nights;
    nights.position = i + 1;
    nights.directory = d.Path();
    report.directories.push_back(std::move(nights));
  }
  std::vector<TLocalTime> starts;  // of every record
  ForEachJournalRecord(journalFile, [&](TJournalRecord& record, std::string_view) {
    if (!record.IsJob()) return;  // a prune's: no run
    const std::optional<TLocalTime> started = LocalTimeOfJournal(record.started);
    if (started) starts.push_back(*started);
    if (const auto at = marked.find(record.directory); at != marked.end()) {
      TDirectoryNights& nights = report.directories[at->second];
      if (started && JobArchived(record)) {
        nights.lastSuccess = std::max(nights.lastSuccess.value_or(*started), *started);
      }
      nights.latest = record;
    }
    report.lastRecord = std::move(record);
  });
  for (const TDirectoryNights& nights : report.directories) {
    if (!nights.latest) continue;
    ++report.withRecords;
    if (JobFailed(*nights.latest)) {
      if (report.failed++ == 0) report.firstFailed = nights.directory;
    }
  }

  if (starts.empty()) return report;
  std::sort(starts.begin(), starts.end());
  report.lastStart = starts.back();
  if (!report.latestStart) return report;
  std::optional<TLocalTime> since;
  for (const TDirectoryNights& nights : report.directories) {
    if (nights.lastSuccess) since = std::max(since.value_or(*nights.lastSuccess), *nights.lastSuccess);
  }
  const TLocalTime from = since.value_or(starts.front());
  // Back from the latest start to the first after from; a year of them at most.
  TLocalTime next = now + 1;
  std::optional<TLocalTime> start = report.latestStart;
  for (int n = 0; start && *start > from && n < 366 * 2; ++n) {
    const auto ran = std::lower_bound(starts.begin(), starts.end(), *start);
    if (ran == starts.end() || *ran >= next) ++report.missed;
    next = *start;
    start = LatestScheduledStart(schedule, *start - 1);
  }
  return report;
}

bool Due(const TDirectoryNights& directory, std::optional<TLocalTime> latestStart) {
  return latestStart && (!directory.lastSuccess || *directory.lastSuccess < *latestStart);
}

bool RunSince(const TNightsReport& report) {
  return report.latestStart && report.lastStart && *report.lastStart >= *report.latestStart;
}

std::string NightsLine(const TNightsReport& report) {
  std::string line;
  if (report.failed > 0) {
    line = "Last night: " + std::to_string(report.failed) + " of " +
           std::to_string(report.withRecords) +
           (report.withRecords == 1 ? " directory failed" : " directories failed");
  }
  if (report.missed > 0) {
    if (!line.empty()) line += "; ";
    line += report.missed == 1 ? "1 scheduled night was missed"
                               : std::to_string(report.missed) + " scheduled nights were missed";
  }
  return line;
}

std::string ScheduleWords(const TSchedule& schedule) {
  if (!schedule.Set()) return "none";
  const std::string days = ScheduleDaysText(schedule);
  return (days.empty() ? std::string("every day") : "on " + days) + " at " +
         ScheduleTimeText(schedule);
}

TScheduledCommand NightlyRunCommand(const TSchedule& schedule, const std::string& settingsFileName) {
  TScheduledCommand command;
  command.name = ScheduleEntryName(settingsFileName);
  command.description = "Packetwright: the nightly run of " + settingsFileName;
  command.schedule.minuteOfDay = schedule.minuteOfDay;
  command.schedule.days = schedule.days;
  command.program = CompanionProgram();
  command.arguments = {"--settings", settingsFileName, "run", "--wait", "--due"};
  command.catchUpArguments = command.arguments;
  command.catchUpArguments.push_back("--if-missed");
  return command;
}

std::vector<TScheduleFact> ScheduleFacts(const TbkManager& manager,
                                         const std::string& settingsFileName, TLocalTime now) {
  const TSchedule& schedule = manager.Schedule();
  const std::optional<TScheduleEntry> entry =
      Get<IScheduler>().Find(ScheduleEntryName(settingsFileName));
  const TNightsReport nights = ReportNights(manager, JournalFileName(settingsFileName), now);
  std::vector<TScheduleFact> facts = {{"Settings file", settingsFileName},
                                      {"Schedule", ScheduleWords(schedule)}};
  if (entry) {
    facts.push_back({"Kept by", entry->scheduler + ", " + entry->where});
  } else {
    facts.push_back({"Kept by", schedule.Set() ? "no scheduler: nothing will start it (setting "
                                                 "the schedule again installs it)"
                                               : "no scheduler"});
  }
  const TPasswordPlace& password = manager.Password();
  if (password.InUse()) {
    facts.push_back({"Password", "read from " + PasswordPlaceDescription(password)});
    // cron starts its commands with no session, and so with no keyring.
    if (password.keptIn == TPasswordKeeping::pkKeyring && entry && entry->scheduler == "crontab") {
      facts.push_back({"Warning", "a run the crontab starts cannot reach the keyring, and its "
                                  "directories fail: choose a password file "
                                  "(packetwright-cli password set --file PATH)"});
    }
  }
  if (nights.nextStart) facts.push_back({"Next run", LocalTimeText(*nights.nextStart)});
  if (!nights.lastRecord) {
    facts.push_back({"Last run", "none in the journal"});
  } else {
    const std::optional<TLocalTime> last = LocalTimeOfJournal(nights.lastRecord->started);
    std::string result;
    if (nights.withRecords == 0) {
      result = "no marked directory has run yet";
    } else if (nights.failed == 0) {
      result = nights.withRecords == 1 ? "the one directory OK"
                                       : "all " + std::to_string(nights.withRecords) + " OK";
    } else {
      result = std::to_string(nights.failed) + " of " + std::to_string(nights.withRecords) +
               " failed, the first " + nights.firstFailed;
    }
    facts.push_back(
        {"Last run", (last ? LocalTimeText(*last) : nights.lastRecord->started) + ", " + result});
  }
  if (schedule.Set()) {
    facts.push_back({"Missed nights", std::to_string(nights.missed) + " since the last success"});
  }
  return facts;
}

}  // namespace pw
