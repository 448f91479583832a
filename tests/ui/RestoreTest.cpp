// The Restore window: opened from the pop-up menus on the right archive, its
// filter over a night's files, and restores with the real 7-Zip into a
// folder where a file is already there, stopped, and from a damaged archive.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeView>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "archiver/ArchiveIndex.h"
#include "archiver/Dialect.h"
#include "archiver/Journal.h"
#include "model/HoardkeeperClasses.h"
#include "platform/fakes/FakeProcesses.h"
#include "platform/fakes/Fakes.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/FakeDialogs.h"
#include "tests/ui/Views.h"
#include "ui/UiText.h"
#include "ui/fmuHoardkeeper.h"
#include "ui/fmuRestore.h"
#include "ui/fmuRunHistory.h"

namespace pw {
namespace {

namespace fs = std::filesystem;
using test::ProgramPath;
using test::ReadFile;
using test::WriteFile;

// The paths of the system the tests run on, in the style that goes with them.
constexpr TPathStyle kNative =
#ifdef _WIN32
    TPathStyle::psWindows;
#else
    TPathStyle::psPosix;
#endif

bool Idle(const TfmRestore& w) {
  return QTest::qWaitFor([&] { return !w.Running(); }, 20000);
}

class RestoreWindowTest : public ::testing::Test {
 protected:
  RestoreWindowTest()
      : a(style), b(dialogs), c(shell), d(registry), temp("ui-restore"), data(temp / "data") {
    fs::create_directories(data);
    settings = ProgramPath(temp / "Packetwright.dat");
    journal = JournalFileName(settings);
    manager.SetArchiverExeFileName("7zz");
    manager.SetArchiverParams("a -r");
    manager.Directories()->Add()->SetPath(Data());
  }

  std::string Data() const { return ProgramPath(data); }

  // A night's record of the directory's job, its archive there at its size.
  TIndexedArchive Record(const std::string& night, const fs::path& archive) {
    TJournalRecord r;
    r.directory = Data();
    r.position = 1;
    r.archive = ProgramPath(archive);
    r.started = night + "T02:30:00+01:00";
    r.ended = r.started;
    r.status = 0;
    r.bytes = static_cast<int64_t>(fs::file_size(archive));
    AppendJournalRecord(journal, r);
    return {r.archive, r.directory, 1, r.started, *r.bytes};
  }

  // The night's archive made by the real 7-Zip from the data folder.
  TIndexedArchive Night(const std::string& night) {
    const fs::path archive = temp / "out" / night / "data.7z";
    fs::create_directories(archive.parent_path());
    test::CommandOutput("cd '" + data.string() + "' && 7zz a -bd -bso0 '" + archive.string() +
                        "' -- * 2>/dev/null");
    return Record(night, archive);
  }

  // A night whose archive is a stand-in, with its listing in the index.
  TIndexedArchive IndexedNight(const std::string& night, std::vector<TListedEntry> entries) {
    const fs::path archive = temp / "out" / night / "data.7z";
    fs::create_directories(archive.parent_path());
    WriteFile(archive, "7z " + night);
    const TIndexedArchive a = Record(night, archive);
    TArchiveIndex(journal).Add(a, entries);
    return a;
  }

  std::unique_ptr<TfmRestore> Open(const std::string& archive = "") {
    auto w = std::make_unique<TfmRestore>(manager, Data(), archive, journal);
    EXPECT_TRUE(Idle(*w));
    return w;
  }

  static void SelectPaths(TfmRestore& w, std::initializer_list<const char*> paths) {
    test::SelectCaptions(w.tvFiles, paths);
  }

  // Restore, answered where files are there already.
  static void Restore(TfmRestore& w, QRadioButton* answer = nullptr) {
    w.buRestore->click();
    ASSERT_TRUE(Idle(w));
    if (!answer) return;
    ASSERT_TRUE(w.gbConflicts->isVisibleTo(&w)) << w.laState->text().toStdString();
    EXPECT_FALSE(w.buRestore->isEnabled()) << "no answer is taken for granted";
    answer->setChecked(true);
    w.buRestore->click();
    ASSERT_TRUE(Idle(w));
  }

