// The nightly task registered with the Task Scheduler through schtasks and
// its XML definition, and removed again. Only under Wine, whose Task Scheduler
// is the test's own: on Windows itself the test would touch the user's.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/Errors.h"
#include "platform/Scheduler.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

using namespace pw::test;

fs::path TaskFile(const std::string& name) {
  wchar_t folder[MAX_PATH];
  const UINT n = GetSystemDirectoryW(folder, MAX_PATH);
  return fs::path(std::wstring(folder, n)) / "Tasks" / name;
}

TEST(TaskScheduler, TheTaskIsRegisteredFromItsDefinitionAndRemovedAgain) {
  if (!UnderWine()) GTEST_SKIP() << "would change the Task Scheduler of this Windows";
  // Wine starts its Task Scheduler service only when asked.
  std::system("net start schedule >NUL 2>&1");
  TScheduledCommand c;
  c.name = ScheduleEntryName("C:\\Users\\anna\\AppData\\Roaming\\Packetwright\\Packetwright.dat");
  c.description = "Packetwright: the nightly run of C:\\Users\\anna & bo\\Packetwright.dat";
  c.schedule.minuteOfDay = 2 * 60 + 30;
  c.program = "C:\\Program Files\\Packetwright\\packetwright-cli.exe";
  c.arguments = {"--settings", "C:\\Users\\anna & bo\\Packetwright.dat", "run", "--wait", "--due"};
  IScheduler& scheduler = DefaultService<IScheduler>();
  const TScheduleEntry entry = scheduler.Install(c);
  EXPECT_EQ(entry, (TScheduleEntry{"Task Scheduler", c.name}));
  const fs::path task = TaskFile(c.name);
  ASSERT_TRUE(fs::exists(task)) << task;
  // Wine keeps the task in XML of its own, UTF-8 with a byte order mark,
  // with the description and the settings only: its triggers and its
  // program are left out there (the definition's own test reads them).
  const std::string kept = ReadFile(task);
  for (const char* part :
       {"<StartWhenAvailable>true</StartWhenAvailable>",
        "<MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>",
        "<ExecutionTimeLimit>PT0S</ExecutionTimeLimit>",
        "<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>",
        "<Description>Packetwright: the nightly run of C:\\Users\\anna "}) {
    EXPECT_NE(kept.find(part), std::string::npos) << part << "\n" << kept;
  }
  // Installed again, it replaces itself.
  EXPECT_EQ(scheduler.Install(c), entry);
  EXPECT_EQ(scheduler.Remove(c.name), entry);
  EXPECT_FALSE(fs::exists(task));
}

}  // namespace
}  // namespace pw
