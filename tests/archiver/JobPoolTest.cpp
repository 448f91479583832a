// The pool that runs many archive jobs a few archivers at once: how many run
// at once, in which order they start, where each runs, what Cancel() does,
// and the journal record of a job.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <signal.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "archiver/ArchiveCommands.h"
#include "archiver/ArchiverDetection.h"
#include "archiver/ArchiverReport.h"
#include "archiver/ArchiveJobs.h"
#include "archiver/ArchiveTest.h"
#include "archiver/JournalResult.h"
#include "archiver/JobPool.h"
#include "archiver/NightPlan.h"
#include "model/HoardkeeperClasses.h"
#include "platform/fakes/FakeProcesses.h"
#include "platform/fakes/Fakes.h"
#include "tests/archiver/PosixDay.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

namespace fs = std::filesystem;

// What the events of one run said, safe to record from the pool's threads.
struct TSeen {
  std::mutex mutex;
  std::vector<size_t> started;  // in the order of the calls
  std::map<size_t, TJobOutcome> ended;
  int endedTwice = 0;
  int endedBeforeStarted = 0;
  std::set<std::thread::id> threads;

  TPoolEvents Events() {
    TPoolEvents events;
    events.started = [this](size_t index, const std::string&) {
      const std::lock_guard lock(mutex);
      started.push_back(index);
      threads.insert(std::this_thread::get_id());
    };
    events.ended = [this](size_t index, const std::string&, const TJobOutcome& outcome) {
      const std::lock_guard lock(mutex);
      if (ended.count(index)) ++endedTwice;
      ended[index] = outcome;
      threads.insert(std::this_thread::get_id());
    };
    return events;
  }
  size_t Started() {
    const std::lock_guard lock(mutex);
    return started.size();
  }
};

