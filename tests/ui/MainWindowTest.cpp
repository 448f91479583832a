// The main window over the real model and archiver layers, with the platform
// and the dialogs answered by fakes.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QImage>
#include <QLabel>
#include <QMap>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QTreeView>
#include <filesystem>
#include <fstream>

#include "archiver/ArchiveCommands.h"
#include "model/HoardkeeperClasses.h"
#include "platform/Errors.h"
#include "platform/Streams.h"
#include "platform/fakes/Fakes.h"
#include "tests/ui/FakeDialogs.h"
#include "tests/ui/MenuChecks.h"
#include "tests/ui/Views.h"
#include "ui/Application.h"
#include "ui/fmuHoardkeeper.h"

namespace pw {
namespace {

namespace fs = std::filesystem;
using Value = fakes::FakeRegistry::Value;

QString Caption(const QAction* a) {
  return QString(a->text()).remove('&');
}

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest()
      : clock(Now()),
        regional(fakes::UsEnglish()),
        a(dialogs),
        b(registry),
        c(shell),
        d(clock),
        e(regional) {
    folder = fs::temp_directory_path() / ("pw-ui-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    settings = (folder / "Packetwright.dat").string();
  }
  ~MainWindowTest() override { fs::remove_all(folder); }

  static TDateTime Now() {
    TDateTime t;
    t.Year = 2026, t.Month = 12, t.Day = 7;
    return t;
  }

  // A settings file with two directories and an archiver, so no selection is asked.
  void WriteSettings() {
    TbkManager m;
    m.SetArchiverExeFileName("C:\\Tools\\wzzip.exe");
    m.SetArchiverParams("-a -p -r");
    m.SetExcludeKey("-x");
    TbkRule* r = m.Rules()->Add();
    r->SetName("Texts");
    r->SetCategory(ecInclude);
    r->Extensions()->Add()->SetExt("*.txt");
    TbkDirectory* one = m.Directories()->Add();
    one->SetPath("D:\\Work");
    one->SetRuleName("Texts");
    one->SetArchiveFileName("Work");
    TbkDirectory* two = m.Directories()->Add();
    two->SetPath("E:\\Notes");
    two->SetNeedArchive(false);
    m.SaveToFile(settings, true);
  }

  std::unique_ptr<TfmHoardkeeper> Start(bool chooseWinZip = false) {
    auto w = std::make_unique<TfmHoardkeeper>(settings);
    w->executeArchiverFound = [this, chooseWinZip](TArchiverKind& kind) {
      ++selectionsShown;
      kind = akWinZip;
      return chooseWinZip;
    };
    w->executeManager = [](TbkManager*) { return false; };
    w->executeDirectory = [this](TbkDirectory* d) { return editDirectory(d); };
    w->executeRules = [this](TbkRules* rules) {
      ++rulesShown;
      if (renameInRules) RenameRuleReferences(rules->Manager()->Directories(), "Texts", "Prose");
    };
    w->AfterConstruction();
    return w;
  }

  void Select(TfmHoardkeeper& w, int row) { test::SelectRow(w.ListView1, row); }

  // Whether any pixel of the list's row is drawn in pure red.
  static bool RowIsRed(TfmHoardkeeper& w, int row) {
    w.resize(569, 417);
    w.show();
    QRect rect = w.ListView1->visualRect(w.ListView1->model()->index(row, 0));
    rect.setRight(w.ListView1->viewport()->width());
    const QImage image = w.ListView1->viewport()->grab(rect).toImage();
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        const QColor c = image.pixelColor(x, y);
        if (c.red() > 200 && c.green() < 70 && c.blue() < 70) return true;
      }
    }
    return false;
  }

  test::FakeDialogs dialogs;
  fakes::FakeRegistry registry;
  fakes::FakeShell shell;
  fakes::FakeClock clock;
  fakes::FixedRegionalSettings regional;
  ScopedOverride<IDialogService> a;
  ScopedOverride<IRegistry> b;
  ScopedOverride<IShell> c;
  ScopedOverride<IClock> d;
  ScopedOverride<IRegionalSettings> e;
  fs::path folder;
  std::string settings;
  int selectionsShown = 0;
  int rulesShown = 0;
  bool renameInRules = false;
  std::function<bool(TbkDirectory*)> editDirectory;
};

