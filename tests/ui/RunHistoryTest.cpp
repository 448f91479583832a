// The journal in the windows: the main list's Last Run column and the run
// history window, both read from a journal the test writes, and both read
// again when the journal changes under them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractItemModelTester>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimeZone>
#include <QTreeView>
#include <filesystem>

#include "archiver/ArchiveCommands.h"
#include "archiver/Journal.h"
#include "model/HoardkeeperClasses.h"
#include "platform/fakes/Fakes.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/FakeDialogs.h"
#include "tests/ui/Views.h"
#include "ui/ListModels.h"
#include "ui/RunJournal.h"
#include "ui/UiText.h"
#include "ui/fmuBase.h"
#include "ui/fmuHoardkeeper.h"
#include "ui/fmuRunHistory.h"

namespace pw {
namespace {

namespace fs = std::filesystem;
using Tester = QAbstractItemModelTester;
constexpr auto kFatal = QAbstractItemModelTester::FailureReportingMode::Fatal;
constexpr int kLastRun = TDirectoriesModel::kLastRunColumn;

// A record of directory started at hh:mm UTC on 8 December 2026.
TJournalRecord Record(const std::string& directory, int hour, int minute, std::optional<int> status,
                      std::optional<std::string> error = {},
                      const std::string& archive = "C:\\MyArchives\\a.zip") {
  TJournalRecord r;
  r.directory = directory;
  r.position = 1;
  r.archive = archive;
  char at[32];
  std::snprintf(at, sizeof at, "2026-12-08T%02d:%02d:00+00:00", hour, minute);
  r.started = at;
  std::snprintf(at, sizeof at, "2026-12-08T%02d:%02d:30+00:00", hour, minute);
  r.ended = status ? at : "";
  r.status = status;
  r.error = std::move(error);
  if (status == 0 && !r.error) r.bytes = 1000 * (hour + 1);
  return r;
}

// How the user's locale writes that moment in the local time zone, to the minute.
QString Shown(int hour, int minute) {
  const QDateTime local =
      QDateTime(QDate(2026, 12, 8), QTime(hour, minute), QTimeZone::utc()).toLocalTime();
  const QLocale locale;
  const QString shown = JournalTimeText(
      local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate).toStdString());
  EXPECT_TRUE(shown.contains(locale.toString(local.date(), QLocale::ShortFormat)))
      << shown.toStdString();
  EXPECT_FALSE(shown.contains(":00:")) << "no seconds: " << shown.toStdString();
  return shown;
}

bool WaitUntil(const std::function<bool()>& done) {
  return QTest::qWaitFor(done, 10000);
}

class RunJournalTest : public ::testing::Test {
 protected:
  RunJournalTest()
      : folder("pw-ui-journal"), regional(fakes::UsEnglish()), a(dialogs), b(clock), c(regional) {
    settings = (folder / "Packetwright.dat").string();
    journal = JournalFileName(settings);
  }

  void WriteSettings(std::initializer_list<const char*> paths) {
    TbkManager m;
    m.SetArchiverExeFileName("C:\\Tools\\7z.exe");
    m.SetArchiverParams("a -r");
    for (const char* path : paths) m.Directories()->Add()->SetPath(path);
    m.SaveToFile(settings, true);
  }

  std::unique_ptr<TfmHoardkeeper> Start() {
    auto w = std::make_unique<TfmHoardkeeper>(settings);
    w->AfterConstruction();
    return w;
  }

  void Append(const TJournalRecord& r) { AppendJournalRecord(journal, r); }

  static QString LastRun(TfmHoardkeeper& w, int row, int role = Qt::DisplayRole) {
    return w.ListView1->model()->index(row, kLastRun).data(role).toString();
  }
  static bool ShownAsFailed(TfmHoardkeeper& w, int row) {
    const QModelIndex cell = w.ListView1->model()->index(row, kLastRun);
    return cell.data(Qt::ForegroundRole).isValid() &&
           !cell.data(Qt::DecorationRole).value<QIcon>().isNull();
  }