// Waits until ready() holds, for two minutes at most: a bound only against a
// hung run, never a measure of time.
template <class Ready>
bool Eventually(Ready ready) {
  for (int i = 0; i < 1200; ++i) {
    if (ready()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

// ---- With the fake process runner -----------------------------------------------------

class FakePoolTest : public ::testing::Test {
 protected:
  FakePoolTest() : useFiles(files), useProcesses(processes) {}
  test::TPosixDay day;

  std::vector<TArchiveJob> Jobs(int count) {
    std::vector<TArchiveJob> jobs;
    for (int i = 0; i < count; ++i) {
      TArchiveJob job;
      job.position = i + 1;
      job.directory = job.workingDirectory = "/srv/d" + std::to_string(i);
      job.program = "/usr/bin/pack";
      job.archiveFolder = "/out";
      job.archiveArgument = job.archiveFile = "/out/srv_d" + std::to_string(i);
      jobs.push_back(job);
    }
    return jobs;
  }

  fakes::FakeFileSystem files;
  fakes::FakeProcessRunner processes;
  ScopedOverride<IFileSystem> useFiles;
  ScopedOverride<IProcessRunner> useProcesses;
};

TEST_F(FakePoolTest, JobsStartInOrderAndOnesWithAnErrorEndAtOnceWithoutStarting) {
  std::vector<TArchiveJob> jobs = Jobs(6);
  jobs[1].error = "Its archive would be the same";
  jobs[4].error = "The directory's path is not absolute";
  processes.missingDirectories.insert("/srv/d3");
  processes.status = 2;
  TSeen seen;
  TJobPool pool(jobs, 3);
  pool.Run(seen.Events());
  EXPECT_EQ(seen.started, (std::vector<size_t>{0, 2, 5}));
  ASSERT_EQ(seen.ended.size(), 6u);
  EXPECT_EQ(seen.endedTwice, 0);
  EXPECT_EQ(seen.ended[1].error, "Its archive would be the same");
  EXPECT_FALSE(seen.ended[1].status);
  EXPECT_EQ(seen.ended[4].error, "The directory's path is not absolute");
  EXPECT_EQ(seen.ended[3].error, "The directory does not exist");
  EXPECT_EQ(seen.ended[0].status, 2);
  EXPECT_TRUE(seen.ended[0].error.empty());
  ASSERT_EQ(processes.calls.size(), 3u);
  EXPECT_EQ(processes.calls[0].workingDirectory, "/srv/d0");
  EXPECT_EQ(processes.calls[1].workingDirectory, "/srv/d2");
  EXPECT_EQ(processes.calls[2].workingDirectory, "/srv/d5");
  EXPECT_EQ(seen.threads.count(std::this_thread::get_id()), 0u) << "events come from the pool";
}

TEST_F(FakePoolTest, CancelledBeforeItRunsNothingStarts) {
  TSeen seen;
  TJobPool pool(Jobs(4), 2);
  pool.Cancel();
  pool.Run(seen.Events());
  EXPECT_TRUE(seen.started.empty());
  ASSERT_EQ(seen.ended.size(), 4u);
  for (const auto& [index, outcome] : seen.ended) {
    EXPECT_EQ(outcome.error, kNotStartedCancelled) << index;
    EXPECT_FALSE(outcome.status) << index;
  }
  EXPECT_TRUE(processes.calls.empty());
}

// The fake archivers run until stopped; Cancel() stops the two at work, and
// the rest never start.
TEST_F(FakePoolTest, CancelStopsTheArchiversAtWorkAndStartsNoMore) {
  std::mutex mutex;
  std::condition_variable changed;
  processes.running = [&](const fakes::FakeProcessRunner::Call&, TRunStop* stop) {
    std::unique_lock lock(mutex);
    changed.wait_for(lock, std::chrono::minutes(2), [stop] { return stop->Stopped(); });
    return 143;
  };
  TSeen seen;
  TJobPool pool(Jobs(5), 2);
  std::thread canceller([&] {
    Eventually([&] { return seen.Started() == 2; });
    pool.Cancel();
    changed.notify_all();
  });
  pool.Run(seen.Events());
  canceller.join();
  EXPECT_EQ(seen.started, (std::vector<size_t>{0, 1}));
  ASSERT_EQ(seen.ended.size(), 5u);
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(seen.ended[i].error, i < 2 ? kStoppedCancelled : kNotStartedCancelled) << i;
    EXPECT_EQ(seen.ended[i].status.has_value(), i < 2) << i;
  }
  EXPECT_EQ(processes.calls.size(), 2u);
}

TEST_F(FakePoolTest, AtMostAsManyAtOnceAsAsked) {
  TJobPool few(Jobs(3), 0);
  EXPECT_EQ(few.JobsAtOnce(), 1);
  TJobPool many(Jobs(3), 100000);
  EXPECT_EQ(many.JobsAtOnce(), kMostJobsAtOnce);
  EXPECT_GE(DefaultJobsAtOnce(), 1);
  TSeen seen;
  TJobPool none({}, 4);
  none.Run(seen.Events());
  EXPECT_TRUE(seen.ended.empty());
}

TEST(JobRecord, HoldsWhatTheCompanionHasAlwaysJournalled) {
  TArchiveJob job;
  job.position = 3;
  job.directory = "/data/src";
  job.archiveFile = "/out/data_src.7z";
  TJobOutcome outcome;
  outcome.status = 0;
  outcome.bytes = 1234;
  const TJournalRecord awaited = JobRecord(job, "2026-12-08T02:30:00+01:00", outcome, true);
  EXPECT_EQ(awaited.directory, "/data/src");
  EXPECT_EQ(awaited.position, 3);
  EXPECT_EQ(awaited.archive, "/out/data_src.7z");
  EXPECT_EQ(awaited.started, "2026-12-08T02:30:00+01:00");
  EXPECT_FALSE(awaited.ended.empty());
  EXPECT_EQ(awaited.status, 0);
  EXPECT_FALSE(awaited.error);
  EXPECT_EQ(awaited.bytes, 1234);
  TJobOutcome refused;
  refused.error = "File not found";
  const TJournalRecord started = JobRecord(job, "2026-12-08T02:30:00+01:00", refused, false);
  EXPECT_TRUE(started.ended.empty()) << "a job only started has no end";
  EXPECT_FALSE(started.status);
  EXPECT_EQ(started.error, "File not found");
  EXPECT_FALSE(started.bytes);
}

// ---- The archiver's words for a test and a listing --------------------------------

TEST(SevenZipWords, APasswordGoesWithTheTestAndAPatternNameIsTakenAsItIs) {
  EXPECT_EQ(SevenZipWords({"t"}, {"a", "-r", "-mx9"}, "/out/a.7z"),
            (std::vector<std::string>{"t", "/out/a.7z"}));
  EXPECT_EQ(SevenZipWords({"l", "-slt"}, {"a", "-psecret word", "-mhe=on", "-Pother"}, "/out/a*b?.7z"),
            (std::vector<std::string>{"l", "-slt", "-psecret word", "-Pother", "-spd", "/out/a*b?.7z"}));
}

// The Windows style hands the same words through one command line, each
// quoted where the program's start-up code would split it.
TEST(SevenZipWords, TheWindowsStyleQuotesTheTestsCommandLine) {
  fakes::FixedPathStyle windows{TPathStyle::psWindows};
  const ScopedOverride<IPathStyle> useStyle(windows);
  fakes::FakeProcessRunner processes;
  const ScopedOverride<IProcessRunner> useProcesses(processes);
  TArchiveJob job;
  job.program = "C:\\Tools\\7z.exe";
  job.family = TArchiverFamily::af7Zip;
  job.params = "a -r \"-pmy secret\"";
  processes.status = 2;
  const TArchiveTestResult result =
      TestArchive(job, "D:\\My Archives\\D_Work.incomplete.7z", TRunOptions{});
  EXPECT_EQ(result.tested, TArchiveTest::atFailed);
  ASSERT_EQ(processes.calls.size(), 1u);
  EXPECT_EQ(processes.calls[0].program, "C:\\Tools\\7z.exe");
  EXPECT_EQ(processes.calls[0].parameters,
            "t \"-pmy secret\" \"D:\\My Archives\\D_Work.incomplete.7z\"");
  EXPECT_EQ(processes.calls[0].workingDirectory, "D:\\My Archives\\");
}

TEST(SevenZipListing, TheFilesAndFoldersOfTheTechnicalListing) {
  const std::vector<std::string> lines = {
      "Listing archive: /out/a.7z", "--", "Path = /out/a.7z", "Type = 7z", "",
      "----------", "Path = sub", "Size = 0", "Attributes = D drwxr-xr-x", "",
      "Path = sub/b.txt", "Size = 12", "Attributes = A -rw-r--r--\r", "",
      "Path = c d.log", "Size = 3456", "Attributes = A -rw-r--r--"};
  const std::vector<TListedEntry> entries = SevenZipListing(lines);
  ASSERT_EQ(entries.size(), 3u) << "the archive's own block is no entry";
  EXPECT_TRUE(entries[0].folder);
  EXPECT_EQ(entries[1].path, "sub/b.txt");
  EXPECT_EQ(entries[1].bytes, 12);
  EXPECT_FALSE(entries[1].folder);
  EXPECT_EQ(entries[2].path, "c d.log");
  EXPECT_EQ(entries[2].bytes, 3456);
}

// ---- With real archivers --------------------------------------------------------------

#ifndef _WIN32

// ---- What a waited job makes of its archiver's end ---------------------------------

// A fresh 7-Zip job in a folder of its own, run through the fake runner,
// whose archiver "writes" the temporary archive.
class JobEndTest : public ::testing::Test {
 protected:
  JobEndTest() : temp("job-end"), useProcesses(processes) {
    job.position = 1;
    job.directory = job.workingDirectory = temp.Path().string();
    job.program = "/usr/bin/7zz";
    job.family = TArchiverFamily::af7Zip;
    job.archiveFolder = (temp / "out").string();
    job.archiveFile = (temp / "out" / "data.7z").string();
    job.partialFile = job.archiveArgument = (temp / "out" / "data.incomplete.7z").string();
    fs::create_directories(temp / "out");
    test::WriteFile(job.archiveFile, "the old archive");
    processes.running = [this](const fakes::FakeProcessRunner::Call&, TRunStop* stop) {
      test::WriteFile(job.partialFile, "the new archive");
      if (stopAtEnd) stop->Stop();
      return processes.status;
    };
  }

  test::TPosixDay day;
  test::TTempFolder temp;
  fakes::FakeProcessRunner processes;
  ScopedOverride<IProcessRunner> useProcesses;
  TArchiveJob job;
  bool stopAtEnd = false;
};

// Once a stop was asked for, the archive is never put in place, even where
// the archiver ended with 0 before the stop reached it.
TEST_F(JobEndTest, AStoppedJobLeavesTheOldArchiveWhateverItsArchiverReturned) {
  stopAtEnd = true;
  for (const int status : {0, 1, 143}) {
    processes.status = status;
    TRunStop stop;
    TRunOptions options;
    options.stop = &stop;
    const TJobOutcome outcome = RunJobAndWait(job, options);
    EXPECT_TRUE(outcome.stopped) << status;
    EXPECT_EQ(outcome.status, status);
    EXPECT_FALSE(outcome.Succeeded()) << status;
    EXPECT_FALSE(outcome.bytes) << status;
    EXPECT_EQ(test::ReadFile(job.archiveFile), "the old archive") << status;
    EXPECT_FALSE(fs::exists(job.partialFile)) << status;
  }
}

// 7-Zip's own words: a new archive of no file is a warning, and a warning
// (1) keeps its archive, its size and 7-Zip's first lines on standard error.
TEST_F(JobEndTest, TheArchiversWordsBecomeTheJobsWarning) {
  processes.output = {{1, "Scanning the drive:"},
                      {1, "0 files, 0 bytes"},
                      {1, "Add new data to archive: 0 files, 0 bytes"}};
  TJobOutcome outcome = RunJobAndWait(job);
  EXPECT_TRUE(outcome.Succeeded());
  EXPECT_EQ(outcome.warning, kNoFileTaken);
  EXPECT_EQ(outcome.bytes, 15);

  processes.status = 1;
  processes.output = {{1, "Add new data to archive: 1 folder, 2 files, 12 bytes (1 KiB)"},
                      {2, ""},
                      {2, "WARNING: errno=2 : No such file or directory"},
                      {2, "dangle"},
                      {2, std::string(500, 'x')}};
  outcome = RunJobAndWait(job);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.warning, "WARNING: errno=2 : No such file or directory\ndangle\n" +
                                 std::string(kMostArchiverLineBytes, 'x') + "...");
  EXPECT_EQ(outcome.bytes, 15) << "the archive of what could be read is in place";
  EXPECT_EQ(test::ReadFile(job.archiveFile), "the new archive");

  // A job that updates its archive in place says nothing of what it added.
  processes.status = 0;
  processes.output = {{1, "Add new data to archive: 0 files, 0 bytes"}};
  job.partialFile.clear();
  EXPECT_EQ(RunJobAndWait(job).warning, "");
}

// ---- The test of a new archive ---------------------------------------------------

// The archiver's test of the new archive, run as the archiver ran: the same
// program on the temporary archive, before it is put in place.
class JobTestTest : public JobEndTest {
 protected:
  JobTestTest() {
    job.testArchive = true;
    processes.running = [this](const fakes::FakeProcessRunner::Call& call, TRunStop* stop) {
      if (call.arguments.at(0) == "t") {
        if (stopInTest) stop->Stop();
        return testStatus;
      }
      test::WriteFile(job.partialFile, "the new archive");
      return processes.status;
    };
    processes.outputOf = [this](const fakes::FakeProcessRunner::Call& call) {
      return call.arguments.at(0) == "t" ? testSaid : std::vector<std::pair<int, std::string>>{};
    };
  }

  TJobOutcome Run() {
    TRunOptions options;
    options.stop = &stop;
    options.output = [this](int stream, const std::string& line) {
      passedOn.emplace_back(stream, line);
    };
    return RunJobAndWait(job, options);
  }

  int testStatus = 0;
  bool stopInTest = false;
  std::vector<std::pair<int, std::string>> testSaid;
  std::vector<std::pair<int, std::string>> passedOn;
  TRunStop stop;
};

TEST_F(JobTestTest, APassedTestLetsTheArchiveInPlace) {
  testSaid = {{1, "Everything is Ok"}};
  const TJobOutcome outcome = Run();
  EXPECT_TRUE(outcome.Succeeded()) << outcome.error;
  EXPECT_EQ(outcome.tested, TArchiveTest::atPassed);
  EXPECT_EQ(test::ReadFile(job.archiveFile), "the new archive");
  ASSERT_EQ(processes.calls.size(), 2u);
  EXPECT_EQ(processes.calls[1].program, job.program);
  EXPECT_EQ(processes.calls[1].arguments, (std::vector<std::string>{"t", job.partialFile}))
      << "the new archive is tested before it replaces the old one";
  EXPECT_EQ(processes.calls[1].workingDirectory, job.archiveFolder + "/");
  EXPECT_EQ(passedOn, testSaid) << "the test's lines go where the archiver's go";
  EXPECT_EQ(JobRecord(job, "2026-12-08T02:30:00+01:00", outcome, true).tested,
            TArchiveTest::atPassed);
}

// A failed test fails the job with the archiver's own words, keeps the
// archive under its name for inspection, and reads as failed everywhere.
TEST_F(JobTestTest, AFailedTestFailsTheJobAndKeepsTheArchive) {
  testStatus = 2;
  testSaid = {{1, "Testing archive: data.incomplete.7z"},
              {2, "ERROR: CRC Failed : a.txt"},
              {2, "ERROR: Data Error : b.txt"}};
  const TJobOutcome outcome = Run();
  EXPECT_FALSE(outcome.Succeeded());
  EXPECT_EQ(outcome.status, 0) << "the archiver's own status";
  EXPECT_EQ(outcome.tested, TArchiveTest::atFailed);
  EXPECT_EQ(outcome.error,
            "The archive failed its test: ERROR: CRC Failed : a.txt; ERROR: Data Error : b.txt");
  EXPECT_EQ(test::ReadFile(job.archiveFile), "the new archive");
  EXPECT_EQ(outcome.bytes, 15);
  const TJournalRecord record = JobRecord(job, "2026-12-08T02:30:00+01:00", outcome, true);
  EXPECT_EQ(record.tested, TArchiveTest::atFailed);
  EXPECT_EQ(JobResultText(record), "Failed");
  EXPECT_EQ(JobResultExplanation(record), outcome.error);
  EXPECT_TRUE(JobFailed(record));

  // Without a word on standard error, what the status means.
  testSaid.clear();
  EXPECT_EQ(Run().error, "The archive failed its test: Fatal error");
}

TEST_F(JobTestTest, AStopDuringTheTestStopsTheJobAndKeepsTheOldArchive) {
  stopInTest = true;
  const TJobOutcome outcome = Run();
  EXPECT_TRUE(outcome.stopped);
  EXPECT_EQ(outcome.tested, TArchiveTest::atNotTested);
  EXPECT_EQ(test::ReadFile(job.archiveFile), "the old archive");
  EXPECT_FALSE(fs::exists(job.partialFile));
}

TEST_F(JobTestTest, NoTestWhenTestsAreOffTheArchiverFailedOrIsNoneWithAKnownTest) {
  job.testArchive = false;
  EXPECT_EQ(Run().tested, TArchiveTest::atNotTested);
  EXPECT_EQ(processes.calls.size(), 1u);

  job.testArchive = true;
  processes.status = 2;
  EXPECT_EQ(Run().tested, TArchiveTest::atNotTested) << "no archive to test";
  EXPECT_EQ(processes.calls.size(), 2u);

  processes.status = 0;
  job.program = "/usr/bin/rar";
  job.family = TArchiverFamily::afRar;
  job.partialFile.clear();
  job.archiveArgument = job.archiveFile;
  const TJobOutcome rar = Run();
  EXPECT_TRUE(rar.Succeeded());
  EXPECT_EQ(rar.tested, TArchiveTest::atNoTest);
  EXPECT_EQ(processes.calls.size(), 3u) << "no test the program knows is run";
}

TEST(ArchiverReport, SevenZipsCountOfTheFilesItAdded) {
  const std::pair<const char*, std::optional<int64_t>> cases[] = {
      {"Add new data to archive: 0 files, 0 bytes", 0},
      {"Add new data to archive: 1 file, 3 bytes (1 KiB)", 1},
      {"Add new data to archive: 12 folders, 3456 files, 7 bytes (1 KiB)", 3456},
      {"Add new data to archive: 2 folders", std::nullopt},
      {"Scanning the drive: 5 files", std::nullopt},
  };
  for (const auto& [line, files] : cases) {
    TArchiverReport report(TArchiverFamily::af7Zip);
    report.Line(1, line);
    EXPECT_EQ(report.FilesAdded(), files) << line;
  }
  TArchiverReport other(TArchiverFamily::afRar);
  other.Line(1, "Add new data to archive: 0 files, 0 bytes");
  EXPECT_FALSE(other.FilesAdded());
  for (size_t i = 0; i < kMostArchiverLines + 2; ++i) other.Line(2, "line " + std::to_string(i));
  EXPECT_EQ(other.ErrorLines().size(), kMostArchiverLines);
}

// An environment variable for as long as the object lives.
class TVariable {
 public:
  TVariable(const char* name, const std::string& value) : name_(name) {
    ::setenv(name, value.c_str(), 1);
  }
  ~TVariable() { ::unsetenv(name_); }

 private:
  const char* name_;
};

std::vector<std::string> Lines(const fs::path& file) {
  std::istringstream in(test::ReadFile(file));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool Alive(pid_t pid) {
  return ::kill(pid, 0) == 0;
}

class RealPoolTest : public ::testing::Test {
 protected:
  RealPoolTest() : temp("pool"), root(temp.Path()) {}

  // Directories d0, d1, ... each with one file, for the recorder.
  std::vector<TArchiveJob> Jobs(int count, const std::string& program) {
    m.SetArchiverExeFileName(program);
    m.SetArchiverParams("a");
    m.SetExcludeKey("-x");
    m.SetOutputPath((root / "out").string());
    m.SetSubDirNamePattern("");
    for (int i = 0; i < count; ++i) {
      const fs::path dir = root / ("d" + std::to_string(i));
      fs::create_directories(dir);
      test::WriteFile(dir / "file.txt", "text of " + std::to_string(i));
      m.Directories()->Add()->SetPath(dir.string());
    }
    return MakeArchiveJobs(m, GetArchiveDirectory(m, false));
  }

  test::TPosixDay day;
  test::TTempFolder temp;
  fs::path root;
  TbkManager m;
};

// Two archivers held until the test lets them go: no third starts meanwhile,
// and the recorders themselves count at most two of them at once.
TEST_F(RealPoolTest, NeverMoreArchiversAtOnceThanAskedAndEachStartsInTurn) {
  const std::vector<TArchiveJob> jobs = Jobs(6, test::RecorderPath());
  const fs::path record = root / "record.txt", release = root / "release",
                 started = root / "started.txt", running = root / "running.txt";
  const test::TRecording recording(record, 0, 0, release, started);
  const TVariable counting("PW_RECORD_RUNNING", running.string());
  TSeen seen;
  TJobPool pool(jobs, 2);
  size_t startedWhileHeld = 0;
  std::thread releaser([&] {
    Eventually([&] { return seen.Started() == 2; });
    // Time for a third to start, if the pool would start one.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    startedWhileHeld = Lines(started).size();
    test::WriteFile(release, "go");
  });
  pool.Run(seen.Events());
  releaser.join();
  EXPECT_EQ(startedWhileHeld, 2u);
  EXPECT_EQ(seen.started, (std::vector<size_t>{0, 1, 2, 3, 4, 5}));
  ASSERT_EQ(seen.ended.size(), 6u);
  for (const auto& [index, outcome] : seen.ended) EXPECT_TRUE(outcome.Succeeded()) << index;
  EXPECT_EQ(Lines(started).size(), 6u);
  int now = -1, most = -1;
  ASSERT_EQ(std::sscanf(test::ReadFile(running).c_str(), "%d %d", &now, &most), 2);
  EXPECT_EQ(now, 0);
  EXPECT_EQ(most, 2) << "the two held ones ran together, and never a third with them";
}

// Each archiver finds itself in its own job's directory, though they run at
// once; the process's current directory never moves.
TEST_F(RealPoolTest, EachArchiverRunsInItsJobsDirectoryAndTheProcessStaysWhereItWas) {
  const std::vector<TArchiveJob> jobs = Jobs(5, test::RecorderPath());
  const fs::path here = fs::current_path();
  const fs::path record = root / "record.txt";
  const test::TRecording recording(record, 0, 200);
  TSeen seen;
  std::set<std::string> currentDuringRun;
  std::mutex mutex;
  TPoolEvents events = seen.Events();
  const auto started = events.started;
  events.started = [&](size_t index, const std::string& time) {
    started(index, time);
    const std::lock_guard lock(mutex);
    currentDuringRun.insert(fs::current_path().string());
  };
  TJobPool(jobs, 5).Run(events);
  EXPECT_EQ(fs::current_path(), here);
  EXPECT_EQ(currentDuringRun, (std::set<std::string>{here.string()}));
  std::set<std::string> directories, expected;
  const std::vector<std::string> lines = Lines(record);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].rfind(root.string() + "/d", 0) == 0 &&
        lines[i].find("/out/") == std::string::npos) {
      directories.insert(lines[i]);
    }
  }
  for (const TArchiveJob& job : jobs) expected.insert(job.workingDirectory);
  EXPECT_EQ(directories, expected) << test::ReadFile(record);
}

