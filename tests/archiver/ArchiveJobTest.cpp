// A directory's job as data: clashes, the archive's type, the archive folder
// kept out, impossible paths, and what the batch file and the runs make of it.
#include <gtest/gtest.h>

#include <cstdlib>

#include "archiver/ArchiveCommands.h"
#include "archiver/ArchiveJob.h"
#include "archiver/ArchiveJobs.h"
#include "archiver/BatchFiles.h"
#include "archiver/BatchText.h"
#include "archiver/NightPlan.h"
#include "archiver/PosixScripts.h"
#include "platform/Errors.h"
#include "platform/fakes/FakeProcesses.h"
#include "platform/fakes/Fakes.h"
#include "tests/archiver/PosixDay.h"

namespace pw {
namespace {

using Entries = std::vector<TMaskEntry>;

class JobTest : public ::testing::Test {
 protected:
  JobTest() : useFiles(files), useCurrent(current), useProcesses(processes), useShell(shell) {}

  TbkDirectory* Add(const std::string& path, const std::string& rule = "", bool marked = true) {
    TbkDirectory* d = manager.Directories()->Add();
    d->SetPath(path);
    d->SetRuleName(rule);
    d->SetNeedArchive(marked);
    current.existing.insert(path);
    return d;
  }
  TbkRule* Rule(const std::string& name, TExtensionCategory category,
                std::initializer_list<const char*> masks) {
    TbkRule* rule = manager.Rules()->Add();
    rule->SetName(name);
    rule->SetCategory(category);
    for (const char* mask : masks) rule->Extensions()->Add()->SetExt(mask);
    return rule;
  }
  std::vector<TArchiveJob> Jobs() {
    return MakeArchiveJobs(manager, GetArchiveDirectory(manager, false));
  }
  TArchiveJob Job(int index) {
    return JobOfDirectory(manager, *manager.Directories()->Items(index),
                          GetArchiveDirectory(manager, false));
  }

