// Starting real programs directly: arguments passed one by one, the current
// directory inherited, and a program that cannot start reported.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "platform/Programs.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

namespace fs = std::filesystem;

#ifndef _WIN32

using test::ReadFile;

class ProcessTest : public ::testing::Test {
 protected:
  ProcessTest() : previous(fs::current_path()) {
    folder = fs::temp_directory_path() / ("pw-process-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    fs::current_path(folder);
    record = folder / "record.txt";
    program = folder / "record.sh";
    std::ofstream(program) << "#!/bin/sh\n{ pwd; for a in \"$@\"; do printf '[%s]' \"$a\"; done; "
                              "echo; } > record.tmp && mv record.tmp record.txt\nexit 4\n";
    fs::permissions(program, fs::perms::owner_all);
  }
  ~ProcessTest() override {
    fs::current_path(previous);
    fs::remove_all(folder);
  }

  fs::path previous, folder, record, program;
};

TEST_F(ProcessTest, ArgumentsArriveOneByOne) {
  const std::vector<std::string> args = {"a b", "'q'", "*", "$X", ""};
  EXPECT_EQ(Get<IProcessRunner>().RunAndWait(program.string(), args), 4);
  EXPECT_EQ(ReadFile(record), folder.string() + "\n[a b]['q'][*][$X][]\n");
  fs::remove(record);

  Get<IProcessRunner>().Start(program.string(), args);
  ASSERT_TRUE(test::WaitForFile(record)) << "the program started did not run";
  EXPECT_EQ(ReadFile(record), folder.string() + "\n[a b]['q'][*][$X][]\n");
}

TEST_F(ProcessTest, ProgramsThatCannotStartAreReported) {
  IProcessRunner& runner = Get<IProcessRunner>();
  EXPECT_THROW(runner.Start((folder / "missing").string(), std::vector<std::string>{}), Exception);
  EXPECT_THROW(runner.Start("pw-no-such-program", std::vector<std::string>{}), Exception);
  EXPECT_THROW(runner.Start("", std::vector<std::string>{}), Exception);
  std::ofstream(folder / "data.txt") << "not a program";
  EXPECT_THROW(runner.Start((folder / "data.txt").string(), std::vector<std::string>{}), Exception);
  EXPECT_THROW(runner.RunAndWait("pw-no-such-program", std::vector<std::string>{}), Exception);
  // A text file without a "#!" line is no program, waited for or not.
  const fs::path text = folder / "text";
  std::ofstream(text) << "touch ran\n";
  fs::permissions(text, fs::perms::owner_all);
  for (const bool wait : {false, true}) {
    try {
      if (wait) {
        runner.RunAndWait(text.string(), std::vector<std::string>{});
      } else {
        runner.Start(text.string(), std::vector<std::string>{});
      }
      ADD_FAILURE() << "started " << (wait ? "waited" : "detached");
    } catch (const Exception& e) {
      EXPECT_NE(e.Message().find("Exec format error"), std::string::npos) << e.Message();
    }
  }
  EXPECT_FALSE(fs::exists(folder / "ran"));
  // A bare name is looked up on PATH.
  EXPECT_NO_THROW(runner.Start("true", std::vector<std::string>{}));
  EXPECT_EQ(Get<IProgramSearch>().FindOnPath("sh").value_or("").back(), 'h');
  EXPECT_FALSE(Get<IProgramSearch>().FindOnPath("pw-no-such-program"));
  EXPECT_FALSE(Get<IProgramSearch>().FindOnPath("/bin/sh"))
      << "names with a folder are not searched";
}

// A waited run in a folder of its own: the program finds itself there, and
// the process's current directory stays where it was.
TEST_F(ProcessTest, AWaitedRunStartsInItsOwnFolderWithoutMovingTheProcess) {
  const fs::path inside = folder / "inside dir";
  fs::create_directories(inside);
  TRunOptions options;
  options.workingDirectory = inside.string();
  std::vector<std::string> steps;
  options.prepare = [&] { steps.push_back("prepare"); };
  options.started = [&] { steps.push_back("started"); };
  EXPECT_EQ(
      Get<IProcessRunner>().RunAndWait(program.string(), std::vector<std::string>{"x"}, options),
      4);
  EXPECT_EQ(ReadFile(inside / "record.txt"), inside.string() + "\n[x]\n");
  EXPECT_EQ(fs::current_path(), folder);
  EXPECT_EQ(steps, (std::vector<std::string>{"prepare", "started"}));

  // A folder that cannot be entered fails as a change into it would, before
  // anything is prepared or started.
  steps.clear();
  options.workingDirectory = (folder / "gone").string();
  try {
    Get<IProcessRunner>().RunAndWait(program.string(), std::vector<std::string>{}, options);
    ADD_FAILURE() << "ran in a folder that is gone";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Message(), "The directory does not exist");
  }
  options.workingDirectory = program.string();
  try {
    Get<IProcessRunner>().RunAndWait(program.string(), std::vector<std::string>{}, options);
    ADD_FAILURE() << "ran in a file";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Message(), "Invalid filename");
  }
  EXPECT_TRUE(steps.empty());
}

