// Starting archive jobs: with fakes for the exact requests, and through the
// real portable layer for a process that really starts.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "archiver/ArchiveCommands.h"
#include "archiver/ArchiveJobs.h"
#include "archiver/Journal.h"
#include "archiver/JournalResult.h"
#include "archiver/JobPool.h"
#include "archiver/JournalResult.h"
#include "archiver/NightPlan.h"
#include "platform/CommandLine.h"
#include "platform/Errors.h"
#include "platform/NativePath.h"
#include "platform/ProgramPath.h"
#include "platform/fakes/FakeProcesses.h"
#include "tests/archiver/PosixDay.h"
#include "platform/fakes/Fakes.h"
#include "tests/archiver/PosixDay.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

namespace fs = std::filesystem;

TDateTime At(int h, int m) {
  TDateTime t;
  t.Year = 2026, t.Month = 12, t.Day = 7, t.Hour = h, t.Minute = m;
  return t;
}

class JobsTest : public ::testing::Test {
 protected:
  JobsTest()
      : clock(At(9, 5)),
        regional(fakes::UsEnglish()),
        a(clock),
        b(regional),
        c(files),
        d(shell),
        e(current) {
    manager.SetArchiverExeFileName("C:\\Tools\\wzzip.exe");
    manager.SetArchiverParams("-a -p -r");
    manager.SetSubDirNamePattern("yyyy-mm-dd-hh-mm");
  }

  TbkDirectory* Add(const std::string& path, bool marked = true, bool exists = true) {
    TbkDirectory* dir = manager.Directories()->Add();
    dir->SetPath(path);
    dir->SetNeedArchive(marked);
    if (exists) current.existing.insert(path);
    return dir;
  }

  fakes::FakeClock clock;
  fakes::FixedRegionalSettings regional;
  fakes::FakeFileSystem files;
  fakes::FakeShell shell;
  fakes::FakeCurrentDirectory current;
  ScopedOverride<IClock> a;
  ScopedOverride<IRegionalSettings> b;
  ScopedOverride<IFileSystem> c;
  ScopedOverride<IShell> d;
  ScopedOverride<ICurrentDirectory> e;
  TbkManager manager;
};

TEST_F(JobsTest, RunStartsTheArchiverWithTheCallLineParameters) {
  TbkDirectory* dir = Add("D:\\Work");
  RunDirectory(manager, *dir);
  ASSERT_EQ(shell.calls.size(), 1u);
  EXPECT_EQ(
      shell.calls[0],
      (fakes::ShellCall{"open", "C:\\Tools\\wzzip.exe",
                        "-a -p -r  \"C:\\MyArchives\\2026-12-07-09-05\\D_Work\" D:\\Work\\*.*",
                        "D:\\Work", TShowCommand::swShowMinimized}))
      << "the archiver starts in the directory, which the process does not enter";
  EXPECT_EQ(files.created,
            (std::vector<std::string>{"C:\\MyArchives", "C:\\MyArchives\\2026-12-07-09-05"}));
  // The parameters are exactly those of the command text's call line.
  const std::string text = GetCommandText(manager, *dir);
  EXPECT_EQ(text.substr(text.find("\" ", text.find("call")) + 2), shell.calls[0].parameters);
}

TEST_F(JobsTest, RunCurrentIgnoresTheCheckMark) {
  TbkDirectory* dir = Add("D:\\Off", false);
  RunDirectory(manager, *dir);
  EXPECT_EQ(shell.calls.size(), 1u);
}

TEST_F(JobsTest, RunAllStopsAtTheFirstDirectoryThatCannotBeEntered) {
  Add("D:\\One");
  Add("D:\\Skipped", false);
  Add("D:\\Two");
  Add("D:\\Gone", true, false);
  Add("D:\\Three");
  current.failureCode = 3;
  std::string failed;
  try {
    RunAllDirectories(manager, &failed);
    FAIL();
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Message(), "Invalid filename");
  }
  EXPECT_EQ(failed, "D:\\Gone");
  ASSERT_EQ(shell.calls.size(), 2u);
  EXPECT_NE(shell.calls[1].parameters.find("D_Two"), std::string::npos);
  EXPECT_EQ(shell.calls[0].directory, "D:\\One");
  EXPECT_EQ(shell.calls[1].directory, "D:\\Two");
}

