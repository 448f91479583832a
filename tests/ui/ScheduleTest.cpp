// The nightly run in the window: the Schedule dialog over a stand-in
// scheduler and a real settings file, and the main window's line about
// failed and missed nights, read from a journal the test writes.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <atomic>
#include <chrono>
#include <thread>

#include "archiver/Journal.h"
#include "model/HoardkeeperClasses.h"
#include "platform/Errors.h"
#include "platform/Streams.h"
#include "platform/fakes/Fakes.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/FakeDialogs.h"
#include "tests/ui/Views.h"
#include "ui/RunJournal.h"
#include "ui/UiText.h"
#include "ui/eduSchedule.h"
#include "ui/fmuHoardkeeper.h"
#include "ui/fmuRunHistory.h"

namespace pw {
namespace {

TDateTime At(int day, int hour, int minute = 0) {
  TDateTime t;
  t.Year = 2026, t.Month = 12, t.Day = day, t.Hour = hour, t.Minute = minute;
  return t;
}

// A record of directory started at hh:mm on a day of December 2026.
TJournalRecord Record(const std::string& directory, int day, int hour, int status) {
  TJournalRecord r;
  r.directory = directory;
  r.position = 1;
  r.archive = "C:\\MyArchives\\a.7z";
  char at[40];
  std::snprintf(at, sizeof at, "2026-12-%02dT%02d:30:00+01:00", day, hour);
  r.started = at;
  std::snprintf(at, sizeof at, "2026-12-%02dT%02d:31:00+01:00", day, hour);
  r.ended = at;
  r.status = status;
  if (status == 0) r.bytes = 1000;
  return r;
}

class NightlyRunTest : public ::testing::Test {
 protected:
  NightlyRunTest()
      : folder("pw-ui-schedule"),
        clock(At(9, 8)),
        regional(fakes::UsEnglish()),
        a(dialogs),
        b(scheduler),
        c(clock),
        d(regional),
        e(shell) {
    settings = (folder / "Packetwright.dat").string();
    journal = JournalFileName(settings);
  }

  // Two marked directories, and a schedule when one is given.
  void WriteSettings(TSchedule schedule = {}) {
    TbkManager m;
    m.SetArchiverExeFileName("C:\\Tools\\7z.exe");
    m.SetArchiverParams("a -r");
    m.Directories()->Add()->SetPath("D:\\Work");
    m.Directories()->Add()->SetPath("E:\\Notes");
    m.SetSchedule(schedule);
    m.SaveToFile(settings, true);
  }

  std::unique_ptr<TfmHoardkeeper> Start() {
    auto w = std::make_unique<TfmHoardkeeper>(settings);
    w->AfterConstruction();
    return w;
  }

  // The dialog over the window's document, saving as the window's Save does.
  std::unique_ptr<TedSchedule> Open(TfmHoardkeeper& w) {
    return std::make_unique<TedSchedule>(w.Manager(), settings, [&w] { w.actSaveExecute(); });
  }

  TSchedule Saved() const {
    TbkManager m;
    m.LoadFromFile(settings);
    return m.Schedule();
  }

  static bool LineShown(TfmHoardkeeper& w) { return w.paNights->isVisibleTo(&w); }

  std::vector<QString> Errors() const {
    std::vector<QString> texts;
    for (const auto& s : dialogs.shown) {
      if (s.kind == "error") texts.push_back(s.text);
    }
    return texts;
  }

