// The archives' password: the switches a job hands 7-Zip, the password on
// standard input only, for every way a job starts, a password that cannot be
// had failing its job before anything starts, the scripts that read a
// password file and refuse the keyring, and the old -p switch moved on from.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "archiver/ArchiveJobs.h"
#include "archiver/ArchiveTest.h"
#include "archiver/BatchText.h"
#include "archiver/NightPlan.h"
#include "archiver/NightSchedule.h"
#include "archiver/Password.h"
#include "archiver/PosixScripts.h"
#include "platform/fakes/FakePasswordStore.h"
#include "platform/fakes/FakeProcesses.h"
#include "platform/fakes/Fakes.h"
#include "tests/archiver/PosixDay.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

namespace fs = std::filesystem;

constexpr char kSecret[] = "Secret 123";

bool Mentions(const std::vector<std::string>& words, const std::string& text) {
  for (const std::string& word : words) {
    if (word.find(text) != std::string::npos) return true;
  }
  return false;
}

class PasswordJobTest : public ::testing::Test {
 protected:
  PasswordJobTest()
      : useFiles(files), useCurrent(current), useProcesses(processes), useStore(store) {
    manager.SetArchiverExeFileName("/usr/bin/7zz");
    manager.SetArchiverParams("a -r");
    manager.SetExcludeKey("-x!");
    manager.SetOutputPath("/backup");
    manager.SetSubDirNamePattern("");
    manager.SetTestArchives(false);
    manager.SetPassword({TPasswordKeeping::pkKeyring, {}});
    TbkDirectory* d = manager.Directories()->Add();
    d->SetPath("/data");
    current.existing.insert("/data");
    store.keyring = kSecret;
  }
  TArchiveJob Job() { return MakeNightPlan(manager).Job(1); }

  test::TPosixDay day;
  fakes::FakeFileSystem files;
  fakes::FakeCurrentDirectory current;
  fakes::FakeProcessRunner processes;
  fakes::FakePasswordStore store;
  ScopedOverride<IFileSystem> useFiles;
  ScopedOverride<ICurrentDirectory> useCurrent;
  ScopedOverride<IProcessRunner> useProcesses;
  ScopedOverride<IPasswordStore> useStore;
  TbkManager manager;
};

TEST_F(PasswordJobTest, TheArchiverReadsThePasswordOnItsStandardInputOnly) {
  manager.SetEncryptNames(true);
  const TArchiveJob job = Job();
  ASSERT_EQ(job.error, "");
  const std::vector<std::string> words = SplitPosixWords(job.params);
  EXPECT_EQ(words, (std::vector<std::string>{"a", "-r", "-p", "-mhe=on"}));

  StartJob(job, true);
  EXPECT_EQ(RunJobAndWait(job).status, 0);
  EXPECT_EQ(TestArchive(job, "/backup/data.7z", {}).error, "");
  ASSERT_EQ(processes.calls.size(), 3u);
  for (const auto& call : processes.calls) {
    EXPECT_EQ(call.input, std::string(kSecret) + "\n") << call.program;
    EXPECT_FALSE(Mentions(call.arguments, "Secret")) << call.program;
  }
  const std::vector<std::string>& test = processes.calls[2].arguments;
  EXPECT_EQ(std::count(test.begin(), test.end(), "-p"), 0)
      << "a bare -p would be an empty password for the test";

  manager.SetPassword({});
  processes.calls.clear();
  EXPECT_EQ(SplitPosixWords(Job().params), (std::vector<std::string>{"a", "-r"}))
      << "no password, no switch: the job as before";
  StartJob(Job(), true);
  EXPECT_EQ(processes.calls.at(0).input, std::nullopt);
}