// Each job the window starts is journalled as started, one that cannot
// start with its error; the Last Run column then tells the truth.
TEST_F(JobsTest, RunAllJournalsEachJobAsStartedOrNotRun) {
  Add("D:\\One");
  Add("D:\\Gone", true, false);
  Add("D:\\Three");
  current.failureCode = 3;
  test::TTempFolder temp("start-journal");
  const std::string journal = test::ProgramPath(temp / "Packetwright.journal");
  std::string failed;
  EXPECT_THROW(RunAllDirectories(manager, &failed, journal), EInOutError);
  const std::vector<TJournalRecord> records = ReadJournal(journal);
  ASSERT_EQ(records.size(), 2u) << "the loop ends at the directory that cannot be entered";
  EXPECT_EQ(records[0].directory, "D:\\One");
  EXPECT_EQ(JobResultOf(records[0]), TJobResult::jrNotAwaited);
  EXPECT_EQ(records[0].archive, "C:\\MyArchives\\2026-12-07-09-05\\D_One.zip");
  EXPECT_EQ(records[1].directory, "D:\\Gone");
  EXPECT_EQ(records[1].position, 2);
  EXPECT_EQ(records[1].error, "Invalid filename");

  // A journal that cannot be written keeps no job from starting.
  manager.Directories()->Items(1)->SetNeedArchive(false);
  shell.calls.clear();
  try {
    RunAllDirectories(manager, nullptr, test::ProgramPath(temp / "gone" / "Packetwright.journal"));
    ADD_FAILURE() << "the journal that could not be written went unsaid";
  } catch (const Exception& e) {
    EXPECT_NE(e.Message().find("The runs go on, but are not written into the journal."),
              std::string::npos)
        << e.Message();
  }
  EXPECT_EQ(shell.calls.size(), 2u);
}

#ifndef _WIN32
// In the POSIX style the companion beside the program journals the end of
// each job started: its call goes with the start, holding the started record.
TEST(StartedJobsEnd, TheCompanionIsAskedToJournalTheEnd) {
  test::TPosixDay day;
  test::TTempFolder temp("start-end");
  fakes::FakeProcessRunner processes;
  ScopedOverride<IProcessRunner> use(processes);
  // A stand-in for the companion, where the tests' programs lie.
  const fs::path companion = test::FromProgramPath(CompanionProgram());
  const bool made = !fs::exists(companion);
  if (made) test::WriteFile(companion, "");
  TbkManager m;
  m.SetArchiverExeFileName("/usr/bin/pack");
  m.SetArchiverParams("a");
  m.SetOutputPath(test::ProgramPath(temp / "out"));
  m.SetSubDirNamePattern("");
  TbkDirectory* d = m.Directories()->Add();
  d->SetPath(test::ProgramPath(temp.Path()));
  const std::string journal = test::ProgramPath(temp / "Packetwright.journal");
  RunDirectory(m, *d, journal);
  if (made) fs::remove(companion);
  ASSERT_EQ(processes.whenEnded.size(), 1u);
  const std::vector<std::string>& end = processes.whenEnded[0];
  ASSERT_EQ(end.size(), 4u);
  EXPECT_EQ(end[0], CompanionProgram());
  EXPECT_EQ(end[1], "journal-end");
  EXPECT_EQ(end[2], journal);
  const std::vector<TJournalRecord> records = ReadJournal(journal);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(JournalRecordOfLine(end[3]), records[0]) << end[3];
  EXPECT_FALSE(processes.keptLocks[0].empty()) << "the end is told by the lock's keeper";
}
#endif

TEST_F(JobsTest, NothingMarkedDoesNothing) {
  Add("D:\\Off", false);
  RunAllDirectories(manager);
  EXPECT_TRUE(shell.calls.empty());
}

TEST_F(JobsTest, EmptyArchiveNameStopsAfterCheckingTheDirectory) {
  manager.SetOutputPath("");
  manager.SetSubDirNamePattern("");
  TbkDirectory* dir = Add("D:\\Work");
  try {
    RunDirectory(manager, *dir);
    FAIL();
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Message(), "Unable to create directory");
  }
  EXPECT_TRUE(shell.calls.empty());
}