TEST_F(MainWindowTest, FirstStartAsksForTheArchiverAndMarksTheDocument) {
  registry.AddKey(TRegistryRoot::rrLocalMachine,
                  "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\wzzip.exe",
                  Value{"C:\\Z\\wzzip.exe"});
  auto w = Start(true);
  EXPECT_EQ(w->windowTitle(), "Packetwright 1.0");
  EXPECT_EQ(test::Rows(w->ListView1), 0);
  EXPECT_TRUE(w->meCommandText->toPlainText().isEmpty());
  EXPECT_EQ(w->StatusPanel1->text(), "C:\\MyArchives");
  EXPECT_EQ(selectionsShown, 1);
  EXPECT_EQ(w->Manager()->ArchiverExeFileName(), "C:\\Z\\wzzip.exe");
  EXPECT_TRUE(w->actSave->isEnabled());

  // Closing asks about the file beside the program: Cancel keeps the window.
  dialogs.confirmAnswers = {TAnswer::Cancel, TAnswer::Yes};
  QCloseEvent refused;
  QCoreApplication::sendEvent(w.get(), &refused);
  EXPECT_FALSE(refused.isAccepted());
  EXPECT_EQ(dialogs.shown.back().text,
            QString::fromStdString("Packetwright options has changed. Save to " + settings + "?"));
  QCloseEvent accepted;
  QCoreApplication::sendEvent(w.get(), &accepted);
  EXPECT_TRUE(accepted.isAccepted());
  TbkManager saved;
  saved.LoadFromFile(settings);
  EXPECT_EQ(saved.ArchiverParams(), "-a -p -r");
}

