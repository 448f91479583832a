// Run All and Wait with the recorder standing in for the archiver: every
// marked directory's job runs and is journalled, a missing directory and an
// archiver's failure show in the summary, Cancel ends the run, and a journal
// that cannot be written is reported once.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <map>

#include "archiver/ArchiveCommands.h"
#include "archiver/ArchiveJob.h"
#include "archiver/JobPool.h"
#include "archiver/Journal.h"
#include "archiver/NightPlan.h"
#include "model/HoardkeeperClasses.h"
#include "platform/fakes/FakeProcesses.h"
#include "platform/fakes/Fakes.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/FakeDialogs.h"
#include "tests/ui/Views.h"
#include "ui/ListModels.h"
#include "ui/fmuBase.h"
#include "ui/fmuHoardkeeper.h"
#include "ui/fmuRunAllAndWait.h"

namespace pw {
namespace {

namespace fs = std::filesystem;
using Tester = QAbstractItemModelTester;
constexpr auto kFatal = QAbstractItemModelTester::FailureReportingMode::Fatal;

// The system's own path style: the jobs' directories are absolute in it.
#ifdef _WIN32
constexpr TPathStyle kNativeStyle = TPathStyle::psWindows;
#else
constexpr TPathStyle kNativeStyle = TPathStyle::psPosix;
#endif

class RunAllAndWaitTest : public ::testing::Test {
 protected:
  RunAllAndWaitTest() : folder("pw-ui-runall"), native(kNativeStyle), a(native), b(dialogs) {
    settings = test::ProgramPath(folder / "Packetwright.dat");
    journal = JournalFileName(settings);
    record = folder / "recorded";
    manager.SetArchiverExeFileName(test::RecorderPath());
    manager.SetArchiverParams("a");
    manager.SetOutputPath(Path("out"));
    for (const char* name : {"one", "two", "missing", "unmarked"}) {
      if (std::string(name) != "missing") fs::create_directories(folder / name);
      TbkDirectory* d = manager.Directories()->Add();
      d->SetPath(Path(name));
      d->SetNeedArchive(std::string(name) != "unmarked");
    }
  }

  std::string Path(const char* name) const { return test::ProgramPath(folder / name); }

  // The marked directories' jobs, as the window's action makes them.
  std::vector<TArchiveJob> MarkedJobs() const {
    std::vector<TArchiveJob> marked;
    const auto jobs = MakeArchiveJobs(manager, GetArchiveDirectory(manager, false));
    for (int i = 0; i < manager.Directories()->Count(); ++i) {
      if (manager.Directories()->Items(i)->NeedArchive()) marked.push_back(jobs[i]);
    }
    return marked;
  }

  static bool WaitFor(TfmRunAllAndWait& w) {
    return QTest::qWaitFor([&] { return !w.Running(); }, 120000);
  }

  test::TTempFolder folder;
  fakes::FixedPathStyle native;
  test::FakeDialogs dialogs;
  ScopedOverride<IPathStyle> a;
  ScopedOverride<IDialogService> b;
  TbkManager manager;
  std::string settings, journal;
  fs::path record;
};

TEST_F(RunAllAndWaitTest, RunsTheMarkedDirectoriesAndJournalsEach) {
  test::TRecording recording(record, std::vector<int>{0, 2});
  TfmRunAllAndWait w(MarkedJobs(), journal, 1);
  Tester tester(w.Model(), kFatal);
  ASSERT_TRUE(WaitFor(w));
  EXPECT_EQ(w.laDone->text(), "3 of 3 done");
  EXPECT_EQ(w.buCancel->text(), "Close");
  const QStringList summary = w.Summary().split('\n');
  ASSERT_EQ(summary.size(), 3);
  EXPECT_EQ(summary[0], QString::fromStdString(Path("one")) + ": OK");
  EXPECT_EQ(summary[1], QString::fromStdString(Path("two")) + ": Exit 2");
  EXPECT_EQ(summary[2], QString::fromStdString(Path("missing")) + ": Not started");
  EXPECT_EQ(test::Cell(w.tvJobs, 1, TRunAllModel::cDetail),
            "The archiver ended with exit status 2");
  EXPECT_FALSE(test::Cell(w.tvJobs, 2, TRunAllModel::cDetail).isEmpty());
  EXPECT_TRUE(w.laRunning->text().contains("2 of 3 directories did not end OK"))
      << w.laRunning->text().toStdString();

  // One record a job, the recorder's statuses and the missing folder's error.
  const std::vector<TJournalRecord> records = ReadJournal(journal);
  ASSERT_EQ(records.size(), 3u);
  std::map<std::string, TJournalRecord> byDirectory;
  for (const TJournalRecord& r : records) byDirectory[r.directory] = r;
  EXPECT_EQ(byDirectory[Path("one")].status, 0);
  EXPECT_FALSE(byDirectory[Path("one")].ended.empty());
  EXPECT_EQ(byDirectory[Path("two")].status, 2);
  EXPECT_EQ(byDirectory[Path("missing")].status, std::nullopt);
  EXPECT_TRUE(byDirectory[Path("missing")].error.has_value());
  EXPECT_EQ(byDirectory.count(Path("unmarked")), 0u);
  // The recorder ran in each directory that exists.
  const std::vector<std::string> lines = test::RecordedLines(record);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), Path("one")), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), Path("two")), 1);
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(RunAllAndWaitTest, CancelEndsTheRunningArchiverAndStartsNoMore) {
  const fs::path started = folder / "started";
  // The recorder waits for a release that never comes, up to a minute.
  test::TRecording recording(record, 0, 0, folder / "never", started);
  TfmRunAllAndWait w(MarkedJobs(), journal, 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !test::RecordedLines(started).empty(); }, 60000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.laRunning->text().contains("Running: "); }, 60000));
  EXPECT_TRUE(w.laRunning->text().contains(QString::fromStdString(Path("one"))));
  w.buCancel->click();
  ASSERT_TRUE(WaitFor(w));
  EXPECT_TRUE(w.laRunning->text().startsWith("Cancelled")) << w.laRunning->text().toStdString();
  EXPECT_EQ(test::Cell(w.tvJobs, 0, TRunAllModel::cResult), "Cancelled");
  EXPECT_EQ(test::Cell(w.tvJobs, 1, TRunAllModel::cResult), "Not started");
  EXPECT_EQ(test::Cell(w.tvJobs, 2, TRunAllModel::cResult), "Not started");
  EXPECT_EQ(test::Cell(w.tvJobs, 1, TRunAllModel::cDetail), kNotStartedCancelled);
  EXPECT_EQ(test::RecordedLines(started).size(), 1u) << "one archiver started, no other";
  EXPECT_EQ(ReadJournal(journal).size(), 3u) << "jobs that never started are journalled too";
}