// What another user planted, or a folder that cannot be written, stops the
// job before anything is made through it or the archiver starts, with the
// folder named.
TEST_F(JobsTest, AnArchiveFolderThatIsNotSafeOrNotWritableStartsNothing) {
  TbkDirectory* dir = Add("D:\\Work");
  const std::string dated = "C:\\MyArchives\\2026-12-07-09-05";
  const auto failure = [&] {
    try {
      RunDirectory(manager, *dir);
    } catch (const Exception& e) {
      return e.Message();
    }
    return std::string("started");
  };
  files.foreign[dated] = "planted by another";
  EXPECT_EQ(failure(), "planted by another");
  EXPECT_TRUE(files.created.empty()) << "nothing is made through what was planted";
  files.foreign.clear();
  files.foreign[dated + "\\D_Work.zip"] = "the archive is another's";
  EXPECT_EQ(failure(), "the archive is another's");
  files.foreign.clear();
  files.writeProblems[dated] = "it lies on a medium that is write-protected";
  EXPECT_EQ(failure(), "Cannot write to the archive folder " + dated +
                           ": it lies on a medium that is write-protected");
  EXPECT_TRUE(files.lockedOnce.empty()) << "no lock is tried where no file can be made";
  clock.Set(At(9, 6));
  files.refuse.insert("C:\\MyArchives\\2026-12-07-09-06");
  files.writeProblems["C:\\MyArchives"] = "this user may not write to it";
  EXPECT_EQ(failure(),
            "Cannot create folder C:\\MyArchives\\2026-12-07-09-06: this user may not write to it");
  EXPECT_TRUE(shell.calls.empty());
}

TEST_F(JobsTest, OpenArchiveDirectoryNamesThePresentMomentAndCreatesNothing) {
  Add("D:\\Work");
  RunDirectory(manager, *manager.Directories()->Items(0));
  clock.Set(At(9, 6));
  files.created.clear();
  OpenArchiveDirectory(manager);
  EXPECT_EQ(shell.calls.back(), (fakes::ShellCall{"open", "C:\\MyArchives\\2026-12-07-09-06", "",
                                                  "", TShowCommand::swShowNormal}));
  EXPECT_TRUE(files.created.empty());
}

TEST_F(JobsTest, EditOpensTheBatchFileForEditing) {
  EditBatchFile("C:\\Jobs\\all.bat");
  EXPECT_EQ(shell.calls.back(),
            (fakes::ShellCall{"edit", "C:\\Jobs\\all.bat", "", "", TShowCommand::swShowNormal}));
}

TEST(InOutErrors, CodesAndMessages) {
  EXPECT_EQ(InOutError(2).Message(), "The directory does not exist");
  EXPECT_EQ(InOutError(3).Message(), "Invalid filename");
  EXPECT_EQ(InOutError(4).Message(), "Too many open files");
  EXPECT_EQ(InOutError(5).Message(), "File access denied");
  EXPECT_EQ(InOutError(32).Message(), "I/O error 32");
  EXPECT_EQ(InOutError(32).ErrorCode(), 32);
}

// ---- Through the real portable layer ---------------------------------------