// A stop from another thread ends the program at work; a run asked to start
// after it does not start.
TEST_F(ProcessTest, AStopEndsTheProgramAtWorkAndStartsNoMore) {
  TRunStop stop;
  TRunOptions options;
  options.stop = &stop;
  std::atomic<bool> running{false};
  options.started = [&] { running = true; };
  int status = -1;
  std::thread run([&] {
    status = Get<IProcessRunner>().RunAndWait("sleep", std::vector<std::string>{"60"}, options);
  });
  for (int i = 0; i < 1200 && !running; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  stop.Stop();
  run.join();
  EXPECT_EQ(status, 128 + SIGTERM);
  EXPECT_TRUE(stop.Stopped());
  EXPECT_THROW(
      Get<IProcessRunner>().RunAndWait(program.string(), std::vector<std::string>{}, options),
      ERunStopped);
  EXPECT_FALSE(fs::exists(record));
}

// A start with a lock kept has the keeper start what was asked for once the
// program has ended, with its status last and the lock's file gone.
TEST_F(ProcessTest, TheEndOfAStartedProgramStartsWhatWasAskedFor) {
  const fs::path lockFile = folder / "archive.lock", told = folder / "told.txt";
  const fs::path teller = folder / "tell.sh";
  std::ofstream(teller) << "#!/bin/sh\n[ -e '" << lockFile.string()
                        << "' ] && exit 1\necho \"$@\" > told.tmp && mv told.tmp told.txt\n";
  fs::permissions(teller, fs::perms::owner_all);
  std::unique_ptr<IFileLock> lock = Get<IFileSystem>().TryLock(lockFile.string());
  ASSERT_TRUE(lock);
  Get<IProcessRunner>().Start(program.string(), std::vector<std::string>{"x"}, folder.string(),
                              lock.get(), {teller.string(), "a b", "--"});
  ASSERT_TRUE(test::WaitForFile(told)) << "nothing was started at the end";
  EXPECT_EQ(ReadFile(told), "a b -- 4\n");
  EXPECT_FALSE(fs::exists(lockFile));
}

// A program that goes on after SIGTERM is killed once the stop's grace is
// over; a shell that ignores the signal would otherwise run for a minute.
TEST_F(ProcessTest, AProgramThatIgnoresTheStopIsKilledAfterTheGrace) {
  TRunStop stop(std::chrono::milliseconds(200));
  TRunOptions options;
  options.stop = &stop;
  std::atomic<bool> running{false};
  options.output = [&](int, const std::string& line) { running = line == "ready"; };
  int status = -1;
  std::thread run([&] {
    status = Get<IProcessRunner>().RunAndWait(
        "/bin/sh", std::vector<std::string>{"-c", "trap '' TERM; echo ready; i=0; "
                                                  "while [ $i -lt 600 ]; do sleep 0.1; "
                                                  "i=$((i+1)); done"},
        options);
  });
  for (int i = 0; i < 1200 && !running; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  stop.Stop();
  run.join();
  EXPECT_EQ(status, 128 + SIGKILL);
}

// With an output the program's two streams come back line by line, in the
// order written on each, whatever their line ends.
TEST_F(ProcessTest, TheOutputComesBackLineByLine) {
  std::vector<std::string> lines[2];
  TRunOptions options;
  options.output = [&](int stream, const std::string& line) { lines[stream - 1].push_back(line); };
  const int status = Get<IProcessRunner>().RunAndWait(
      "/bin/sh",
      std::vector<std::string>{"-c", "printf 'one\\n\\ntwo\\r\\n'; printf 'bad\\n' >&2; "
                                     "head -c 10000 /dev/zero | tr '\\0' x; printf 'last'"},
      options);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(lines[0],
            (std::vector<std::string>{"one", "", "two", std::string(10000, 'x') + "last"}));
  EXPECT_EQ(lines[1], std::vector<std::string>{"bad"});
}

// What a password rides on: the bytes given reach the program's standard
// input, which then ends, for a waited run and for a start nothing waits for
// (whose pipe is filled before the program runs).
TEST_F(ProcessTest, StandardInputComesFromMemoryAndThenEnds) {
  const std::string reader = "read first; read second; status=$?; printf '%s|%s|%s' "
                             "\"$first\" \"$second\" \"$status\" > in.tmp && mv in.tmp in.txt";
  TRunOptions options;
  options.input = std::string("Secret 123\n");
  std::vector<std::string> lines;
  options.output = [&](int, const std::string& line) { lines.push_back(line); };
  EXPECT_EQ(Get<IProcessRunner>().RunAndWait("/bin/sh", {"-c", reader + "; cat in.txt"}, options),
            0);
  EXPECT_EQ(lines, std::vector<std::string>{"Secret 123||1"}) << "one line, then the end";

  fs::remove(folder / "in.txt");
  Get<IProcessRunner>().Start("/bin/sh", {"-c", reader}, {}, nullptr, {},
                              std::string("Other secret\n"));
  ASSERT_TRUE(test::WaitForFile(folder / "in.txt"));
  EXPECT_EQ(ReadFile(folder / "in.txt"), "Other secret||1");

  options.input = std::string(kMostInputBytes + 1, 'x');
  EXPECT_THROW(Get<IProcessRunner>().RunAndWait("/bin/true", std::vector<std::string>{}, options),
               Exception)
      << "more than a pipe holds is refused before anything starts";
}

TEST_F(ProcessTest, EndingSignalsAreKeptAndPassedOnWhileAskedFor) {
  using Signals = TEndingSignalsPassedOn;
  struct sigaction ignore = {};
  struct sigaction earlierHangup = {};
  struct sigaction now = {};
  ignore.sa_handler = SIG_IGN;
  {
    const Signals passedOn;
    EXPECT_EQ(Signals::Received(), 0);
    ASSERT_EQ(::raise(SIGTERM), 0) << "the test goes on";
    ASSERT_EQ(::raise(SIGINT), 0);
    EXPECT_EQ(Signals::Received(), SIGTERM) << "the first is kept";
    // A program that starts after the signal came gets it at once instead of
    // never; sleep would otherwise end by itself with 0.
    EXPECT_EQ(Get<IProcessRunner>().RunAndWait("sleep", std::vector<std::string>{"60"}),
              128 + SIGTERM);
  }
  EXPECT_EQ(Signals::Received(), 0);
  EXPECT_EQ(Get<IProcessRunner>().RunAndWait(program.string(), std::vector<std::string>{}), 4)
      << "no signal is passed on once the object has gone";
  ASSERT_EQ(::sigaction(SIGTERM, nullptr, &now), 0);
  EXPECT_EQ(now.sa_handler, SIG_DFL) << "the earlier handling is back";

  // A hangup ignored before, as under nohup, stays ignored.
  ASSERT_EQ(::sigaction(SIGHUP, &ignore, &earlierHangup), 0);
  {
    const Signals passedOn;
    ASSERT_EQ(::raise(SIGHUP), 0);
    EXPECT_EQ(Signals::Received(), 0);
  }
  ASSERT_EQ(::sigaction(SIGHUP, &earlierHangup, &now), 0);
  EXPECT_EQ(now.sa_handler, SIG_IGN);
}

#endif

}  // namespace
}  // namespace pw