  test::TTempFolder folder;
  test::FakeDialogs dialogs;
  fakes::FakeScheduler scheduler;
  fakes::FakeClock clock;
  fakes::FixedRegionalSettings regional;
  fakes::FakeShell shell;
  ScopedOverride<IDialogService> a;
  ScopedOverride<IScheduler> b;
  ScopedOverride<IClock> c;
  ScopedOverride<IRegionalSettings> d;
  ScopedOverride<IShell> e;
  std::string settings, journal;
};

// ---- The Schedule dialog ------------------------------------------------------------

TEST_F(NightlyRunTest, SetInstallsTheRunAndSavesItAndRemoveTakesItAway) {
  WriteSettings();
  auto w = Start();
  auto dialog = Open(*w);
  EXPECT_EQ(dialog->edTime->time(), QTime(2, 0)) << "nothing scheduled offers 02:00";
  for (QCheckBox* day : dialog->cbDays) EXPECT_TRUE(day->isChecked());
  EXPECT_FALSE(dialog->buRemove->isEnabled());
  EXPECT_TRUE(dialog->meFacts->toPlainText().contains("Schedule:       none"))
      << dialog->meFacts->toPlainText().toStdString();

  dialog->edTime->setTime(QTime(23, 15));
  dialog->cbDays[5]->setChecked(false);
  dialog->cbDays[6]->setChecked(false);
  dialog->buSet->click();
  EXPECT_TRUE(dialogs.shown.empty()) << "a saved document is saved without a question";
  ASSERT_EQ(scheduler.installed.size(), 1u);
  const TScheduledCommand& installed = scheduler.installed.begin()->second;
  EXPECT_EQ(installed.name, ScheduleEntryName(settings));
  EXPECT_EQ(installed.schedule.minuteOfDay, 23 * 60 + 15);
  EXPECT_EQ(installed.schedule.days, 0x1f);
  const TSchedule weekdays{23 * 60 + 15, 0x1f};
  EXPECT_EQ(w->Manager()->Schedule(), weekdays);
  EXPECT_EQ(Saved(), weekdays) << "the scheduled run reads the file";
  EXPECT_FALSE(w->Manager()->GetModified());
  const QString facts = dialog->meFacts->toPlainText();
  EXPECT_TRUE(facts.contains("on mon,tue,wed,thu,fri at 23:15")) << facts.toStdString();
  EXPECT_TRUE(facts.contains(ToQt(scheduler.entry.where))) << facts.toStdString();
  EXPECT_TRUE(facts.contains("Next run:       Wed 2026-12-09 23:15")) << facts.toStdString();
  EXPECT_TRUE(dialog->buRemove->isEnabled());

  // Opened again, the dialog shows what is set.
  auto again = Open(*w);
  EXPECT_EQ(again->edTime->time(), QTime(23, 15));
  EXPECT_FALSE(again->cbDays[6]->isChecked());
  EXPECT_TRUE(again->cbDays[0]->isChecked());

  again->buRemove->click();
  EXPECT_TRUE(scheduler.installed.empty());
  EXPECT_FALSE(w->Manager()->Schedule().Set());
  EXPECT_FALSE(Saved().Set());
  EXPECT_FALSE(again->buRemove->isEnabled());
  EXPECT_TRUE(again->meFacts->toPlainText().contains("Kept by:        no scheduler"));
  EXPECT_TRUE(Errors().empty());
}

TEST_F(NightlyRunTest, OtherUnsavedChangesAreSavedOnlyWhenTheUserAgrees) {
  WriteSettings();
  auto w = Start();
  w->Manager()->Directories()->Add()->SetPath("F:\\Photos");
  auto dialog = Open(*w);

  dialogs.confirmAnswers = {TAnswer::No};
  dialog->buSet->click();
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].kind, "confirm");
  EXPECT_TRUE(dialogs.shown[0].text.contains(ToQt(settings)));
  EXPECT_EQ(dialogs.shown[0].preferred, TAnswer::No);
  EXPECT_TRUE(scheduler.installed.empty()) << "No sets nothing";
  EXPECT_FALSE(w->Manager()->Schedule().Set());
  EXPECT_TRUE(w->Manager()->GetModified());

