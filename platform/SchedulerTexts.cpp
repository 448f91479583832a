#include <cstdint>
#include <cstdio>
#include <sstream>

#include "platform/CommandLine.h"
#include "platform/Errors.h"
#include "platform/Scheduler.h"
#include "platform/TextCodec.h"

namespace pw {

namespace {

void RefuseLineEnds(const std::string& text) {
  if (text.find_first_of("\r\n") != std::string::npos) {
    throw Exception("Cannot schedule a command whose text holds a line end: " + text);
  }
}

// One word of ExecStart=: in double quotes, with the specifiers' % and the
// variables' $ doubled.
std::string SystemdWord(const std::string& word) {
  RefuseLineEnds(word);
  std::string out = "\"";
  for (const char c : word) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '%') out += '%';
    if (c == '$') out += '$';
    out += c;
  }
  return out + "\"";
}

std::string SystemdDescription(const std::string& text) {
  RefuseLineEnds(text);
  std::string out;
  for (const char c : text) {
    if (c == '%') out += '%';
    out += c;
  }
  return out;
}

// One word for the shell that cron starts, with cron's % escaped.
std::string CronWord(const std::string& word) {
  RefuseLineEnds(word);
  std::string out = "'";
  for (const char c : word) {
    if (c == '\'') {
      out += "'\\''";
    } else if (c == '%') {
      out += "\\%";
    } else {
      out += c;
    }
  }
  return out + "'";
}

std::string Marker(const std::string& name) {
  return "# " + name;
}

// Whether the line is one of the entry's: it ends with its marker, or with
// the marker and " catch-up".
bool MarkedLine(const std::string& line, const std::string& name) {
  const std::string marker = " " + Marker(name);
  for (const std::string& end : {marker, marker + " catch-up"}) {
    if (line.size() >= end.size() && line.compare(line.size() - end.size(), end.size(), end) == 0) {
      return true;
    }
  }
  return false;
}

template <class Each>
void ForEachLine(const std::string& text, Each each) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    const bool ended = end != std::string::npos;
    if (!ended) end = text.size();
    each(text.substr(start, end - start), ended);
    start = end + 1;
  }
}

std::string CronDays(const TWeeklyTime& schedule) {
  if (schedule.EveryDay()) return "*";
  std::string days;
  for (int day = 0; day < 7; ++day) {
    if (!schedule.On(day)) continue;
    if (!days.empty()) days += ',';
    days += std::to_string((day + 1) % 7);  // cron's 0 is Sunday
  }
  return days;
}

}  // namespace

std::string ScheduleEntryName(const std::string& settingsFileName) {
  uint32_t hash = 2166136261u;  // FNV-1a
  for (const char c : settingsFileName) {
    hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  }
  char text[24];
  std::snprintf(text, sizeof text, "packetwright-%08x", hash);
  return text;
}

std::string SystemdCalendar(const TWeeklyTime& schedule) {
  static const char* const names[7] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
  std::string days;
  if (!schedule.EveryDay()) {
    for (int day = 0; day < 7; ++day) {
      if (!schedule.On(day)) continue;
      days += (days.empty() ? "" : ",") + std::string(names[day]);
    }
    days += ' ';
  }
  char time[24];
  std::snprintf(time, sizeof time, "%02d:%02d:00", schedule.Hour(), schedule.Minute());
  return days + "*-*-* " + time;
}

std::string SystemdTimerText(const TScheduledCommand& command) {
  return "[Unit]\n"
         "Description=" + SystemdDescription(command.description) + "\n"
         "\n"
         "[Timer]\n"
         "OnCalendar=" + SystemdCalendar(command.schedule) + "\n"
         // A start missed while the computer was off or asleep is made up
         // as soon as it is on again.
         "Persistent=true\n"
         "AccuracySec=1min\n"
         "Unit=" + command.name + ".service\n"
         "\n"
         "[Install]\n"
         "WantedBy=timers.target\n";
}

std::string SystemdServiceText(const TScheduledCommand& command) {
  std::string exec = SystemdWord(command.program);
  for (const std::string& arg : command.arguments) exec += " " + SystemdWord(arg);
  return "[Unit]\n"
         "Description=" + SystemdDescription(command.description) + "\n"
         "\n"
         "[Service]\n"
         "Type=oneshot\n"
         "ExecStart=" + exec + "\n";
}

bool CrontabHolds(const std::string& crontab, const std::string& name) {
  bool holds = false;
  ForEachLine(crontab, [&](const std::string& line, bool) { holds = holds || MarkedLine(line, name); });
  return holds;
}