TEST_F(RunAllAndWaitTest, AJournalThatCannotBeWrittenIsReportedOnceAndTheRunGoesOn) {
  test::TRecording recording(record, 0);
  const std::string unwritable =
      test::ProgramPath(folder / "no such folder" / "Packetwright.journal");
  TfmRunAllAndWait w(MarkedJobs(), unwritable, 2);
  ASSERT_TRUE(WaitFor(w));
  // The report comes as an event of the window.
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.shown.empty(); }, 10000));
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].kind, "error");
  EXPECT_TRUE(dialogs.shown[0].text.contains("not written into the journal"));
  EXPECT_EQ(w.Done(), 3);
  EXPECT_EQ(w.Summary().count(": OK"), 2);
}

TEST_F(RunAllAndWaitTest, TheMainWindowRunsTheMarkedDirectoriesAndShowsTheirLastRun) {
  manager.SaveToFile(settings, true);
  test::TRecording recording(record, 0);
  TfmHoardkeeper main(settings);
  main.AfterConstruction();
  EXPECT_EQ(main.actRunAllAndWait->shortcut(), QKeySequence(Qt::SHIFT | Qt::CTRL | Qt::Key_F9));
  main.actRunAllAndWait->trigger();
  auto* w = main.findChild<TfmRunAllAndWait*>();
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(w->isVisible());
  EXPECT_FALSE(main.actRunAllAndWait->isEnabled()) << "one run at a time";
  ASSERT_TRUE(WaitFor(*w));
  EXPECT_TRUE(main.actRunAllAndWait->isEnabled());
  EXPECT_EQ(ReadJournal(journal).size(), 3u);
  const auto lastRun = [&](int row) {
    return test::Cell(main.ListView1, row, TDirectoriesModel::kLastRunColumn);
  };
  ASSERT_TRUE(QTest::qWaitFor([&] { return lastRun(0).endsWith("  OK"); }, 10000))
      << lastRun(0).toStdString();
  EXPECT_TRUE(lastRun(2).endsWith("  Not started")) << lastRun(2).toStdString();
  EXPECT_EQ(lastRun(3), "");
}

TEST_F(RunAllAndWaitTest, ClosingTheMainWindowDuringARunAsksFirst) {
  manager.SaveToFile(settings, true);
  const fs::path started = folder / "started";
  const fs::path release = folder / "release";
  test::TRecording recording(record, 0, 0, release, started);
  TfmHoardkeeper main(settings);
  main.AfterConstruction();
  main.actRunAllAndWait->trigger();
  auto* w = main.findChild<TfmRunAllAndWait*>();
  ASSERT_NE(w, nullptr);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !test::RecordedLines(started).empty(); }, 60000));

  // No: the window and the run stay.
  dialogs.confirmAnswers = {TAnswer::No};
  QCloseEvent kept;
  QCoreApplication::sendEvent(&main, &kept);
  EXPECT_FALSE(kept.isAccepted());
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].preferred, TAnswer::No);
  EXPECT_TRUE(w->Running());
  // Closing the run's own window only cancels it.
  w->close();
  ASSERT_TRUE(WaitFor(*w));
  EXPECT_TRUE(w->isVisible()) << "kept for its summary";
  EXPECT_EQ(test::Cell(w->tvJobs, 0, TRunAllModel::cResult), "Cancelled");
  // The Last Run column says it in the same word.
  const auto lastRun = [&](int row) {
    return test::Cell(main.ListView1, row, TDirectoriesModel::kLastRunColumn);
  };
  EXPECT_TRUE(QTest::qWaitFor([&] { return lastRun(0).endsWith("  Cancelled"); }, 10000))
      << lastRun(0).toStdString();
  test::WriteFile(release, "");
  QCloseEvent closed;
  QCoreApplication::sendEvent(&main, &closed);
  EXPECT_TRUE(closed.isAccepted()) << "nothing at work, nothing asked";
  EXPECT_EQ(dialogs.shown.size(), 1u);
}

