// The companion's prune as a user meets it: after real nights of the real
// 7-Zip under faketime, without rules, and killed part-way.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "archiver/ArchiverDetection.h"
#include "archiver/Journal.h"
#include "archiver/PosixScripts.h"
#include "archiver/Retention.h"
#include "model/HoardkeeperClasses.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

namespace fs = std::filesystem;
using test::CommandOutput;
using test::ReadFile;

class PruneTest : public ::testing::Test {
 protected:
  PruneTest() : temp("prune"), root(temp.Path()), settings((root / "Packetwright.dat").string()) {}

  // The companion through the shell, after prefix (such as faketime).
  std::string Cli(const std::string& args, const std::string& prefix = "") {
    return CommandOutput(prefix + " " + QuotePosixWord(PW_CLI_PATH) + " --settings " +
                         QuotePosixWord(settings) + " " + args + " 2>" +
                         QuotePosixWord((root / "stderr").string()) + "; echo \"status $?\"");
  }

  test::TTempFolder temp;
  fs::path root;
  std::string settings;
};

TEST_F(PruneTest, WithoutRulesItIsRefusedAndDeletesNothing) {
  TbkManager m;
  m.SetOutputPath((root / "out").string());
  m.SetSubDirNamePattern("yyyy-mm-dd");
  m.SaveToFile(settings, true);
  EXPECT_EQ(Cli("prune --dry-run"), "status 2\n");
  EXPECT_NE(ReadFile(root / "stderr")
                .find("prune: no keep rules are set, so a prune would delete "
                      "nothing; set them in the window's Options (Keep), or in the settings' "
                      "JSON, \"Keep\""),
            std::string::npos)
      << ReadFile(root / "stderr");
}

// Three nights as the README tells them, then the dry run, the prune, and
// the history with its records.
TEST_F(PruneTest, AfterRealNightsThePruneDeletesWhatTheRulesLeaveAndTheHistoryShowsIt) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "faketime's clock does not go with the sanitizers' runtime";
#endif
  if (CommandOutput("command -v faketime").empty()) GTEST_SKIP() << "faketime is not installed";
  TbkManager m;
  if (!Apply7ZipOptions(m)) GTEST_SKIP() << "7zz is not installed (scripts/setup installs it)";
  const fs::path out = root / "out";
  m.SetOutputPath(out.string());
  m.SetSubDirNamePattern("yyyy-mm-dd");
  for (const char* name : {"a", "b", "old"}) {
    fs::create_directories(root / name);
    std::ofstream(root / name / "file.txt") << name;
    TbkDirectory* d = m.Directories()->Add();
    d->SetPath((root / name).string());
    d->SetNeedArchive(true);
  }
  m.SaveToFile(settings, true);
  const std::string tz = "TZ=Europe/Berlin faketime ";
  const std::string night1 = Cli("run --wait", tz + "'2026-12-01 02:30:00'");
  ASSERT_NE(night1.find("\nstatus 0\n"), std::string::npos) << night1 << ReadFile(root / "stderr");
  m.Directories()->Items(2)->SetNeedArchive(false);  // only the first night takes "old"
  m.SaveToFile(settings, true);
  for (const char* night : {"'2026-12-07 02:30:00'", "'2026-12-08 02:30:00'"}) {
    const std::string ran = Cli("run --wait", tz + night);
    ASSERT_NE(ran.find("\nstatus 0\n"), std::string::npos) << ran << ReadFile(root / "stderr");
    EXPECT_EQ(ran.find("Prune"), std::string::npos) << "no rules, no prune";
  }
  m.SetKeep({2, 2, 1, 1});
  m.SaveToFile(settings, true);

  const std::string first = (out / "2026-12-01").string();
  const auto flat = [&](const char* name) {
    std::string flat = (root / name).string().substr(1);
    for (char& c : flat) c = c == '/' ? '_' : c;
    return flat + ".7z";
  };
  const int64_t a = static_cast<int64_t>(fs::file_size(out / "2026-12-01" / flat("a")));
  const int64_t b = static_cast<int64_t>(fs::file_size(out / "2026-12-01" / flat("b")));
  const std::string freed = BytesAndSizeText(a + b);
  const std::string expected =
      "2026-12-01T02:30:00+01:00  " + first + "  deleted: 2 archives, would free " + freed + "\n" +
      "    kept " + first + "/" + flat("old") + ": the newest archive of " +
      (root / "old").string() + "\n" + "2026-12-07T02:30:00+01:00  " +
      (out / "2026-12-07").string() + "  kept: last 2, daily 2\n" + "2026-12-08T02:30:00+01:00  " +
      (out / "2026-12-08").string() + "  kept: last 1, daily 1, weekly 1, monthly 1\n" +
      "Total: 2 runs kept, 1 deleted; 2 archives, would free " + freed + "\nstatus 0\n";
  EXPECT_EQ(Cli("prune --dry-run", "TZ=Europe/Berlin"), expected);
  EXPECT_TRUE(fs::exists(out / "2026-12-01" / flat("a"))) << "a dry run deletes nothing";

  std::string done = expected;
  for (size_t at; (at = done.find("would free")) != std::string::npos;) {
    done.replace(at, 10, "freed");
  }
  EXPECT_EQ(Cli("prune", "TZ=Europe/Berlin"), done);
  EXPECT_EQ(ReadFile(root / "stderr"), "");
  EXPECT_FALSE(fs::exists(out / "2026-12-01" / flat("a")));
  EXPECT_TRUE(fs::exists(out / "2026-12-01" / flat("old")));
  EXPECT_TRUE(fs::exists(out / "2026-12-07" / flat("a")));

  const std::string history = Cli("history 1");
  EXPECT_NE(history.find("[1] " + (root / "a").string() + "  pruned  " + first + "/" + flat("a") +
                         "  " + std::to_string(a) + " bytes"),
            std::string::npos)
      << history;
  // Nothing is deleted twice.
  const std::string again = Cli("prune", "TZ=Europe/Berlin");
  EXPECT_NE(again.find("Total: 2 runs kept, 1 deleted; 0 archives, freed 0 bytes\n"),
            std::string::npos)
      << again;
}

