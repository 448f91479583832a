// A scheduled night with the real 7-Zip: the companion runs a settings file
// of real trees twice on one day, with files and a rule changed in between.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "archiver/ArchiveCommands.h"
#include "archiver/ArchiverDetection.h"
#include "archiver/Journal.h"
#include "archiver/PosixScripts.h"
#include "archiver/ArchiveJob.h"
#include "model/HoardkeeperClasses.h"
#include "platform/ProgramPath.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

namespace fs = std::filesystem;
using Files = std::set<std::string>;

// The files of an archive, as 7-Zip lists them.
Files Listing(const fs::path& archive) {
  std::istringstream lines(
      test::CommandOutput("7zz l -slt " + QuotePosixWord(archive.string()) + " 2>&1"));
  Files files;
  std::string path;
  bool entries = false;
  for (std::string line; std::getline(lines, line);) {
    entries = entries || line == "----------";
    if (!entries) continue;
    if (line.rfind("Path = ", 0) == 0) path = line.substr(7);
    if (line.rfind("Attributes = ", 0) == 0 && line.substr(13, 1) != "D") files.insert(path);
  }
  return files;
}

// The files of a tree whose extension a rule takes: only those in "only"
// when it is not empty, and none of those in "without".
Files Selected(const fs::path& dir, const std::set<std::string>& only,
               const std::set<std::string>& without) {
  Files files;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    if (!entry.is_regular_file()) continue;
    const std::string ext = entry.path().extension().string();
    if ((!only.empty() && !only.count(ext)) || without.count(ext)) continue;
    files.insert(fs::relative(entry.path(), dir).string());
  }
  return files;
}

void Tree(const fs::path& dir) {
  for (const char* name : {"a.txt", "b.doc", "c.tmp", "NOTES", "sub/d.txt", "sub/e.log",
                           "sub/deep/f.tmp", "sub/deep/g.txt"}) {
    fs::create_directories((dir / name).parent_path());
    std::ofstream(dir / name) << dir.filename().string() << ":" << name;
  }
}

TEST(ScheduledNight, EveryArchiveHoldsWhatItsRuleSelectsNowAndEveryJobIsJournalled) {
  TbkManager m;
  if (!Apply7ZipOptions(m)) GTEST_SKIP() << "7zz is not installed (scripts/setup installs it)";
  const test::TTempFolder temp("night");
  const fs::path root = temp.Path();
  const std::string settings = (root / "Packetwright.dat").string();
  // One folder for the whole day, whatever the clock says.
  m.SetOutputPath((root / "out").string());
  m.SetSubDirNamePattern("\"today\"");
  TbkRule* texts = m.Rules()->Add();
  texts->SetName("Texts");
  texts->SetCategory(ecInclude);
  texts->Extensions()->Add()->SetExt("*.txt");
  texts->Extensions()->Add()->SetExt("*.doc");
  TbkRule* temporary = m.Rules()->Add();
  temporary->SetName("Temporary");
  temporary->SetCategory(ecExclude);
  temporary->Extensions()->Add()->SetExt("*.tmp");

  const char* rules[] = {"Texts", "Temporary", ""};
  std::vector<fs::path> trees;
  for (int i = 0; i < 20; ++i) {
    trees.push_back(root / "trees" / ("dir" + std::to_string(i)));
    Tree(trees.back());
    TbkDirectory* d = m.Directories()->Add();
    d->SetPath(trees.back().string());
    d->SetRuleName(rules[i % 3]);
  }
  const fs::path missing = root / "trees" / "unplugged";
  const fs::path clashA = root / "c" / "a" / "b_c", clashB = root / "c" / "a_b" / "c";
  for (const fs::path& path : {missing, clashA, clashB}) {
    if (path != missing) Tree(path);
    m.Directories()->Add()->SetPath(path.string());
  }
  m.SaveToFile(settings, true);

  auto run = [&] {
    return test::RunProgram(ProgramDirectory() + "../bin/packetwright-cli",
                            {"--settings", settings, "run", "--wait"}, root / "none",
                            root / "stdout", root / "stderr");
  };
  test::WriteFile(root / "none", "");
  EXPECT_EQ(run(), 1);

  // During the day: a file changed, one deleted, one added, and a rule that
  // now leaves out the logs as well.
  test::WriteFile(trees[0] / "a.txt", "changed");
  fs::remove(trees[1] / "sub" / "d.txt");
  fs::remove(trees[4] / "b.doc");
  test::WriteFile(trees[2] / "new.txt", "new");
  TbkManager later;
  later.LoadFromFile(settings);
  later.Rules()->Items(1)->Extensions()->Add()->SetExt("*.log");
  later.SaveToFile(settings, true);
  EXPECT_EQ(run(), 1);

  const std::string errors = test::ReadFile(root / "stderr");
  EXPECT_NE(errors.find(missing.string() + ": The directory does not exist"), std::string::npos) << errors;
  EXPECT_NE(errors.find(clashA.string() + ": Its archive"), std::string::npos) << errors;
  EXPECT_NE(errors.find(clashB.string()), std::string::npos) << errors;

  const fs::path day = root / "out" / "today";
  for (size_t i = 0; i < trees.size(); ++i) {
    const std::string rule = rules[i % 3];
    const Files expected = rule == "Texts"       ? Selected(trees[i], {".txt", ".doc"}, {})
                           : rule == "Temporary" ? Selected(trees[i], {}, {".tmp", ".log"})
                                                 : Selected(trees[i], {}, {});
    EXPECT_EQ(Listing(day / (PathToFileName(trees[i].string()) + ".7z")), expected) << trees[i];
  }
  EXPECT_EQ(test::CommandOutput(
                "7zz e -so " +
                QuotePosixWord((day / (PathToFileName(trees[0].string()) + ".7z")).string()) +
                " a.txt 2>/dev/null"),
            "changed");
  EXPECT_FALSE(fs::exists(day / (PathToFileName(clashA.string()) + ".7z")));
  for (const auto& entry : fs::directory_iterator(day)) {
    EXPECT_EQ(entry.path().string().find(".incomplete."), std::string::npos) << entry.path();
  }

  // Both nights' jobs, the refused ones included, in the journal.
  const std::vector<TJournalRecord> journal = ReadJournal(JournalFileName(settings));
  ASSERT_EQ(journal.size(), 2u * 23);
  std::map<std::string, int> failures;
  for (const TJournalRecord& record : journal) {
    if (record.error) ++failures[record.directory];
    if (!record.error) {
      EXPECT_EQ(record.status, 0) << record.directory;
      EXPECT_EQ(record.tested, TArchiveTest::atPassed) << record.directory;
      EXPECT_TRUE(record.bytes && *record.bytes > 0) << record.directory;
    }
  }
  EXPECT_EQ(failures, (std::map<std::string, int>{
                          {missing.string(), 2}, {clashA.string(), 2}, {clashB.string(), 2}}));
  // The archivers ran a few at once, so the records come in the order the
  // jobs ended: each night holds every position once.
  for (const size_t night : {0u, 23u}) {
    std::set<int> positions;
    for (size_t i = night; i < night + 23; ++i) positions.insert(journal[i].position);
    EXPECT_EQ(positions.size(), 23u);
    EXPECT_EQ(*positions.begin(), 1);
    EXPECT_EQ(*positions.rbegin(), 23);
  }
}