  fakes::FakeFileSystem files;
  fakes::FakeCurrentDirectory current;
  fakes::FakeProcessRunner processes;
  fakes::FakeShell shell;
  ScopedOverride<IFileSystem> useFiles;
  ScopedOverride<ICurrentDirectory> useCurrent;
  ScopedOverride<IProcessRunner> useProcesses;
  ScopedOverride<IShell> useShell;
  TbkManager manager;
};

class PosixJobTest : public JobTest {
 protected:
  PosixJobTest() {
    manager.SetArchiverExeFileName("/usr/bin/7zz");
    manager.SetArchiverParams("a -r");
    manager.SetExcludeKey("-x!");
    manager.SetOutputPath("/backup");
    manager.SetSubDirNamePattern("yyyy-mm-dd");
  }
  test::TPosixDay day;
};

class WindowsJobTest : public JobTest {
 protected:
  WindowsJobTest() : useStyle(windows), useClock(clock), useRegional(regional) {
    manager.SetArchiverExeFileName("C:\\Tools\\wzzip.exe");
    manager.SetArchiverParams("-a -p -r");
    manager.SetExcludeKey("-x");
    manager.SetOutputPath("C:\\MyArchives");
    manager.SetSubDirNamePattern("yyyy-mm-dd");
  }
  fakes::FixedPathStyle windows{TPathStyle::psWindows};
  fakes::FakeClock clock{test::December8()};
  fakes::FixedRegionalSettings regional{fakes::UsEnglish()};
  ScopedOverride<IPathStyle> useStyle;
  ScopedOverride<IClock> useClock;
  ScopedOverride<IRegionalSettings> useRegional;
};

TEST(ArchiverFamilies, KnownByTheProgramsFileName) {
  for (const char* name : {"/usr/bin/7zz", "7z", "C:\\7-Zip\\7z.exe", "7ZA.EXE", "/opt/7za"}) {
    EXPECT_EQ(ArchiverFamily(name), TArchiverFamily::af7Zip) << name;
  }
  EXPECT_EQ(ArchiverFamily("C:\\Program Files\\WinRAR\\WinRAR.exe"), TArchiverFamily::afRar);
  EXPECT_EQ(ArchiverFamily("/usr/bin/rar"), TArchiverFamily::afRar);
  EXPECT_EQ(ArchiverFamily("C:\\WinZip\\wzzip.exe"), TArchiverFamily::afWinZip);
  for (const char* name : {"/usr/bin/7zzz", "tar", "", "/opt/7z/pack", "C:\\rar\\unrar.exe"}) {
    EXPECT_EQ(ArchiverFamily(name), TArchiverFamily::afOther) << name;
  }
}

TEST_F(PosixJobTest, DirectoriesThatWouldShareAnArchiveClashAndNeitherRuns) {
  Add("/data/a/b_c");
  Add("/data/elsewhere");
  Add("/data/a_b/c");
  Add("/data/twice");
  Add("/data/twice");
  Add("/data/Twice");  // another name on a POSIX file system
  const std::vector<TArchiveJob> jobs = Jobs();
  EXPECT_EQ(jobs[0].error,
            "Its archive /backup/2026-12-08/data_a_b_c.7z would also be written by directory 3, "
            "/data/a_b/c; neither is archived");
  EXPECT_NE(jobs[2].error.find("directory 1, /data/a/b_c"), std::string::npos) << jobs[2].error;
  EXPECT_TRUE(jobs[0].clash && jobs[2].clash && jobs[3].clash && jobs[4].clash);
  EXPECT_TRUE(jobs[1].error.empty());
  EXPECT_TRUE(jobs[5].error.empty()) << jobs[5].error;
  // Each directory alone finds its clash too, and the dialog's question.
  EXPECT_TRUE(Job(2).clash);
  EXPECT_TRUE(Job(1).error.empty());
  EXPECT_EQ(FindArchiveClash(manager, "/data/a/b_c", manager.Directories()->Items(0)),
            "/data/a_b/c");
  EXPECT_EQ(FindArchiveClash(manager, "/data/new", nullptr), "");

  // The others run; the clashes are reported together.
  try {
    RunAllDirectories(manager);
    ADD_FAILURE() << "the clashes were not reported";
  } catch (const Exception& e) {
    EXPECT_EQ(std::count(e.Message().begin(), e.Message().end(), '\n'), 3) << e.Message();
  }
  ASSERT_EQ(processes.calls.size(), 2u);
  EXPECT_EQ(processes.calls[0].workingDirectory, "/data/elsewhere");
  EXPECT_EQ(processes.calls[1].workingDirectory, "/data/Twice");
  // A script holding a clash is refused, naming every one.
  try {
    GetBatchLinesForAll(manager);
    ADD_FAILURE() << "a script holding clashes";
  } catch (const Exception& e) {
    EXPECT_EQ(std::count(e.Message().begin(), e.Message().end(), '\n'), 3) << e.Message();
  }
  manager.Directories()->Items(0)->SetNeedArchive(false);
  EXPECT_THROW(GetBatchLines(manager, *manager.Directories()->Items(2)), Exception);
}

TEST_F(PosixJobTest, ATemporaryArchiveMeetingAnotherFinalOneIsAClash) {
  Add("/x/y");             // writes x_y.incomplete.7z, then x_y.7z
  Add("/x/y.incomplete");  // writes x_y.incomplete.7z itself
  EXPECT_TRUE(Jobs()[0].clash);
  EXPECT_TRUE(Jobs()[1].clash);
}

TEST_F(WindowsJobTest, NamesClashRegardlessOfLetterCase) {
  Add("D:\\Work\\Site");
  Add("d:\\work\\site");
  Add("D:\\Work-Site");
  const std::vector<TArchiveJob> jobs = Jobs();
  EXPECT_TRUE(jobs[0].clash);
  EXPECT_TRUE(jobs[1].clash);
  EXPECT_TRUE(jobs[2].error.empty());
  EXPECT_THROW(GetBatchLinesForAll(manager), Exception);
  EXPECT_THROW(RunDirectory(manager, *manager.Directories()->Items(0)), Exception);
  EXPECT_TRUE(shell.calls.empty());
}

// The memo and `show` read the same plan as the runs and the scripts: a
// directory that will not run says so and why, with no command to copy.
TEST_F(WindowsJobTest, TheCommandOfAClashingDirectorySaysWhyItWillNotRun) {
  Add("D:\\Work\\Site");
  Add("d:\\work\\site");
  const std::string text = GetCommandText(manager, *manager.Directories()->Items(1));
  EXPECT_EQ(text,
            "rem d:\\work\\site: Its archive C:\\MyArchives\\2026-12-08\\d_work_site.zip "
            "would also be written by directory 1, D:\\Work\\Site; neither is archived");
  EXPECT_EQ(text.find("call "), std::string::npos);
}

TEST_F(PosixJobTest, TheCommandOfAClashingDirectorySaysWhyItWillNotRun) {
  Add("/data/a/b_c");
  Add("/data/a_b/c");
  const std::string text = GetCommandText(manager, *manager.Directories()->Items(0));
  EXPECT_EQ(text,
            "# /data/a/b_c: Its archive /backup/2026-12-08/data_a_b_c.7z would also be "
            "written by directory 2, /data/a_b/c; neither is archived\n");
}

TEST_F(PosixJobTest, APlanTakesEachChosenDirectoryOnceAndRefusesOneThatIsNot) {
  Add("/srv/a");
  Add("/srv/b", "", false);
  Add("/srv/c");
  const TNightPlan plan = MakeNightPlan(manager);
  EXPECT_EQ(plan.archiveFolder, "/backup/2026-12-08");
  std::vector<int> positions;
  for (const TArchiveJob& job : plan.Chosen({3, 2, 3, 3})) positions.push_back(job.position);
  EXPECT_EQ(positions, (std::vector<int>{3, 2}));
  positions.clear();
  for (const TArchiveJob& job : plan.Marked()) positions.push_back(job.position);
  EXPECT_EQ(positions, (std::vector<int>{1, 3}));
  try {
    plan.Chosen({1, 4});
    ADD_FAILURE() << "a directory that is not there was taken";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "No directory 4 in the settings file");
  }
}

TEST_F(PosixJobTest, ADotInTheNameGetsTheArchiversOwnExtension) {
  manager.SetArchiverExeFileName("/usr/bin/rar");
  manager.SetSubDirNamePattern("");
  Add("/src/photos.tar");
  Add("/home/john.doe/src");
  Add("/plain");
  EXPECT_EQ(Job(0).archiveArgument, "/backup/src_photos.tar.rar");
  EXPECT_EQ(Job(1).archiveFile, "/backup/home_john.doe_src.rar");
  // The dot of a parent folder is in the flat name as well.
  EXPECT_EQ(Job(1).archiveArgument, "/backup/home_john.doe_src.rar");
  manager.SetArchiverExeFileName("/usr/bin/wzzip");
  EXPECT_EQ(Job(1).archiveArgument, "/backup/home_john.doe_src.zip");
  manager.SetArchiverExeFileName("/usr/bin/rar");
  EXPECT_EQ(Job(2).archiveArgument, "/backup/plain");  // the archiver adds its own
  EXPECT_EQ(Job(2).archiveFile, "/backup/plain.rar");
  EXPECT_FALSE(Job(0).MadeFresh());
  // An archiver the program does not know gets the name as it is.
  manager.SetArchiverExeFileName("/usr/bin/pack");
  EXPECT_EQ(Job(0).archiveArgument, "/backup/src_photos.tar");
  // 7-Zip always writes a temporary 7z archive and keeps the final name.
  manager.SetArchiverExeFileName("/usr/bin/7zz");
  EXPECT_EQ(Job(0).archiveArgument, "/backup/src_photos.tar.incomplete.7z");
  EXPECT_EQ(Job(0).archiveFile, "/backup/src_photos.tar.7z");
  EXPECT_EQ(Job(2).archiveFile, "/backup/plain.7z");
}

TEST_F(WindowsJobTest, ADotInAParentFolderGetsTheArchiversOwnExtensionToo) {
  manager.SetSubDirNamePattern("");
  Add("D:\\my.work\\site");
  Add("D:\\plain\\site");
  EXPECT_EQ(Job(0).archiveArgument, "C:\\MyArchives\\D_my.work_site.zip");
  EXPECT_EQ(Job(1).archiveArgument, "C:\\MyArchives\\D_plain_site");
  manager.SetArchiverExeFileName("C:\\Program Files\\WinRAR\\WinRAR.exe");
  EXPECT_EQ(Job(0).archiveArgument, "C:\\MyArchives\\D_my.work_site.rar");
}

TEST_F(WindowsJobTest, ADottedNameInTheCallLineAndTheUnchangedRest) {
  Add("D:\\Work\\my.site");
  EXPECT_EQ(GetCommandText(manager, *manager.Directories()->Items(0)),
            "D:\r\ncd \"D:\\Work\\my.site\"\r\ncall \"C:\\Tools\\wzzip.exe\" -a -p -r  "
            "\"C:\\MyArchives\\2026-12-08\\D_Work_my.site.zip\" D:\\Work\\my.site\\*.*");
}

TEST_F(PosixJobTest, MasksAreRelativeSoThePathHoldsNoWildcard) {
  Rule("Texts", ecInclude, {"*.txt", "-odd*"});
  Rule("Temp", ecExclude, {"*.tmp"});
  Add("/home/u/proj*", "Texts");
  Add("/home/u/b?d", "Temp");
  EXPECT_EQ(Job(0).includes, (Entries{{"", "*.txt"}, {"", "./-odd*"}}));
  EXPECT_EQ(Job(1).excludes, (Entries{{"-x!", "*.tmp"}}));
  EXPECT_EQ(Job(1).includes, (Entries{{"", "*"}}));
  EXPECT_EQ(Job(0).workingDirectory, "/home/u/proj*");
}

TEST_F(PosixJobTest, TheArchiveFolderInsideTheDirectoryIsLeftOut) {
  manager.SetOutputPath("/home/user/MyArchives");
  Add("/home/user");
  Add("/home");
  Add("/srv");
  EXPECT_EQ(Job(0).excludes, (Entries{{"-xr-!", "MyArchives"}}));  // only at the top
  // Only the one folder: with -r, "-x!user/MyArchives" would match every
  // MyArchives below user.
  EXPECT_EQ(Job(1).excludes, (Entries{{"-xr-!", "user/MyArchives"}}));
  EXPECT_TRUE(Job(2).excludes.empty());
  // A relative folder lies in every directory.
  manager.SetOutputPath("Archives/");
  EXPECT_EQ(Job(2).excludes, (Entries{{"-xr-!", "Archives"}}));
  EXPECT_EQ(Job(2).archiveFile, "/srv/Archives/2026-12-08/srv.7z");
  manager.SetOutputPath("../srv/./Archives");
  EXPECT_EQ(Job(2).excludes, (Entries{{"-xr-!", "Archives"}}));
  // The directory itself as the folder: its own archives, in every day's
  // subfolder.
  manager.SetOutputPath("/srv");
  EXPECT_EQ(Job(2).excludes, (Entries{{"-xr-!", "*/srv.7z"}, {"-xr-!", "*/srv.incomplete.7z"}}));
  manager.SetSubDirNamePattern("");
  EXPECT_EQ(Job(2).excludes, (Entries{{"-xr-!", "srv.7z"}, {"-xr-!", "srv.incomplete.7z"}}));
  // Another archiver gets its own exclude switch as it is.
  manager.SetArchiverExeFileName("/usr/bin/rar");
  manager.SetExcludeKey("-x");
  EXPECT_EQ(Job(2).excludes, (Entries{{"-x", "srv.rar"}}));
}

TEST_F(PosixJobTest, AnArchiveFolderReachedThroughALinkIsLeftOutToo) {
  manager.SetSubDirNamePattern("");
  files.links["/links/viaHome"] = "/real/home";
  files.links["/backup"] = "/real/home/Archives";
  manager.SetOutputPath("/real/home/Archives");
  Add("/links/viaHome");
  EXPECT_EQ(Job(0).excludes, (Entries{{"-xr-!", "Archives"}}));
  // The output folder through a link, the directory as it is.
  manager.SetOutputPath("/backup/2026");
  Add("/real//home/");
  EXPECT_EQ(Job(1).excludes, (Entries{{"-xr-!", "Archives/2026"}}));
  // The directory itself through a link: its own archives.
  manager.SetOutputPath("/real/home");
  EXPECT_EQ(Job(0).excludes,
            (Entries{{"-xr-!", "links_viaHome.7z"}, {"-xr-!", "links_viaHome.incomplete.7z"}}));
  // A link that leads elsewhere keeps the folder outside.
  files.links["/backup"] = "/elsewhere";
  manager.SetOutputPath("/backup");
  EXPECT_TRUE(Job(0).excludes.empty());
}

TEST_F(PosixJobTest, OneDirectoryUnderSeveralSpellingsIsOneArchive) {
  manager.SetSubDirNamePattern("");
  Add("/data//hidden/./");
  Add("/data/hidden");
  Add("/real/./home");
  Add("/real//home/");
  Add("/data/../data/hidden");  // ".." is not taken out: a link may lie before it
  const std::vector<TArchiveJob> jobs = Jobs();
  EXPECT_EQ(jobs[0].archiveFile, "/backup/data_hidden.7z");
  EXPECT_TRUE(jobs[0].clash && jobs[1].clash && jobs[2].clash && jobs[3].clash);
  EXPECT_NE(jobs[2].error.find("directory 4, /real//home/"), std::string::npos) << jobs[2].error;
  EXPECT_TRUE(jobs[4].error.empty()) << jobs[4].error;
  EXPECT_EQ(FindArchiveClash(manager, "/real/home", nullptr), "/real/./home");
#ifndef _WIN32  // the home folder comes from HOME here
  const char* saved = std::getenv("HOME");
  const std::string previous = saved ? saved : "";
  ::setenv("HOME", "/home/ann", 1);
  manager.Directories()->Clear();
  Add("~/");
  Add("/home/ann");
  EXPECT_TRUE(Jobs()[0].clash && Jobs()[1].clash);
  ::setenv("HOME", previous.c_str(), 1);
#endif
}

TEST_F(PosixJobTest, MasksThatLeaveTheDirectoryOrAreEmptyAreRefused) {
  for (const char* mask : {"../*", "/tmp/*", "sub/../*.txt", "..", "a/.."}) {
    EXPECT_EQ(MaskProblem(mask), std::string("The mask '") + mask + "' leads out of the directory");
  }
  EXPECT_EQ(MaskProblem(""), "The rule holds an empty mask");
  for (const char* mask : {"*", "..x", "x..", "sub/*.txt", "~/x", "@list", "-x", "a..b/*"}) {
    EXPECT_EQ(MaskProblem(mask), "") << mask;
  }
  Rule("Out", ecExclude, {"*.tmp", "../*"});
  Rule("In", ecInclude, {"*.txt", ""});
  Add("/srv/a", "Out");
  Add("/srv/b", "In");
  Add("/srv/c");
  EXPECT_EQ(Job(0).error, "The mask '../*' leads out of the directory");
  EXPECT_EQ(Job(1).error, "The rule holds an empty mask");
  EXPECT_TRUE(Job(2).error.empty());
  // An inactive mask is handed to no archiver.
  manager.Rules()->Items(0)->Extensions()->Items(1)->SetActive(false);
  EXPECT_TRUE(Job(0).error.empty());
  EXPECT_THROW(RunDirectory(manager, *manager.Directories()->Items(1)), Exception);
  EXPECT_THROW(GetBatchLines(manager, *manager.Directories()->Items(1)), Exception);
  EXPECT_TRUE(processes.calls.empty());
}

TEST_F(WindowsJobTest, MasksFromADriveOrTheRootLeaveTheDirectory) {
  for (const char* mask : {"C:\\*", "C:*.txt", "\\tmp\\*", "/tmp/*", "\\\\srv\\s\\*", "..\\*",
                           "sub\\..\\*.txt", "sub/../x"}) {
    EXPECT_NE(MaskProblem(mask), "") << mask;
  }
  for (const char* mask : {"*.*", "sub\\*.txt", "..x", "@list"})
    EXPECT_EQ(MaskProblem(mask), "") << mask;
}

TEST_F(PosixJobTest, MasksBeginningWithADashOrAnAtSignAreNoSwitches) {
  Rule("Odd", ecInclude, {"@*", "@list", "-x*", "a@b"});
  Rule("OddOut", ecExclude, {"@*"});
  Add("/srv/a", "Odd");
  Add("/srv/b", "OddOut");
  EXPECT_EQ(Job(0).includes, (Entries{{"", "./@*"}, {"", "./@list"}, {"", "./-x*"}, {"", "a@b"}}));
  // After the exclude switch's "!" a mask is a mask.
  EXPECT_EQ(Job(1).excludes, (Entries{{"-x!", "@*"}}));
}

TEST_F(WindowsJobTest, TheArchiveFolderInsideAddsOneExcludeEntry) {
  Rule("Source", ecExclude, {"*.tmp"});
  Add("C:\\Users\\me", "Source");
  manager.SetOutputPath("C:\\Users\\me\\MyArchives\\");
  EXPECT_EQ(GetCommandText(manager, *manager.Directories()->Items(0)),
            "C:\r\ncd \"C:\\Users\\me\"\r\ncall \"C:\\Tools\\wzzip.exe\" -a -p -r "
            "-xC:\\Users\\me\\*.tmp -xC:\\Users\\me\\MyArchives "
            "\"C:\\Users\\me\\MyArchives\\2026-12-08\\C_Users_me\" C:\\Users\\me\\*.*");
  manager.SetOutputPath("Archives");
  EXPECT_EQ(GetArchiverParameters(manager, *manager.Directories()->Items(0), false),
            "-a -p -r -xC:\\Users\\me\\*.tmp -xC:\\Users\\me\\Archives "
            "\"Archives\\2026-12-08\\C_Users_me\" C:\\Users\\me\\*.*");
  // 7-Zip matches excludes against the names it stores, relative to the
  // directory, and with -r would take "a\\b" for every b below a.
  manager.SetArchiverExeFileName("C:\\7-Zip\\7z.exe");
  manager.SetExcludeKey("-x!");
  manager.SetOutputPath("C:\\Users\\me\\data\\MyArchives");
  const TArchiveJob job = Job(0);
  ASSERT_EQ(job.excludes.size(), 2u);
  EXPECT_EQ(job.excludes[1], (TMaskEntry{"-xr-!", "data\\MyArchives"}));
  manager.SetOutputPath("C:\\Users\\me");
  EXPECT_EQ(Job(0).excludes[1], (TMaskEntry{"-xr-!", "2026-12-08\\C_Users_me.7z"}));
}

TEST_F(WindowsJobTest, SevenZipReplacesTheArchiveOnlyWhenItSucceeded) {
  manager.SetArchiverExeFileName("C:\\7-Zip\\7z.exe");
  manager.SetArchiverParams("a -r");
  manager.SetExcludeKey("-x!");
  Add("E:\\Notes");
  EXPECT_EQ(
      GetCommandText(manager, *manager.Directories()->Items(0)),
      "E:\r\ncd \"E:\\Notes\"\r\n"
      "if exist \"C:\\MyArchives\\2026-12-08\\E_Notes.incomplete.7z\" del "
      "\"C:\\MyArchives\\2026-12-08\\E_Notes.incomplete.7z\"\r\n"
      "call \"C:\\7-Zip\\7z.exe\" a -r  \"C:\\MyArchives\\2026-12-08\\E_Notes.incomplete.7z\" "
      "E:\\Notes\\*.*\r\n"
      "if errorlevel 2 (del \"C:\\MyArchives\\2026-12-08\\E_Notes.incomplete.7z\") else "
      "move /y \"C:\\MyArchives\\2026-12-08\\E_Notes.incomplete.7z\" "
      "\"C:\\MyArchives\\2026-12-08\\E_Notes.7z\" >nul");
  // The shell starts it through cmd.exe, so that the archive is put in place
  // after the program is gone.
  RunDirectory(manager, *manager.Directories()->Items(0));
  ASSERT_EQ(shell.calls.size(), 1u);
  EXPECT_EQ(shell.calls[0].file, "cmd.exe");
  EXPECT_EQ(shell.calls[0].parameters.rfind("/d /c \"(if exist ", 0), 0u);
  // cmd.exe reads that line: an operator in an entry is quoted, as in the
  // batch file.
  RunDirectory(manager, *Add("D:\\R&D"));
  ASSERT_EQ(shell.calls.size(), 2u);
  EXPECT_NE(shell.calls[1].parameters.find(" \"D:\\R&D\\*.*\" & (if errorlevel 2"),
            std::string::npos)
      << shell.calls[1].parameters;
}

TEST_F(PosixJobTest, TheHomeFolderAndPathsThatCannotBeRight) {
#ifndef _WIN32  // the home folder comes from HOME here
  const char* saved = std::getenv("HOME");
  const std::string previous = saved ? saved : "";
  ::setenv("HOME", "/home/ann", 1);
  manager.SetOutputPath("~/MyArchives");
  Add("~/docs");
  const TArchiveJob job = Job(0);
  EXPECT_EQ(job.workingDirectory, "/home/ann/docs");
  EXPECT_EQ(job.archiveFile, "/home/ann/MyArchives/2026-12-08/home_ann_docs.7z");
  EXPECT_TRUE(job.excludes.empty());
  EXPECT_EQ(ExpandHome("~"), "/home/ann");
  EXPECT_EQ(ExpandHome("~ann/x"), "~ann/x");
  ::setenv("HOME", previous.c_str(), 1);
#endif

  EXPECT_EQ(PathProblem(""), "The directory's path is empty");
  EXPECT_EQ(PathProblem(std::string("/srv/x/real\0/../../etc", 22)),
            "The directory's path holds a control character");
  EXPECT_EQ(PathProblem("/srv/a\tb"), "The directory's path holds a control character");
  EXPECT_EQ(PathProblem("docs"), "The directory's path is not absolute");
  EXPECT_EQ(PathProblem("/srv/Bücher"), "");
  Add("");
  Add("docs");
  for (int i = 1; i <= 2; ++i) {
    EXPECT_THROW(RunDirectory(manager, *manager.Directories()->Items(i)), Exception);
    EXPECT_THROW(GetBatchLines(manager, *manager.Directories()->Items(i)), Exception);
  }
  EXPECT_TRUE(processes.calls.empty()) << "nothing ran for a path that cannot be right";
}

TEST_F(WindowsJobTest, PathsThatCannotBeRightAreRefusedButRelativeOnesKept) {
  EXPECT_EQ(PathProblem("Work\\Site"), "");
  EXPECT_EQ(PathProblem("C:\\a\rb"), "The directory's path holds a control character");
  Add("");
  EXPECT_THROW(GetBatchLinesForAll(manager), Exception);
  EXPECT_THROW(RunDirectory(manager, *manager.Directories()->Items(0)), Exception);
  EXPECT_TRUE(shell.calls.empty());
}

TEST_F(PosixJobTest, AWaitedRunReportsWhatBecameOfTheJob) {
  manager.SetArchiverExeFileName("/usr/bin/pack");
  Add("/srv/a");
  Add("/srv/gone");
  current.existing.erase("/srv/gone");
  processes.missingDirectories.insert("/srv/gone");
  processes.status = 2;
  TJobOutcome outcome = RunJobAndWait(Job(0));
  EXPECT_EQ(outcome.status, 2);
  EXPECT_TRUE(outcome.error.empty());
  EXPECT_FALSE(outcome.Succeeded());
  outcome = RunJobAndWait(Job(1));
  EXPECT_FALSE(outcome.status.has_value());
  EXPECT_EQ(outcome.error, "The directory does not exist");
  processes.missing.insert("/usr/bin/pack");
  outcome = RunJobAndWait(Job(0));
  EXPECT_FALSE(outcome.status.has_value());
  EXPECT_EQ(outcome.error.rfind("Cannot start /usr/bin/pack", 0), 0u) << outcome.error;
  // Each archiver started in its directory by itself.
  ASSERT_EQ(processes.calls.size(), 1u);
  EXPECT_EQ(processes.calls[0].workingDirectory, "/srv/a");
}

}  // namespace
}  // namespace pw