  dialogs.confirmAnswers = {TAnswer::Yes};
  dialog->buSet->click();
  EXPECT_EQ(scheduler.installed.size(), 1u);
  EXPECT_FALSE(w->Manager()->GetModified());
  TbkManager saved;
  saved.LoadFromFile(settings);
  EXPECT_EQ(saved.Directories()->Count(), 3);
  EXPECT_EQ(saved.Schedule(), w->Manager()->Schedule());
  EXPECT_TRUE(saved.Schedule().Set());
}

TEST_F(NightlyRunTest, ARefusingSchedulerOrNoDayChangesNothing) {
  const TSchedule early{60, kEveryDay};
  WriteSettings(early);
  scheduler.installed[ScheduleEntryName(settings)] = {};
  auto w = Start();
  auto dialog = Open(*w);
  const QString factsBefore = dialog->meFacts->toPlainText();

  scheduler.refusal = "crontab refused the new crontab";
  dialog->edTime->setTime(QTime(4, 0));
  dialog->buSet->click();
  ASSERT_EQ(Errors().size(), 1u);
  EXPECT_TRUE(Errors()[0].startsWith("crontab refused the new crontab"))
      << Errors()[0].toStdString();
  EXPECT_EQ(w->Manager()->Schedule(), early);
  EXPECT_FALSE(w->Manager()->GetModified());
  EXPECT_EQ(Saved(), early);
  EXPECT_EQ(dialog->meFacts->toPlainText(), factsBefore);

  scheduler.refusal.clear();
  for (QCheckBox* day : dialog->cbDays) day->setChecked(false);
  dialog->buSet->click();
  ASSERT_EQ(Errors().size(), 2u);
  EXPECT_EQ(Errors()[1], "Tick at least one day for the nightly run");
  EXPECT_EQ(scheduler.installed.begin()->second.schedule.minuteOfDay, 0) << "not installed again";
  EXPECT_EQ(w->Manager()->Schedule(), early);
}

// A save that fails would leave a run in the scheduler that the settings
// file knows nothing of: the scheduler is put back as the document was.
TEST_F(NightlyRunTest, AFailedSaveTakesTheRunBackOut) {
  WriteSettings();
  auto w = Start();
  TedSchedule dialog(w->Manager(), settings, [] { throw EWriteError("Stream write error"); });
  dialog.buSet->click();
  ASSERT_EQ(Errors().size(), 1u);
  EXPECT_TRUE(Errors()[0].startsWith("Stream write error"));
  EXPECT_TRUE(scheduler.installed.empty());
  EXPECT_FALSE(w->Manager()->Schedule().Set());
  EXPECT_FALSE(dialog.buRemove->isEnabled());
}

TEST_F(NightlyRunTest, ScheduleOpensFromTheToolsMenuWithItsHelp) {
  WriteSettings();
  auto w = Start();
  QMenu* tools = w->menuBar()->findChild<QMenu*>("Tools1");
  ASSERT_NE(tools, nullptr);
  ASSERT_FALSE(tools->actions().isEmpty());
  EXPECT_EQ(tools->actions().last(), w->actSchedule);

  bool seen = false;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<TedSchedule*>(QApplication::activeModalWidget());
    if (!dialog) return;  // the test fails below; nothing is left open
    seen = true;
    dialog->buSet->click();
    QTest::keyClick(dialog, Qt::Key_F1);
    dialog->buCancel->click();
  });
  w->actSchedule->trigger();
  ASSERT_TRUE(seen) << "the Schedule dialog was not opened";
  EXPECT_TRUE(Saved().Set()) << "saved the way Save does";
  ASSERT_EQ(shell.calls.size(), 1u);
  EXPECT_TRUE(QString::fromStdString(shell.calls[0].file).endsWith("/Packetwright.html#context-17"))
      << shell.calls[0].file;
  EXPECT_FALSE(w->actSave->isEnabled());
}

// ---- The line about the last nights -------------------------------------------------