TEST_F(PasswordJobTest, APasswordThatCannotBeHadFailsTheJobBeforeAnythingStarts) {
  store.keyringProblem = "Cannot read the archive password from the keyring: it is locked";
  const TArchiveJob job = Job();
  EXPECT_THROW(
      try { StartJob(job, true); } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), store.keyringProblem);
        throw;
      },
      Exception);
  const TJobOutcome outcome = RunJobAndWait(job);
  EXPECT_EQ(outcome.error, store.keyringProblem);
  EXPECT_FALSE(outcome.status);
  EXPECT_TRUE(processes.calls.empty()) << "nothing is archived without the encryption asked for";
  EXPECT_TRUE(files.directories.empty()) << "nor any folder made";

  manager.SetPassword({TPasswordKeeping::pkFile, "/home/u/.pw"});
  EXPECT_NE(RunJobAndWait(Job()).error.find("/home/u/.pw"), std::string::npos);
  EXPECT_TRUE(processes.calls.empty());
}

TEST_F(PasswordJobTest, OnlySevenZipJobsWithoutAPasswordSwitchOfTheirOwnAreEncrypted) {
  manager.SetArchiverExeFileName("/usr/bin/rar");
  EXPECT_NE(Job().error.find("7-Zip's archives only"), std::string::npos);
  manager.SetArchiverExeFileName("/usr/bin/7zz");
  manager.SetArchiverParams("a -r -pOld");
  EXPECT_NE(Job().error.find("hold a password as well"), std::string::npos);
  EXPECT_THROW(StartJobs({Job()}), Exception);
  EXPECT_TRUE(processes.calls.empty());
}

TEST_F(PasswordJobTest, ScriptsReadThePasswordFileAndRefuseTheKeyring) {
  EXPECT_THROW(
      try { PosixScriptLines({Job()}, false); } catch (const Exception& e) {
        EXPECT_NE(e.Message().find("choose a password file for scripts"), std::string::npos);
        throw;
      },
      Exception);
  EXPECT_NO_THROW(PosixCommandText(Job())) << "show and the memo still show the command";

  manager.SetPassword({TPasswordKeeping::pkFile, "/home/u/my pw"});
  std::string text;
  for (const std::string& line : PosixScriptLines({Job()}, false)) text += line + "\n";
  EXPECT_NE(text.find(" -p /backup/data.incomplete.7z '*' <'/home/u/my pw'\n"), std::string::npos)
      << text;
  EXPECT_EQ(text.find("Secret"), std::string::npos);
  EXPECT_TRUE(store.files.empty()) << "writing a script reads no password";

  fakes::FixedPathStyle windows{TPathStyle::psWindows};
  const ScopedOverride<IPathStyle> useWindows(windows);
  manager.SetArchiverExeFileName("C:\\7-Zip\\7z.exe");
  manager.SetOutputPath("C:\\Out");
  manager.Directories()->Items(0)->SetPath("C:\\Data");
  manager.SetPassword({TPasswordKeeping::pkFile, "C:\\Users\\u\\pw 100%.txt"});
  std::string batch;
  for (const std::string& line : BatchScriptLines({Job()}, false)) batch += line + "\r\n";
  EXPECT_NE(batch.find(" <\"C:\\Users\\u\\pw 100%%.txt\"\r\n"), std::string::npos) << batch;
}

// What the schedule says of the password: where a run reads it, and that a
// run the crontab starts, without a session, cannot reach the keyring.
TEST_F(PasswordJobTest, TheScheduleSaysWhereARunReadsThePassword) {
  fakes::FakeScheduler scheduler;
  const ScopedOverride<IScheduler> useScheduler(scheduler);
  const std::string settings = "/home/u/Packetwright.dat";
  manager.SetSchedule(TSchedule{150, 0});
  scheduler.installed[ScheduleEntryName(settings)] = {};
  const auto said = [&](const std::string& label) {
    for (const TScheduleFact& fact : ScheduleFacts(manager, settings, LocalTimeOf(day.clock.Now())))
      if (fact.label == label) return fact.value;
    return std::string("(none)");
  };
  EXPECT_EQ(said("Password"), "read from the keyring");
  EXPECT_EQ(said("Warning"), "(none)") << "a user timer runs with the user's session bus";
  scheduler.entry = {"crontab", "the lines marked # x"};
  EXPECT_NE(said("Warning").find("cannot reach the keyring"), std::string::npos);
  manager.SetPassword({TPasswordKeeping::pkFile, "/home/u/.pw"});
  EXPECT_EQ(said("Password"), "read from the password file /home/u/.pw");
  EXPECT_EQ(said("Warning"), "(none)");
}

