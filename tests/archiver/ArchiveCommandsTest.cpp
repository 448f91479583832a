// Command text for the directories of a document, byte for byte.
#include <gtest/gtest.h>

#include "archiver/ArchiveCommands.h"
#include "archiver/BatchFiles.h"
#include "archiver/Dialect.h"
#include "archiver/NightPlan.h"
#include "platform/Errors.h"
#include "platform/fakes/Fakes.h"

namespace pw {
namespace {

TDateTime December7() {
  TDateTime t;
  t.Year = 2026, t.Month = 12, t.Day = 7, t.Hour = 9, t.Minute = 5;
  return t;
}

// The archive's name as the job hands it to the archiver.
std::string GetArchiveFilePath(const TbkManager& manager, const TbkDirectory& directory,
                               bool forceCreate) {
  return JobOfDirectory(manager, directory, GetArchiveDirectory(manager, forceCreate))
      .archiveArgument;
}

std::string GetChangeDirCommands(const std::string& path) {
  return Dialect().ChangeDirCommands(path);
}

class CommandTest : public ::testing::Test {
 protected:
  CommandTest()
      : clock(December7()),
        regional(fakes::UsEnglish()),
        useClock(clock),
        useRegional(regional),
        useFiles(files) {}

  TbkRule* AddRule(const std::string& name, TExtensionCategory category,
                   std::initializer_list<std::pair<const char*, bool>> masks) {
    TbkRule* rule = manager.Rules()->Add();
    rule->SetName(name);
    rule->SetCategory(category);
    for (const auto& [ext, active] : masks) {
      TbkExtension* e = rule->Extensions()->Add();
      e->SetExt(ext);
      e->SetActive(active);
    }
    return rule;
  }

  TbkDirectory* AddDirectory(const std::string& path, const std::string& rule) {
    TbkDirectory* d = manager.Directories()->Add();
    d->SetPath(path);
    d->SetRuleName(rule);
    return d;
  }

  // The document of the worked example.
  void FillExample() {
    manager.SetArchiverExeFileName("C:\\Tools\\wzzip.exe");
    manager.SetArchiverParams("-a -p -r");
    manager.SetExcludeKey("-x");
    manager.SetOutputPath("C:\\MyArchives\\");
    manager.SetSubDirNamePattern("yyyy-mm-dd");
    AddRule("Source", ecExclude, {{"*.tmp", true}, {"*.log", false}, {"*.bak", true}});
    AddRule("Texts", ecInclude, {{"*.txt", true}, {"*.doc", true}});
    AddDirectory("D:\\Work\\Site", "Source");
    AddDirectory("E:\\Notes", "Texts");
  }

  const TbkDirectory& Directory(int i) { return *manager.Directories()->Items(i); }

