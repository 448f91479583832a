// Batch files written to a real temporary folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "archiver/BatchFiles.h"
#include "platform/Errors.h"
#include "platform/fakes/Fakes.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

namespace fs = std::filesystem;
using namespace pw::test;

class BatchTest : public ::testing::Test {
 protected:
  BatchTest()
      : clock(Now()),
        regional(fakes::UsEnglish()),
        a(clock),
        b(regional),
        c(shell),
        temp("bat"),
        folder(temp.Path()) {}

  static TDateTime Now() {
    TDateTime t;
    t.Year = 2026, t.Month = 12, t.Day = 7;
    return t;
  }

  void FillExample() {
    manager.SetArchiverExeFileName("C:\\Tools\\wzzip.exe");
    manager.SetArchiverParams("-a -p -r");
    manager.SetExcludeKey("-x");
    manager.SetOutputPath("C:\\MyArchives\\");
    manager.SetSubDirNamePattern("yyyy-mm-dd");
    TbkRule* source = manager.Rules()->Add();
    source->SetName("Source");
    source->Extensions()->Add()->SetExt("*.tmp");
    TbkExtension* log = source->Extensions()->Add();
    log->SetExt("*.log");
    log->SetActive(false);
    source->Extensions()->Add()->SetExt("*.bak");
    TbkRule* texts = manager.Rules()->Add();
    texts->SetName("Texts");
    texts->SetCategory(ecInclude);
    texts->Extensions()->Add()->SetExt("*.txt");
    texts->Extensions()->Add()->SetExt("*.doc");
    TbkDirectory* site = manager.Directories()->Add();
    site->SetPath("D:\\Work\\Site");
    site->SetRuleName("Source");
    TbkDirectory* notes = manager.Directories()->Add();
    notes->SetPath("E:\\Notes");
    notes->SetRuleName("Texts");
  }

  static std::string Contents(const std::string& name) { return ReadFile(FromProgramPath(name)); }

  std::string Name(const char* file) { return ProgramPath(folder / file); }

  fakes::FakeClock clock;
  fakes::FixedRegionalSettings regional;
  fakes::FakeShell shell;
  ScopedOverride<IClock> a;
  ScopedOverride<IRegionalSettings> b;
  ScopedOverride<IShell> c;
  TTempFolder temp;
  fs::path folder;
  TbkManager manager;
};

const char kSiteLines[] =
    "D:\r\ncd \"D:\\Work\\Site\"\r\ncall \"C:\\Tools\\wzzip.exe\" -a -p -r -xD:\\Work\\Site\\*.tmp "
    "-xD:\\Work\\Site\\*.bak \"C:\\MyArchives\\2026-12-07\\D_Work_Site\" D:\\Work\\Site\\*.*\r\n";
const char kNotesLines[] =
    "E:\r\ncd \"E:\\Notes\"\r\ncall \"C:\\Tools\\wzzip.exe\" -a -p -r  "
    "\"C:\\MyArchives\\2026-12-07\\E_Notes\" E:\\Notes\\*.txt E:\\Notes\\*.doc\r\n";

TEST_F(BatchTest, AllMarkedDirectoriesWithTheirComments) {
  FillExample();
  const std::string name = Name("all.bat");
  CreateBatForAll(manager, [&](std::string& file) {
    file = name;
    return true;
  });
  EXPECT_EQ(Contents(name),
            std::string("rem\r\nrem Create D:\\Work\\Site archive by using Source "
                        "rule\r\nrem\r\n") +
                kSiteLines + "rem\r\nrem Create E:\\Notes archive by using Texts rule\r\nrem\r\n" +
                kNotesLines);
  ASSERT_EQ(shell.calls.size(), 1u);
  EXPECT_EQ(shell.calls[0], (fakes::ShellCall{"open", ProgramPath(folder / ""), "", "",
                                              TShowCommand::swShowNormal}));
}