// The run's window has the main window for its parent: left open, it would
// keep the program alive with no main window to come back to.
TEST_F(RunAllAndWaitTest, ClosingTheMainWindowDuringARunEndsItsArchiversAndTheProgram) {
  manager.SaveToFile(settings, true);
  const fs::path started = folder / "started";
  test::TRecording recording(record, 0, 0, folder / "never", started);
  // As the program keeps it: closing hides the window, which lives on.
  TfmHoardkeeper main(settings);
  main.AfterConstruction();
  main.show();
  main.actRunAllAndWait->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !test::RecordedLines(started).empty(); }, 60000));

  dialogs.confirmAnswers = {TAnswer::Yes};
  QTimer::singleShot(0, &main, [&main] { main.close(); });
  // Only a program that goes on after its windows are gone meets the guard.
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
  guard.start(20000);
  EXPECT_EQ(QCoreApplication::exec(), 0) << "the program did not end";
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].text,
            "Run All and Wait is still at work. End its archivers and close?");
  for (QWidget* w : QApplication::topLevelWidgets()) {
    EXPECT_FALSE(w->isVisible()) << w->metaObject()->className() << " is still shown";
  }
  EXPECT_EQ(main.findChild<TfmRunAllAndWait*>(), nullptr);
  // Each archiver at work was ended and journalled as such, with the jobs
  // that never started; one may be ended before it had said it started.
  const std::vector<TJournalRecord> records = ReadJournal(journal);
  ASSERT_EQ(records.size(), 3u);
  const auto stopped = std::count_if(records.begin(), records.end(), [](const TJournalRecord& r) {
    return r.error == kStoppedCancelled;
  });
  EXPECT_GE(stopped, 1);
  EXPECT_LE(test::RecordedLines(started).size(), static_cast<size_t>(stopped));
}

// Esc is Cancel while the run is at work, as closing is, and closes after.
TEST_F(RunAllAndWaitTest, TheRunOpensOverTheMainWindowWithItsHelpAndEsc) {
  fakes::FakeShell shell;
  ScopedOverride<IShell> useShell(shell);
  manager.SaveToFile(settings, true);
  const fs::path started = folder / "started";
  test::TRecording recording(record, 0, 0, folder / "never", started);
  TfmHoardkeeper main(settings);
  main.AfterConstruction();
  main.show();
  CentreOnScreen(&main);
  main.actRunAllAndWait->trigger();
  QPointer<TfmRunAllAndWait> w = main.findChild<TfmRunAllAndWait*>();
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(test::OpensOverItsOwner(w, &main));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !test::RecordedLines(started).empty(); }, 60000));
  ASSERT_TRUE(test::PressInWindow(w, Qt::Key_F1));
  ASSERT_EQ(shell.calls.size(), 1u);
  EXPECT_TRUE(QString::fromStdString(shell.calls[0].file).endsWith("#context-20"))
      << shell.calls[0].file;
  ASSERT_TRUE(test::PressInWindow(w, Qt::Key_Escape));
  ASSERT_TRUE(WaitFor(*w));
  EXPECT_TRUE(w->isVisible()) << "kept for its summary";
  EXPECT_TRUE(w->laRunning->text().startsWith("Cancelled")) << w->laRunning->text().toStdString();
  ASSERT_TRUE(test::PressInWindow(w, Qt::Key_Escape));
  EXPECT_TRUE(QTest::qWaitFor([&] { return w.isNull(); }, 10000)) << "closed and gone";
}

TEST_F(RunAllAndWaitTest, NothingMarkedIsSaid) {
  for (int i = 0; i < manager.Directories()->Count(); ++i) {
    manager.Directories()->Items(i)->SetNeedArchive(false);
  }
  manager.SaveToFile(settings, true);
  TfmHoardkeeper main(settings);
  main.AfterConstruction();
  main.actRunAllAndWait->trigger();
  EXPECT_EQ(main.findChild<TfmRunAllAndWait*>(), nullptr);
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].kind, "error");
}

}  // namespace
}  // namespace pw