TEST_F(MainWindowTest, CancelledSelectionLeavesTheArchiverEmptyAndNoClose) {
  auto w = Start(false);
  EXPECT_FALSE(w->actSave->isEnabled());
  EXPECT_EQ(w->Manager()->ArchiverExeFileName(), "");
  QCloseEvent close;
  QCoreApplication::sendEvent(w.get(), &close);
  EXPECT_TRUE(close.isAccepted()) << "nothing changed, nothing asked";
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(MainWindowTest, ListMirrorsTheDocument) {
  WriteSettings();
  auto w = Start();
  EXPECT_EQ(selectionsShown, 0);
  ASSERT_EQ(test::Rows(w->ListView1), 2);
  EXPECT_EQ(test::Cell(w->ListView1, 0, 0), "Work");
  EXPECT_EQ(test::Cell(w->ListView1, 0, 1), "D:\\Work");
  EXPECT_EQ(test::Cell(w->ListView1, 0, 2), "Texts");
  EXPECT_TRUE(test::IsChecked(w->ListView1, 0));
  EXPECT_FALSE(test::IsChecked(w->ListView1, 1));
  EXPECT_FALSE(w->Manager()->GetModified());
  EXPECT_FALSE(RowIsRed(*w, 0));
}

TEST_F(MainWindowTest, ActionsFollowTheSelection) {
  WriteSettings();
  auto w = Start();
  QAction* itemActions[] = {w->actEditDirectory, w->actDeleteDirectory, w->actRunCurrentAnyway,
                            w->actCreateBatCurrent};
  for (QAction* a : itemActions) EXPECT_FALSE(a->isEnabled());
  for (QAction* a : {w->actRunAll, w->actCreateBatAll, w->actOptions, w->actFileOpen}) {
    EXPECT_TRUE(a->isEnabled());
  }
  Select(*w, 1);
  for (QAction* a : itemActions) EXPECT_TRUE(a->isEnabled());
  const QString command =
      QString::fromStdString(GetCommandText(*w->Manager(), *w->Manager()->Directories()->Items(1)));
  EXPECT_EQ(w->meCommandText->toPlainText(), QString(command).replace("\r\n", "\n"));
  EXPECT_FALSE(w->actSave->isEnabled()) << "selecting changes nothing";
  w->ListView1->clearSelection();
  for (QAction* a : itemActions) EXPECT_FALSE(a->isEnabled());
  EXPECT_TRUE(w->meCommandText->toPlainText().isEmpty());
}

TEST_F(MainWindowTest, CheckBoxMarksTheDirectoryAndSaveClearsIt) {
  WriteSettings();
  auto w = Start();
  test::SetChecked(w->ListView1, 0, false);
  TbkDirectory* directory = w->Manager()->Directories()->Items(0);
  EXPECT_FALSE(directory->NeedArchive());
  EXPECT_TRUE(directory->GetModified());
  EXPECT_TRUE(w->actSave->isEnabled());
  EXPECT_EQ(w->StatusPanel0->text(), "Modified");
  EXPECT_NE(w->meCommandText->toPlainText().indexOf("D:\\Work"), -1);
  EXPECT_TRUE(RowIsRed(*w, 0));
  EXPECT_FALSE(RowIsRed(*w, 1));

  w->actSave->trigger();
  EXPECT_FALSE(w->Manager()->GetModified());
  EXPECT_FALSE(w->actSave->isEnabled());
  EXPECT_FALSE(RowIsRed(*w, 0));
  TMemoryStream expected;
  w->Manager()->SaveToStream(expected, false);
  EXPECT_EQ(Read(settings), expected.Bytes());
}

TEST_F(MainWindowTest, AChangedRowStaysRedWhenAnotherIsDeleted) {
  WriteSettings();
  auto w = Start();
  test::SetChecked(w->ListView1, 0, false);
  ASSERT_TRUE(RowIsRed(*w, 0));
  Select(*w, 1);
  dialogs.confirmAnswers = {TAnswer::Yes};
  w->actDeleteDirectory->trigger();
  ASSERT_EQ(test::Rows(w->ListView1), 1);
  EXPECT_TRUE(w->Manager()->Directories()->Items(0)->GetModified());
  EXPECT_TRUE(RowIsRed(*w, 0));
}

TEST_F(MainWindowTest, SaveOfAFreshDocumentWritesTheSixtySixBytes) {
  auto w = Start();
  w->Manager()->SetExcludeKey("-x");
  w->Manager()->SetExcludeKey("");
  w->actSaveExecute();
  EXPECT_EQ(Read(settings).size(), 66u);
}

TEST_F(MainWindowTest, SaveAsKeepsTheMarksAndTheSettingsFile) {
  WriteSettings();
  auto w = Start();
  test::SetChecked(w->ListView1, 1, true);
  const fs::path other = folder / "other.dat";
  dialogs.fileAnswers = {QString::fromStdString(other.string())};
  w->actSaveAs->trigger();
  EXPECT_EQ(dialogs.fileDialogs.back().filter, "Packetwright Files (*.dat)|*.dat");
  EXPECT_TRUE(dialogs.fileDialogs.back().askOverwrite);
  EXPECT_TRUE(fs::exists(other));
  EXPECT_TRUE(w->Manager()->GetModified());
  EXPECT_EQ(w->GetSettingsFileName(), settings);
}

TEST_F(MainWindowTest, OpenMergesAndAFailedOpenChangesNothing) {
  WriteSettings();
  auto w = Start();
  TbkManager noDirectories;
  noDirectories.SetArchiverParams("a -r");
  const fs::path other = folder / "other.dat";
  noDirectories.SaveToFile(other.string(), true);
  dialogs.fileAnswers = {QString::fromStdString(other.string())};
  w->actFileOpenExecute();
  EXPECT_EQ(test::Rows(w->ListView1), 2) << "an empty stored list keeps ours";
  EXPECT_EQ(w->Manager()->ArchiverParams(), "a -r");
  EXPECT_TRUE(w->Manager()->GetModified()) << "not in the program's own settings file yet";
  w->actSave->trigger();

  // A file that fails part-way: its first directory is read, then an error.
  const fs::path corrupt = folder / "corrupt.dat";
  std::string bytes = "TPF0";
  bytes += "\x0ATbkManager";
  bytes += '\0';
  bytes +=
      "\x0EOutputPath"
      "\x06\x03X:\\";
  bytes +=
      "\x0B"
      "Directories"
      "\x0E\x01\x04Path\x06\x01Z\x00\x01\x05"
      "Bogus";
  std::ofstream(corrupt, std::ios::binary) << bytes;
  TMemoryStream before;
  w->Manager()->SaveToStream(before, false);
  dialogs.fileAnswers = {QString::fromStdString(corrupt.string())};
  EXPECT_THROW(w->actFileOpenExecute(), EReadError);
  TMemoryStream after;
  w->Manager()->SaveToStream(after, false);
  EXPECT_EQ(after.Bytes(), before.Bytes());
  ASSERT_EQ(test::Rows(w->ListView1), 2);
  EXPECT_EQ(test::Cell(w->ListView1, 0, 1), "D:\\Work");
  EXPECT_FALSE(w->Manager()->GetModified());
}

TEST_F(MainWindowTest, OpenThenSaveWritesTheOpenedContentIntoTheOwnFile) {
  WriteSettings();
  auto w = Start();
  TbkManager other;
  other.SetArchiverExeFileName("C:\\Other\\rar.exe");
  other.Directories()->Add()->SetPath("F:\\Elsewhere");
  const fs::path file = folder / "other.dat";
  other.SaveToFile(file.string(), true);
  dialogs.fileAnswers = {QString::fromStdString(file.string())};
  w->actFileOpen->trigger();
  ASSERT_TRUE(w->actSave->isEnabled());
  EXPECT_FALSE(RowIsRed(*w, 0)) << "the rows are as in the opened file";
  w->actSave->trigger();
  TbkManager saved;
  saved.LoadFromFile(settings);
  EXPECT_EQ(saved.ArchiverExeFileName(), "C:\\Other\\rar.exe");
  EXPECT_FALSE(w->actSave->isEnabled());

  dialogs.fileAnswers = {QString::fromStdString(settings)};  // its own file again
  w->actFileOpen->trigger();
  EXPECT_FALSE(w->actSave->isEnabled());
}

TEST_F(MainWindowTest, EveryCommandEndsShowingTheDocument) {
  WriteSettings();
  auto w = Start();
  ASSERT_FALSE(w->actSave->isEnabled());
  editDirectory = [](TbkDirectory*) { return false; };
  w->actAddDirectory->trigger();  // cancelled: the new directory comes and goes
  EXPECT_TRUE(w->Manager()->GetModified());
  EXPECT_TRUE(w->actSave->isEnabled());

  // The directory dialog renamed the rule, then was cancelled.
  Select(*w, 0);
  editDirectory = [](TbkDirectory* d) {
    d->Manager()->Rules()->Items(0)->SetName("Prose");
    RenameRuleReferences(d->Manager()->Directories(), "Texts", "Prose");
    return false;
  };
  w->actEditDirectory->trigger();
  EXPECT_EQ(test::Cell(w->ListView1, 0, 2), "Prose");
  EXPECT_TRUE(RowIsRed(*w, 0));

  // A command that fails part-way still leaves the screen right.
  w->actSave->trigger();
  editDirectory = [](TbkDirectory* d) -> bool {
    d->Manager()->Rules()->Add()->SetName("Added");
    throw Exception("the dialog failed");
  };
  EXPECT_NO_THROW(w->actEditDirectory->trigger());
  ASSERT_FALSE(dialogs.shown.empty());
  EXPECT_EQ(dialogs.shown.back().kind, "error");
  EXPECT_EQ(dialogs.shown.back().text, "the dialog failed.");
  EXPECT_TRUE(w->actSave->isEnabled());
}

TEST_F(MainWindowTest, DeleteAsksFirst) {
  WriteSettings();
  auto w = Start();
  Select(*w, 0);
  dialogs.confirmAnswers = {TAnswer::No, TAnswer::Yes, TAnswer::Yes};
  w->actDeleteDirectory->trigger();
  EXPECT_EQ(dialogs.shown.back().text, "Delete D:\\Work?");
  EXPECT_EQ(w->Manager()->Directories()->Count(), 2);
  w->actDeleteDirectory->trigger();
  EXPECT_EQ(w->Manager()->Directories()->Count(), 1);
  EXPECT_EQ(test::Captions(w->ListView1), QStringList{""}) << "E:\\Notes has no archive name";
  EXPECT_TRUE(w->actSave->isEnabled());
  Select(*w, 0);
  w->actDeleteDirectory->trigger();
  EXPECT_EQ(test::Rows(w->ListView1), 0);
  EXPECT_FALSE(w->actDeleteDirectory->isEnabled());
  EXPECT_TRUE(w->meCommandText->toPlainText().isEmpty());
}

TEST_F(MainWindowTest, NothingIsSelectedAfterADelete) {
  WriteSettings();
  auto w = Start();
  w->show();
  w->ListView1->setFocus();
  w->ListView1->setCurrentIndex(w->ListView1->model()->index(0, 0));  // as a click does
  dialogs.confirmAnswers = {TAnswer::Yes};
  w->actDeleteDirectory->trigger();
  ASSERT_EQ(test::Rows(w->ListView1), 1);
  EXPECT_EQ(w->SelectedRow(), -1);
  EXPECT_TRUE(test::SelectedCaptions(w->ListView1).isEmpty());
  EXPECT_TRUE(w->meCommandText->toPlainText().isEmpty());
  for (QAction* a : {w->actEditDirectory, w->actDeleteDirectory, w->actRunCurrentAnyway,
                     w->actCreateBatCurrent}) {
    EXPECT_FALSE(a->isEnabled()) << Caption(a).toStdString();
  }
  w->actDeleteDirectory->trigger();  // a second Del asks about nothing
  EXPECT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(w->Manager()->Directories()->Count(), 1);
}

TEST_F(MainWindowTest, BatchFilesForOneAndForAll) {
  WriteSettings();
  auto w = Start();
  Select(*w, 0);
  const fs::path one = folder / "one.bat";
  const fs::path all = folder / "all.bat";
  dialogs.fileAnswers = {QString::fromStdString(one.string()),
                         QString::fromStdString(all.string())};
  w->actCreateBatCurrent->trigger();
  EXPECT_EQ(dialogs.fileDialogs[0].fileName, "MakeArchiveOf_D_Work");
  EXPECT_EQ(dialogs.fileDialogs[0].filter, "Batch files (*.bat)|*.bat");
  EXPECT_EQ(dialogs.fileDialogs[0].defaultExtension, "bat");
  const std::string command =
      "D:\r\ncd \"D:\\Work\"\r\ncall \"C:\\Tools\\wzzip.exe\" -a -p -r  "
      "\"C:\\MyArchives\\D_Work\" D:\\Work\\*.txt\r\n";
  EXPECT_EQ(Read(one), command);
  w->actCreateBatAll->trigger();
  EXPECT_EQ(dialogs.fileDialogs[1].fileName, QString::fromStdString(one.string()))
      << "the name it last held";
  EXPECT_EQ(Read(all),
            "rem\r\nrem Create D:\\Work archive by using Texts rule\r\nrem\r\n" + command);
  ASSERT_EQ(shell.calls.size(), 2u);
  EXPECT_EQ(shell.calls[1].verb, "open");
}

TEST_F(MainWindowTest, ErrorsOfACommandReachTheErrorBox) {
  auto w = Start();
  QMetaObject::invokeMethod(w->actCreateBatAll, "trigger", Qt::QueuedConnection);
  QCoreApplication::processEvents();
  ASSERT_FALSE(dialogs.shown.empty());
  EXPECT_EQ(dialogs.shown.back().kind, "error");
  EXPECT_EQ(dialogs.shown.back().title, ApplicationTitle());
  EXPECT_EQ(dialogs.shown.back().text, "Not found any directory to archive.");
  EXPECT_EQ(ErrorBoxText("Done."), "Done.");
  EXPECT_EQ(ErrorBoxText("Ends with a dash -"), "Ends with a dash -");
  EXPECT_EQ(ErrorBoxText("x"), "x.");
}

// With thousands of directories the error alone does not tell which one
// failed: the box names it below the error's own text.
TEST_F(MainWindowTest, RunErrorsNameTheirDirectory) {
  WriteSettings();
  auto w = Start();
  w->Manager()->Directories()->Add()->SetPath("F:\\Gone");
  fakes::FakeCurrentDirectory current;
  current.existing = {"D:\\Work"};
  fakes::FakeFileSystem files;
  ScopedOverride<ICurrentDirectory> useCurrent(current);
  ScopedOverride<IFileSystem> useFiles(files);

  Select(*w, 2);
  EXPECT_NO_THROW(w->actRunCurrentAnyway->trigger());
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].kind, "error");
  EXPECT_EQ(dialogs.shown[0].text, "The directory does not exist.\nDirectory: F:\\Gone");

  EXPECT_NO_THROW(w->actRunAll->trigger());
  ASSERT_EQ(dialogs.shown.size(), 2u);
  EXPECT_EQ(dialogs.shown[1].text, "The directory does not exist.\nDirectory: F:\\Gone");
  ASSERT_EQ(shell.calls.size(), 1u) << "D:\\Work ran before";
  EXPECT_NE(shell.calls[0].parameters.find("D_Work"), std::string::npos);

  // Clashes name each directory themselves, and nothing is added to them.
  w->Manager()->Directories()->Items(2)->SetPath("D:\\Work");
  current.existing.insert("E:\\Notes");
  EXPECT_NO_THROW(w->actRunAll->trigger());
  ASSERT_EQ(dialogs.shown.size(), 3u);
  EXPECT_TRUE(dialogs.shown[2].text.startsWith("D:\\Work: "))
      << dialogs.shown[2].text.toStdString();
  EXPECT_EQ(dialogs.shown[2].text.indexOf("Directory: "), -1);
}