// Cancel() while two archivers work: both end by SIGTERM, the three others
// never start.
TEST_F(RealPoolTest, CancelEndsTheArchiversAtWorkAndStartsNoMore) {
  const std::vector<TArchiveJob> jobs = Jobs(5, test::RecorderPath());
  const fs::path record = root / "record.txt", started = root / "started.txt";
  const test::TRecording held(record, 0, 0, root / "never", started);
  TSeen seen;
  TJobPool pool(jobs, 2);
  std::vector<std::string> pids;
  std::thread canceller([&] {
    Eventually([&] { return seen.Started() == 2 && Lines(started).size() == 2; });
    pids = Lines(started);
    pool.Cancel();
  });
  pool.Run(seen.Events());
  canceller.join();
  EXPECT_TRUE(pool.Cancelled());
  ASSERT_EQ(pids.size(), 2u);
  for (const std::string& pid : pids) EXPECT_FALSE(Alive(std::stoi(pid))) << pid;
  EXPECT_EQ(Lines(started).size(), 2u) << "another archiver started";
  EXPECT_FALSE(fs::exists(record)) << "an archiver ended by itself";
  ASSERT_EQ(seen.ended.size(), 5u);
  for (size_t i = 0; i < 5; ++i) {
    if (i < 2) {
      EXPECT_EQ(seen.ended[i].error, kStoppedCancelled) << i;
      EXPECT_EQ(seen.ended[i].status, 128 + SIGTERM) << i;
    } else {
      EXPECT_EQ(seen.ended[i].error, kNotStartedCancelled) << i;
      EXPECT_FALSE(seen.ended[i].status) << i;
    }
  }
}

