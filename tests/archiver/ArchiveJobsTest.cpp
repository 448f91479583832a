// Starting archive jobs: with fakes for the exact requests, and through the
// real portable layer for a process that really starts.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "archiver/ArchiveCommands.h"
#include "archiver/ArchiveJobs.h"
#include "platform/CommandLine.h"
#include "platform/Errors.h"
#include "platform/NativePath.h"
#include "platform/fakes/Fakes.h"

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
                        "-a -p -r  \"C:\\MyArchives\\2026-12-07-09-05\\D_Work\" D:\\Work\\*.*", "",
                        TShowCommand::swShowMinimized}));
  EXPECT_EQ(current.current, "D:\\Work");
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
  try {
    RunAllDirectories(manager);
    FAIL();
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Message(), "Invalid filename");
  }
  ASSERT_EQ(shell.calls.size(), 2u);
  EXPECT_NE(shell.calls[1].parameters.find("D_Two"), std::string::npos);
  EXPECT_EQ(current.current, "D:\\Two") << "left at the last job's directory";
  EXPECT_EQ(current.history, (std::vector<std::string>{"D:\\One", "D:\\Two"}));
}

TEST_F(JobsTest, NothingMarkedDoesNothing) {
  Add("D:\\Off", false);
  RunAllDirectories(manager);
  EXPECT_TRUE(shell.calls.empty());
}

TEST_F(JobsTest, EmptyArchiveNameStopsAfterChangingDirectory) {
  manager.SetOutputPath("");
  manager.SetSubDirNamePattern("");
  TbkDirectory* dir = Add("D:\\Work");
  try {
    RunDirectory(manager, *dir);
    FAIL();
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Message(), "Unable to create directory");
  }
  EXPECT_EQ(current.current, "D:\\Work");
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
  EXPECT_EQ(InOutError(2).Message(), "File not found");
  EXPECT_EQ(InOutError(3).Message(), "Invalid filename");
  EXPECT_EQ(InOutError(4).Message(), "Too many open files");
  EXPECT_EQ(InOutError(5).Message(), "File access denied");
  EXPECT_EQ(InOutError(32).Message(), "I/O error 32");
  EXPECT_EQ(InOutError(32).ErrorCode(), 32);
}

// ---- Through the real portable layer ---------------------------------------

std::string Read(const fs::path& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(RealRun, StartsTheArchiverDetachedWithTheCallLineArguments) {
  const fs::path root = fs::temp_directory_path() / ("pw-run-" + std::to_string(::getpid()));
  fs::remove_all(root);
  const fs::path tree = root / "my tree";
  fs::create_directories(tree / "sub");
  const fs::path record = root / "record.txt";
  const fs::path script = root / "archiver.sh";
  const fs::path release = root / "release";
  // The archiver records its call only once the test releases it, and gives
  // up after a minute; a run that waited for it would find the record there.
  std::ofstream(script) << "#!/bin/sh\n"
                        << "i=0\n"
                        << "while [ ! -e '" << release.string() << "' ] && [ $i -lt 600 ]; do\n"
                        << "  sleep 0.1; i=$((i+1))\n"
                        << "done\n"
                        << "[ -e '" << release.string() << "' ] || { echo never released > '"
                        << record.string() << "'; exit 1; }\n"
                        << "{ pwd; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } > '"
                        << record.string() << ".part'\n"
                        << "mv '" << record.string() << ".part' '" << record.string() << "'\n";
  fs::permissions(script, fs::perms::owner_all);

  TbkManager manager;
  manager.SetArchiverExeFileName(script.string());
  manager.SetArchiverParams("a -r");
  manager.SetExcludeKey("-x");
  manager.SetOutputPath((root / "out").string());
  manager.SetSubDirNamePattern("yyyy-mm-dd");
  TbkRule* rule = manager.Rules()->Add();
  rule->SetName("Tmp");
  rule->Extensions()->Add()->SetExt("*.tmp");
  TbkDirectory* dir = manager.Directories()->Add();
  dir->SetPath(tree.string());
  dir->SetRuleName("Tmp");

  const std::string previous = fs::current_path().string();
  RunDirectory(manager, *dir);
  const std::string expected = GetArchiverParameters(manager, *dir, false);
  fs::current_path(previous);
  EXPECT_FALSE(fs::exists(record)) << "the run waited for the archiver";
  std::ofstream(release).put('x');

  for (int i = 0; i < 600 && !fs::exists(record); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_TRUE(fs::exists(record)) << "the archiver did not run";
  std::string want = tree.string() + "\n";
  for (const std::string& arg : SplitCommandLine(expected)) want += arg + "\n";
  EXPECT_EQ(Read(record), want);
  EXPECT_NE(Read(record).find("-x" + tree.string() + "\\*.tmp\n"), std::string::npos);

  // The dated archive folder was made before the start.
  const std::string dated = GetArchiveDirectory(manager, false);
  EXPECT_TRUE(fs::is_directory(NativePath(dated))) << dated;
  fs::remove_all(root);
}

TEST(RealCurrentDirectory, FailuresMapToTheirCodes) {
  ICurrentDirectory& current = Get<ICurrentDirectory>();
  const std::string previous = current.Get();
  const fs::path root = fs::temp_directory_path() / ("pw-cd-" + std::to_string(::getpid()));
  fs::create_directories(root);
  std::ofstream(root / "file") << "x";
  try {
    current.Set((root / "missing").string());
    FAIL();
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), 2);
  }
  try {
    current.Set((root / "file" / "below").string());
    FAIL();
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Message(), "Invalid filename");
  }
  current.Set(root.string() + "\\");  // a backslash separates here too
  EXPECT_EQ(fs::current_path(), fs::canonical(root));
  current.Set(previous);
  fs::remove_all(root);
}

}  // namespace
}  // namespace pw