TEST(PasswordInSwitches, IsFoundAndTakenOutLeavingTheOtherSwitchesAsTyped) {
  const test::TPosixDay day;
  EXPECT_EQ(PasswordInSwitches("a -t7z -pSecret123 -mhe=on"), "Secret123");
  EXPECT_EQ(PasswordInSwitches("a '-Pmy pw'"), "my pw");
  EXPECT_EQ(PasswordInSwitches("a -p -r"), std::nullopt) << "a bare -p asks for one";
  EXPECT_EQ(PasswordInSwitches("a -r"), std::nullopt);
  EXPECT_EQ(SwitchesWithoutPassword("a -t7z  -pSecret123 -mhe=on '-x!a b'"),
            "a -t7z -mhe=on '-x!a b'");
  EXPECT_EQ(SwitchesWithoutPassword("a \"-pmy pw\" -r"), "a -r");
  EXPECT_NE(PasswordInSwitchesWarning("a -pX"), "");
  EXPECT_EQ(PasswordInSwitchesWarning("a -p"), "");
}

#ifndef _WIN32
// The stand-in archiver, named as 7-Zip is, tells what it was handed on each
// way a job starts: its arguments, environment and standard input. Only the
// standard input holds the password.
TEST(PasswordHandedOver, OnlyOnTheArchiversStandardInputWhicheverWayItStarts) {
  const test::TTempFolder temp("pw-password-given");
  const test::TPosixDay day;
  fakes::FakePasswordStore store;
  store.keyring = kSecret;
  const ScopedOverride<IPasswordStore> useStore(store);
  fs::create_symlink(test::RecorderPath(), temp / "7zz");
  fs::create_directories(temp / "data");
  TbkManager manager;
  manager.SetArchiverExeFileName((temp / "7zz").string());
  manager.SetArchiverParams("a");
  manager.SetOutputPath((temp / "out").string());
  manager.SetSubDirNamePattern("");
  manager.SetTestArchives(false);
  manager.SetPassword({TPasswordKeeping::pkKeyring, {}});
  manager.Directories()->Add()->SetPath((temp / "data").string());
  const TArchiveJob job = MakeNightPlan(manager).Job(1);
  const fs::path record = temp / "record", given = temp / "given";
  const test::TRecording recording(record);
  const std::string givenName = given.string();
  ::setenv("PW_RECORD_GIVEN", givenName.c_str(), 1);
  const auto check = [&](const char* how) {
    const std::string handed = test::ReadFile(given);
    const size_t blank = handed.find("\n\n");
    ASSERT_NE(blank, std::string::npos) << how;
    EXPECT_EQ(handed.substr(blank + 2), std::string(kSecret) + "\n") << how;
    EXPECT_EQ(handed.substr(0, blank).find("Secret"), std::string::npos) << how;
    EXPECT_EQ(test::ReadFile(record).find("Secret"), std::string::npos) << how;
    fs::remove(given);
    fs::remove(record);
  };
  StartJob(job, true);
  ASSERT_TRUE(test::WaitForFile(record));
  check("a start nothing waits for");
  // The start's keeper lets the archive go once the stand-in has ended: the
  // waited run would otherwise find it still being written.
  for (int i = 0; i < 1000 && fs::exists(job.lockFile); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_FALSE(fs::exists(job.lockFile));
  EXPECT_EQ(RunJobAndWait(job).status, 0);
  check("a waited run");
  EXPECT_EQ(TestArchive(job, (temp / "x.7z").string(), {}).error, "");
  check("a test");
  ::unsetenv("PW_RECORD_GIVEN");
}
#endif

}  // namespace
}  // namespace pw
