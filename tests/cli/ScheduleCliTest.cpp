// The companion's schedule, its catch-up run and its failed history, with
// stand-in systemctl and crontab programs first on PATH and the recorder as
// the archiver.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <tuple>

#include "archiver/Journal.h"
#include "archiver/NightSchedule.h"
#include "model/HoardkeeperClasses.h"
#include "platform/Clock.h"
#include "platform/ProgramPath.h"
#include "platform/Scheduler.h"
#include "tests/support/PrivateBus.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

namespace fs = std::filesystem;
using namespace pw::test;
using Args = std::vector<std::string>;
using test::TPrivateBus;
using test::TStandIn;

struct Result {
  int status;
  std::string out, err;
};

std::string JournalTime(TLocalTime time) {
  const TDateTime m = DateTimeOf(time);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", m.Year, m.Month, m.Day,
                m.Hour, m.Minute, m.Second);
  return text;
}

class ScheduleCliTest : public ::testing::Test {
 protected:
  ScheduleCliTest()
      : temp("schedule"),
        root(temp.Path()),
        path("PATH", (root / "bin").string() + ":" + std::getenv("PATH")),
        config("XDG_CONFIG_HOME", (root / "config").string()),
        log("PW_SYSTEMCTL_LOG", (root / "systemctl.log").string()),
        crontab("PW_CRONTAB", (root / "crontab").string()),
        // No desktop to tell of failures.
        bus("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (root / "no-bus").string()) {
    settings = (root / "Packetwright.dat").string();
    WriteSchedulerStandIns(root / "bin");

    manager.SetArchiverExeFileName(RecorderPath());
    manager.SetArchiverParams("a");
    manager.SetOutputPath((root / "out").string());
    for (const char* name : {"one", "two", "three"}) {
      fs::create_directories(root / name);
      manager.Directories()->Add()->SetPath((root / name).string());
    }
    manager.Directories()->Items(1)->SetNeedArchive(false);
    manager.SaveToFile(settings, true);
  }

  Result With(Args args) {
    args.insert(args.begin(), {"--settings", settings});
    WriteFile(root / "stdin", "");
    const int status = RunProgram(ProgramDirectory() + "../bin/packetwright-cli", args,
                                  root / "stdin", root / "stdout", root / "stderr");
    return {status, ReadFile(root / "stdout"), ReadFile(root / "stderr")};
  }

  fs::path Unit(const char* suffix) const {
    return root / "config" / "systemd" / "user" / (ScheduleEntryName(settings) + suffix);
  }

  void Record(int position, TLocalTime started, int status) {
    TJournalRecord r;
    r.position = position;
    r.directory = manager.Directories()->Items(position - 1)->Path();
    r.archive = (root / "out" / "x.7z").string();
    r.started = r.ended = JournalTime(started);
    r.status = status;
    AppendJournalRecord(JournalFileName(settings), r);
  }

  TTempFolder temp;
  fs::path root;
  TScopedEnvironment path, config, log, crontab, bus;
  std::string settings;
  TbkManager manager;
};