TEST_F(MainWindowTest, AnErrorEndsItsCommandAtTheSlot) {
  auto w = Start();
  EXPECT_NO_THROW(w->actCreateBatAll->trigger()) << "nothing unwinds through the toolkit";
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown.back().text, "Not found any directory to archive.");
}

// Open copies the file's directories over the document's: the list then
// shows the new ones and paints no directory that went.
TEST_F(MainWindowTest, OpenReplacesTheRowsWithTheDirectories) {
  WriteSettings();
  auto w = Start();
  Select(*w, 1);
  TbkManager one;
  one.Directories()->Add()->SetPath("G:\\Only");
  const fs::path other = folder / "one.dat";
  one.SaveToFile(other.string(), true);
  dialogs.fileAnswers = {QString::fromStdString(other.string())};
  w->actFileOpen->trigger();
  ASSERT_EQ(test::Rows(w->ListView1), 1);
  EXPECT_EQ(test::Cell(w->ListView1, 0, 1), "G:\\Only");
  EXPECT_EQ(w->SelectedRow(), -1);
  EXPECT_FALSE(w->actEditDirectory->isEnabled());
  EXPECT_FALSE(RowIsRed(*w, 0));
}

TEST_F(MainWindowTest, UnreadableSettingsFileStopsTheStart) {
  std::ofstream(settings) << "not a settings file";
  TfmHoardkeeper w(settings);
  try {
    w.AfterConstruction();
    FAIL();
  } catch (const Exception& e) {
    const QString text = StartupFailureText(e);
    EXPECT_TRUE(text.startsWith("Exception EReadError in module ")) << text.toStdString();
    EXPECT_TRUE(text.endsWith(".\nInvalid stream format.")) << text.toStdString();
  }
}