  test::TTempFolder folder;
  test::FakeDialogs dialogs;
  fakes::FakeClock clock;
  fakes::FixedRegionalSettings regional;
  ScopedOverride<IDialogService> a;
  ScopedOverride<IClock> b;
  ScopedOverride<IRegionalSettings> c;
  std::string settings, journal;
};

TEST_F(RunJournalTest, LastRunShowsEachDirectorysLatestRecord) {
  WriteSettings({"D:\\Work", "E:\\Notes", "F:\\Never", "G:\\Seven", "H:\\Late"});
  Append(Record("D:\\Work", 1, 0, 2));
  Append(Record("E:\\Notes", 1, 5, {}, "Cannot enter E:\\Notes"));
  Append(Record("D:\\Work", 2, 30, 0));
  Append(Record("G:\\Seven", 3, 0, 2, {}, "C:\\MyArchives\\Seven.7z"));
  Append(Record("H:\\Late", 3, 10, 0, "Cannot put the archive in place"));
  Append(Record("Q:\\Gone", 4, 0, 0));  // no longer in the list
  auto w = Start();
  ASSERT_EQ(w->ListView1->model()->columnCount(), 4);
  EXPECT_EQ(w->ListView1->model()->headerData(kLastRun, Qt::Horizontal).toString(), "Last Run");

  // The latest record wins over an earlier failure.
  EXPECT_EQ(LastRun(*w, 0), Shown(2, 30) + "  OK");
  EXPECT_EQ(LastRun(*w, 0, Qt::ToolTipRole), "C:\\MyArchives\\a.zip");
  EXPECT_FALSE(ShownAsFailed(*w, 0));

  EXPECT_EQ(LastRun(*w, 1), Shown(1, 5) + "  Not started");
  EXPECT_EQ(LastRun(*w, 1, Qt::ToolTipRole), "Cannot enter E:\\Notes");
  EXPECT_TRUE(ShownAsFailed(*w, 1));

  EXPECT_EQ(LastRun(*w, 2), "") << "never run";
  EXPECT_FALSE(ShownAsFailed(*w, 2));

  // The archive's kind tells what its archiver's status means.
  EXPECT_EQ(LastRun(*w, 3), Shown(3, 0) + "  Exit 2");
  EXPECT_EQ(LastRun(*w, 3, Qt::ToolTipRole), "Fatal error");
  EXPECT_TRUE(ShownAsFailed(*w, 3));

  EXPECT_EQ(LastRun(*w, 4), Shown(3, 10) + "  Failed");
  EXPECT_EQ(LastRun(*w, 4, Qt::ToolTipRole), "Cannot put the archive in place");
  EXPECT_TRUE(ShownAsFailed(*w, 4));
}

TEST_F(RunJournalTest, ResultsReadAsTheUserExpects) {
  const auto text = [](const TJournalRecord& r) {
    return (RunResultText(r) + "|" + RunResultExplanation(r)).toStdString();
  };
  EXPECT_EQ(text(Record("D:\\A", 1, 0, 0)), "OK|");
  EXPECT_EQ(text(Record("D:\\A", 1, 0, 7)), "Exit 7|The archiver ended with exit status 7");
  EXPECT_EQ(text(Record("D:\\A", 1, 0, 10, {}, "/srv/a.RAR")), "Exit 10|No file matched the masks");
  EXPECT_EQ(text(Record("D:\\A", 1, 0, {})),
            "Started|Started without waiting: the result is not known");
  EXPECT_FALSE(RunFailed(Record("D:\\A", 1, 0, {})));
  EXPECT_TRUE(RunFailed(Record("D:\\A", 1, 0, 1, {}, "x.7z")));
  EXPECT_FALSE(JournalTime("at half past two").isValid());
  for (const char* wrong :
       {"2026-12-08T02:30:00", "2026-13-08T02:30:00+01:00", "2026-02-30T02:30:00+01:00",
        "2026-12-08T24:30:00+01:00", "2026-12-08T02:30:00+0100", "2026-12-08 02:30:00+01:00"}) {
    EXPECT_EQ(JournalSeconds(wrong), std::nullopt) << wrong;
  }
  // 1 January 2027 00:30 at two hours west of Greenwich is 02:30 UTC.
  EXPECT_EQ(JournalSeconds("2027-01-01T00:30:00-02:00"),
            QDateTime(QDate(2027, 1, 1), QTime(2, 30), QTimeZone::utc()).toSecsSinceEpoch());
  EXPECT_EQ(JournalSeconds("2026-12-08T02:30:00Z"),
            QDateTime(QDate(2026, 12, 8), QTime(2, 30), QTimeZone::utc()).toSecsSinceEpoch());
  EXPECT_EQ(JournalTimeText("yesterday"), "yesterday");
  // The offset is honoured: 02:30 an hour east of Greenwich is 01:30 UTC.
  EXPECT_EQ(JournalTime("2026-12-08T02:30:00+01:00").toUTC(),
            QDateTime(QDate(2026, 12, 8), QTime(1, 30), QTimeZone::utc()));
}

TEST_F(RunJournalTest, LastRunFollowsTheJournalWhileTheWindowIsOpen) {
  WriteSettings({"D:\\Work", "E:\\Notes"});
  auto w = Start();  // no journal yet: it is created by the first run
  EXPECT_EQ(LastRun(*w, 0), "");
  Append(Record("D:\\Work", 1, 0, 0));
  ASSERT_TRUE(WaitUntil([&] { return LastRun(*w, 0) == Shown(1, 0) + "  OK"; }))
      << LastRun(*w, 0).toStdString();

  Append(Record("D:\\Work", 2, 0, 2));
  ASSERT_TRUE(WaitUntil([&] { return LastRun(*w, 0) == Shown(2, 0) + "  Exit 2"; }))
      << LastRun(*w, 0).toStdString();
  EXPECT_TRUE(ShownAsFailed(*w, 0));

  // A journal replaced by another file (a restored backup) is read afresh.
  const std::string other = (folder / "restored.journal").string();
  AppendJournalRecord(other, Record("E:\\Notes", 5, 0, 0));
  fs::rename(other, journal);
  ASSERT_TRUE(WaitUntil([&] { return LastRun(*w, 1) == Shown(5, 0) + "  OK"; }))
      << LastRun(*w, 1).toStdString();
  EXPECT_EQ(LastRun(*w, 0), "");
  // Watching goes on on the new file.
  Append(Record("D:\\Work", 6, 0, 0));
  EXPECT_TRUE(WaitUntil([&] { return LastRun(*w, 0) == Shown(6, 0) + "  OK"; }))
      << LastRun(*w, 0).toStdString();
}

// The user's settings folder is made by the first save, after the window
// began watching for the journal that goes into it.
TEST_F(RunJournalTest, LastRunFollowsAJournalWhoseFolderCameAfterTheStart) {
  settings = (folder / "config" / "Packetwright" / "Packetwright.dat").string();
  journal = JournalFileName(settings);
  TfmHoardkeeper w(settings);
  w.executeArchiverFound = [](TArchiverKind&) { return false; };
  w.AfterConstruction();
  w.Manager()->Directories()->Add()->SetPath("D:\\Work");
  w.actSaveExecute();
  ASSERT_TRUE(fs::exists(settings));
  EXPECT_EQ(LastRun(w, 0), "");
  Append(Record("D:\\Work", 1, 0, 0));
  EXPECT_TRUE(WaitUntil([&] { return LastRun(w, 0) == Shown(1, 0) + "  OK"; }))
      << LastRun(w, 0).toStdString();

#ifndef _WIN32
  // A folder that goes and comes again is found again (Windows lets no
  // watched folder go).
  fs::remove_all(folder / "config");
  ASSERT_TRUE(WaitUntil([&] { return LastRun(w, 0).isEmpty(); }));
  fs::create_directories(folder / "config" / "Packetwright");
  Append(Record("D:\\Work", 3, 0, 0));
  EXPECT_TRUE(WaitUntil([&] { return LastRun(w, 0) == Shown(3, 0) + "  OK"; }))
      << LastRun(w, 0).toStdString();
#endif
}

// Long names and a Last Run on every row on the screen, in the window's
// first size: the paths keep their share, their start and their end.
TEST_F(RunJournalTest, TheDirectoryColumnKeepsItsShareBesideLongNamesAndLastRuns) {
  TbkManager m;
  m.SetArchiverExeFileName("C:\\Tools\\7z.exe");
  m.SetArchiverParams("a -r");
  for (int i = 0; i < 2000; ++i) {
    const std::string path = "D:\\Projects\\Customers\\Northwind Trading\\Invoices\\" +
                             std::to_string(2000 + i) + "\\Scanned";
    TbkDirectory* d = m.Directories()->Add();
    d->SetPath(path);
    d->SetArchiveFileName(PathToFileName(path));
    d->SetRuleName("Documents and spreadsheets");
    if (i < 40) Append(Record(path, 1, 0, i % 3 == 0 ? 2 : 0));
  }
  m.SaveToFile(settings, true);
  auto w = Start();
  w->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
  QHeaderView* header = w->ListView1->header();
  const int width = w->ListView1->viewport()->width();
  int all = 0;
  for (int column = 0; column < header->count(); ++column) all += header->sectionSize(column);
  EXPECT_LE(all, width) << "no column beyond the list's right edge";
  EXPECT_GE(header->sectionSize(1), width / 3) << "the Directory column";
  EXPECT_GT(header->sectionSize(kLastRun), 0);
  EXPECT_GT(header->sectionSize(0), 0);
  EXPECT_EQ(w->ListView1->textElideMode(), Qt::ElideMiddle);
  // What does not fit is in the cell's tip.
  const QModelIndex path = w->ListView1->model()->index(0, 1);
  EXPECT_EQ(path.data(Qt::ToolTipRole).toString(), path.data().toString());

  // A wider window gives the paths the room, not the other columns.
  const int directory = header->sectionSize(1), name = header->sectionSize(0);
  w->resize(w->width() + 300, w->height());
  ASSERT_TRUE(QTest::qWaitFor([&] { return header->sectionSize(1) > directory; }, 5000));
  EXPECT_GE(header->sectionSize(0), name);
}

TEST_F(RunJournalTest, HistoryListsEveryRecordNewestFirstAndFilters) {
  // Jobs that ran side by side are journalled as they end.
  Append(Record("D:\\Work", 2, 0, 0));
  Append(Record("E:\\Notes", 1, 0, 2));
  Append(Record("D:\\Work", 3, 0, {}, "Clash with E:\\Notes"));
  Append(Record("E:\\Notes", 4, 0, 0));
  TfmRunHistory h(journal);
  Tester modelTester(h.Model(), kFatal);
  Tester filterTester(h.Filter(), kFatal);
  QTreeView* view = h.tvRuns;
  ASSERT_EQ(test::Rows(view), 4);
  EXPECT_EQ(test::Captions(view),
            (QStringList{Shown(4, 0), Shown(3, 0), Shown(2, 0), Shown(1, 0)}));
  EXPECT_EQ(test::Cell(view, 0, TRunHistoryModel::cDirectory), "E:\\Notes");
  EXPECT_EQ(test::Cell(view, 1, TRunHistoryModel::cResult), "Not started");
  EXPECT_EQ(test::Cell(view, 1, TRunHistoryModel::cError), "Clash with E:\\Notes");
  EXPECT_EQ(test::Cell(view, 1, TRunHistoryModel::cEnded), "") << "never ended";
  EXPECT_EQ(test::Cell(view, 3, TRunHistoryModel::cResult), "Exit 2");
  EXPECT_EQ(view->model()->index(2, TRunHistoryModel::cSize).data(Qt::ToolTipRole).toString(),
            "3,000 bytes");
  EXPECT_EQ(h.laCount->text(), "4 runs");

  // Each directory once in the filter, after every directory.
  ASSERT_EQ(h.cbDirectory->count(), 3);
  EXPECT_EQ(h.cbDirectory->itemText(0), "All directories");
  h.cbDirectory->setCurrentIndex(h.cbDirectory->findText("D:\\Work"));
  EXPECT_EQ(test::Captions(view), (QStringList{Shown(3, 0), Shown(2, 0)}));
  EXPECT_EQ(h.laCount->text(), "2 runs");

  // Failed only, of that directory and then of all.
  h.cbFailedOnly->setChecked(true);
  EXPECT_EQ(test::Captions(view), (QStringList{Shown(3, 0)}));
  EXPECT_EQ(h.laCount->text(), "1 run");
  h.cbDirectory->setCurrentIndex(0);
  EXPECT_EQ(test::Captions(view), (QStringList{Shown(3, 0), Shown(1, 0)}));
  h.cbFailedOnly->setChecked(false);
  h.cbDirectory->setCurrentIndex(h.cbDirectory->findText("D:\\Work"));

  // Sorted by size, runs without an archive first; sorting keeps the filter.
  view->sortByColumn(TRunHistoryModel::cSize, Qt::DescendingOrder);
  EXPECT_EQ(test::Captions(view), (QStringList{Shown(2, 0), Shown(3, 0)}));
  h.cbDirectory->setCurrentIndex(0);
  view->sortByColumn(TRunHistoryModel::cSize, Qt::AscendingOrder);
  const QStringList bySize = test::Captions(view);
  ASSERT_EQ(bySize.size(), 4);
  EXPECT_EQ(bySize.mid(2), (QStringList{Shown(2, 0), Shown(4, 0)}));
}

// A prune's records are rows of their own, and the archive of the job that
// made what it deleted is greyed with the prune's time; neither counts as a
// failure, nor as the directory's last run.
TEST_F(RunJournalTest, PrunedArchivesAreGreyAndTheirPruneIsARowOfItsOwn) {
  WriteSettings({"D:\\Work"});
  const std::string older = "C:\\MyArchives\\2026-12-07\\Work.7z";
  Append(Record("D:\\Work", 1, 0, 0, {}, older));
  Append(Record("D:\\Work", 2, 0, 0, {}, older));  // made again that night: the one deleted
  Append(Record("D:\\Work", 3, 0, 0, {}, "C:\\MyArchives\\2026-12-08\\Work.7z"));
  TJournalRecord pruned = Record("D:\\Work", 4, 0, {}, {}, older);
  pruned.kind = TRecordKind::rkPruned;
  pruned.bytes = 3000;
  Append(pruned);
  TJournalRecord refused = Record("D:\\Work", 4, 1, {}, "Permission denied", "C:\\x.7z");
  refused.kind = TRecordKind::rkPruned;
  Append(refused);
  TfmRunHistory h(journal);
  QTreeView* view = h.tvRuns;
  ASSERT_EQ(test::Rows(view), 5);
  const auto cell = [&](int row, int column, int role) {
    return view->model()->index(row, column).data(role);
  };
  EXPECT_EQ(test::Cell(view, 0, TRunHistoryModel::cResult), "Not pruned");
  EXPECT_EQ(test::Cell(view, 1, TRunHistoryModel::cResult), "Pruned");
  EXPECT_FALSE(cell(1, TRunHistoryModel::cResult, Qt::DecorationRole).value<QIcon>().isNull());
  EXPECT_NE(cell(0, TRunHistoryModel::cResult, Qt::ForegroundRole),
            cell(1, TRunHistoryModel::cResult, Qt::ForegroundRole))
      << "one that could not be deleted stands out";
  // 03:00 made a new archive; 02:00 made the one deleted; 01:00's was replaced at 02:00.
  EXPECT_FALSE(cell(2, TRunHistoryModel::cArchive, Qt::ForegroundRole).isValid());
  EXPECT_TRUE(cell(3, TRunHistoryModel::cArchive, Qt::ForegroundRole).isValid());
  EXPECT_EQ(cell(3, TRunHistoryModel::cArchive, Qt::ToolTipRole).toString(),
            QString::fromStdString(older) + "\nPruned " + Shown(4, 0));
  EXPECT_FALSE(cell(4, TRunHistoryModel::cArchive, Qt::ForegroundRole).isValid());
  EXPECT_EQ(test::Cell(view, 3, TRunHistoryModel::cResult), "OK") << "the job's result stays";
  EXPECT_EQ(h.laCount->text(), "3 runs, 2 pruned");

  h.cbFailedOnly->setChecked(true);
  EXPECT_EQ(test::Rows(view), 0);
  auto w = Start();
  EXPECT_EQ(LastRun(*w, 0), Shown(3, 0) + "  OK") << "a prune is no run of the directory";
}

// A record's pop-up verifies its archive, for a job that left one that is
// still there.
TEST_F(RunJournalTest, ARecordsArchiveCanBeVerifiedWhileItIsThere) {
  const std::string kept = (folder / "kept.7z").string();
  test::WriteFile(kept, "7z");
  Append(Record("D:\\Work", 1, 0, 0, {}, kept));
  Append(Record("D:\\Work", 2, 0, 2, {}, kept));
  Append(Record("D:\\Work", 3, 0, 0, {}, (folder / "gone.7z").string()));
  TfmRunHistory h(journal);
  std::vector<std::string> verified;
  const auto verifyRow = [&](int row) {
    h.tvRuns->setCurrentIndex(h.tvRuns->model()->index(row, 0));
    h.actVerifyArchive->trigger();
  };
  h.verify = [&](const TJournalRecord& r) { verified.push_back(r.archive + " " + r.started); };
  verifyRow(0);  // its archive is gone
  verifyRow(1);  // failed
  EXPECT_TRUE(verified.empty());
  verifyRow(2);
  EXPECT_EQ(verified, std::vector<std::string>{kept + " 2026-12-08T01:00:00+00:00"});
}

TEST_F(RunJournalTest, HistoryReadsTheJournalAgainAndKeepsTheChosenDirectory) {
  TfmRunHistory h(journal);  // before the first run
  EXPECT_EQ(test::Rows(h.tvRuns), 0);
  EXPECT_EQ(h.laCount->text(), "0 runs");
  Append(Record("D:\\Work", 1, 0, 0));
  ASSERT_TRUE(WaitUntil([&] { return test::Rows(h.tvRuns) == 1; }));
  h.cbDirectory->setCurrentIndex(h.cbDirectory->findText("D:\\Work"));

  Append(Record("E:\\Notes", 2, 0, 0));
  Append(Record("D:\\Work", 3, 0, 1, {}, "x.7z"));
  ASSERT_TRUE(WaitUntil([&] { return h.Model()->rowCount() == 3; }));
  EXPECT_EQ(h.cbDirectory->currentText(), "D:\\Work");
  EXPECT_EQ(test::Captions(h.tvRuns), (QStringList{Shown(3, 0), Shown(1, 0)}));
  EXPECT_EQ(h.tvRuns->model()->index(0, TRunHistoryModel::cResult).data(Qt::ToolTipRole).toString(),
            "Warning: some files could not be read (7-Zip's own lines say which, and why)");
}

// Texts as long as the journal keeps them and a line longer than any
// record: the cells, tips and the list of directories show the texts
// shortened, the list still tells two paths apart that differ only where
// it shortened them, and the count says what was passed over.
TEST_F(RunJournalTest, HistoryShortensLongTextsAndCountsWhatItPassedOver) {
  const std::string pad(30000, 'p');
  const std::string a = "D:\\" + pad + "A" + pad + "\\end", b = "D:\\" + pad + "B" + pad + "\\end";
  // A character of two UTF-16 units where the error's cell is cut.
  const std::string error = std::string(998, 'e') + "\xF0\x9F\x98\x80" + std::string(100000, 'e');
  Append(Record(a, 1, 0, {}, error));
  test::WriteFile(journal, test::ReadFile(journal) + std::string(3 << 20, '{') + "\n");
  Append(Record(b, 2, 0, 0));
  Append(Record("E:\\Notes", 3, 0, 0));
  TfmRunHistory h(journal);
  QTreeView* view = h.tvRuns;
  ASSERT_EQ(test::Rows(view), 3);
  EXPECT_EQ(h.laCount->text(),
            "3 runs; 1 record of the journal was passed over: longer than 1 MiB");

  const QString ellipsis(QChar(0x2026));
  const QString path = test::Cell(view, 2, TRunHistoryModel::cDirectory);
  EXPECT_LE(path.size(), 1000);
  EXPECT_TRUE(path.startsWith("D:\\ppp") && path.endsWith("pp\\end") && path.contains(ellipsis))
      << "its start and its name";
  const QString tip =
      view->model()->index(2, TRunHistoryModel::cDirectory).data(Qt::ToolTipRole).toString();
  EXPECT_GT(tip.size(), path.size());
  EXPECT_LE(tip.size(), 5000);
  const QString cell = test::Cell(view, 2, TRunHistoryModel::cError);
  EXPECT_LE(cell.size(), 1000);
  ASSERT_TRUE(cell.endsWith(ellipsis));
  EXPECT_TRUE(ToQt(error).startsWith(cell.chopped(1)));
  EXPECT_FALSE(cell[cell.size() - 2].isHighSurrogate()) << "no half of a character";
  EXPECT_LE(
      view->model()->index(2, TRunHistoryModel::cResult).data(Qt::ToolTipRole).toString().size(),
      5000);

  // Two entries that read alike, each with its own runs.
  ASSERT_EQ(h.cbDirectory->count(), 4);
  EXPECT_LE(h.cbDirectory->itemText(1).size(), 120);
  EXPECT_EQ(h.cbDirectory->itemText(1), h.cbDirectory->itemText(2));
  for (const std::string& chosen : {a, b}) {
    h.cbDirectory->setCurrentIndex(h.cbDirectory->findData(ToQt(chosen)));
    ASSERT_EQ(test::Rows(view), 1);
    EXPECT_EQ(
        h.Model()->Record(h.Filter()->mapToSource(view->model()->index(0, 0)).row()).directory,
        chosen);
    EXPECT_EQ(h.laCount->text(),
              "1 run; 1 record of the journal was passed over: longer than 1 MiB");
  }
}

// An archive that could not be put in place after the archiver's 0, and an
// archiver ended by a signal, read the same in the Last Run column and in
// the run history: the one a failure, the other stopped, each with its
// error as the tip.
TEST_F(RunJournalTest, AFailureAfterStatusZeroReadsAlikeInTheColumnAndTheHistory) {
  const std::string putBack = "Cannot put C:\\out\\w.incomplete.7z in place of C:\\out\\w.7z";
  const std::string signal = "Ended by signal 15 (Terminated)";
  WriteSettings({"D:\\Work", "E:\\Notes"});
  Append(Record("D:\\Work", 1, 0, 0, putBack, "C:\\out\\w.7z"));
  Append(Record("E:\\Notes", 2, 0, 143, signal, "C:\\out\\n.7z"));
  auto w = Start();
  TfmRunHistory h(journal);
  ASSERT_EQ(test::Captions(h.tvRuns), (QStringList{Shown(2, 0), Shown(1, 0)}));
  const auto result = [&](int row, int role) {
    return h.tvRuns->model()->index(row, TRunHistoryModel::cResult).data(role).toString();
  };
  EXPECT_EQ(LastRun(*w, 0), Shown(1, 0) + "  Failed");
  EXPECT_EQ(result(1, Qt::DisplayRole), "Failed");
  EXPECT_EQ(LastRun(*w, 0, Qt::ToolTipRole), ToQt(putBack));
  EXPECT_EQ(result(1, Qt::ToolTipRole), ToQt(putBack));
  EXPECT_TRUE(ShownAsFailed(*w, 0));
  EXPECT_EQ(LastRun(*w, 1), Shown(2, 0) + "  Stopped");
  EXPECT_EQ(result(0, Qt::DisplayRole), "Stopped");
  EXPECT_EQ(result(0, Qt::ToolTipRole), ToQt(signal));
  for (const int row : {0, 1}) {
    EXPECT_TRUE(
        h.tvRuns->model()->index(row, TRunHistoryModel::cResult).data(Qt::ForegroundRole).isValid())
        << row;
  }
}

TEST_F(RunJournalTest, RunHistoryOpensOnceFromTheCommandMenu) {
  WriteSettings({"D:\\Work"});
  Append(Record("D:\\Work", 1, 0, 0));
  auto w = Start();
  EXPECT_EQ(w->actRunHistory->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_H));
  w->actRunHistory->trigger();
  TfmRunHistory* h = w->RunHistoryWindow();
  ASSERT_NE(h, nullptr);
  EXPECT_TRUE(h->isVisible());
  EXPECT_EQ(test::Rows(h->tvRuns), 1);
  w->actRunHistory->trigger();
  EXPECT_EQ(w->RunHistoryWindow(), h) << "one window, brought to the front";
  h->close();
  EXPECT_TRUE(WaitUntil([&] { return w->RunHistoryWindow() == nullptr; }));
}

