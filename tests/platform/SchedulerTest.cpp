// What the schedulers are given for a nightly run, and, on POSIX, the
// systemd user timer and the crontab installed and removed through stand-in
// systemctl and crontab programs first on PATH.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "platform/Errors.h"
#include "platform/Scheduler.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

namespace fs = std::filesystem;
using namespace pw::test;

TScheduledCommand Command(const std::string& program = "/usr/bin/packetwright-cli",
                          const std::string& settings = "/home/anna/Packetwright.dat") {
  TScheduledCommand c;
  c.name = ScheduleEntryName(settings);
  c.description = "Packetwright: the nightly run of " + settings;
  c.schedule.minuteOfDay = 2 * 60 + 30;
  c.program = program;
  c.arguments = {"--settings", settings, "run", "--wait", "--due"};
  c.catchUpArguments = c.arguments;
  c.catchUpArguments.push_back("--if-missed");
  return c;
}

TEST(SchedulerTexts, EachSettingsFileHasAnEntryOfItsOwn) {
  EXPECT_EQ(ScheduleEntryName("/a/Packetwright.dat"), ScheduleEntryName("/a/Packetwright.dat"));
  EXPECT_NE(ScheduleEntryName("/a/Packetwright.dat"), ScheduleEntryName("/b/Packetwright.dat"));
  EXPECT_EQ(ScheduleEntryName("/a/Packetwright.dat").size(), std::string("packetwright-").size() + 8);
}

TEST(SchedulerTexts, SystemdUnitsQuoteEveryWordAndEscapeSpecifiers) {
  TScheduledCommand c = Command("/opt/pw 100%/packetwright-cli", "/home/anna/\"$HOME\" a\\b.dat");
  c.schedule.days = 0b1000001;  // Monday and Sunday
  const std::string timer = SystemdTimerText(c);
  EXPECT_NE(timer.find("\nOnCalendar=Mon,Sun *-*-* 02:30:00\n"), std::string::npos) << timer;
  EXPECT_NE(timer.find("\nPersistent=true\n"), std::string::npos);
  EXPECT_NE(timer.find("\nUnit=" + c.name + ".service\n"), std::string::npos);
  EXPECT_NE(timer.find("Description=Packetwright: the nightly run of /home/anna/\"$HOME\" a\\b.dat\n"),
            std::string::npos)
      << timer;
  const std::string service = SystemdServiceText(c);
  EXPECT_NE(service.find("\nExecStart=\"/opt/pw 100%%/packetwright-cli\" \"--settings\" "
                         "\"/home/anna/\\\"$$HOME\\\" a\\\\b.dat\" \"run\" \"--wait\" \"--due\"\n"),
            std::string::npos)
      << service;
  EXPECT_EQ(SystemdCalendar(Command().schedule), "*-*-* 02:30:00");
  EXPECT_THROW(SystemdServiceText(Command("/usr/bin/x", "/a\nb.dat")), Exception);
}

TEST(SchedulerTexts, TheCrontabKeepsEveryOtherLineByteForByte) {
  const TScheduledCommand c = Command("/usr/bin/packetwright-cli", "/home/anna/50% it's.dat");
  const std::string others =
      "MAILTO=anna\n"
      "# m h dom mon dow command\n"
      "0 5 * * 1 tar -zcf /var/backups/home.tgz /home/ # packetwright-00000000\n"
      "\n"
      "*/5 * * * * echo '%' \\% >/dev/null\n";
  const std::string with = CrontabWith(others, c);
  ASSERT_EQ(with.substr(0, others.size()), others);
  const std::string ours = with.substr(others.size());
  const std::string words =
      "'/usr/bin/packetwright-cli' '--settings' '/home/anna/50\\% it'\\''s.dat' 'run' '--wait' "
      "'--due'";
  EXPECT_EQ(ours, "30 2 * * * " + words + " >/dev/null # " + c.name + "\n" +
                      "7,22,37,52 * * * * " + words + " '--if-missed' >/dev/null # " + c.name +
                      " catch-up\n");
  EXPECT_TRUE(CrontabHolds(with, c.name));
  EXPECT_FALSE(CrontabHolds(others, c.name));
  EXPECT_EQ(CrontabWithout(with, c.name), others);
  // Installed twice, the lines are there once.
  EXPECT_EQ(CrontabWith(with, c), with);
  // A last line without its end gets one; an empty crontab gets only ours.
  EXPECT_EQ(CrontabWith("0 1 * * * true", c), "0 1 * * * true\n" + ours);
  EXPECT_EQ(CrontabWith("", c), ours);

  TScheduledCommand weekdays = c;
  weekdays.schedule.minuteOfDay = 23 * 60 + 55;
  weekdays.schedule.days = 0b1011111;  // all but Saturday
  const std::string line = CrontabWith("", weekdays);
  EXPECT_EQ(line.substr(0, line.find(' ', 10)), "55 23 * * 1,2,3,4,5,0") << line;
  EXPECT_EQ(line.substr(line.find('\n') + 1, 13), "2,17,32,47 * ");
}