  // Names in the folder that a restore's temporary folder would have.
  static int TemporaryFolders(const fs::path& folder) {
    int found = 0;
    for (const auto& e : fs::directory_iterator(folder)) {
      found += e.path().filename().string().rfind(".packetwright-restore", 0) == 0 ? 1 : 0;
    }
    return found;
  }

  fakes::FixedPathStyle style{kNative};
  test::FakeDialogs dialogs;
  fakes::FakeShell shell;
  fakes::FakeRegistry registry;
  ScopedOverride<IPathStyle> a;
  ScopedOverride<IDialogService> b;
  ScopedOverride<IShell> c;
  ScopedOverride<IRegistry> d;
  test::TTempFolder temp;
  fs::path data;
  std::string settings, journal;
  TbkManager manager;
};

TListedEntry File(const std::string& path, int64_t bytes, const std::string& modified = "") {
  return {path, bytes, false, modified, std::nullopt};
}

// "Restore..." in a directory's pop-up opens on its newest archive, in a
// record's pop-up on that record's archive.
TEST_F(RestoreWindowTest, ThePopUpMenusOpenTheWindowOnTheRightArchive) {
  const TIndexedArchive changed = IndexedNight("2026-12-06", {File("older.txt", 3)});
  WriteFile(test::FromProgramPath(changed.archive), "written again since");
  IndexedNight("2026-12-07", {File("old.txt", 3)});
  const TIndexedArchive newest = IndexedNight("2026-12-08", {File("new.txt", 4), File("b.txt", 1)});
  manager.SaveToFile(settings, true);
  TfmHoardkeeper main(settings);
  main.AfterConstruction();
  const auto opened = [&] {
    const QList<TfmRestore*> windows = main.findChildren<TfmRestore*>();
    EXPECT_EQ(windows.size(), 1);
    TfmRestore* w = windows.isEmpty() ? nullptr : windows.front();
    if (w) {
      EXPECT_TRUE(Idle(*w));
    }
    return w;
  };

  ASSERT_TRUE(main.PopupMenu1->actions().contains(main.actRestore));
  test::SelectRow(main.ListView1, 0);
  main.actRestore->trigger();
  TfmRestore* w = opened();
  ASSERT_TRUE(w);
  ASSERT_EQ(w->Nights().size(), 2u);
  EXPECT_EQ(w->cbNight->currentIndex(), 0);
  EXPECT_EQ(test::Captions(w->tvFiles), (QStringList{"b.txt", "new.txt"})) << "by path";
  EXPECT_EQ(w->laState->text(), "");
  delete w;

  main.actRunHistory->trigger();
  TfmRunHistory* history = main.RunHistoryWindow();
  ASSERT_TRUE(history);
  ASSERT_TRUE(history->PopupMenu->actions().contains(history->actRestoreArchive));
  ASSERT_EQ(test::Rows(history->tvRuns), 3);
  const auto restoreRow = [&](int row) {
    history->tvRuns->setCurrentIndex(history->tvRuns->model()->index(row, 0));
    history->actRestoreArchive->trigger();
    return opened();
  };
  w = restoreRow(1);
  ASSERT_TRUE(w);
  EXPECT_EQ(w->cbNight->currentIndex(), 1);
  EXPECT_EQ(test::Captions(w->tvFiles), QStringList{"old.txt"});
  EXPECT_EQ(w->Nights()[0], newest) << "newest first";
  EXPECT_EQ(w->Nights()[1].Night(), "2026-12-07");
  EXPECT_EQ(w->laState->text(), "");
  delete w;
  // An archive no longer as the journal recorded it is not read as that night's.
  w = restoreRow(2);
  ASSERT_TRUE(w);
  EXPECT_EQ(w->cbNight->currentIndex(), 0);
  EXPECT_EQ(w->laState->text(),
            ToQt("The archive " + changed.archive +
                 " is not there as the journal recorded it; the newest of its directory is shown."));
  delete w;
  delete history;
}

TEST_F(RestoreWindowTest, F1OpensItsSectionOfTheHelpAndEscClosesIt) {
  auto w = Open();
  EXPECT_EQ(w->laState->text(), "No archive of this directory is still there.");
  ASSERT_TRUE(test::PressInWindow(w.get(), Qt::Key_F1));
  ASSERT_EQ(shell.calls.size(), 1u);
  EXPECT_TRUE(QString::fromStdString(shell.calls[0].file).endsWith("#context-22"))
      << shell.calls[0].file;
  ASSERT_TRUE(test::PressInWindow(w.get(), Qt::Key_Escape));
  EXPECT_FALSE(w->isVisible());
}

TEST_F(RestoreWindowTest, TheFilterKeepsThePathsThatHoldWhatIsTyped) {
  const std::string letters = std::string("Letters") + Dialect().Separator();
  IndexedNight("2026-12-08", {{"Letters", 0, true, "", std::nullopt},
                              File(letters + "file3.odt", 10),
                              File(letters + "Notes.ODT", 20),
                              File("file3.txt", 5),
                              File("big.bin", 3000)});
  auto w = Open();
  EXPECT_EQ(w->laFiles->text(), "4 files, 1 folder");
  w->edFilter->setText("odt");
  EXPECT_EQ(test::Captions(w->tvFiles),
            (QStringList{ToQt(letters + "Notes.ODT"), ToQt(letters + "file3.odt")}))
      << "in any letter case";
  EXPECT_EQ(w->laFiles->text(), "4 files, 1 folder; 2 shown");
  w->edFilter->setText("file?.*");
  EXPECT_EQ(test::Captions(w->tvFiles), (QStringList{ToQt(letters + "file3.odt"), "file3.txt"}));
  w->edFilter->setText("*.bin");
  EXPECT_EQ(test::Captions(w->tvFiles), QStringList{"big.bin"});
  w->edFilter->clear();
  EXPECT_EQ(test::Rows(w->tvFiles), 5);
  // By size, the largest first; equal sizes by path.
  w->tvFiles->sortByColumn(TRestoreFilesModel::cSize, Qt::DescendingOrder);
  EXPECT_EQ(test::Cell(w->tvFiles, 0), "big.bin");
  EXPECT_EQ(test::Cell(w->tvFiles, 4), "Letters");
}

// Cancel while 7-Zip extracts: what it wrote stays in the temporary
// folder, which goes, and nothing comes under a final name.
TEST_F(RestoreWindowTest, CancelLeavesNothingUnderAFinalName) {
  IndexedNight("2026-12-08", {File("file3.odt", 5)});
  fakes::FakeProcessRunner processes;
  const ScopedOverride<IProcessRunner> useProcesses(processes);
  std::atomic<bool> extracting = false;
  processes.running = [&](const fakes::FakeProcessRunner::Call& call, TRunStop* stop) {
    WriteFile(test::FromProgramPath(call.workingDirectory) / "file3.odt", "whole");
    extracting = true;
    while (!stop->Stopped()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return 255;
  };
  auto w = Open();
  SelectPaths(*w, {"file3.odt"});
  w->buRestore->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return extracting.load(); }, 20000));
  EXPECT_EQ(w->buCancel->text(), "Cancel");
  EXPECT_EQ(w->pbProgress->maximum(), 0) << "busy while 7-Zip extracts";
  w->buCancel->click();
  ASSERT_TRUE(Idle(*w));
  EXPECT_EQ(w->laState->text(), "Stopped: nothing was restored.");
  EXPECT_TRUE(w->Result().stopped);
  EXPECT_FALSE(fs::exists(data / "file3.odt"));
  EXPECT_EQ(TemporaryFolders(data), 0);
  EXPECT_EQ(w->buCancel->text(), "Close");
}