TEST_F(BatchTest, OneDirectoryHasNoComments) {
  FillExample();
  const std::string name = Name("one.bat");
  EXPECT_EQ(DefaultBatchFileName(*manager.Directories()->Items(0)), "MakeArchiveOf_D_Work_Site");
  CreateBatForDirectory(manager, *manager.Directories()->Items(0), name);
  EXPECT_EQ(Contents(name), kSiteLines);

  TbkDirectory* share = manager.Directories()->Add();
  share->SetPath("\\\\srv\\x");
  CreateBatForDirectory(manager, *share, name);
  EXPECT_EQ(Contents(name),
            "call \"C:\\Tools\\wzzip.exe\" -a -p -r  \"C:\\MyArchives\\2026-12-07\\__srv_x\" "
            "\\\\srv\\x\\*.*\r\n");
}

// cmd.exe doubles the carets of a "call" line, so the archiver would get
// other masks than a run gives it: such a batch file is not written at all.
TEST_F(BatchTest, ACaretThatTheCallLineWouldDoubleIsRefused) {
  FillExample();
  const std::string name = Name("caret.bat");
  CreateBatForDirectory(manager, *manager.Directories()->Items(0), name);
  manager.Rules()->Items(0)->Extensions()->Add()->SetExt("x^y.tmp");
  try {
    CreateBatForDirectory(manager, *manager.Directories()->Items(0), name);
    ADD_FAILURE() << "no failure";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(),
              "D:\\Work\\Site: a caret (^) cannot be handed to the archiver through a batch file");
  }
  EXPECT_EQ(Contents(name), kSiteLines);
  manager.Rules()->Items(0)->Extensions()->Items(3)->SetExt("x.tmp");
  manager.Directories()->Items(1)->SetPath("E:\\A^B");
  EXPECT_THROW(CreateBatForAll(manager,
                               [&](std::string& file) {
                                 file = name;
                                 return true;
                               }),
               Exception);
  EXPECT_EQ(Contents(name), kSiteLines);
}

TEST_F(BatchTest, UnmarkedAndUnnamedDirectories) {
  FillExample();
  manager.Directories()->Items(0)->SetNeedArchive(false);
  manager.Directories()->Items(1)->SetRuleName("");
  const std::vector<std::string> lines = GetBatchLinesForAll(manager);
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[1], "rem Create E:\\Notes archive by using  rule");
  EXPECT_EQ(lines[5].substr(lines[5].size() - 12), "E:\\Notes\\*.*");

  manager.Directories()->Items(1)->SetNeedArchive(false);
  const std::string name = Name("none.bat");
  CreateBatForAll(manager, [&](std::string& file) {
    file = name;
    return true;
  });
  EXPECT_TRUE(fs::exists(name));
  EXPECT_EQ(fs::file_size(name), 0u);
  EXPECT_EQ(shell.calls.size(), 1u) << "the folder opens even for an empty file";
}

TEST_F(BatchTest, NoDirectoryAtAllAsksNothing) {
  bool asked = false;
  try {
    CreateBatForAll(manager, [&](std::string&) { return asked = true; });
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Not found any directory to archive");
  }
  EXPECT_FALSE(asked);
  EXPECT_TRUE(shell.calls.empty());
}

TEST_F(BatchTest, CancelWritesNothing) {
  FillExample();
  CreateBatForAll(manager, [](std::string&) { return false; });
  EXPECT_TRUE(shell.calls.empty());
  EXPECT_TRUE(fs::is_empty(folder));
}

TEST_F(BatchTest, FileThatCannotBeCreated) {
  FillExample();
  const std::string name = Name("missing\\sub\\x.bat");
  try {
    CreateBatForDirectory(manager, *manager.Directories()->Items(0), name);
    FAIL();
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.Message(), "Cannot create file " + name);
  }
  EXPECT_TRUE(shell.calls.empty());
}

TEST_F(BatchTest, LinesSplitAtCrLfOnly) {
  EXPECT_EQ(SplitLines("a\r\nb\nc\r\n"), (std::vector<std::string>{"a", "b\nc"}));
  EXPECT_EQ(SplitLines(""), std::vector<std::string>{});
  EXPECT_EQ(SplitLines("x"), std::vector<std::string>{"x"});
}

}  // namespace
}  // namespace pw