std::string CrontabWithout(const std::string& crontab, const std::string& name) {
  std::string out;
  ForEachLine(crontab, [&](const std::string& line, bool ended) {
    if (MarkedLine(line, name)) return;
    out += line;
    if (ended) out += '\n';
  });
  return out;
}

std::string CrontabWith(const std::string& crontab, const TScheduledCommand& command) {
  std::string out = CrontabWithout(crontab, command.name);
  if (!out.empty() && out.back() != '\n') out += '\n';
  const TWeeklyTime& s = command.schedule;
  std::string run = CronWord(command.program);
  for (const std::string& arg : command.arguments) run += " " + CronWord(arg);
  std::string catchUp = CronWord(command.program);
  for (const std::string& arg : command.catchUpArguments) catchUp += " " + CronWord(arg);
  // What the run prints goes nowhere; what fails reaches cron's mail.
  out += std::to_string(s.Minute()) + " " + std::to_string(s.Hour()) + " * * " + CronDays(s) +
         " " + run + " >/dev/null " + Marker(command.name) + "\n";
  // Cron does not make up a start the computer was off or asleep for: every
  // quarter of an hour, away from the scheduled minute, a night that nothing
  // ran for is run.
  std::string minutes;
  for (int k = 0; k < 4; ++k) {
    minutes += (k ? "," : "") + std::to_string((s.Minute() + 7) % 15 + 15 * k);
  }
  out += minutes + " * * * * " + catchUp + " >/dev/null " + Marker(command.name) + " catch-up\n";
  return out;
}

std::string TaskDefinitionXml(const TScheduledCommand& command, const std::string& author) {
  static const char* const names[7] = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                       "Friday", "Saturday", "Sunday"};
  const TWeeklyTime& s = command.schedule;
  std::string arguments;
  for (const std::string& arg : command.arguments) {
    RefuseLineEnds(arg);
    arguments += (arguments.empty() ? "" : " ") + QuoteWindowsArgument(arg);
  }
  RefuseLineEnds(command.program);
  char start[32];
  // Any day in the past: the trigger's days and time say when.
  std::snprintf(start, sizeof start, "2026-01-01T%02d:%02d:00", s.Hour(), s.Minute());
  std::ostringstream xml;
  xml << "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
      << "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\r\n"
      << "  <RegistrationInfo>\r\n"
      << "    <Author>" << EscapeXml(author) << "</Author>\r\n"
      << "    <Description>" << EscapeXml(command.description) << "</Description>\r\n"
      << "  </RegistrationInfo>\r\n"
      << "  <Triggers>\r\n"
      << "    <CalendarTrigger>\r\n"
      << "      <StartBoundary>" << start << "</StartBoundary>\r\n"
      << "      <Enabled>true</Enabled>\r\n";
  if (s.EveryDay()) {
    xml << "      <ScheduleByDay>\r\n"
        << "        <DaysInterval>1</DaysInterval>\r\n"
        << "      </ScheduleByDay>\r\n";
  } else {
    xml << "      <ScheduleByWeek>\r\n"
        << "        <DaysOfWeek>\r\n";
    for (int day = 0; day < 7; ++day) {
      if (s.On(day)) xml << "          <" << names[day] << " />\r\n";
    }
    xml << "        </DaysOfWeek>\r\n"
        << "        <WeeksInterval>1</WeeksInterval>\r\n"
        << "      </ScheduleByWeek>\r\n";
  }
  xml << "    </CalendarTrigger>\r\n"
      << "  </Triggers>\r\n"
      << "  <Principals>\r\n"
      << "    <Principal id=\"Author\">\r\n"
      << "      <LogonType>InteractiveToken</LogonType>\r\n"
      << "      <RunLevel>LeastPrivilege</RunLevel>\r\n"
      << "    </Principal>\r\n"
      << "  </Principals>\r\n"
      << "  <Settings>\r\n"
      // A start missed while the computer was off or asleep is made up.
      << "    <StartWhenAvailable>true</StartWhenAvailable>\r\n"
      << "    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>\r\n"
      << "    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>\r\n"
      << "    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>\r\n"
      << "    <ExecutionTimeLimit>PT0S</ExecutionTimeLimit>\r\n"
      << "    <Enabled>true</Enabled>\r\n"
      << "  </Settings>\r\n"
      << "  <Actions Context=\"Author\">\r\n"
      << "    <Exec>\r\n"
      << "      <Command>" << EscapeXml(command.program) << "</Command>\r\n"
      << "      <Arguments>" << EscapeXml(arguments) << "</Arguments>\r\n"
      << "    </Exec>\r\n"
      << "  </Actions>\r\n"
      << "</Task>\r\n";
  return xml.str();
}

}  // namespace pw