#ifndef _WIN32

// The file that is there is left byte for byte, kept beside, or replaced,
// as the answer says; nothing is written before the answer.
TEST_F(RestoreWindowTest, AFileThereIsSkippedKeptBesideOrOverwrittenAsAnswered) {
  const std::string night = std::string("night's \0\xff bytes", 16);
  WriteFile(data / "file3.odt", night);
  WriteFile(data / "new.txt", "new");
  Night("2026-12-08");
  const std::string since = std::string("changed \0 since", 15);
  WriteFile(data / "file3.odt", since);
  fs::remove(data / "new.txt");

  auto w = Open();
  SelectPaths(*w, {"file3.odt", "new.txt"});
  w->buRestore->click();
  ASSERT_TRUE(Idle(*w));
  ASSERT_TRUE(w->gbConflicts->isVisibleTo(w.get()));
  EXPECT_EQ(w->mmConflicts->toPlainText(), ToQt(ProgramPath(data / "file3.odt")) + "\n");
  EXPECT_FALSE(fs::exists(data / "new.txt")) << "nothing before the answer";
  w->rbSkip->setChecked(true);
  w->buRestore->click();
  ASSERT_TRUE(Idle(*w));
  EXPECT_EQ(w->laState->text(), "Restored 1 file, left 1 file as they were.");
  EXPECT_EQ(ReadFile(data / "file3.odt"), since);
  EXPECT_EQ(ReadFile(data / "new.txt"), "new");

  SelectPaths(*w, {"file3.odt"});
  Restore(*w, w->rbKeepBoth);
  EXPECT_EQ(ReadFile(data / "file3.odt"), since);
  EXPECT_EQ(ReadFile(data / "file3 (2026-12-08).odt"), night);
  EXPECT_EQ(w->laState->text(), "Restored 1 file.");

  SelectPaths(*w, {"file3.odt"});
  Restore(*w, w->rbOverwrite);
  EXPECT_EQ(ReadFile(data / "file3.odt"), night);
  EXPECT_EQ(TemporaryFolders(data), 0);
}