// A second run of the day cancelled while 7-Zip writes the new archive: the
// temporary archive goes and the old archive stays as it was. Without 7zz a
// recorder named 7zz stands in, with a temporary archive the test writes.
TEST_F(RealPoolTest, CancelKeepsTheOld7ZipArchive) {
  const bool real = Apply7ZipOptions(m);
  std::string program = m.ArchiverExeFileName();
  if (!real) {
    program = (root / "bin" / "7zz").string();
    fs::create_directories(root / "bin");
    fs::copy_file(test::RecorderPath(), program);
  }
  const std::vector<TArchiveJob> first = Jobs(1, program);
  const TArchiveJob& job = first[0];
  ASSERT_TRUE(job.MadeFresh());
  const fs::path record = root / "record.txt", release = root / "release";
  const fs::path dir = job.workingDirectory;
  if (real) {
    m.SetArchiverParams("a -r -mx9");
    ASSERT_EQ(RunJobAndWait(MakeArchiveJobs(m, GetArchiveDirectory(m, false))[0]).status, 0);
  } else {
    fs::create_directories(fs::path(job.archiveFile).parent_path());
    test::WriteFile(job.archiveFile, "the old archive");
  }
  const std::string old = test::ReadFile(job.archiveFile);
  ASSERT_FALSE(old.empty());
  // Enough for 7-Zip to be busy for a while: data that does not pack.
  {
    std::ofstream big(dir / "big.bin", std::ios::binary);
    std::mt19937_64 random(5);
    for (int i = 0; i < 48 * 1024 * 1024 / 8; ++i) {
      const uint64_t word = random();
      big.write(reinterpret_cast<const char*>(&word), sizeof word);
    }
  }
  const std::unique_ptr<test::TRecording> held =
      real ? nullptr : std::make_unique<test::TRecording>(record, 0, 0, release);
  TSeen seen;
  TJobPool pool(MakeArchiveJobs(m, GetArchiveDirectory(m, false)), 2);
  std::thread canceller([&] {
    // Once the archiver has begun the temporary archive.
    Eventually([&] { return seen.Started() == 1; });
    if (!real) test::WriteFile(job.partialFile, "half an archive");
    Eventually([&] { return fs::exists(job.partialFile); });
    pool.Cancel();
  });
  pool.Run(seen.Events());
  canceller.join();
  ASSERT_EQ(seen.ended.size(), 1u);
  EXPECT_EQ(seen.ended[0].error, kStoppedCancelled);
  EXPECT_TRUE(seen.ended[0].status && *seen.ended[0].status > 1);
  EXPECT_FALSE(fs::exists(job.partialFile));
  EXPECT_EQ(test::ReadFile(job.archiveFile), old);
}

// Every waited program gets a signal that arrives while they run, and none
// starts after it unreached.
TEST(WaitedPrograms, AnEndingSignalReachesEveryOneAtWork) {
  const test::TPosixDay day;
  const TEndingSignalsPassedOn passedOn;
  std::vector<int> statuses(3, -1);
  std::atomic<int> running{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 3; ++i) {
    threads.emplace_back([&, i] {
      TRunOptions options;
      options.started = [&] { ++running; };
      statuses[static_cast<size_t>(i)] =
          Get<IProcessRunner>().RunAndWait("sleep", std::vector<std::string>{"60"}, options);
    });
  }
  Eventually([&] { return running.load() == 3; });
  ASSERT_EQ(::kill(::getpid(), SIGHUP), 0);
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(statuses, (std::vector<int>(3, 128 + SIGHUP)));
  EXPECT_EQ(TEndingSignalsPassedOn::Received(), SIGHUP);
}

#endif

}  // namespace
}  // namespace pw