TEST_F(NightlyRunTest, AFailedNightShowsTheLineUntilSeenAndTheNextOneAgain) {
  WriteSettings({2 * 60 + 30, kEveryDay});
  AppendJournalRecord(journal, Record("D:\\Work", 8, 2, 0));
  AppendJournalRecord(journal, Record("D:\\Work", 9, 2, 0));
  AppendJournalRecord(journal, Record("E:\\Notes", 9, 2, 2));
  {
    auto w = Start();
    ASSERT_TRUE(LineShown(*w));
    EXPECT_EQ(w->buNights->text(), "Last night: 1 of 2 directories failed");
    w->buNights->click();
    TfmRunHistory* history = w->RunHistoryWindow();
    ASSERT_NE(history, nullptr);
    EXPECT_TRUE(history->isVisible());
    EXPECT_TRUE(history->cbFailedOnly->isChecked());
    ASSERT_EQ(test::Rows(history->tvRuns), 1);
    EXPECT_EQ(test::Cell(history->tvRuns, 0, TRunHistoryModel::cDirectory), "E:\\Notes");
    EXPECT_FALSE(LineShown(*w));
  }
  {
    auto w = Start();
    EXPECT_FALSE(LineShown(*w)) << "seen for this night";
  }
  // The next night fails again.
  clock.Set(At(10, 8));
  AppendJournalRecord(journal, Record("D:\\Work", 10, 2, 0));
  AppendJournalRecord(journal, Record("E:\\Notes", 10, 2, 2));
  auto w = Start();
  EXPECT_TRUE(LineShown(*w));
  EXPECT_EQ(w->buNights->text(), "Last night: 1 of 2 directories failed");
}

TEST_F(NightlyRunTest, ACleanNightShowsNoLineAndMissedNightsOpenTheWholeHistory) {
  WriteSettings({2 * 60 + 30, kEveryDay});
  AppendJournalRecord(journal, Record("D:\\Work", 9, 2, 0));
  AppendJournalRecord(journal, Record("E:\\Notes", 9, 2, 0));
  EXPECT_FALSE(LineShown(*Start()));

  // The computer was off for the next two nights.
  clock.Set(At(11, 8));
  auto w = Start();
  ASSERT_TRUE(LineShown(*w));
  EXPECT_EQ(w->buNights->text(), "2 scheduled nights were missed");
  w->buNights->click();
  ASSERT_NE(w->RunHistoryWindow(), nullptr);
  EXPECT_FALSE(w->RunHistoryWindow()->cbFailedOnly->isChecked());
  EXPECT_EQ(test::Rows(w->RunHistoryWindow()->tvRuns), 2);
  EXPECT_FALSE(LineShown(*w));
  EXPECT_FALSE(SeenNights(settings).empty());
}

#ifndef _WIN32
// A FIFO where the journal belongs: reading it would wait for a writer, and
// the window would never show.
TEST_F(NightlyRunTest, TheWindowStartsWhenTheJournalIsAPipe) {
  WriteSettings({2 * 60 + 30, kEveryDay});
  ASSERT_EQ(::mkfifo(journal.c_str(), 0600), 0);
  // After ten seconds a writer lets each reader that waits go on. A writer
  // opened without waiting finds the pipe only while a reader holds it open,
  // so its success tells that the window waited, however loaded the machine.
  std::atomic<bool> done{false}, waited{false};
  std::thread watchdog([&] {
    for (int i = 0; !done; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (i < 100) continue;
      const int writer = ::open(journal.c_str(), O_WRONLY | O_NONBLOCK);
      if (writer >= 0) {
        waited = true;
        ::close(writer);
      }
    }
  });
  auto w = Start();
  done = true;
  watchdog.join();
  EXPECT_FALSE(waited) << "the window waited for the journal";
  EXPECT_TRUE(Errors().empty());
  EXPECT_EQ(test::Rows(w->ListView1), 2);
}
#endif

}  // namespace
}  // namespace pw