TEST(RealRun, StartsTheArchiverDetachedWithTheCallLineArguments) {
  const test::TTempFolder root("run");
  const fs::path tree = root / "my tree";
  fs::create_directories(tree / "sub");
  const fs::path record = root / "record.txt";
  const fs::path release = root / "release";
  // The archiver records its call only once the test releases it; a run that
  // waited for it would find the record there.
  test::TRecording recording(record, 0, 0, release);

  TbkManager manager;
  manager.SetArchiverExeFileName(test::RecorderPath());
  manager.SetArchiverParams("a -r");
  manager.SetExcludeKey("-x");
  manager.SetOutputPath(test::ProgramPath(root / "out"));
  manager.SetSubDirNamePattern("yyyy-mm-dd");
  TbkRule* rule = manager.Rules()->Add();
  rule->SetName("Tmp");
  rule->Extensions()->Add()->SetExt("*.tmp");
  TbkDirectory* dir = manager.Directories()->Add();
  dir->SetPath(test::ProgramPath(tree));
  dir->SetRuleName("Tmp");

  const fs::path previous = fs::current_path();
  RunDirectory(manager, *dir);
  const bool recordedAtOnce = fs::exists(record);
  const std::string expected = GetArchiverParameters(manager, *dir, false);
  fs::current_path(previous);
  EXPECT_FALSE(recordedAtOnce) << "the run waited for the archiver";
  test::WriteFile(release, "x");

  for (int i = 0; i < 600 && !fs::exists(record); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_TRUE(fs::exists(record)) << "the archiver did not run";
  std::vector<std::string> want = {dir->Path()};
  for (const std::string& arg : SplitCommandLine(expected)) want.push_back(arg);
  EXPECT_EQ(test::RecordedLines(record), want);
  EXPECT_EQ(want[3], "-x" + dir->Path() + "\\*.tmp");

  // The dated archive folder was made before the start.
  const std::string dated = GetArchiveDirectory(manager, false);
  EXPECT_TRUE(fs::is_directory(test::FromProgramPath(NativePath(dated)))) << dated;
}

#ifndef _WIN32
// An output folder that every user may write to, as /tmp: a link planted at
// the dated subfolder, or a folder of another user there, keeps the job from
// running, waited for or not, and the journal says why; a dated subfolder of
// one's own there, made by the run, is used.
TEST(RealSharedOutputFolder, WhatAnotherUserPlantedIsRefusedAndOnesOwnFolderUsed) {
  const test::TPosixDay day;
  const test::TTempFolder root("shared-out");
  const fs::path out = root / "out", victim = root / "victim", tree = root / "tree";
  fs::create_directories(tree);
  fs::create_directories(victim);
  fs::create_directories(out);
  ::chmod(out.c_str(), 01777);
  const fs::path record = root / "record.txt";
  const test::TRecording recording(record);

  TbkManager manager;
  manager.SetArchiverExeFileName(test::RecorderPath());
  manager.SetArchiverParams("a");
  manager.SetOutputPath(out.string());
  manager.SetSubDirNamePattern("yyyy-mm-dd");
  manager.Directories()->Add()->SetPath(tree.string());
  const TArchiveJob job = MakeNightPlan(manager).Job(1);
  const fs::path dated = out / "2026-12-08";
  ASSERT_EQ(job.archiveFolder, dated.string());

  fs::create_directory_symlink(victim, dated);
  const std::string refused =
      dated.string() + " is a symbolic link in a folder that every user may write to";
  const TJobOutcome outcome = RunJobAndWait(job);
  EXPECT_EQ(outcome.error, refused);
  EXPECT_FALSE(outcome.status);
  EXPECT_EQ(CompanionResultText(JobRecord(job, "2026-12-08T02:30:00+01:00", outcome, true)),
            "not run");
  try {
    StartJob(job, false);
    ADD_FAILURE() << "started through the link";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), refused);
  }
  EXPECT_TRUE(fs::is_empty(victim));
  fs::remove(dated);

  if (::geteuid() == 0) {
    fs::create_directory(dated);
    ::chmod(dated.c_str(), 0777);
    ASSERT_EQ(::chown(dated.c_str(), 65534, 65534), 0);
    EXPECT_EQ(
        RunJobAndWait(job).error,
        dated.string() + " belongs to another user, in a folder that every user may write to");
    fs::remove(dated);
  }
  EXPECT_FALSE(fs::exists(record)) << "the archiver ran";

  // Made by the run, the folder is the user's alone, whatever the umask.
  const mode_t umask = ::umask(0);
  const TJobOutcome own = RunJobAndWait(job);
  ::umask(umask);
  EXPECT_TRUE(own.Succeeded()) << own.error;
  EXPECT_EQ(fs::status(dated).permissions() & (fs::perms::group_write | fs::perms::others_write),
            fs::perms::none);
  EXPECT_TRUE(fs::exists(record));
}
#endif

TEST(RealCurrentDirectory, FailuresMapToTheirCodes) {
  const ICurrentDirectory& current = Get<ICurrentDirectory>();
  const std::string previous = current.Get();
  const test::TTempFolder temp("cd");
  const fs::path& root = temp.Path();
  std::ofstream(root / "file") << "x";
  try {
    current.Check((root / "missing").string());
    FAIL();
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), 2);
  }
  try {
    current.Check((root / "file" / "below").string());
    FAIL();
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Message(), "Invalid filename");
  }
  EXPECT_NO_THROW(current.Check(root.string() + "\\"));  // a backslash separates here too
  EXPECT_EQ(current.Get(), previous) << "a check enters nothing";
}

}  // namespace
}  // namespace pw