// ---- The test of each new archive, and verify ---------------------------------------

class TestedNight : public ::testing::Test {
 protected:
  TestedNight() : temp("tested"), root(temp.Path()), settings((root / "Packetwright.dat").string()) {
    test::WriteFile(root / "none", "");
  }

  // A directory of a few files of random bytes, archived by the real 7-Zip
  // into root/out, through a stand-in named 7zz that overwrites four bytes
  // in the middle of the new archive while the file root/corrupt is there.
  bool Make() {
    if (!Apply7ZipOptions(m)) return false;
    const fs::path bin = root / "bin";
    fs::create_directories(bin);
    test::WriteFile(bin / "7zz",
                    "#!/bin/sh\n" + QuotePosixWord(m.ArchiverExeFileName()) +
                        " \"$@\"; code=$?\n"
                        "if [ \"$1\" = a ] && [ -e " + QuotePosixWord((root / "corrupt").string()) +
                        " ]; then\n"
                        "  for arg; do case $arg in *.incomplete.7z)\n"
                        "    size=$(wc -c < \"$arg\")\n"
                        "    printf XXXX | dd of=\"$arg\" bs=1 seek=$((size / 2)) conv=notrunc "
                        "2>/dev/null;;\n"
                        "  esac; done\n"
                        "fi\n"
                        "exit $code\n");
    fs::permissions(bin / "7zz", fs::perms::owner_all);
    m.SetArchiverExeFileName((bin / "7zz").string());
    m.SetOutputPath((root / "out").string());
    m.SetSubDirNamePattern("");
    TbkRule* rule = m.Rules()->Add();
    rule->SetName("Kept");
    rule->SetCategory(ecInclude);
    for (const char* mask : {"*.bin", "*.log"}) rule->Extensions()->Add()->SetExt(mask);
    fs::create_directories(root / "src" / "sub");
    std::mt19937 random(7);
    for (const char* name : {"a.bin", "b.bin", "sub/c.bin", "d.log"}) {
      std::string bytes(20000, '\0');
      for (char& c : bytes) c = static_cast<char>(random());
      test::WriteFile(root / "src" / name, bytes);
    }
    TbkDirectory* d = m.Directories()->Add();
    d->SetPath((root / "src").string());
    d->SetRuleName("Kept");
    m.Directories()->Add()->SetPath((root / "never").string());
    m.Directories()->Items(1)->SetNeedArchive(false);
    m.SaveToFile(settings, true);
    return true;
  }