TEST_F(MainWindowTest, AddAndEditDirectoryGoThroughTheDialog) {
  WriteSettings();
  auto w = Start();
  editDirectory = [](TbkDirectory*) { return false; };
  w->actAddDirectory->trigger();
  EXPECT_EQ(w->Manager()->Directories()->Count(), 2) << "cancel takes the new directory away";
  EXPECT_TRUE(w->Manager()->GetModified()) << "which still counts as a change";

  editDirectory = [](TbkDirectory* d) {
    d->SetPath("F:\\New");
    d->SetArchiveFileName("New");
    return true;
  };
  w->actAddDirectory->trigger();
  ASSERT_EQ(test::Rows(w->ListView1), 3);
  EXPECT_EQ(w->SelectedDirectory()->Path(), "F:\\New");
  EXPECT_EQ(test::Cell(w->ListView1, w->SelectedRow()), "New");
  EXPECT_NE(w->meCommandText->toPlainText().indexOf("F_New"), -1);

  editDirectory = [](TbkDirectory* d) {
    d->SetRuleName("Texts");
    return true;
  };
  w->actEditDirectory->trigger();
  EXPECT_EQ(test::Cell(w->ListView1, w->SelectedRow(), 2), "Texts");
  w->ListView1->clearSelection();
  editDirectory = [](TbkDirectory*) -> bool {
    throw std::logic_error("no dialog without a selection");
  };
  w->actEditDirectoryExecute();
}