// Wider than the screen of the tests (800 by 600), it is made to fit.
TEST_F(RunJournalTest, RunHistoryOpensOverTheMainWindowWithItsHelpAndEscCloses) {
  fakes::FakeShell shell;
  ScopedOverride<IShell> useShell(shell);
  WriteSettings({"D:\\Work"});
  auto w = Start();
  w->show();
  CentreOnScreen(w.get());
  w->actRunHistory->trigger();
  TfmRunHistory* h = w->RunHistoryWindow();
  ASSERT_NE(h, nullptr);
  EXPECT_TRUE(test::OpensOverItsOwner(h, w.get()));
  EXPECT_TRUE(h->buClose->isVisible());
  EXPECT_TRUE(h->rect().contains(h->buClose->geometry())) << "Close is in the window";
  ASSERT_TRUE(test::PressInWindow(h, Qt::Key_F1));
  ASSERT_EQ(shell.calls.size(), 1u);
  EXPECT_TRUE(QString::fromStdString(shell.calls[0].file).endsWith("#context-19"))
      << shell.calls[0].file;
  ASSERT_TRUE(test::PressInWindow(h, Qt::Key_Escape));
  EXPECT_TRUE(WaitUntil([&] { return w->RunHistoryWindow() == nullptr; }));
}

}  // namespace
}  // namespace pw