TEST(SchedulerTexts, TheTaskStartsWhenAvailableWithTheFullPath) {
  TScheduledCommand c =
      Command("C:\\Program Files\\Packetwright\\packetwright-cli.exe", "C:\\Users\\Anna & Bo\\P.dat");
  c.schedule.days = 0b0000110;  // Tuesday and Wednesday
  const std::string xml = TaskDefinitionXml(c, "Anna");
  for (const char* part :
       {"<StartWhenAvailable>true</StartWhenAvailable>",
        "<Command>C:\\Program Files\\Packetwright\\packetwright-cli.exe</Command>",
        "<Arguments>--settings &quot;C:\\Users\\Anna &amp; Bo\\P.dat&quot; run --wait --due"
        "</Arguments>",
        "<StartBoundary>2026-01-01T02:30:00</StartBoundary>",
        "<DaysOfWeek>\r\n          <Tuesday />\r\n          <Wednesday />\r\n        </DaysOfWeek>",
        "<LogonType>InteractiveToken</LogonType>", "<Author>Anna</Author>"}) {
    EXPECT_NE(xml.find(part), std::string::npos) << part << "\n" << xml;
  }
  EXPECT_NE(TaskDefinitionXml(Command(), "Anna").find("<DaysInterval>1</DaysInterval>"),
            std::string::npos);
}

#ifndef _WIN32
class PosixSchedulerTest : public ::testing::Test {
 protected:
  PosixSchedulerTest()
      : temp("scheduler"),
        path("PATH", (temp / "bin").string() + ":" + std::getenv("PATH")),
        config("XDG_CONFIG_HOME", (temp / "config").string()),
        log("PW_SYSTEMCTL_LOG", (temp / "systemctl.log").string()),
        crontab("PW_CRONTAB", (temp / "crontab").string()) {
    WriteSchedulerStandIns(temp / "bin");
  }

  fs::path Unit(const char* suffix) const {
    return temp / "config" / "systemd" / "user" / (Command().name + suffix);
  }

  TTempFolder temp;
  TScopedEnvironment path, config, log, crontab;
};

TEST_F(PosixSchedulerTest, AUserManagerGetsATimerAndItsServiceEnabledAndRemovedAgain) {
  const TScopedEnvironment manager("PW_USER_MANAGER", "degraded");
  IScheduler& scheduler = DefaultService<IScheduler>();
  const TScheduledCommand c = Command();
  EXPECT_EQ(scheduler.Find(c.name), std::nullopt);
  const TScheduleEntry entry = scheduler.Install(c);
  EXPECT_EQ(entry, (TScheduleEntry{"systemd user timer", Unit(".timer").string()}));
  EXPECT_EQ(ReadFile(Unit(".timer")), SystemdTimerText(c));
  EXPECT_EQ(ReadFile(Unit(".service")), SystemdServiceText(c));
  EXPECT_EQ(ReadFile(temp / "systemctl.log"),
            "--user is-system-running\n--user daemon-reload\n--user enable --now " + c.name +
                ".timer\n");
  EXPECT_FALSE(fs::exists(temp / "crontab")) << "the crontab is left alone";
  EXPECT_EQ(scheduler.Find(c.name), entry);

  fs::remove(temp / "systemctl.log");
  EXPECT_EQ(scheduler.Remove(c.name), entry);
  EXPECT_FALSE(fs::exists(Unit(".timer")));
  EXPECT_FALSE(fs::exists(Unit(".service")));
  EXPECT_EQ(ReadFile(temp / "systemctl.log"),
            "--user disable --now " + c.name + ".timer\n--user daemon-reload\n");
  EXPECT_EQ(scheduler.Remove(c.name), std::nullopt);
  EXPECT_EQ(scheduler.Find(c.name), std::nullopt);
}

TEST_F(PosixSchedulerTest, WithoutAUserManagerTheCrontabGetsTheLinesAndLosesThemAgain) {
  IScheduler& scheduler = DefaultService<IScheduler>();
  const TScheduledCommand c = Command();
  // No crontab yet.
  EXPECT_EQ(scheduler.Install(c), (TScheduleEntry{"crontab", "the lines marked # " + c.name}));
  EXPECT_EQ(ReadFile(temp / "crontab"), CrontabWith("", c));
  EXPECT_EQ(scheduler.Remove(c.name), (TScheduleEntry{"crontab", "the lines marked # " + c.name}));
  EXPECT_EQ(ReadFile(temp / "crontab"), "");

  const std::string others = "MAILTO=anna\n15 3 * * * /usr/local/bin/sync-photos\n";
  WriteFile(temp / "crontab", others);
  scheduler.Install(c);
  EXPECT_EQ(ReadFile(temp / "crontab"), CrontabWith(others, c));
  EXPECT_EQ(scheduler.Find(c.name), (TScheduleEntry{"crontab", "the lines marked # " + c.name}));
  scheduler.Remove(c.name);
  EXPECT_EQ(ReadFile(temp / "crontab"), others);

  // A crontab that cannot be read is not written over.
  WriteFile(temp / "crontab.broken", "");
  try {
    scheduler.Install(c);
    ADD_FAILURE() << "installed over a crontab it could not read";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Cannot read the crontab: cannot read");
  }
  EXPECT_EQ(ReadFile(temp / "crontab"), others);
}
#endif

}  // namespace
}  // namespace pw