TEST_F(MainWindowTest, OptionsTakeEffectInTheCommandAtOnce) {
  WriteSettings();
  auto w = Start();
  Select(*w, 0);
  w->executeManager = [](TbkManager* m) {
    m->SetOutputPath("F:\\Backups");
    return true;
  };
  w->actOptions->trigger();
  EXPECT_EQ(w->StatusPanel1->text(), "F:\\Backups");
  EXPECT_NE(w->meCommandText->toPlainText().indexOf("F:\\Backups\\D_Work"), -1);
  EXPECT_TRUE(w->actSave->isEnabled());
}

// The options' Keep section reads this settings file's journal: one that
// cannot be read (a FIFO) names itself.
TEST_F(MainWindowTest, TheKeepPreviewReadsTheJournalBesideTheSettings) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows has no FIFO to stand in for an unreadable journal";
#else
  WriteSettings();
  auto w = Start();
  TbkManager m;
  m.SetSubDirNamePattern("yyyy-mm-dd");
  m.SetKeep(TKeepRules{1, 0, 0, 0});
  const fs::path journal = folder / "Packetwright.journal";
  ASSERT_EQ(mkfifo(journal.c_str(), 0600), 0);
  try {
    w->KeepPreview()(m);
    ADD_FAILURE() << "a FIFO was read as the journal";
  } catch (const Exception& e) {
    EXPECT_NE(e.Message().find(journal.string()), std::string::npos) << e.Message();
  }