  fakes::FakeClock clock;
  fakes::FixedRegionalSettings regional;
  fakes::FakeFileSystem files;
  ScopedOverride<IClock> useClock;
  ScopedOverride<IRegionalSettings> useRegional;
  ScopedOverride<IFileSystem> useFiles;
  TbkManager manager;
};

TEST_F(CommandTest, WorkedExample) {
  FillExample();
  EXPECT_EQ(GetCommandText(manager, Directory(0)),
            "D:\r\ncd \"D:\\Work\\Site\"\r\ncall \"C:\\Tools\\wzzip.exe\" -a -p -r "
            "-xD:\\Work\\Site\\*.tmp -xD:\\Work\\Site\\*.bak "
            "\"C:\\MyArchives\\2026-12-07\\D_Work_Site\" D:\\Work\\Site\\*.*");
  EXPECT_EQ(GetCommandText(manager, Directory(1)),
            "E:\r\ncd \"E:\\Notes\"\r\ncall \"C:\\Tools\\wzzip.exe\" -a -p -r  "
            "\"C:\\MyArchives\\2026-12-07\\E_Notes\" E:\\Notes\\*.txt E:\\Notes\\*.doc");
  EXPECT_TRUE(files.created.empty()) << "command text never creates folders";
}

TEST_F(CommandTest, PathToFileName) {
  EXPECT_EQ(PathToFileName("C:\\Data\\Work"), "C_Data_Work");
  EXPECT_EQ(PathToFileName("D:\\"), "D_");
  EXPECT_EQ(PathToFileName("\\\\server\\share"), "__server_share");
  EXPECT_EQ(PathToFileName("a:b:c.d"), "abc.d");
  EXPECT_EQ(PathToFileName(""), "");
}

TEST_F(CommandTest, ArchiveDirectoryDropsOneTrailingBackslash) {
  manager.SetOutputPath("C:\\MyArchives\\");
  EXPECT_EQ(GetArchiveDirectory(manager, false), "C:\\MyArchives");
  manager.SetOutputPath("C:\\MyArchives");
  EXPECT_EQ(GetArchiveDirectory(manager, false), "C:\\MyArchives");
  manager.SetOutputPath("C:\\");
  TbkDirectory* d = AddDirectory("D:\\Work", "");
  EXPECT_EQ(GetArchiveFilePath(manager, *d, false), "C:\\D_Work");
  manager.SetOutputPath("C:\\\\");
  EXPECT_EQ(GetArchiveDirectory(manager, false), "C:\\");
  manager.SetSubDirNamePattern("hh-mm");
  EXPECT_EQ(GetArchiveDirectory(manager, false), "C:\\\\09-05");
}

TEST_F(CommandTest, PathEndingInBackslash) {
  FillExample();
  TbkDirectory* root = AddDirectory("D:\\", "Source");
  EXPECT_EQ(GetMaskList(manager, *root, {ecExclude}), "-xD:\\*.tmp -xD:\\*.bak");
  EXPECT_EQ(GetMaskList(manager, *root, {ecInclude}), "D:\\\\*.*");
  EXPECT_EQ(GetArchiveFilePath(manager, *root, false), "C:\\MyArchives\\2026-12-07\\D_");
  EXPECT_EQ(GetChangeDirCommands("D:\\"), "D:\r\ncd \"D:\\\"\r\n");
}

TEST_F(CommandTest, PathWithoutDriveHasNoChangeDirLines) {
  manager.SetArchiverExeFileName("w.exe");
  manager.SetArchiverParams("a");
  TbkDirectory* share = AddDirectory("\\\\server\\share", "");
  EXPECT_EQ(ExtractDrive("\\\\server\\share"), "");
  EXPECT_EQ(ExtractDrive("D:\\Work"), "D:");
  EXPECT_EQ(ExtractDrive("ab:c:d"), "ab:");
  EXPECT_EQ(GetCommandText(manager, *share),
            "call \"w.exe\" a  \"C:\\MyArchives\\__server_share\" \\\\server\\share\\*.*");
}

TEST_F(CommandTest, RuleLookupFoldsOnlyAsciiCase) {
  FillExample();
  TbkDirectory* d = AddDirectory("F:\\X", "sOURCE");
  EXPECT_EQ(GetMaskList(manager, *d, {ecExclude}), "-xF:\\X\\*.tmp -xF:\\X\\*.bak");
  AddRule("\xC3\x84pfel", ecInclude, {{"*.a", true}});
  TbkDirectory* accented = AddDirectory("F:\\Y", "\xC3\xA4pfel");
  EXPECT_EQ(GetMaskList(manager, *accented, {ecInclude}), "F:\\Y\\*.*");
  TbkDirectory* none = AddDirectory("F:\\Z", "Missing");
  EXPECT_EQ(GetMaskList(manager, *none, {ecExclude}), "");
  EXPECT_EQ(GetMaskList(manager, *none, {ecInclude}), "F:\\Z\\*.*");
}

TEST_F(CommandTest, InactiveMasksNeverAppear) {
  AddRule("Off", ecInclude, {{"*.a", false}, {"*.b", false}});
  AddRule("OffX", ecExclude, {{"*.a", false}});
  TbkDirectory* d = AddDirectory("C:\\D", "Off");
  EXPECT_EQ(GetMaskList(manager, *d, {ecInclude}), "C:\\D\\*.*");
  d->SetRuleName("OffX");
  EXPECT_EQ(GetMaskList(manager, *d, {ecExclude}), "");
  EXPECT_EQ(GetMaskList(manager, *d, {ecInclude}), "C:\\D\\*.*");
}

TEST_F(CommandTest, MasksAreWrittenExactlyAsStored) {
  AddRule("Odd", ecExclude, {{"*.TMP", true}, {"", true}, {"sub\\*.x", true}});
  TbkDirectory* d = AddDirectory("C:\\D", "Odd");
  manager.SetExcludeKey("");
  EXPECT_EQ(GetMaskList(manager, *d, {ecExclude}), "C:\\D\\*.TMP C:\\D\\ C:\\D\\sub\\*.x");
  manager.SetExcludeKey("-x@");
  EXPECT_EQ(GetMaskList(manager, *d, {ecExclude}), "-x@C:\\D\\*.TMP -x@C:\\D\\ -x@C:\\D\\sub\\*.x");
}

TEST_F(CommandTest, EntriesWithBlanksAreQuotedWhole) {
  manager.SetArchiverExeFileName("C:\\Program Files\\WinRAR\\WinRAR.exe");
  manager.SetArchiverParams("a -r");
  manager.SetExcludeKey("-x");
  manager.SetOutputPath("C:\\My Archives");
  AddRule("Tmp", ecExclude, {{"*.tmp", true}, {"old files\\*.*", true}});
  AddRule("Docs", ecInclude, {{"*.doc", true}});
  TbkDirectory* d = AddDirectory("C:\\My Documents", "Tmp");
  EXPECT_EQ(GetArchiverParameters(manager, *d, false),
            "a -r \"-xC:\\My Documents\\*.tmp\" \"-xC:\\My Documents\\old files\\*.*\" "
            "\"C:\\My Archives\\C_My Documents\" \"C:\\My Documents\\*.*\"");
  d->SetRuleName("Docs");
  EXPECT_EQ(GetMaskList(manager, *d, {ecInclude}), "\"C:\\My Documents\\*.doc\"");
}

// cmd.exe reads "&", "|", "<", ">", "^" and "(" as operators and expands "%"
// once on the cd line and twice on a call line; the shell's parameters for a
// run take every character as it is.
TEST_F(CommandTest, BatchLinesQuoteOperatorsAndEscapePercents) {
  manager.SetArchiverExeFileName("C:\\Tools\\rar.exe");
  manager.SetArchiverParams("a -r");
  manager.SetExcludeKey("-x");
  manager.SetOutputPath("C:\\Out");
  AddRule("Tmp", ecExclude, {{"*.tmp", true}});
  TbkDirectory* d = AddDirectory("D:\\R&D", "Tmp");
  EXPECT_EQ(GetArchiverParameters(manager, *d, false),
            "a -r -xD:\\R&D\\*.tmp \"C:\\Out\\D_R&D\" D:\\R&D\\*.*");
  EXPECT_EQ(GetCommandText(manager, *d),
            "D:\r\ncd \"D:\\R&D\"\r\ncall \"C:\\Tools\\rar.exe\" a -r \"-xD:\\R&D\\*.tmp\" "
            "\"C:\\Out\\D_R&D\" \"D:\\R&D\\*.*\"");

  for (const char* special : {"|", "<", ">", "^", "("}) {
    d->SetPath(std::string("D:\\a") + special + "b");
    const std::string line = SplitLines(GetCommandText(manager, *d)).back();
    EXPECT_NE(line.find(std::string("\"D:\\a") + special + "b\\*.*\""), std::string::npos) << line;
    EXPECT_EQ(GetMaskList(manager, *d, {ecInclude}), std::string("D:\\a") + special + "b\\*.*");
  }

  d->SetPath("D:\\50% off");
  EXPECT_EQ(GetArchiverParameters(manager, *d, false),
            "a -r \"-xD:\\50% off\\*.tmp\" \"C:\\Out\\D_50% off\" \"D:\\50% off\\*.*\"");
  EXPECT_EQ(GetCommandText(manager, *d),
            "D:\r\ncd \"D:\\50%% off\"\r\ncall \"C:\\Tools\\rar.exe\" a -r "
            "\"-xD:\\50%%%% off\\*.tmp\" \"C:\\Out\\D_50%%%% off\" \"D:\\50%%%% off\\*.*\"");
}

TEST_F(CommandTest, AnExcludeSwitchEndingInABlankStaysOutsideTheQuotes) {
  manager.SetExcludeKey("-x ");
  AddRule("Tmp", ecExclude, {{"*.tmp", true}, {"*.bak", true}});
  TbkDirectory* d = AddDirectory("C:\\My Documents", "Tmp");
  EXPECT_EQ(GetMaskList(manager, *d, {ecExclude}),
            "-x \"C:\\My Documents\\*.tmp\" -x \"C:\\My Documents\\*.bak\"");
  d->SetPath("C:\\Docs");
  EXPECT_EQ(GetMaskList(manager, *d, {ecExclude}), "-x C:\\Docs\\*.tmp -x C:\\Docs\\*.bak");
}

TEST_F(CommandTest, EmptyPiecesKeepTheirSeparators) {
  TbkDirectory* d = AddDirectory("C:\\D", "");
  manager.SetOutputPath("D:\\O");
  EXPECT_EQ(GetArchiverParameters(manager, *d, false), "  \"D:\\O\\C_D\" C:\\D\\*.*");
  EXPECT_EQ(GetCommandText(manager, *d),
            "C:\r\ncd \"C:\\D\"\r\ncall \"\"   \"D:\\O\\C_D\" C:\\D\\*.*");
}

TEST_F(CommandTest, ForceCreateMakesEveryMissingLevel) {
  FillExample();
  EXPECT_EQ(GetArchiverParameters(manager, Directory(1), true),
            "-a -p -r  \"C:\\MyArchives\\2026-12-07\\E_Notes\" E:\\Notes\\*.txt E:\\Notes\\*.doc");
  EXPECT_EQ(files.created,
            (std::vector<std::string>{"C:\\MyArchives", "C:\\MyArchives\\2026-12-07"}));
  files.created.clear();
  GetArchiveDirectory(manager, true);
  EXPECT_TRUE(files.created.empty()) << "existing levels are left alone";
}

TEST_F(CommandTest, ForceCreateIgnoresFailuresButNotAnEmptyName) {
  files.refuse.insert("C:\\Locked");
  manager.SetOutputPath("C:\\Locked\\Deeper");
  EXPECT_EQ(GetArchiveDirectory(manager, true), "C:\\Locked\\Deeper");
  EXPECT_TRUE(files.created.empty()) << "nothing below a level that failed is attempted";

  manager.SetOutputPath("");
  try {
    GetArchiveDirectory(manager, true);
    FAIL();
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Message(), "Unable to create directory");
  }
  EXPECT_EQ(GetArchiveDirectory(manager, false), "");
  manager.SetOutputPath("\\");  // one backslash leaves an empty name too
  EXPECT_THROW(GetArchiveDirectory(manager, true), EInOutError);
}

TEST_F(CommandTest, RelativeOutputPathIsCreatedWhereWeAre) {
  manager.SetOutputPath("Archives");
  manager.SetSubDirNamePattern("yyyy");
  EXPECT_EQ(GetArchiveDirectory(manager, true), "Archives\\2026");
  EXPECT_EQ(files.created, (std::vector<std::string>{"Archives", "Archives\\2026"}));
}

}  // namespace
}  // namespace pw
