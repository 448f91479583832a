// The command-line companion, run as a program on settings files made by the model.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "archiver/ArchiveCommands.h"
#include "archiver/BatchFiles.h"
#include "archiver/DateTimeFormat.h"
#include "archiver/Journal.h"
#include "archiver/JournalResult.h"
#include "cli/SettingsJson.h"
#include "model/HoardkeeperClasses.h"
#include "platform/NativePath.h"
#include "platform/ProgramPath.h"
#include "platform/TextCodec.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

namespace fs = std::filesystem;
using namespace pw::test;
using Args = std::vector<std::string>;

struct Result {
  int status;
  std::string out, err;
};

// Text written in text mode: its line ends are the system's own.
std::string Text(std::string text) {
#ifdef _WIN32
  for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 2) {
    text.insert(at, "\r");
  }
#endif
  return text;
}

int Lines(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

std::string CliPath() {
#ifdef _WIN32
  return ProgramDirectory() + "..\\bin\\packetwright-cli.exe";
#else
  return ProgramDirectory() + "../bin/packetwright-cli";
#endif
}

#ifndef _WIN32
// The companion started as a child of its own with the arguments (after the
// program's name), its standard output going to the descriptor out (or, when
// negative, into the file outFile) and its errors into the file err.
pid_t ForkCompanion(const Args& arguments, int out, const std::string& outFile,
                    const std::string& err) {
  const std::string cli = CliPath();
  Args words = arguments;
  words.insert(words.begin(), cli);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const pid_t companion = ::fork();
  if (companion == 0) {
    const int o = out >= 0 ? out : ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (o < 0 || e < 0 || ::dup2(o, 1) < 0 || ::dup2(e, 2) < 0) ::_exit(127);
    ::execv(cli.c_str(), argv.data());
    ::_exit(127);
  }
  return companion;
}

// Its output going into the files out and err.
pid_t StartCompanion(const Args& arguments, const std::string& out, const std::string& err) {
  return ForkCompanion(arguments, -1, out, err);
}

// The recorders' start lines once there are count of them, or what there is
// after a minute.
std::string StartLines(const fs::path& started, int count) {
  std::string lines;
  for (int i = 0; i < 600 && Lines(lines = ReadFile(started)) < count; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return lines;
}

// The child's status once it has ended, within a minute; otherwise it is
// killed and there is none.
std::optional<int> AwaitEnd(pid_t child) {
  int status = 0;
  pid_t ended = 0;
  for (int i = 0; i < 600 && (ended = ::waitpid(child, &status, WNOHANG)) == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (ended != 0) return status;
  ::kill(child, SIGKILL);
  ::waitpid(child, &status, 0);
  return std::nullopt;
}
#endif

class CliTest : public ::testing::Test {
 protected:
  CliTest() : temp("cli"), root(temp.Path()) { settings = ProgramPath(root / "Packetwright.dat"); }

  Result Cli(const Args& args, const std::string& input = "") {
    WriteFile(root / "stdin", input);
    const int status =
        RunProgram(CliPath(), args, root / "stdin", root / "stdout", root / "stderr");
    return {status, ReadFile(root / "stdout"), ReadFile(root / "stderr")};
  }
  Result With(Args args, const std::string& input = "") {
    args.insert(args.begin(), {"--settings", settings});
    return Cli(args, input);
  }

  void Example(TbkManager& m, const std::string& archiver) {
    m.SetArchiverExeFileName(archiver);
    m.SetArchiverParams("a -r");
    m.SetExcludeKey("-x");
    m.SetOutputPath(ProgramPath(root / "out"));
    m.SetSubDirNamePattern("yyyy-mm-dd");
    TbkRule* texts = m.Rules()->Add();
    texts->SetName("Texts");
    texts->SetCategory(ecInclude);
    texts->Extensions()->Add()->SetExt("*.txt");
    for (const char* name : {"one", "two", "three"}) {
      fs::create_directories(root / name);
      TbkDirectory* d = m.Directories()->Add();
      d->SetPath(ProgramPath(root / name));
      d->SetRuleName("Texts");
    }
    m.Directories()->Items(1)->SetNeedArchive(false);
    m.Directories()->Items(2)->SetRuleName("Gone");
    m.SaveToFile(settings, true);
  }

  std::string Dir(const char* name) const { return ProgramPath(root / name); }

  TTempFolder temp;
  fs::path root;
  std::string settings;
};

TEST_F(CliTest, ShowListsOptionsDirectoriesAndCommands) {
#ifdef _WIN32
  const std::string archiver = "C:\\Tools\\rar.exe";
#else
  const std::string archiver = "/usr/bin/true";
#endif
  TbkManager m;
  Example(m, archiver);
  const Result r = With({"show"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find(Text("Archiver:           " + archiver + "\n")), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(Text("Schedule:           none\n")), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(Text("[1] [x] " + Dir("one") + "\n    Rule: Texts\n")), std::string::npos);
  EXPECT_NE(r.out.find("[2] [ ] " + Dir("two")), std::string::npos);
  EXPECT_NE(r.out.find("Rule: Gone (missing"), std::string::npos);
#ifdef _WIN32
  EXPECT_NE(r.out.find("      call \"C:\\Tools\\rar.exe\" a -r "), std::string::npos);
#else
  EXPECT_NE(r.out.find("      if cd " + Dir("one") + "; then\n        /usr/bin/true a -r "),
            std::string::npos)
      << r.out;
#endif
}

TEST_F(CliTest, CommandsAndBatchFileMatchTheWindowsOwn) {
  TbkManager m;
  Example(m, "C:\\Tools\\rar.exe");
  // Byte for byte what the batch file holds, CR LF included.
  const std::string marked = BatchFileText(GetBatchLinesForAll(m));
  const std::string all = BatchFileText(GetBatchLinesForAll(m, true));
  EXPECT_EQ(With({"commands"}).out, marked);
  EXPECT_EQ(With({"commands", "--all"}).out, all);
  EXPECT_NE(marked, all);

  const fs::path bat = root / "all.bat";
  const Result r = With({"bat", ProgramPath(bat)});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile(bat), marked);
}

TEST_F(CliTest, RunWaitsAndPassesTheArchiversStatusOn) {
  TbkManager m;
  Example(m, RecorderPath());
  const fs::path record = root / "record.txt";
  Result r;
  {
    TRecording recording(record, 3);
    r = With({"run", "--wait", "--jobs", "1", "1", "2"});
  }
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_EQ(Lines(r.out), 2);
  EXPECT_NE(r.out.find("[1] " + Dir("one") + ": exit status 3"), std::string::npos);
  // Each run saw its own directory and the parameters of its call line.
  const std::string text = ReadFile(record);
  EXPECT_EQ(text.rfind(Dir("one") + "\na\n-r\n", 0), 0u) << text;
  EXPECT_NE(text.find(Dir("two") + "\n"), std::string::npos);
  EXPECT_TRUE(fs::is_directory(NativePath(GetArchiveDirectory(m, false))));

  TRecording recording(record, 0);
  const Result ok = With({"run", "--wait"});
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_EQ(Lines(ok.out), 2) << "the two marked directories";
}

TEST_F(CliTest, AnArchiverThatFailedIsNotHiddenByOneThatSucceedsAfterIt) {
  TbkManager m;
  Example(m, RecorderPath());
  for (const std::vector<int>& statuses : {std::vector<int>{3, 0}, std::vector<int>{0, 3}}) {
    const fs::path record = root / ("record" + std::to_string(statuses[0]) + ".txt");
    TRecording recording(record, statuses);
    const Result r = With({"run", "--wait", "--jobs", "1", "1", "2"});
    EXPECT_EQ(r.status, 3) << r.out << r.err;
    EXPECT_NE(r.out.find("[1] " + Dir("one") + ": exit status " + std::to_string(statuses[0])),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("[2] " + Dir("two") + ": exit status " + std::to_string(statuses[1])),
              std::string::npos)
        << r.out;
  }
}

TEST_F(CliTest, ADirectoryThatCannotBeEnteredFailsAloneAndTheRunGoesOn) {
  TbkManager m;
  Example(m, RecorderPath());
  fs::remove_all(root / "one");
  for (const bool wait : {true, false}) {
    const fs::path record = root / (wait ? "waited.txt" : "started.txt");
    TRecording recording(record);
    const Result r = With(wait ? Args{"run", "--wait", "1", "3"} : Args{"run", "1", "3"});
    EXPECT_EQ(r.status, 1) << "a failure is never reported as success";
    EXPECT_EQ(r.err, Text("packetwright-cli: " + Dir("one") + ": The directory does not exist\n"));
    for (int i = 0; i < 600 && !fs::exists(record); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(fs::exists(record)) << "the directory after the failure was not run";
    EXPECT_EQ(RecordedLines(record)[0], Dir("three"));
  }
}

// A number that names no directory is a usage error found before anything
// runs: the others of its list are left out too.
TEST_F(CliTest, AnIndexThatNamesNoDirectoryIsAUsageErrorBeforeAnythingRuns) {
  TbkManager m;
  Example(m, RecorderPath());
  const fs::path record = root / "record.txt";
  TRecording recording(record);
  const std::pair<Args, const char*> cases[] = {{{"run", "0"}, "0"},
                                                {{"run", "-1"}, "-1"},
                                                {{"run", "99"}, "99"},
                                                {{"run", "2", "99"}, "99"},
                                                {{"run", "--wait", "2", "99"}, "99"},
                                                {{"preview", "1", "99"}, "99"},
                                                {{"history", "99"}, "99"},
                                                {{"history", "1", "0"}, "0"}};
  for (const auto& [args, index] : cases) {
    const Result r = With(args);
    EXPECT_EQ(r.status, 2) << args[1];
    EXPECT_EQ(r.err, Text("packetwright-cli: No directory " + std::string(index) +
                          " in the settings file (see --help)\n"));
    EXPECT_EQ(r.out, "") << args[0];
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(fs::exists(record)) << "a directory ran";
  EXPECT_FALSE(fs::exists(JournalFileName(settings)));
}

#ifndef _WIN32
TEST_F(CliTest, OutputThatCannotBeWrittenIsAFailure) {
  TbkManager m;
  Example(m, RecorderPath());
  for (const char* command : {"show", "commands", "export"}) {
    const std::string line = "'" + CliPath() + "' --settings '" + settings + "' " + command;
    EXPECT_NE(std::system((line + " > /dev/full 2>/dev/null").c_str()), 0) << command;
    EXPECT_NE(std::system((line + " >&- 2>/dev/null").c_str()), 0) << command;
    EXPECT_EQ(std::system((line + " > /dev/null").c_str()), 0) << command;
  }
  const std::string bat = "'" + CliPath() + "' --settings '" + settings + "' bat /dev/full";
  EXPECT_NE(std::system((bat + " 2>/dev/null").c_str()), 0);
}
#endif

#ifndef _WIN32
// The companion with its standard output a pipe whose reader has gone, as
// under "| head -1" once head has its line: every write fails (SIGPIPE).
std::pair<int, std::string> IntoClosedPipe(const Args& arguments, const fs::path& errors) {
  int ends[2];
  if (::pipe(ends) != 0) return {-1, "no pipe"};
  ::close(ends[0]);
  const pid_t companion = ForkCompanion(arguments, ends[1], {}, errors.string());
  ::close(ends[1]);
  int status = 0;
  ::waitpid(companion, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), ReadFile(errors)};
}

TEST_F(CliTest, OutputIntoAPipeWithoutReaderIsAFailureAndARunStillRunsAndJournals) {
  TbkManager m;
  Example(m, RecorderPath());
  const fs::path errors = root / "errors.txt";
  for (const char* command : {"show", "commands", "export"}) {
    const auto [status, err] = IntoClosedPipe({"--settings", settings, command}, errors);
    EXPECT_EQ(status, 1) << command;
    EXPECT_EQ(err, "packetwright-cli: Cannot write the output\n") << command;
  }
  const fs::path record = root / "record.txt";
  {
    TRecording recording(record);
    const auto [status, err] =
        IntoClosedPipe({"--settings", settings, "run", "--wait", "--jobs", "1", "1", "2"}, errors);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(err, "packetwright-cli: Cannot write the output\n");
  }
  const std::vector<TJournalRecord> records = ReadJournal(JournalFileName(settings));
  ASSERT_EQ(records.size(), 2u);
  for (const TJournalRecord& r : records) EXPECT_EQ(r.status, 0) << r.directory;
  const std::string text = ReadFile(record);
  EXPECT_NE(text.find(Dir("two") + "\n"), std::string::npos) << "the second directory ran";
  const auto [status, err] = IntoClosedPipe({"--settings", settings, "history"}, errors);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(err, "packetwright-cli: Cannot write to standard output\n");
}

// The companion ignores SIGPIPE; an archiver it starts, waited for or not,
// gets the signal's default as from a shell.
TEST_F(CliTest, ArchiversStartWithTheBrokenPipeSignalsDefault) {
  TbkManager m;
  const fs::path archiver = root / "archiver.sh";
  WriteFile(archiver, "#!/bin/sh\ngrep '^SigIgn:' /proc/self/status >> '" +
                          (root / "ignored.txt").string() + "'\n");
  fs::permissions(archiver, fs::perms::owner_all);
  Example(m, archiver.string());
  ASSERT_EQ(With({"run", "--wait", "1"}).status, 0);
  ASSERT_EQ(With({"run", "1"}).status, 0);
  std::string lines;
  for (int i = 0; i < 100 && Lines(lines = ReadFile(root / "ignored.txt")) < 2; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  std::istringstream in(lines);
  int count = 0;
  for (std::string word, mask; in >> word >> mask; ++count) {
    EXPECT_EQ(std::stoull(mask, nullptr, 16) & (1ull << (SIGPIPE - 1)), 0u) << mask;
  }
  EXPECT_EQ(count, 2);
}
#endif

#ifndef _WIN32
// SIGTERM, SIGINT or SIGHUP sent to a waited run of one archiver at a time:
// the archiver at work gets it and is waited for, its job is journaled as
// ended by the signal, the next directory never starts, and the status is 128
// plus the signal's number.
TEST_F(CliTest, ASignalEndsAWaitedRunAndTheArchiverAtWork) {
  TbkManager m;
  Example(m, RecorderPath());
  const fs::path record = root / "record.txt", started = root / "started.txt";
  const fs::path never = root / "never";
  // Never released: the archiver ends by a signal, or by itself after a minute.
  TRecording held(record, 0, 0, never, started);
  const Args args = {"--settings", settings, "run", "--wait", "--jobs", "1", "1", "2"};
  const std::string out = (root / "stdout").string(), err = (root / "stderr").string();
  const std::pair<int, const char*> signals[] = {
      {SIGTERM, "Terminated"}, {SIGINT, "Interrupt"}, {SIGHUP, "Hangup"}};
  for (const auto& [signal, description] : signals) {
    fs::remove(started);
    fs::remove(JournalFileName(settings));
    const pid_t companion = StartCompanion(args, out, err);
    ASSERT_GT(companion, 0);
    const std::string lines = StartLines(started, 1);
    ASSERT_NE(lines.find('\n'), std::string::npos) << "the archiver did not start";
    const pid_t archiver = std::stoi(lines);
    ASSERT_EQ(::kill(companion, signal), 0);
    const std::optional<int> ended = AwaitEnd(companion);
    if (!ended) FAIL() << description << ": the run did not end";
    const int status = *ended;
    if (::kill(archiver, 0) == 0) {
      ADD_FAILURE() << description << ": the archiver was left running";
      ::kill(archiver, SIGKILL);
    }
    ASSERT_TRUE(WIFEXITED(status)) << description << ": ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 128 + signal) << description;
    EXPECT_EQ(ReadFile(started), lines) << description << ": another directory started";
    EXPECT_FALSE(fs::exists(record)) << description << ": the archiver ended by itself";
    const std::string why = "Ended by signal " + std::to_string(signal) + " (" + description + ")";
    const std::vector<TJournalRecord> journal = ReadJournal(JournalFileName(settings));
    ASSERT_EQ(journal.size(), 1u) << description;
    EXPECT_EQ(journal[0].directory, Dir("one"));
    EXPECT_EQ(journal[0].status, 128 + signal) << "the archiver's own status";
    EXPECT_EQ(journal[0].error, why);
    EXPECT_EQ(ReadFile(err), "packetwright-cli: " + Dir("one") + ": " + why + "\n");
  }
}
#endif

#ifndef _WIN32
// The same signal to a run of two archivers at once: both get it and are
// waited for, both jobs are journaled as ended by it, the third directory
// never starts, and the status is 128 plus the signal's number.
TEST_F(CliTest, ASignalReachesEveryArchiverAtWorkInARunOfSeveralAtOnce) {
  TbkManager m;
  Example(m, RecorderPath());
  const fs::path record = root / "record.txt", started = root / "started.txt";
  TRecording held(record, 0, 0, root / "never", started);
  const Args args = {"--settings", settings, "run", "--wait", "--jobs", "2", "1", "2", "3"};
  const std::string out = (root / "stdout").string(), err = (root / "stderr").string();
  const pid_t companion = StartCompanion(args, out, err);
  ASSERT_GT(companion, 0);
  const std::string lines = StartLines(started, 2);
  ASSERT_EQ(Lines(lines), 2) << "the two archivers did not start";
  ASSERT_EQ(::kill(companion, SIGTERM), 0);
  const std::optional<int> ended = AwaitEnd(companion);
  if (!ended) FAIL() << "the run did not end";
  const int status = *ended;
  std::istringstream pids(lines);
  for (std::string pid; std::getline(pids, pid);) {
    if (::kill(std::stoi(pid), 0) == 0) {
      ADD_FAILURE() << "archiver " << pid << " was left running";
      ::kill(std::stoi(pid), SIGKILL);
    }
  }
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 128 + SIGTERM);
  EXPECT_EQ(ReadFile(started), lines) << "another directory started";
  EXPECT_FALSE(fs::exists(record)) << "an archiver ended by itself";
  const std::string why = "Ended by signal 15 (Terminated)";
  const std::vector<TJournalRecord> journal = ReadJournal(JournalFileName(settings));
  ASSERT_EQ(journal.size(), 2u);
  std::set<std::string> directories;
  for (const TJournalRecord& r : journal) {
    directories.insert(r.directory);
    EXPECT_EQ(r.status, 128 + SIGTERM) << r.directory;
    EXPECT_EQ(r.error, why) << r.directory;
  }
  EXPECT_EQ(directories, (std::set<std::string>{Dir("one"), Dir("two")}));
  const std::string errors = ReadFile(err);
  EXPECT_EQ(Lines(errors), 2) << errors;
  EXPECT_NE(errors.find("packetwright-cli: " + Dir("one") + ": " + why + "\n"), std::string::npos);
  EXPECT_NE(errors.find("packetwright-cli: " + Dir("two") + ": " + why + "\n"), std::string::npos);
}
#endif

// A run of several archivers at once prints the same lines, each whole, and
// journals the same records as a run of one after the other; only their
// order may differ, as the jobs end.
TEST_F(CliTest, ARunOfSeveralAtOnceReportsAndJournalsAsOneAfterTheOther) {
  TbkManager m;
  Example(m, RecorderPath());
  for (const char* name : {"four", "five"}) {
    fs::create_directories(root / name);
    m.Directories()->Add()->SetPath(Dir(name));
  }
  m.Directories()->Add()->SetPath(Dir("gone"));
  m.SaveToFile(settings, true);
  const auto sorted = [](const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    return lines;
  };
  std::vector<std::vector<TJournalRecord>> journals;
  std::vector<Result> results;
  for (const char* jobs : {"1", "3"}) {
    fs::remove(JournalFileName(settings));
    TRecording recording(root / (std::string("record") + jobs + ".txt"), 2, 100);
    results.push_back(With({"run", "--wait", "--jobs", jobs, "1", "2", "3", "4", "5", "6"}));
    std::vector<TJournalRecord> journal = ReadJournal(JournalFileName(settings));
    for (TJournalRecord& r : journal) {
      EXPECT_FALSE(r.started.empty());
      EXPECT_FALSE(r.ended.empty());
      r.started.clear();
      r.ended.clear();
    }
    std::sort(journal.begin(), journal.end(), [](const TJournalRecord& a, const TJournalRecord& b) {
      return a.position < b.position;
    });
    journals.push_back(journal);
  }
  EXPECT_EQ(results[0].status, 1);
  EXPECT_EQ(results[1].status, 1);
  EXPECT_EQ(sorted(results[0].out), sorted(results[1].out));
  EXPECT_EQ(sorted(results[0].err), sorted(results[1].err));
  EXPECT_EQ(Lines(results[1].out), 5) << results[1].out;
  EXPECT_EQ(results[1].err, Text("packetwright-cli: " + Dir("gone") + ": The directory does not exist\n"));
  ASSERT_EQ(journals[0].size(), 6u);
  EXPECT_EQ(journals[0], journals[1]);
}

TEST_F(CliTest, JobsMustBeAPositiveNumberAndGoWithWait) {
  TbkManager m;
  Example(m, RecorderPath());
  for (const Args& args :
       {Args{"run", "--wait", "--jobs", "0"}, Args{"run", "--wait", "--jobs", "x"},
        Args{"run", "--wait", "--jobs", "-2"}, Args{"run", "--jobs", "2"},
        Args{"run", "--wait", "--jobs"}}) {
    const Result r = With(args);
    EXPECT_EQ(r.status, 2) << args.back() << r.err;
    EXPECT_EQ(Lines(r.err), 1) << r.err;
    EXPECT_EQ(r.err.rfind("packetwright-cli: ", 0), 0u) << r.err;
  }
  EXPECT_NE(Cli({"run", "--help"}).out.find("--jobs"), std::string::npos);
}

// A settings file that archives nothing fails its run, waited for or not,
// rather than passing every night unnoticed; a number names a directory
// whether it is marked or not.
TEST_F(CliTest, ARunOfNothingSaysSoAndFails) {
  TbkManager m;
  Example(m, RecorderPath());
  for (int i = 0; i < m.Directories()->Count(); ++i) {
    m.Directories()->Items(i)->SetNeedArchive(false);
  }
  m.SaveToFile(settings, true);
  for (const Args& args : {Args{"run"}, Args{"run", "--wait"}}) {
    const Result r = With(args);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_EQ(r.err, Text("packetwright-cli: No directory is marked for archiving\n"));
    EXPECT_EQ(r.out, "");
  }
  EXPECT_FALSE(fs::exists(JournalFileName(settings))) << "nothing ran, nothing is journalled";
  TRecording recording(root / "done", 0, 0);
  EXPECT_EQ(With({"run", "--wait", "1"}).status, 0);
}

TEST_F(CliTest, RunWithoutWaitReturnsAtOnce) {
  TbkManager m;
  Example(m, RecorderPath());
  // The archiver finishes only once the test releases it; a run that waited
  // for it would find "done" already there.
  TRecording slow(root / "done", 0, 0, root / "release");
  const Result r = With({"run", "1"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(fs::exists(root / "done")) << "the run waited for the archiver";
  WriteFile(root / "release", "x");
  const fs::path done = root / "done";
  for (int i = 0; i < 600 && !fs::exists(done); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_TRUE(fs::exists(done));
}

#ifndef _WIN32
// One archive, one writer: while a run writes a directory's archive, waited
// for or started on its own, another companion's run of it is refused with
// the directory named, journalled, and the first one finishes undisturbed.
TEST_F(CliTest, ARunOfAnArchiveThatAnotherRunIsWritingIsRefused) {
  TbkManager m;
  Example(m, RecorderPath());
  const fs::path record = root / "record.txt", started = root / "started.txt";
  const fs::path release = root / "release";
  TRecording held(record, 0, 0, release, started);
  const std::string busy = "Not started: another run is writing the archive of " + Dir("one");
  const auto refused = [&](const char* what) {
    const Result second = With({"run", "--wait", "1"});
    EXPECT_EQ(second.status, 1) << what;
    EXPECT_NE(second.err.find("packetwright-cli: " + Dir("one") + ": " + busy),
              std::string::npos)
        << what << ": " << second.err;
    const std::vector<TJournalRecord> journal = ReadJournal(JournalFileName(settings));
    ASSERT_FALSE(journal.empty()) << what;
    EXPECT_FALSE(journal.back().status) << what;
    EXPECT_EQ(journal.back().error.value_or("").rfind(busy, 0), 0u) << what;
  };

  // A run that waits for its archiver holds the archive until it has ended.
  const std::string out = (root / "first.out").string(), err = (root / "first.err").string();
  const pid_t first = StartCompanion({"--settings", settings, "run", "--wait", "1"}, out, err);
  ASSERT_GT(first, 0);
  ASSERT_NE(StartLines(started, 1).find('\n'), std::string::npos) << "the archiver did not start";
  refused("waited for");
  EXPECT_EQ(Lines(ReadFile(started)), 1) << "the second run started an archiver";
  WriteFile(release, "x");
  const std::optional<int> ended = AwaitEnd(first);
  ASSERT_TRUE(ended && WIFEXITED(*ended)) << "the first run did not end";
  EXPECT_EQ(WEXITSTATUS(*ended), 0) << ReadFile(err);
  EXPECT_TRUE(WaitForFile(record));

  // A run that only starts its archiver hands the archive over to it.
  fs::remove(release);
  fs::remove(record);
  const Result detached = With({"run", "1"});
  ASSERT_EQ(detached.status, 0) << detached.err;
  ASSERT_NE(StartLines(started, 2).find('\n'), std::string::npos);
  refused("started on its own");
  WriteFile(release, "x");
  ASSERT_TRUE(WaitForFile(record));
  // Once it has ended, the archive is free again and nothing is left beside it.
  Result again;
  for (int i = 0; i < 100; ++i) {
    if ((again = With({"run", "--wait", "1"})).status == 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_EQ(again.status, 0) << again.err;
  for (const auto& entry : fs::recursive_directory_iterator(root / "out")) {
    EXPECT_NE(entry.path().extension(), ".lock") << entry.path();
  }
}
#endif

// Named relative to where the companion was started, the settings file keeps
// its journal beside it, however many directories a run starts; and a
// directory named twice runs once.
TEST_F(CliTest, ARelativeSettingsFileKeepsItsJournalBesideIt) {
  TbkManager m;
  Example(m, RecorderPath());
  const fs::path record = root / "record.txt";
  const fs::path before = fs::current_path();
  Result r;
  {
    TRecording recording(record, 0);
    fs::current_path(root);
    r = Cli({"--settings", "Packetwright.dat", "run", "1", "2", "1"});
    fs::current_path(before);
    // The archivers run on their own; their records come when they end.
    const auto ended = [&] {
      const std::string text = ReadFile(record);
      return text.find(Dir("one") + "\n") != std::string::npos &&
             text.find(Dir("two") + "\n") != std::string::npos;
    };
    for (int i = 0; i < 600 && !ended(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
  EXPECT_EQ(r.status, 0) << r.err;
  const std::vector<TJournalRecord> records =
      ReadJournal(ProgramPath(root / "Packetwright.journal"));
  ASSERT_EQ(records.size(), 2u) << "directory 1 named twice runs once";
  EXPECT_EQ(records[0].position, 1);
  EXPECT_EQ(records[1].position, 2);
  for (const char* name : {"one", "two"}) {
    EXPECT_FALSE(fs::exists(root / name / "Packetwright.journal"))
        << "the journal went into " << name;
  }
}

// Each usage error is one sentence naming the option or word at fault, in
// the program's words rather than its parser's.
TEST_F(CliTest, UsageErrorsNameWhatWasWrong) {
  const std::pair<Args, std::string> cases[] = {
      {{"--bogus"}, "unknown option \"--bogus\""},
      {{"run", "--bogus"}, "unknown option \"--bogus\""},
      {{"show", "x"}, "unexpected argument \"x\""},
      {{}, "a command is required"},
      {{"schedule"}, "schedule needs set, show or remove"},
      {{"--settings"}, "--settings needs a value"},
      {{"run", "--wait", "--jobs"}, "--jobs needs a value"},
      {{"run", "--wait", "--jobs", "abc"}, "--jobs expects a number from 1 to 256, not \"abc\""},
      {{"run", "--wait", "--jobs", "0"}, "--jobs expects a number from 1 to 256, not \"0\""},
      {{"run", "--wait", "--jobs", "1", "--jobs", "2"}, "--jobs is given more than once"},
      {{"run", "abc"}, "INDEX expects a number, not \"abc\""},
      {{"run", "--wait", "--notify", "often"},
       "--notify expects always, failures or never, not \"often\""},
  };
  for (const auto& [args, sentence] : cases) {
    const Result r = Cli(args);
    EXPECT_EQ(r.status, 2) << sentence;
    EXPECT_EQ(r.err, Text("packetwright-cli: " + sentence + " (see --help)\n"));
  }
  EXPECT_EQ(Cli({"run", "--wait", "--notify", "Never", "--help"}).status, 0);
}

TEST_F(CliTest, UsageErrorsAreOneLineAndStatusTwo) {
  const std::vector<Args> usages = {
      {}, {"frobnicate"}, {"run", "abc"}, {"run", "--bogus"}, {"--settings"}, {"show", "x"}};
  for (const Args& args : usages) {
    const Result r = Cli(args);
    const std::string named = args.empty() ? "" : args[0];
    EXPECT_EQ(r.status, 2) << named;
    EXPECT_EQ(Lines(r.err), 1) << named << ": " << r.err;
    EXPECT_EQ(r.err.rfind("packetwright-cli: ", 0), 0u) << r.err;
  }
  EXPECT_EQ(Cli({"frobnicate"}).err,
            Text("packetwright-cli: unknown command \"frobnicate\" (see --help)\n"));
  // A word from the command line cannot drive the terminal either.
  EXPECT_EQ(Cli({"\x1B]0;x\x07"}).err,
            Text("packetwright-cli: unknown command \"\\x1B]0;x\\x07\" (see --help)\n"));
  const Result help = Cli({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Exit status:"), std::string::npos) << help.out;
  EXPECT_NE(help.out.find("  3                           run --wait: no failure"),
            std::string::npos);
  EXPECT_EQ(help.out.find("  --wait "), std::string::npos) << "only --help-all names the options";
  // Every command with its arguments, and each option below its command.
  const Result all = Cli({"--help-all"});
  EXPECT_EQ(all.status, 0);
  for (const char* line :
       {"  schedule  ", "  schedule set --at HH:MM [--days mon,tue,...]", "  schedule show  ",
        "  schedule remove  ", "  show  ", "  commands [--all]  ", "  bat OUT  ",
        "  run [--wait] [--jobs N] [--due] [--if-missed] [--notify WHEN] "
        "[INDEX ...]",
        "  export [OUT]  ", "  import OUT  ", "  history [--json] [--failed] [INDEX ...]",
        "  preview [--files] [INDEX ...]", "    --wait  ", "    INDEX  ", "    --json  ",
        "  --settings TEXT  "}) {
    EXPECT_NE(all.out.find(line), std::string::npos) << line << all.out;
  }
  const Result version = Cli({"--version"});
  EXPECT_EQ(version.status, 0);
  // The one version of everything, the window's caption's "Packetwright 1.0".
  EXPECT_EQ(version.out, Text("packetwright-cli 1.0\n"));
}

TEST_F(CliTest, RunWithoutWaitReportsAnArchiverThatCannotStart) {
  TbkManager m;
  Example(m, ProgramPath(root / "missing-archiver"));
  const Result r = With({"run", "1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("packetwright-cli: " + Dir("one") + ": Cannot start ", 0), 0u) << r.err;
  EXPECT_EQ(Lines(r.err), 1);
}

TEST_F(CliTest, OneRunUsesOneMomentForEveryDirectory) {
  TbkManager m;
  Example(m, RecorderPath());
  m.SetSubDirNamePattern("yyyy-mm-dd-hh-nn-ss");
  m.SaveToFile(settings, true);
  // Each archiver takes longer than a second, so that the second directory
  // would otherwise fall into the next second's folder.
  TRecording slow(root / "record.txt", 0, 1200);
  const Result r = With({"run", "--wait", "1", "2"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::string> archives;
  for (const std::string& line : RecordedLines(root / "record.txt")) {
    for (const char* name : {"one", "two"}) {
      const std::string file = PathToFileName(Dir(name));
      if (line.size() > file.size() &&
          line.compare(line.size() - file.size(), file.size(), file) == 0) {
        archives.push_back(line);
      }
    }
  }
  ASSERT_EQ(archives.size(), 2u);
  EXPECT_EQ(ExtractFilePath(archives[0]), ExtractFilePath(archives[1]));
  EXPECT_NE(archives[0], archives[1]);
}

TEST_F(CliTest, ExportImportKeepEveryByte) {
  std::mt19937 random(99);
  auto text = [&](size_t n) {
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(random() % 256);
    return s;
  };
  // A directory's path holds no control character and, in the POSIX style,
  // must be absolute: its other bytes are random.
  auto path = [&](size_t n) {
    std::string s = "/";
    while (s.size() <= n) {
      const auto c = static_cast<unsigned char>(random() % 256);
      if (c >= 0x20 && c != 0x7F) s += static_cast<char>(c);
    }
    return s;
  };
  for (int round = 0; round < 3; ++round) {
    TbkManager m;
    m.SetOutputPath(round == 0 ? "" : text(20));
    m.SetArchiverExeFileName("C:\\Program Files\\\xC3\xA4rchiver.exe");
    m.SetArchiverParams(text(300));
    for (int i = 0; i < 4; ++i) {
      TbkDirectory* d = m.Directories()->Add();
      d->SetPath(path(static_cast<size_t>(i * 90)));
      d->SetNeedArchive(i % 2 == 0);
      TbkRule* r = m.Rules()->Add();
      r->SetName(std::string(1, static_cast<char>(i + 1)) + "\x80\xFF");
      r->SetCategory(i % 2 ? ecInclude : ecExclude);
      TbkExtension* e = r->Extensions()->Add();
      e->SetExt(text(5));
      e->SetTotalSize(i * -70000);
      e->SetActive(i == 1);
    }
    std::string every;
    for (int b = 0; b < 256; ++b) every += static_cast<char>(b);
    m.Directories()->Items(0)->SetArchiveFileName(every);
    m.SaveToFile(settings, true);

    const Result exported = With({"export"});
    ASSERT_EQ(exported.status, 0) << exported.err;
    const fs::path copy = root / "copy.dat";
    const Result imported = Cli({"import", ProgramPath(copy)}, exported.out);
    ASSERT_EQ(imported.status, 0) << imported.err;
    EXPECT_EQ(ReadFile(copy), ReadFile(root / "Packetwright.dat")) << "round " << round;
    const Result again = Cli({"--settings", ProgramPath(copy), "export"});
    EXPECT_EQ(again.out, exported.out);
  }
}

// "-" is the standard output of bat, export and import (whose input always
// is the standard input), never a file of that name.
TEST_F(CliTest, ADashIsStandardOutput) {
  TbkManager m;
  Example(m, RecorderPath());
  const fs::path before = fs::current_path();
  fs::current_path(root);
  const Result bat = With({"bat", "-"});
  const Result exported = With({"export", "-"});
  const Result imported = Cli({"import", "-"}, exported.out);
  fs::current_path(before);
  EXPECT_FALSE(fs::exists(root / "-"));
  ASSERT_EQ(bat.status, 0) << bat.err;
  EXPECT_EQ(bat.out, With({"commands"}).out);
  ASSERT_EQ(exported.status, 0) << exported.err;
  EXPECT_EQ(exported.out, With({"export"}).out);
  ASSERT_EQ(imported.status, 0) << imported.err;
  EXPECT_EQ(imported.out, ReadFile(root / "Packetwright.dat")) << "the file back, byte for byte";

  const fs::path json = root / "settings.json";
  ASSERT_EQ(With({"export", ProgramPath(json)}).status, 0);
  // Standard output is in text mode, the file is not.
  EXPECT_EQ(Text(ReadFile(json)), exported.out);
}

TEST_F(CliTest, ReadableTextsStayReadableInJson) {
  TbkManager m;
  m.SetExcludeKey("-x");
  m.Directories()->Add()->SetPath("D:\\B\xC3\xBCro");
  m.Directories()->Add()->SetPath("D:\\B\xFCro");
  m.SaveToFile(settings, true);
  const std::string json = With({"export"}).out;
  EXPECT_NE(json.find("\"Path\": \"D:\\\\B\xC3\xBCro\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"hex\": \"443a5c42fc726f\""), std::string::npos) << json;
}

TEST_F(CliTest, BadInputGivesOneLineAndAFailure) {
  const std::string x = ProgramPath(root / "x.dat");
  Result r = Cli({"import", x}, "{\"Rules\": [");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Lines(r.err), 1);
  EXPECT_EQ(r.err.rfind("packetwright-cli: Invalid settings JSON", 0), 0u) << r.err;
  EXPECT_FALSE(fs::exists(root / "x.dat"));

  EXPECT_EQ(r.err,
            Text("packetwright-cli: Invalid settings JSON at line 1, column 12: unexpected end "
                 "of input; expected '[', '{', or a literal\n"));

  r = Cli({"import", x}, "{\"Rules\": [{\"Colour\": 1}]}");
  EXPECT_EQ(r.err, Text("packetwright-cli: Invalid settings JSON at $.Rules[0]: unknown member "
                        "\"Colour\"\n"));

  WriteFile(root / "Packetwright.dat", std::string("TPF0\x0ATbkManager\x00\x05"
                                                   "Bogus\x08",
                                                   23));
  r = With({"show"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            Text("packetwright-cli: Error reading TbkManager.Bogus: Property does not exist\n"));

  fs::remove(root / "Packetwright.dat");
  for (const char* command : {"commands", "history"}) {
    r = With({command});
    EXPECT_EQ(r.status, 1) << command;
    EXPECT_EQ(r.err, Text("packetwright-cli: Settings file not found: " + settings + "\n"));
  }
  const std::string folder = ProgramPath(root);
  r = Cli({"--settings", folder, "show"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, Text("packetwright-cli: Settings file is a folder: " + folder + "\n"));
  EXPECT_NE(Cli({}).status, 0) << "a command is required";
  EXPECT_EQ(Cli({"run", "--help"}).status, 0);
}

// The journal of a few runs over the example's directories, oldest first.
class CliHistoryTest : public CliTest {
 protected:
  CliHistoryTest() {
    TbkManager m;
    Example(m, "archiver");
    m.Directories()->Add()->SetPath(latin);
    m.SaveToFile(settings, true);
    journal = JournalFileName(settings);
    records = {Record("one", 1, "2026-12-07T02:30:00+01:00"),
               Record("two", 2, "2026-12-07T02:31:00+01:00"),
               Record("three", 3, "2026-12-08T02:30:00+01:00"),
               Record("one", 1, "2026-12-08T02:31:00+01:00"),
               Record("", 4, "2026-12-08T02:32:00+01:00"),
               Record("", 9, "2026-12-08T02:33:00+01:00")};
    records[0].bytes = 100;
    records[1].status = 2;
    records[2].status.reset();  // a job that could not start has no status
    records[2].error = "Cannot start \x1B]0;owned\x07";
    records[3].bytes = 5'000'000'000;
    records[4].directory = latin;
    records[5].directory = "/gone";
    records[5].status.reset();
  }

  TJournalRecord Record(const char* name, int position, const std::string& started) {
    TJournalRecord r;
    r.directory = Dir(name);
    r.position = position;
    r.archive = ProgramPath(root / "out" / started.substr(0, 10) / name) + ".7z";
    r.started = started;
    r.ended = started;
    r.status = 0;
    return r;
  }

  void WriteJournal() {
    for (const TJournalRecord& r : records) AppendJournalRecord(journal, r);
  }

  // In Windows-1252: the journal gives it back as UTF-8 on a UTF-8 system.
  const std::string latin = "/data/B\xFCro";
  std::string journal;
  std::vector<TJournalRecord> records;
};

TEST_F(CliHistoryTest, ShowsTheLatestRecordOfEachDirectoryOldestFirst) {
  Result r = With({"history"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "") << "no journal yet";

  WriteJournal();
  r = With({"history"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto& rec = records;
  EXPECT_EQ(r.out,
            Text("2026-12-07T02:31:00+01:00  [2] " + Dir("two") + "  exit status 2  " +
                 rec[1].archive + "\n" + "2026-12-08T02:30:00+01:00  [3] " + Dir("three") +
                 "  not run: Cannot start \\x1B]0;owned\\x07\n" +
                 "2026-12-08T02:31:00+01:00  [1] " + Dir("one") + "  OK  " + rec[3].archive +
                 "  5000000000 bytes\n" + "2026-12-08T02:32:00+01:00  [4] " +
                 AsReadFromJournal(latin) + "  OK  " + rec[4].archive + "\n" +
                 "2026-12-08T02:33:00+01:00  [9] /gone  not awaited  " + rec[5].archive + "\n"));
}

TEST_F(CliHistoryTest, ListsEveryRecordOfTheGivenDirectories) {
  WriteJournal();
  Result r = With({"history", "1"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, Text("2026-12-07T02:30:00+01:00  [1] " + Dir("one") + "  OK  " +
                        records[0].archive + "  100 bytes\n" + "2026-12-08T02:31:00+01:00  [1] " +
                        Dir("one") + "  OK  " + records[3].archive + "  5000000000 bytes\n"));

  r = With({"history", "3", "1", "3"});
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(Lines(r.out), 3) << r.out;
  EXPECT_LT(r.out.find("[1] "), r.out.find("[3] ")) << "journal order: " << r.out;
  EXPECT_LT(r.out.find("[3] "), r.out.rfind("[1] ")) << "journal order: " << r.out;

  // Found by its path in the settings file, whatever form the journal keeps.
  r = With({"history", "4"});
  EXPECT_EQ(Lines(r.out), 1) << r.out;

  r = With({"history", "2", "9"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, Text("packetwright-cli: No directory 9 in the settings file (see --help)\n"));

  // A directory given a new path has no records yet.
  TbkManager m;
  m.LoadFromFile(settings);
  m.Directories()->Items(1)->SetPath(Dir("moved"));
  m.SaveToFile(settings, true);
  r = With({"history", "2"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
}

TEST_F(CliHistoryTest, JsonGivesTheJournalsLinesByteForByte) {
  // A line laid out by another tool, garbage and a torn last line among them.
  const std::string byHand =
      "{ \"directory\": " + TextToJson(Local8BitToUtf8(Dir("two"))).dump() +
      ", \"position\": 2, \"archive\": \"x\", \"started\": \"2026-12-09\", \"ended\": null, "
      "\"status\": null, \"error\": \"stopped\", \"bytes\": null, \"note\": \"\\u00e9\" }\r";
  WriteFile(root / "Packetwright.journal", JournalLine(records[0]) + byHand + "\n" + "garbage\n" +
                                               JournalLine(records[3]) +
                                               JournalLine(records[2]).substr(0, 50));
  Result r = With({"history", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, byHand + "\n" + JournalLine(records[3]));

  r = With({"history", "--json", "2", "1"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, JournalLine(records[0]) + byHand + "\n" + JournalLine(records[3]));
}

// A line longer than any record (here one of "two" with megabytes of error)
// is passed over by either form of the history, which says so after the
// records and still succeeds.
TEST_F(CliHistoryTest, ALineTooLongForARecordIsPassedOverWithANote) {
  TJournalRecord huge = records[1];
  huge.error = "e";
  std::string line = JournalLine(huge);
  line.insert(line.find("\"error\":\"e") + 9, std::string(3 << 20, 'e'));
  WriteFile(root / "Packetwright.journal",
            JournalLine(records[0]) + line + JournalLine(records[3]));
  const std::string note =
      Text("packetwright-cli: 1 record of the journal was passed over: longer than 1 MiB\n");
  Result r = With({"history"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, Text("2026-12-08T02:31:00+01:00  [1] " + Dir("one") + "  OK  " +
                        records[3].archive + "  5000000000 bytes\n"));
  EXPECT_EQ(r.err, note);

  r = With({"history", "--json", "2", "1"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, JournalLine(records[0]) + JournalLine(records[3]));
  EXPECT_EQ(r.err, note);
}

// The end of a job the window started without waiting: journalled by the
// companion with the status the keeper hands it and the archive's size.
TEST_F(CliTest, TheEndOfAJobStartedWithoutWaitingIsJournalled) {
  TJournalRecord started;
  started.directory = Dir("one");
  started.position = 1;
  started.archive = ProgramPath(root / "one.7z");
  started.started = "2026-12-09T02:30:00+01:00";
  WriteFile(root / "one.7z", "12345");
  std::string line = JournalLine(started);
  line.pop_back();
  const std::string journal = JournalFileName(settings);
  ASSERT_EQ(With({"journal-end", journal, line, "1"}).status, 0);
  ASSERT_EQ(With({"journal-end", journal, line, "2"}).status, 0);
  const std::vector<TJournalRecord> records = ReadJournal(journal);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].started, started.started);
  EXPECT_FALSE(records[0].ended.empty());
  EXPECT_EQ(records[0].status, 1);
  EXPECT_EQ(records[0].bytes, 5) << "a warning leaves its archive";
  EXPECT_EQ(records[1].status, 2);
  EXPECT_FALSE(records[1].bytes) << "the archive is the one from before";
  EXPECT_EQ(With({"journal-end", journal, "{}", "0"}).status, 2);
  EXPECT_EQ(ReadJournal(journal).size(), 2u);
}

#ifndef _WIN32
// A 7-Zip job whose archiver ends with 0 but whose archive cannot be put in
// place (the stand-in makes none): the run's line, the history and the
// window's Last Run column all call it a failure, and the history reads a
// job ended by a signal as stopped, with the status and what stopped it.
TEST_F(CliTest, AFailureAfterStatusZeroReadsAsOneInTheRunTheHistoryAndTheWindow) {
  const fs::path sevenZip = root / "7zz";
  fs::create_symlink(RecorderPath(), sevenZip);
  TbkManager m;
  Example(m, ProgramPath(sevenZip));
  const Result run = [&] {
    TRecording recording(root / "record.txt", 0);
    return With({"run", "--wait", "1"});
  }();
  EXPECT_EQ(run.status, 1) << "a failure, not an archiver's status";
  EXPECT_EQ(run.out, "[1] " + Dir("one") + ": failed\n");
  const std::vector<TJournalRecord> journal = ReadJournal(JournalFileName(settings));
  ASSERT_EQ(journal.size(), 1u);
  const TJournalRecord& record = journal[0];
  ASSERT_EQ(record.status, 0);
  ASSERT_TRUE(record.error);
  EXPECT_EQ(record.error->rfind("Cannot put ", 0), 0u) << *record.error;
  EXPECT_NE(record.error->find(" in place of " + record.archive), std::string::npos);
  EXPECT_EQ(run.err, "packetwright-cli: " + Dir("one") + ": " + *record.error + "\n");
  // What the window's Last Run column and run history show for it.
  EXPECT_EQ(JobResultText(record), "Failed");
  EXPECT_EQ(JobResultExplanation(record), *record.error);

  TJournalRecord ended = record;
  ended.position = 2;
  ended.directory = Dir("two");
  ended.status = 143;
  ended.error = "Ended by signal 15 (Terminated)";
  AppendJournalRecord(JournalFileName(settings), ended);
  const Result history = With({"history"});
  ASSERT_EQ(history.status, 0) << history.err;
  EXPECT_EQ(history.out, record.started + "  [1] " + Dir("one") + "  failed: " + *record.error +
                             "\n" + ended.started + "  [2] " + Dir("two") +
                             "  stopped (exit status 143): Ended by signal 15 (Terminated)\n");
}
#endif

// ---- preview ---------------------------------------------------------------------

class CliPreviewTest : public CliTest {
 protected:
  // Two directories with a rule each, and a third that clashes with the
  // first when asked for.
  void Setup(const std::string& strange, bool clash) {
    TbkManager m;
#ifdef _WIN32
    m.SetArchiverExeFileName("C:\\Tools\\7z.exe");
#else
    m.SetArchiverExeFileName("/usr/bin/7zz");
#endif
    m.SetArchiverParams("a -r");
    m.SetExcludeKey("-x!");
    m.SetOutputPath(ProgramPath(root / "out"));
    m.SetSubDirNamePattern("");
    TbkRule* texts = m.Rules()->Add();
    texts->SetName("Texts");
    texts->SetCategory(ecInclude);
    for (const char* mask : {"*.txt", "*.log", "*.none"}) texts->Extensions()->Add()->SetExt(mask);
    texts->Extensions()->Add()->SetExt(strange);
    TbkRule* noTemp = m.Rules()->Add();
    noTemp->SetName("NoTemp");
    noTemp->SetCategory(ecExclude);
    noTemp->Extensions()->Add()->SetExt("*.tmp");
    fs::create_directories(root / "one" / "sub");
    fs::create_directories(root / "two");
    WriteFile(root / "one" / "a.txt", "12345");
    WriteFile(root / "one" / "sub" / "b.txt", "123");
    WriteFile(root / "one" / "c.log", std::string(2048, 'x'));
    WriteFile(root / "one" / "d.tmp", "1");
    WriteFile(root / "one" / strange, "12");
    WriteFile(root / "two" / "x.tmp", "1");
    WriteFile(root / "two" / "y.bin", "1234");
    for (const auto& [name, rule] : {std::pair{"one", "Texts"}, {"two", "NoTemp"}, {"one", ""}}) {
      if (!clash && std::string(rule).empty()) break;
      TbkDirectory* d = m.Directories()->Add();
      d->SetPath(Dir(name));
      d->SetRuleName(rule);
    }
    m.SaveToFile(settings, true);
  }
};

TEST_F(CliPreviewTest, PrintsTheTotalsAndEachMask) {
#ifdef _WIN32
  const std::string strange = "odd name.txt2", shown = strange;
#else
  // Its escape sequence reaches the terminal as text.
  const std::string strange = "\x1b[2Jodd.txt2", shown = "\\x1B[2Jodd.txt2";
#endif
  Setup(strange, false);
  const Result r = With({"preview"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  // The masks in a column as wide as the widest.
  const auto row = [&](const std::string& mask, const std::string& counts) {
    return "      " + mask + std::string(shown.size() - mask.size(), ' ') + "  " + counts + "\n";
  };
  EXPECT_NE(r.out.find(Text("[1] " + Dir("one") +
                            "\n    Rule: Texts (takes only what its masks match)\n"
                            "    Takes: 4 files, 2058 bytes (2.0 KiB)\n" +
                            row("*.txt", "2 files, 8 bytes") +
                            row("*.log", "1 file, 2048 bytes (2.0 KiB)") +
                            row("*.none", "0 files, 0 bytes") + row(shown, "1 file, 2 bytes"))),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
  EXPECT_NE(r.out.find(Text("[2] " + Dir("two") +
                            "\n    Rule: NoTemp (leaves out what its "
                            "masks match)\n    Takes: 1 file, 4 bytes\n      *.tmp  leaves out "
                            "1 file, 1 byte\n")),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("[3]"), std::string::npos);
}

// --files prints the paths as stored and nothing else; a clash is one line
// on standard error for each directory, and the others are still previewed.
TEST_F(CliPreviewTest, FilesAreListedAsStoredAndClashesFail) {
#ifdef _WIN32
  const std::string strange = "odd name.txt2";
  const char sep = '\\';
#else
  const std::string strange = "\x1b[2Jodd.txt2";
  const char sep = '/';
#endif
  Setup(strange, true);
  Result r = With({"preview", "2", "--files"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "y.bin\n");

  r = With({"preview", "--files"});
  EXPECT_EQ(r.status, 1);
  // Directory 1 and 3 clash; 2 is listed.
  EXPECT_EQ(r.out, "y.bin\n");
  EXPECT_EQ(Lines(r.err), 2) << r.err;
  EXPECT_NE(r.err.find("packetwright-cli: " + Dir("one") + ": Its archive"), std::string::npos)
      << r.err;

  // Without the clash the strange name comes out byte for byte.
  TbkManager m;
  m.LoadFromFile(settings);
  m.Directories()->Delete(2);
  m.SaveToFile(settings, true);
  r = With({"preview", "1", "--files"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string expected =
      "a.txt\nc.log\n" + std::string("sub") + sep + "b.txt\n" + strange + "\n";
  const auto sorted = [](const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    return lines;
  };
  EXPECT_EQ(sorted(r.out), sorted(expected));
  EXPECT_EQ(r.out.back(), '\n');

  r = With({"preview", "7"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("No directory 7"), std::string::npos);
}

}  // namespace
}  // namespace pw