#endif
}

TEST_F(MainWindowTest, ShowRulesRefreshesTheList) {
  WriteSettings();
  auto w = Start();
  renameInRules = true;
  w->actShowRules->trigger();
  EXPECT_EQ(rulesShown, 1);
  EXPECT_EQ(test::Cell(w->ListView1, 0, 2), "Prose");
}

TEST_F(MainWindowTest, HintsLeaveTheStatusPanelsAlone) {
  WriteSettings();
  auto w = Start();
  w->show();
  Select(*w, 0);
  const QString panel1 = w->StatusPanel1->text();
  // What resting the pointer on a tool button and on a menu item does.
  for (QAction* a : w->ToolBar1->actions()) {
    if (QWidget* button = w->ToolBar1->widgetForAction(a)) {
      QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
      QApplication::sendEvent(button, &enter);
    }
  }
  for (QAction* a : w->findChildren<QAction*>()) a->showStatusText(w.get());
  QStatusTipEvent tip("Save");
  QApplication::sendEvent(w.get(), &tip);
  EXPECT_EQ(w->statusBar()->currentMessage(), "");
  EXPECT_TRUE(w->StatusPanel0->isVisible());
  EXPECT_TRUE(w->StatusPanel1->isVisible());
  EXPECT_EQ(w->StatusPanel1->text(), panel1);
  EXPECT_EQ(w->actSave->toolTip(), "Save") << "the hint shows as a tooltip";
}

TEST_F(MainWindowTest, SpaceTogglesTheCurrentRowsCheckMark) {
  WriteSettings();
  auto w = Start();
  w->show();
  w->ListView1->setFocus();
  w->ListView1->setCurrentIndex(w->ListView1->model()->index(0, 1));  // the focus on "Directory"
  QTest::keyClick(w->ListView1, Qt::Key_Space);
  EXPECT_FALSE(w->Manager()->Directories()->Items(0)->NeedArchive());
  EXPECT_TRUE(w->actSave->isEnabled());
  EXPECT_NE(w->meCommandText->toPlainText().indexOf("D_Work"), -1);
  QTest::keyClick(w->ListView1, Qt::Key_Space);
  EXPECT_TRUE(w->Manager()->Directories()->Items(0)->NeedArchive());
  EXPECT_EQ(w->SelectedRow(), 0) << "the selection stays";
}