// run --wait prunes only after a run in which every directory succeeded.
TEST_F(PruneTest, RunAndWaitPrunesAfterAGoodRunAndNeverAfterAFailedOne) {
  TbkManager m;
  const fs::path out = root / "out";
  m.SetArchiverExeFileName(test::RecorderPath());
  m.SetOutputPath(out.string());
  m.SetSubDirNamePattern("yyyy-mm-dd");
  fs::create_directories(root / "src");
  TbkDirectory* d = m.Directories()->Add();
  d->SetPath((root / "src").string());
  d->SetNeedArchive(true);
  m.SetKeep({1, 0, 0, 0});
  m.SaveToFile(settings, true);
  std::string flat = (root / "src").string().substr(1);
  for (char& c : flat) c = c == '/' ? '_' : c;
  std::vector<fs::path> earlier;
  for (const char* day : {"2020-01-01", "2020-01-02", "2020-01-03"}) {
    earlier.push_back(out / day / flat);
    fs::create_directories(out / day);
    test::WriteFile(earlier.back(), "archive");
    TJournalRecord r;
    r.directory = d->Path();
    r.position = 1;
    r.archive = earlier.back().string();
    r.started = r.ended = std::string(day) + "T02:30:00+01:00";
    r.status = 0;
    r.bytes = 7;
    AppendJournalRecord(JournalFileName(settings), r);
  }
  {
    const test::TRecording failing(root / "record.txt", 2);
    const std::string ran = Cli("run --wait");
    EXPECT_NE(ran.find("\nstatus 3\n"), std::string::npos) << ran;
    EXPECT_EQ(ran.find("Prune"), std::string::npos) << ran;
    for (const fs::path& archive : earlier) EXPECT_TRUE(fs::exists(archive)) << archive;
  }
  const test::TRecording recording(root / "record.txt", 0);
  const std::string ran = Cli("run --wait");
  EXPECT_NE(
      ran.find("Prune (last 1):\n2020-01-01T02:30:00+01:00  " + (out / "2020-01-01").string() +
               "  deleted: 1 archive, freed 7 bytes, folder removed\n"),
      std::string::npos)
      << ran << ReadFile(root / "stderr");
  EXPECT_NE(ran.find("\nstatus 0\n"), std::string::npos) << ran;
  EXPECT_FALSE(fs::exists(earlier[0]));
  EXPECT_FALSE(fs::exists(earlier[1]));
  EXPECT_TRUE(fs::exists(earlier[2])) << "the newest archive there is of the directory";
}

