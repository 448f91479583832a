// The window and the archiver dialogs in the POSIX style: shell scripts and
// the archivers found on PATH.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeView>
#include <filesystem>
#include <fstream>

#include "archiver/ArchiveCommands.h"
#include "archiver/NightPlan.h"
#include "model/HoardkeeperClasses.h"
#include "platform/SettingsLocation.h"
#include "platform/fakes/FakeProcesses.h"
#include "platform/fakes/Fakes.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/FakeDialogs.h"
#include "tests/ui/Views.h"
#include "ui/PacketwrightHelpIDs.h"
#include "ui/eduAbout.h"
#include "ui/eduArchiverFoundDlg.h"
#include "ui/eduDirectory.h"
#include "ui/eduManager.h"
#include "ui/fmuHoardkeeper.h"
#include "ui/fmuVerify.h"

namespace pw {
namespace {

namespace fs = std::filesystem;

class PosixUiTest : public ::testing::Test {
 protected:
  PosixUiTest()
      : posix(TPathStyle::psPosix), a(posix), b(dialogs), c(registry), d(search), e(shell) {}

  fakes::FixedPathStyle posix;
  test::FakeDialogs dialogs;
  fakes::FakeRegistry registry;
  fakes::FakeProgramSearch search;
  fakes::FakeShell shell;
  ScopedOverride<IPathStyle> a;
  ScopedOverride<IDialogService> b;
  ScopedOverride<IRegistry> c;
  ScopedOverride<IProgramSearch> d;
  ScopedOverride<IShell> e;
};

TEST_F(PosixUiTest, OptionsOffer7ZipBesideTheOthers) {
  {
    TedManager none;
    EXPECT_FALSE(none.bu7Zip->isEnabled());
  }
  search.programs = {{"7zz", "/usr/bin/7zz"}};
  TedManager d;
  EXPECT_TRUE(d.bu7Zip->isEnabled());
  EXPECT_FALSE(d.buWinRar->isEnabled());
  EXPECT_EQ(d.bu7Zip->toolTip(), "Set 7-Zip Options");
  dialogs.confirmAnswers = {TAnswer::No, TAnswer::Yes};
  d.bu7Zip->click();
  EXPECT_EQ(d.edArchiverParams->text(), "");
  d.bu7Zip->click();
  EXPECT_EQ(dialogs.shown.back().text,
            "7-Zip was found on your computer. Replace current options with the standard 7-Zip "
            "options?");
  EXPECT_EQ(d.edArchiverExeFileName->text(), "/usr/bin/7zz");
  EXPECT_EQ(d.edArchiverParams->text(), "a -r");
  EXPECT_EQ(d.edExcludeKey->text(), "-x!");
  search.programs.clear();
  d.bu7Zip->click();
  EXPECT_EQ(dialogs.shown.back().text, "7-Zip not found on your computer.");
}

#ifndef _WIN32
// "~/" is the home folder here as in the jobs: the archive's name and the
// masks harvested are those of the folder the job archives.
TEST_F(PosixUiTest, TheDirectoryDialogReadsAPathInTheHomeFolderAsTheJobsDo) {
  const test::TTempFolder home("pw-ui-home");
  fs::create_directories(home / "Documents");
  std::ofstream(home / "Documents" / "a.odt") << "x";
  std::ofstream(home / "Documents" / "b.txt") << "x";
  const test::TScopedEnvironment useHome("HOME", home.Path().string());
  TbkManager manager;
  TbkDirectory* directory = manager.Directories()->Add();
  TedDirectory dialog;
  std::string ruleSeen;
  int masksSeen = -1;
  dialog.executeRule = [&](TbkRule* rule, TbkRules*) {
    ruleSeen = rule->Name();
    masksSeen = rule->Extensions()->Count();
    return false;
  };
  dialog.Load(directory);
  dialog.edDirectory->setText("~/Documents");
  dialog.sbCreateArchiveNameClick();
  const std::string flat = PathToFileName((home / "Documents").string());
  EXPECT_EQ(dialog.edArchiveFileName->text().toStdString(), flat);
  // The name the job itself gives the archive.
  manager.SetArchiverExeFileName("/usr/bin/7zz");
  manager.SetOutputPath("/backup");
  directory->SetPath("~/Documents");
  EXPECT_EQ(MakeNightPlan(manager).Job(1).archiveFile, "/backup/" + flat + ".7z");
  dialog.sbAddRuleClick();
  EXPECT_EQ(masksSeen, 2) << "the masks of the home folder's Documents";
  EXPECT_EQ(ruleSeen, flat);
}
#endif

TEST_F(PosixUiTest, SelectionChecksTheOnlyArchiverFound) {
  search.programs = {{"7z", "/usr/bin/7z"}};
  {
    TedArchiverFoundDlg d;
    EXPECT_TRUE(d.rb7Zip->isChecked());
    EXPECT_FALSE(d.rbWinRar->isEnabled());
    TArchiverKind kind = akWinZip;
    EXPECT_TRUE(d.Result(true, kind));
    EXPECT_EQ(kind, ak7Zip);
  }
  search.programs["rar"] = "/usr/bin/rar";
  TedArchiverFoundDlg both;
  EXPECT_FALSE(both.rb7Zip->isChecked());
  EXPECT_FALSE(both.rbWinRar->isChecked());
  TArchiverKind kind = akWinZip;
  EXPECT_FALSE(both.Result(true, kind));
}

TEST_F(PosixUiTest, ScriptActionsSayShAndWriteShellScripts) {
#ifdef _WIN32
  GTEST_SKIP() << "needs a POSIX file system";
#endif
  const fs::path folder = fs::temp_directory_path() / ("pw-ui-sh-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  const std::string settings = (folder / "Packetwright.dat").string();
  {
    TbkManager m;
    EXPECT_EQ(m.OutputPath().substr(m.OutputPath().size() - 11), "/MyArchives");
    m.SetArchiverExeFileName("/usr/bin/7zz");
    m.SetArchiverParams("a -r");
    m.SetOutputPath("/srv/out");
    m.Directories()->Add()->SetPath("/srv/my site");
    m.SaveToFile(settings, true);
  }
  TfmHoardkeeper w(settings);
  w.AfterConstruction();
  // The menus add accelerators to the captions.
  EXPECT_EQ(w.actCreateBatCurrent->text().remove('&'), "Create *.sh File");
  EXPECT_EQ(w.actCreateBatAll->text().remove('&'), "Create *.sh file For All");
  EXPECT_EQ(w.actEditBatFile->text().remove('&'), "Edit *.sh file");
  test::SelectRow(w.ListView1, 0);
  const fs::path script = folder / "one.sh";
  dialogs.fileAnswers = {QString::fromStdString(script.string())};
  w.actCreateBatCurrent->trigger();
  ASSERT_EQ(dialogs.fileDialogs.size(), 1u);
  EXPECT_EQ(dialogs.fileDialogs[0].fileName, "MakeArchiveOf_srv_my site");
  EXPECT_EQ(dialogs.fileDialogs[0].filter, "Shell scripts (*.sh)|*.sh");
  EXPECT_EQ(dialogs.fileDialogs[0].defaultExtension, "sh");
  std::ifstream in(script, std::ios::binary);
  const std::string text(std::istreambuf_iterator<char>(in), {});
  EXPECT_EQ(text.rfind("#!/bin/sh\nstatus=0\nif cd '/srv/my site'; then\n", 0), 0u) << text;
  EXPECT_NE(text.find("\n  /usr/bin/7zz a -r '/srv/out/srv_my site.incomplete.7z' '*'\n"),
            std::string::npos)
      << text;
  fs::remove_all(folder);
}

TEST_F(PosixUiTest, FirstStartWith7ZipFilesArchivesUnderTheDay) {
  const fs::path folder = fs::temp_directory_path() / ("pw-ui-first-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  search.programs = {{"7zz", "/usr/bin/7zz"}};
  for (const bool saved : {false, true}) {
    TfmHoardkeeper w((folder / "Packetwright.dat").string());
    w.executeArchiverFound = [](TArchiverKind& kind) { return kind = ak7Zip, true; };
    w.AfterConstruction();
    const TbkManager& m = *w.Manager();
    EXPECT_EQ(m.ArchiverExeFileName(), "/usr/bin/7zz");
    EXPECT_EQ(m.ExcludeKey(), "-x!");
    // A settings file that holds no pattern keeps it empty.
    EXPECT_EQ(m.SubDirNamePattern(), saved ? "" : "yyyy-mm-dd");
    if (!saved) {
      TbkManager stored;
      stored.SaveToFile((folder / "Packetwright.dat").string(), true);
    }
  }
  fs::remove_all(folder);
}

// An installed program: its folder is not the user's to write in.
TEST_F(PosixUiTest, AFirstSaveBesideAReadOnlyProgramMakesTheUsersSettingsFolder) {
#ifdef _WIN32
  GTEST_SKIP() << "needs a POSIX file system";
#endif
  const fs::path root =
      fs::temp_directory_path() / ("pw-ui-installed-" + std::to_string(::getpid()));
  fs::create_directories(root / "bin");
  fakes::FakeSettingsPlaces places;
  places.programFolder = (root / "bin").string() + "/";
  places.userFolder = (root / "home" / ".config" / "Packetwright").string() + "/";
  places.readOnly = {places.programFolder};
  const ScopedOverride<ISettingsPlaces> installed(places);
  const std::string expected = places.userFolder + "Packetwright.dat";
  {
    TfmHoardkeeper w;
    EXPECT_EQ(w.GetSettingsFileName(), expected);
    w.executeArchiverFound = [](TArchiverKind&) { return false; };
    w.AfterConstruction();
    w.Manager()->Directories()->Add()->SetPath("/srv/site");
    w.actSaveExecute();
  }
  EXPECT_TRUE(fs::exists(expected));
  EXPECT_FALSE(fs::exists(root / "bin" / "Packetwright.dat"));
  TfmHoardkeeper again;
  again.executeArchiverFound = [](TArchiverKind&) { return false; };
  again.AfterConstruction();
  EXPECT_EQ(again.GetSettingsFileName(), expected) << "once made, the user's file is found";
  EXPECT_EQ(again.Manager()->Directories()->Count(), 1);
  fs::remove_all(root);
}

TEST_F(PosixUiTest, TheAboutBoxNamesTheSettingsFile) {
  TedAbout about("/home/ann/.config/Packetwright/Packetwright.dat");
  EXPECT_EQ(about.SettingsFile->text(),
            "Settings file: /home/ann/.config/Packetwright/Packetwright.dat");
  EXPECT_FALSE(about.SettingsFile->isHidden());
  TfmHoardkeeper w("/nonexistent/pw/Packetwright.dat");
  w.executeArchiverFound = [](TArchiverKind&) { return false; };
  w.AfterConstruction();
  QString shown = "no about box";
  QTimer::singleShot(0, [&] {
    if (auto* box = qobject_cast<TedAbout*>(QApplication::activeModalWidget())) {
      shown = box->SettingsFile->text();
      box->accept();
    }
  });
  w.About->trigger();
  EXPECT_EQ(shown, "Settings file: /nonexistent/pw/Packetwright.dat");
}

// The build folder and Windows keep the help beside the program; an
// installation on Linux keeps it with the other documentation.
TEST_F(PosixUiTest, TheHelpIsBesideTheProgramElseInTheInstalledDocumentation) {
#ifdef _WIN32
  GTEST_SKIP() << "needs a POSIX file system";
#endif
  const fs::path root = fs::temp_directory_path() / ("pw-ui-help-" + std::to_string(::getpid()));
  fs::create_directories(root / "bin");
  const std::string bin = (root / "bin").string() + "/";
  EXPECT_EQ(HelpFileName(bin), bin + "Packetwright.html") << "nowhere: where it belongs";
  const fs::path doc = root / "share" / "doc" / "packetwright";
  fs::create_directories(doc);
  std::ofstream(doc / "Packetwright.html") << "<html></html>";
  EXPECT_EQ(HelpFileName(bin), (doc / "Packetwright.html").string());
  std::ofstream(root / "bin" / "Packetwright.html") << "<html></html>";
  EXPECT_EQ(HelpFileName(bin), bin + "Packetwright.html");
  fs::remove_all(root);
}

// The window's verify: 7-Zip's test and listing (here a stand-in) against
// what the job takes now, with what it found in the window's own words.
TEST_F(PosixUiTest, VerifyTellsATestThatFailedFromAnArchiveThatLacksFiles) {
#ifdef _WIN32
  GTEST_SKIP() << "needs a POSIX file system";
#endif
  const test::TTempFolder temp("pw-ui-verify");
  fs::create_directories(temp / "src");
  test::WriteFile(temp / "src" / "a.txt", "a");
  test::WriteFile(temp / "src" / "b.txt", "b");
  test::WriteFile(temp / "src.7z", "7z");
  TbkManager m;
  m.SetArchiverExeFileName("/usr/bin/7zz");
  m.SetArchiverParams("a -r");
  m.SetOutputPath(temp.Path().string());
  m.Directories()->Add()->SetPath((temp / "src").string());
  fakes::FakeProcessRunner processes;
  const ScopedOverride<IProcessRunner> useProcesses(processes);
  processes.outputOf = [](const fakes::FakeProcessRunner::Call& call) {
    std::vector<std::pair<int, std::string>> lines;
    if (call.arguments.at(0) == "t") return lines;
    for (const char* line : {"----------", "Path = a.txt", "Size = 1", "Attributes = A", ""}) {
      lines.emplace_back(1, line);
    }
    return lines;
  };
  const TLatestArchive archive{(temp / "src.7z").string(), "2026-12-08T02:30:00+01:00"};
  {
    TfmVerify sound(m, 1, archive, "");
    QTRY_VERIFY(!sound.Running());
    EXPECT_EQ(sound.laState->text(),
              "The archive is sound, but the job would take other files now.");
    EXPECT_NE(sound.mmReport->toPlainText().indexOf("Lacks 1 file the job would take now: b.txt"),
              -1)
        << sound.mmReport->toPlainText().toStdString();
    EXPECT_EQ(sound.buCancel->text(), "Close");
  }
  processes.status = 2;
  processes.outputOf = [](const fakes::FakeProcessRunner::Call&) {
    return std::vector<std::pair<int, std::string>>{{2, "ERROR: CRC Failed : a.txt"}};
  };
  TfmVerify broken(m, 1, archive, "");
  QTRY_VERIFY(!broken.Running());
  EXPECT_EQ(broken.laState->text(), "The archive failed its test.");
  EXPECT_TRUE(broken.Report().Failed());
  EXPECT_NE(broken.mmReport->toPlainText().indexOf("CRC Failed : a.txt"), -1);

  // The directory's latest archive: none in an empty journal, which is no failure.
  TfmVerify none(m, 1, std::nullopt, (temp / "Packetwright.journal").string());
  QTRY_VERIFY(!none.Running());
  EXPECT_EQ(none.laState->text(), "No archive to verify.");
}

}  // namespace
}  // namespace pw
