// The system's scheduler, which starts the companion's nightly run: a
// systemd user timer, or a line of the user's crontab where no user manager
// runs, on POSIX; a task of the Task Scheduler on Windows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Services.h"

namespace pw {

// When a command starts: a time of the local day on some days of the week.
struct TWeeklyTime {
  int minuteOfDay = 0;  // 0 to 1439
  uint8_t days = 0x7f;  // bit 0 for Monday to bit 6 for Sunday
  int Hour() const { return minuteOfDay / 60; }
  int Minute() const { return minuteOfDay % 60; }
  bool On(int day) const { return (days >> day) & 1; }
  bool EveryDay() const { return (days & 0x7f) == 0x7f; }
};

// One settings file's nightly run, as a scheduler is to start it.
struct TScheduledCommand {
  // The entry's own name, one per settings file: "packetwright-1a2b3c4d".
  std::string name;
  // "Packetwright: the nightly run of /home/anna/Packetwright.dat".
  std::string description;
  TWeeklyTime schedule;
  // The program by its full name, and its arguments for the scheduled time.
  std::string program;
  std::vector<std::string> arguments;
  // Its arguments for a scheduler that does not make up a start it missed
  // (cron): run every quarter of an hour, they run only a night that was
  // missed.
  std::vector<std::string> catchUpArguments;
};

// Where a scheduled run is kept.
struct TScheduleEntry {
  std::string scheduler;  // "systemd user timer", "crontab", "Task Scheduler"
  std::string where;      // the timer's file, "the lines marked # NAME", the task's name
  bool operator==(const TScheduleEntry&) const = default;
};

class IScheduler {
 public:
  virtual ~IScheduler() = default;
  // Installs the command, in place of any entry of that name, and returns
  // where. Fails with an Exception saying why (a scheduler that refused it,
  // none there at all).
  virtual TScheduleEntry Install(const TScheduledCommand& command) = 0;
  // Removes the entry of that name from every scheduler that holds it, and
  // returns where it was; none when none held it.
  virtual std::optional<TScheduleEntry> Remove(const std::string& name) = 0;
  // Where the entry of that name is, if anywhere.
  virtual std::optional<TScheduleEntry> Find(const std::string& name) = 0;
};

template <>
IScheduler& DefaultService<IScheduler>();

// The entry's name for a settings file: "packetwright-" and eight hex digits
// of its full name.
std::string ScheduleEntryName(const std::string& settingsFileName);

// ---- The texts the schedulers are given (tests read them) -------------------

// The systemd timer and service of the command. Fails with an Exception for
// a program or argument that holds a line end.
std::string SystemdTimerText(const TScheduledCommand& command);
std::string SystemdServiceText(const TScheduledCommand& command);
// "Mon,Wed *-*-* 02:00:00", or "*-*-* 02:00:00" for every day.
std::string SystemdCalendar(const TWeeklyTime& schedule);

// The crontab with the command's lines in place of any earlier lines of its
// name, every other line kept byte for byte; and with them taken out (the
// same text when it holds none). A crontab that does not end its last line
// gets its line end first.
std::string CrontabWith(const std::string& crontab, const TScheduledCommand& command);
std::string CrontabWithout(const std::string& crontab, const std::string& name);
bool CrontabHolds(const std::string& crontab, const std::string& name);

// The Task Scheduler's definition of the task, as XML text.
std::string TaskDefinitionXml(const TScheduledCommand& command, const std::string& author);

}  // namespace pw