TEST_F(ScheduleCliTest, ATimerIsSetShownAndRemovedAndTheSettingsFileComesBackByteForByte) {
  const TScopedEnvironment userManager("PW_USER_MANAGER", "running");
  const std::string before = ReadFile(settings);
  Result r = With({"schedule", "set", "--at", "2:30", "--days", "mon,FRI"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, r.out.find('\n')),
            "Scheduled on mon,fri at 02:30 in the systemd user timer");
  EXPECT_NE(r.out.find("Kept by:        systemd user timer, " + Unit(".timer").string() + "\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("Next run:       "), std::string::npos);
  EXPECT_NE(r.out.find("Last run:       none in the journal\n"), std::string::npos);

  const std::string timer = ReadFile(Unit(".timer")), service = ReadFile(Unit(".service"));
  EXPECT_NE(timer.find("OnCalendar=Mon,Fri *-*-* 02:30:00\n"), std::string::npos) << timer;
  EXPECT_NE(timer.find("Persistent=true\n"), std::string::npos);
  const std::string cli = fs::canonical(ProgramDirectory() + "../bin/packetwright-cli").string();
  EXPECT_NE(service.find("ExecStart=\"" + cli + "\" \"--settings\" \"" + settings +
                         "\" \"run\" \"--wait\" \"--due\"\n"),
            std::string::npos)
      << service;
  if (!CommandOutput("command -v systemd-analyze").empty()) {
    const std::string verify =
        CommandOutput("SYSTEMD_LOG_LEVEL=err systemd-analyze verify --man=no '" +
                      Unit(".timer").string() + "' '" + Unit(".service").string() + "' 2>&1; echo status $?");
    EXPECT_EQ(verify, "status 0\n");
  }
  r = With({"export"});
  EXPECT_NE(r.out.find("  \"Schedule\": {\n    \"At\": \"02:30\",\n    \"Days\": [\n      \"mon\",\n"
                       "      \"fri\"\n    ]\n  },\n"),
            std::string::npos)
      << r.out;

  r = With({"schedule", "remove"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Removed the nightly run from the systemd user timer\n");
  EXPECT_FALSE(fs::exists(Unit(".timer")));
  EXPECT_FALSE(fs::exists(Unit(".service")));
  EXPECT_EQ(ReadFile(settings), before);
  r = With({"schedule", "show"});
  EXPECT_NE(r.out.find("Schedule:       none\nKept by:        no scheduler\n"), std::string::npos)
      << r.out;
}

TEST_F(ScheduleCliTest, WithoutAUserManagerTheCrontabGetsMarkedLinesAndKeepsTheRest) {
  const std::string others = "MAILTO=anna\n# nightly photos\n15 3 * * * /usr/local/bin/sync\n";
  WriteFile(root / "crontab", others);
  Result r = With({"schedule", "set", "--at", "23:05"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "Scheduled every day at 23:05 in the crontab");
  const std::string tab = ReadFile(root / "crontab");
  ASSERT_EQ(tab.substr(0, others.size()), others);
  EXPECT_EQ(tab.substr(others.size(), 11), "5 23 * * * ") << tab;
  EXPECT_NE(tab.find("'--settings' '" + settings + "' 'run' '--wait' '--due' >/dev/null # " +
                     ScheduleEntryName(settings) + "\n"),
            std::string::npos)
      << tab;
  EXPECT_NE(tab.find("\n12,27,42,57 * * * * "), std::string::npos) << tab;
  r = With({"schedule", "show"});
  EXPECT_NE(r.out.find("Kept by:        crontab, the lines marked # " + ScheduleEntryName(settings) +
                       "\n"),
            std::string::npos)
      << r.out;

  r = With({"schedule", "remove"});
  EXPECT_EQ(r.out, "Removed the nightly run from the crontab\n");
  EXPECT_EQ(ReadFile(root / "crontab"), others);
  r = With({"schedule", "remove"});
  EXPECT_EQ(r.out, "No scheduler held a nightly run of these settings\n");

  for (const Args& bad : {Args{"schedule", "set", "--at", "24:00"},
                          Args{"schedule", "set", "--at", "02:00", "--days", "mon,mon"},
                          Args{"schedule", "set"}, Args{"schedule"}}) {
    r = With(bad);
    EXPECT_EQ(r.status, 2) << bad.back() << r.err;
  }
  EXPECT_EQ(ReadFile(root / "crontab"), others);
}

TEST_F(ScheduleCliTest, DueRunsTakeOnlyWhatTheScheduleHasNotArchivedAndCatchUpOnce) {
  const TLocalTime now = LocalTimeOf(DefaultService<IClock>().Now());
  Result r = With({"run", "--wait", "--due"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("No schedule is set"), std::string::npos) << r.err;

  // Every day, a little before now; the first directory was archived since,
  // the third three nights ago.
  TSchedule schedule;
  schedule.minuteOfDay = static_cast<int>((now / 60 - 3) % (24 * 60));
  manager.SetSchedule(schedule);
  manager.SaveToFile(settings, true);
  Record(1, now - 60, 0);
  Record(3, now - 3 * 86400, 0);
  const fs::path record = root / "record.txt";
  {
    TRecording recording(record, 0);
    r = With({"run", "--wait", "--due"});
  }
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("[1] " + manager.Directories()->Items(0)->Path() +
                       ": left alone, archived since the scheduled start of "),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("[3] " + manager.Directories()->Items(2)->Path() + ": exit status 0"),
            std::string::npos)
      << r.out;
  std::vector<std::string> lines = RecordedLines(record);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], manager.Directories()->Items(2)->Path()) << "only the third ran";

  // A second catch-up the same day archives nothing twice.
  fs::remove(record);
  {
    TRecording recording(record, 0);
    r = With({"run", "--wait", "--due"});
  }
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(fs::exists(record)) << ReadFile(record);

  r = With({"run", "--due"});
  EXPECT_EQ(r.status, 2) << "--due goes with --wait";
}

TEST_F(ScheduleCliTest, ADirectoryThatFailedSinceTheStartRunsAgainButNotFromTheQuarterHourLine) {
  const TLocalTime now = LocalTimeOf(DefaultService<IClock>().Now());
  TSchedule schedule;
  schedule.minuteOfDay = static_cast<int>((now / 60 - 3) % (24 * 60));
  manager.SetSchedule(schedule);
  manager.SaveToFile(settings, true);
  Record(1, now - 2 * 86400, 0);
  Record(1, now - 30, 2);
  Record(3, now - 20, 0);
  const fs::path record = root / "record.txt";
  TRecording recording(record, 0);
  // The quarter-hour line only makes up a night that nothing ran for.
  Result r = With({"run", "--wait", "--due", "--if-missed"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(fs::exists(record));
  r = With({"run", "--wait", "--due"});
  EXPECT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> lines = RecordedLines(record);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], manager.Directories()->Items(0)->Path()) << "only the first ran";
  EXPECT_EQ(std::count(lines.begin(), lines.end(), manager.Directories()->Items(2)->Path()), 0);
}

TEST_F(ScheduleCliTest, AScriptOfANamedPatternNamesTheNightItRunsInTheLanguageItRunsIn) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "faketime's clock does not go with the sanitizers' runtime";
#endif
  if (CommandOutput("command -v faketime").empty()) GTEST_SKIP() << "faketime is not installed";
  manager.SetSubDirNamePattern("dddd d mmm");
  manager.SaveToFile(settings, true);
  const std::string script = (root / "nightly.sh").string();
  ASSERT_EQ(With({"bat", script}).status, 0);
  // Written today, run on two other nights, in English and in German.
  for (const auto& [language, night, folder] :
       {std::tuple{"C", "2026-12-15 02:00:00", "Tuesday 15 Dec"},
        std::tuple{"de_DE.UTF-8", "2027-03-01 23:59:00", "Montag 1 M\xC3\xA4rz"}}) {
    const TRecording recording(root / "record.txt", 0);
    const std::string ran = CommandOutput("LANG=" + std::string(language) + " faketime '" + night +
                                          "' sh '" + script + "' >/dev/null 2>&1; echo $?");
    EXPECT_EQ(ran, "0\n") << language;
    EXPECT_TRUE(fs::is_directory(root / "out" / folder)) << language << ": " << folder;
    // And the archivers were given archives in it.
    EXPECT_NE(ReadFile(root / "record.txt").find((root / "out" / folder).string() + "/"),
              std::string::npos)
        << ReadFile(root / "record.txt");
  }
}

TEST_F(ScheduleCliTest, AFailedRunSaysSoOnTheDesktopAndAGoodOneOnlyWhenAsked) {
  TPrivateBus bus(temp, "unix:tmpdir=" + root.string());
  ASSERT_FALSE(bus.Address().empty()) << "dbus-daemon did not start";
  const fs::path received = root / "received.txt";
  TStandIn service(bus.Address(), received);
  ASSERT_TRUE(service.Ready());
  const TScopedEnvironment address("DBUS_SESSION_BUS_ADDRESS", bus.Address());
  const fs::path record = root / "record.txt";
  {
    const TRecording recording(record, std::vector<int>{0, 2});
    EXPECT_EQ(With({"run", "--wait", "--jobs", "1"}).status, 3);
  }
  std::string got = service.Received();
  EXPECT_NE(got.find("summary Packetwright: 1 of 2 directories failed\n"), std::string::npos) << got;
  EXPECT_NE(got.find("body The first: " + manager.Directories()->Items(2)->Path() +
                     ". packetwright-cli history --failed says why.\n"),
            std::string::npos)
      << got;
  EXPECT_NE(got.find("urgency uchar 2\nexpire 0\n"), std::string::npos) << "critical, kept" << got;

  fs::remove(received);
  {
    const TRecording recording(record, 0);
    EXPECT_EQ(With({"run", "--wait"}).status, 0);
    EXPECT_EQ(service.Received(), "") << "a good night says nothing unless asked";
    EXPECT_EQ(With({"run", "--wait", "--notify", "always"}).status, 0);
    got = service.Received();
    EXPECT_NE(got.find("summary Packetwright: 2 directories archived\n"), std::string::npos) << got;
    EXPECT_NE(got.find("urgency uchar 1\n"), std::string::npos) << got;
  }
  fs::remove(received);
  {
    const TRecording recording(record, 2);
    EXPECT_EQ(With({"run", "--wait", "--notify", "never"}).status, 3);
  }
  EXPECT_EQ(service.Received(), "");
}

TEST_F(ScheduleCliTest, HistoryOfFailuresExitsWithOneWhenTheLatestRunOfADirectoryFailed) {
  const TLocalTime now = LocalTimeOf(DefaultService<IClock>().Now());
  Record(1, now - 200, 2);
  Record(3, now - 100, 0);
  Result r = With({"history", "--failed"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out.find(manager.Directories()->Items(2)->Path()), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("[1] " + manager.Directories()->Items(0)->Path() + "  exit status 2"),
            std::string::npos)
      << r.out;
  Record(1, now - 50, 0);
  r = With({"history", "--failed"});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, "");
}

}  // namespace
}  // namespace pw