// Until a row is chosen the list shows no focus frame: the first Down chooses
// the first row, and Space then toggles that row. A rebuild starts so again.
TEST_F(MainWindowTest, TheFocusFrameIsOnTheSelectionFromTheStart) {
  WriteSettings();
  auto w = Start();
  w->show();
  QApplication::setActiveWindow(w.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
  w->ListView1->setFocus(Qt::TabFocusReason);
  EXPECT_TRUE(test::CurrentAgreesWithSelection(w->ListView1));
  QTest::keyClick(w->ListView1, Qt::Key_Down);
  EXPECT_EQ(w->SelectedRow(), 0);
  QTest::keyClick(w->ListView1, Qt::Key_Space);
  EXPECT_FALSE(w->Manager()->Directories()->Items(0)->NeedArchive());

  w->actShowRules->trigger();  // the list is built afresh
  w->meCommandText->setFocus(Qt::TabFocusReason);
  w->ListView1->setFocus(Qt::TabFocusReason);
  EXPECT_TRUE(test::CurrentAgreesWithSelection(w->ListView1));
  QTest::keyClick(w->ListView1, Qt::Key_Down);
  EXPECT_EQ(w->SelectedRow(), 0);
  EXPECT_TRUE(test::CurrentAgreesWithSelection(w->ListView1));
}

TEST_F(MainWindowTest, TheMemoHasTheWindowFace) {
  WriteSettings();
  auto w = Start();
  w->show();
  const QImage memo = w->meCommandText->viewport()->grab().toImage();
  EXPECT_EQ(memo.pixelColor(memo.width() / 2, memo.height() - 2),
            w->palette().color(QPalette::Window));
}

TEST_F(MainWindowTest, TypingALetterInAMenuPicksTheEntry) {
  WriteSettings();
  auto w = Start();
  w->show();
  test::ExpectAccelerators(w->menuBar()->actions());
  for (QAction* title : w->menuBar()->actions()) test::ExpectAccelerators(title->menu()->actions());
  test::ExpectAccelerators(w->PopupMenu1->actions());
  EXPECT_EQ(w->actSaveAs->text(), "Save &As...");

  QMenu* file = w->findChild<QMenu*>("File1");
  file->popup(w->mapToGlobal(QPoint(10, 10)));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(file));
  dialogs.fileAnswers = {std::nullopt};
  QTest::keyClick(file, Qt::Key_A);
  ASSERT_EQ(dialogs.fileDialogs.size(), 1u);
  EXPECT_EQ(dialogs.fileDialogs[0].title, "Save As");
}

TEST_F(MainWindowTest, F1OpensTheMainWindowsSectionOfTheHelp) {
  WriteSettings();
  auto w = Start();
  EXPECT_EQ(w->actHelp->shortcut(), QKeySequence(Qt::Key_F1));
  ASSERT_TRUE(test::PressInWindow(w.get(), Qt::Key_F1));
  ASSERT_EQ(shell.calls.size(), 1u);
  EXPECT_EQ(shell.calls[0].verb, "open");
  EXPECT_TRUE(QString::fromStdString(shell.calls[0].file).endsWith("/Packetwright.html#context-6"))
      << shell.calls[0].file;
}

TEST_F(MainWindowTest, MenusAndToolBarInOrder) {
  WriteSettings();
  auto w = Start();
  QStringList toolbar;
  for (QAction* a : w->ToolBar1->actions()) toolbar << (a->isSeparator() ? "-" : Caption(a));
  EXPECT_EQ(toolbar.join("|"),
            "Save|-|Add Directory|Edit Directory|Delete Directory From List|-|Run Current|Run "
            "All|Create *.bat file For All|-|Open  Archive Directory|Edit *.bat file");
  QStringList help;
  for (QAction* a : w->findChild<QMenu*>("Help1")->actions()) {
    help << (a->isSeparator() ? "-" : Caption(a));
  }
  EXPECT_EQ(help.join("|"), "Contents|-|About...|Home Page");
  EXPECT_EQ(w->actRunAll->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F9));
  EXPECT_EQ(w->actDeleteDirectory->shortcut(), QKeySequence(Qt::Key_Delete));
  QStringList popup;
  for (QAction* a : w->PopupMenu1->actions()) popup << (a->isSeparator() ? "-" : Caption(a));
  EXPECT_EQ(popup.join("|"),
            "Add Directory|Edit Directory|Delete Directory From List|-|Preview|Verify Latest "
            "Archive|Restore...|Run Current|Create *.bat File");
  EXPECT_EQ(w->actPreview->shortcut(), QKeySequence(Qt::Key_F5));
  // No two commands answer the same key.
  QMap<QString, QString> keys;
  for (QAction* a : w->findChildren<QAction*>()) {
    if (a->shortcut().isEmpty()) continue;
    const QString key = a->shortcut().toString();
    EXPECT_FALSE(keys.contains(key)) << key.toStdString() << ": " << Caption(a).toStdString()
                                     << " and " << keys.value(key).toStdString();
    keys[key] = Caption(a);
  }
}

}  // namespace
}  // namespace pw