// A folder chosen brings what it holds; a copy found in another night comes
// from that night's archive.
TEST_F(RestoreWindowTest, AFolderAndACopyFoundInAnotherNightComeBack) {
  fs::create_directories(data / "Letters");
  WriteFile(data / "Letters" / "a.odt", "first a");
  WriteFile(data / "Letters" / "b.odt", "first b");
  Night("2026-12-07");
  WriteFile(data / "Letters" / "a.odt", "second a");
  Night("2026-12-08");
  fs::remove_all(data / "Letters");

  auto w = Open();
  SelectPaths(*w, {"Letters"});
  Restore(*w);
  EXPECT_EQ(w->laState->text(), "Restored 2 files.");
  EXPECT_EQ(ReadFile(data / "Letters" / "a.odt"), "second a");
  EXPECT_EQ(ReadFile(data / "Letters" / "b.odt"), "first b");

  w->edFind->setText("a.odt");
  w->buFind->click();
  ASSERT_TRUE(Idle(*w));
  EXPECT_EQ(w->laState->text(), "Found 2 copies.");
  ASSERT_EQ(test::Rows(w->tvFound), 2);
  EXPECT_EQ(test::Cell(w->tvFound, 1, TFoundCopiesModel::cNight), "2026-12-07");
  dialogs.fileAnswers = {ToQt(ProgramPath(temp / "back"))};
  w->rbOtherFolder->setChecked(true);
  w->buBrowse->click();
  test::SelectRow(w->tvFound, 1);
  Restore(*w);
  EXPECT_EQ(ReadFile(temp / "back" / "Letters" / "a.odt"), "first a");
}

TEST_F(RestoreWindowTest, ADamagedArchiveSaysSoAndWritesNothing) {
  WriteFile(data / "a.txt", std::string(4000, 'a'));
  WriteFile(data / "b.txt", std::string(4000, 'b'));
  const TIndexedArchive night = Night("2026-12-08");
  auto w = Open();  // listed while it was sound
  ASSERT_EQ(test::Rows(w->tvFiles), 2);
  std::string bytes = ReadFile(night.archive);
  for (size_t i = 40; i < 60; ++i) bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
  WriteFile(night.archive, bytes);
  const fs::path back = temp / "back";
  w->rbOtherFolder->setChecked(true);
  w->edTargetFolder->setText(ToQt(ProgramPath(back)));
  w->tvFiles->selectAll();
  Restore(*w);
  EXPECT_TRUE(w->laState->text().startsWith(
      ToQt("Nothing was restored: 7-Zip could not extract from " + night.archive)))
      << w->laState->text().toStdString();
  EXPECT_NE(w->laState->styleSheet().indexOf("#c00000"), -1) << "in red";
  EXPECT_EQ(w->Result().restored, 0);
  EXPECT_TRUE(!fs::exists(back) || fs::is_empty(back)) << "neither a file nor the temporary folder";
}

#endif

}  // namespace
}  // namespace pw