  int Cli(const std::vector<std::string>& words) {
    std::vector<std::string> arguments = {"--settings", settings};
    arguments.insert(arguments.end(), words.begin(), words.end());
    return test::RunProgram(ProgramDirectory() + "../bin/packetwright-cli", arguments,
                            root / "none", root / "stdout", root / "stderr");
  }
  std::string Out() const { return test::ReadFile(root / "stdout"); }
  std::string Err() const { return test::ReadFile(root / "stderr"); }
  TJournalRecord Latest() const {
    const std::vector<TJournalRecord> journal = ReadJournal(JournalFileName(settings));
    return journal.empty() ? TJournalRecord{} : journal.back();
  }
  fs::path Archive() const { return root / "out" / (PathToFileName((root / "src").string()) + ".7z"); }

  test::TTempFolder temp;
  fs::path root;
  std::string settings;
  TbkManager m;
};

TEST_F(TestedNight, ACorruptedArchiveIsCaughtByTheRunsTestAndByVerify) {
  if (!Make()) GTEST_SKIP() << "7zz is not installed (scripts/setup installs it)";
  ASSERT_EQ(Cli({"run", "--wait"}), 0) << Err();
  EXPECT_EQ(Latest().tested, TArchiveTest::atPassed);
  ASSERT_EQ(Cli({"verify", "1"}), 0) << Err();
  EXPECT_NE(Out().find("    Test: passed\n    Holds what the job would take now: 4 files\n"),
            std::string::npos)
      << Out();

  // Bytes overwritten in the middle of the archive, long after its run.
  {
    std::fstream archive(Archive(), std::ios::in | std::ios::out | std::ios::binary);
    archive.seekp(static_cast<std::streamoff>(fs::file_size(Archive()) / 2));
    archive.write("XXXX", 4);
  }
  EXPECT_EQ(Cli({"verify"}), 1);
  EXPECT_NE(Out().find("    Test: FAILED\n    Error: The archive failed its test: ERROR: "),
            std::string::npos)
      << Out();
  EXPECT_NE(Out().find("[2] " + (root / "never").string() + "\n    No archive: "),
            std::string::npos)
      << Out();
  EXPECT_NE(Err().find((root / "src").string() + ": The archive failed its test: "),
            std::string::npos)
      << Err();

  // A run whose new archive comes out damaged fails, and keeps the archive.
  test::WriteFile(root / "corrupt", "");
  EXPECT_EQ(Cli({"run", "--wait"}), 1);
  const TJournalRecord failed = Latest();
  EXPECT_EQ(failed.status, 0);
  EXPECT_EQ(failed.tested, TArchiveTest::atFailed);
  ASSERT_TRUE(failed.error);
  EXPECT_EQ(failed.error->rfind("The archive failed its test: ERROR: ", 0), 0u) << *failed.error;
  EXPECT_NE(Out().find("[1] " + (root / "src").string() + ": failed\n"), std::string::npos) << Out();
  EXPECT_TRUE(failed.bytes && *failed.bytes == static_cast<int64_t>(fs::file_size(Archive())))
      << "the archive is kept under its name";

  // Tests off: the same damage goes unseen, and the record leaves it out.
  m.SetTestArchives(false);
  m.SaveToFile(settings, true);
  EXPECT_EQ(Cli({"run", "--wait"}), 0) << Err();
  EXPECT_EQ(Latest().tested, TArchiveTest::atNotTested);
  const std::string journal = test::ReadFile(JournalFileName(settings));
  const std::string lastLine = journal.substr(journal.rfind('\n', journal.size() - 2) + 1);
  EXPECT_EQ(lastLine.find("\"tested\""), std::string::npos) << lastLine;
}

TEST_F(TestedNight, VerifyNamesWhatTheArchiveLacksAndWhatTheJobWouldNotTakeNow) {
  if (!Make()) GTEST_SKIP() << "7zz is not installed (scripts/setup installs it)";
  ASSERT_EQ(Cli({"run", "--wait"}), 0) << Err();
  test::WriteFile(root / "src" / "sub" / "new.bin", "new");
  m.Rules()->Items(0)->Extensions()->Delete(1);  // *.log no longer
  m.SaveToFile(settings, true);
  EXPECT_EQ(Cli({"verify", "1"}), 0) << "differences alone are no failure: " << Err();
  EXPECT_NE(Out().find("    Test: passed\n"
                       "    Lacks 1 file the job would take now: sub/new.bin\n"
                       "    Holds 1 file the job would not take now: d.log\n"),
            std::string::npos)
      << Out();
}

}  // namespace
}  // namespace pw