// Killed part-way, the prune leaves each archive whole or gone and a journal
// that reads to its end; the next prune finishes the work.
TEST_F(PruneTest, AKilledPruneLeavesEveryArchiveWholeOrGoneAndTheJournalReadable) {
  TbkManager m;
  const fs::path out = root / "out";
  m.SetOutputPath(out.string());
  m.SetSubDirNamePattern("yyyy-mm-dd");
  m.SetArchiverExeFileName("/usr/bin/7zz");
  m.Directories()->Add()->SetPath("/data/src");
  m.SetKeep({1, 0, 0, 0});
  m.SaveToFile(settings, true);
  const std::string journal = JournalFileName(settings);
  constexpr int kNights = 60;
  {
    std::ofstream lines(journal, std::ios::binary);
    for (int night = 0; night < kNights; ++night) {
      char day[16];
      std::snprintf(day, sizeof day, "%04d-%02d-%02d", 2020 + night / 300, 1 + night % 300 / 25,
                    1 + night % 25);
      fs::create_directories(out / day);
      TJournalRecord r;
      r.directory = "/data/src";
      r.position = 1;
      r.archive = (out / day / "data_src.7z").string();
      r.started = r.ended = std::string(day) + "T02:30:00+01:00";
      r.status = 0;
      r.bytes = 10 + night;
      std::ofstream(r.archive, std::ios::binary) << std::string(static_cast<size_t>(*r.bytes), 'x');
      lines << JournalLine(r);
    }
  }
  const int64_t before = static_cast<int64_t>(fs::file_size(journal));
  const pid_t companion = ::fork();
  if (companion == 0) {
    const std::string cli = PW_CLI_PATH;
    ::freopen("/dev/null", "w", stdout);
    ::execl(cli.c_str(), cli.c_str(), "--settings", settings.c_str(), "prune",
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // Killed once a few deletions are journalled.
  for (int i = 0; i < 20000; ++i) {
    std::error_code error;
    if (static_cast<int64_t>(fs::file_size(journal, error)) > before + 1500) break;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  ::kill(companion, SIGKILL);
  int status = 0;
  ::waitpid(companion, &status, 0);

  size_t lines = 0;
  for (const char c : ReadFile(journal)) lines += c == '\n';
  const std::vector<TJournalRecord> records = ReadJournal(journal);
  EXPECT_EQ(records.size(), lines) << "every whole line is a record, a torn last one is not";
  size_t pruned = 0;
  for (const TJournalRecord& r : records) {
    if (r.IsJob()) {
      // Whole, or gone.
      if (fs::exists(r.archive)) {
        EXPECT_EQ(static_cast<int64_t>(fs::file_size(r.archive)), *r.bytes);
      }
      continue;
    }
    ++pruned;
    EXPECT_FALSE(fs::exists(r.archive)) << r.archive;
    EXPECT_FALSE(r.error);
  }
  EXPECT_GT(pruned, 0u);
  EXPECT_TRUE(WIFSIGNALED(status)) << "the prune ended before it was killed";
  EXPECT_LT(pruned, static_cast<size_t>(kNights - 1)) << "killed part-way";

  // The next prune takes what is left, and the newest archive stays.
  const std::string ran = Cli("prune");
  EXPECT_NE(ran.find("\nstatus 0\n"), std::string::npos) << ran << ReadFile(root / "stderr");
  std::vector<std::string> left;
  for (const auto& folder : fs::directory_iterator(out)) left.push_back(folder.path().string());
  EXPECT_EQ(left, std::vector<std::string>{(out / "2020-03-10").string()});
}

}  // namespace
}  // namespace pw
