#include "ui/fmuRunAllAndWait.h"

#include <QApplication>
#include <QCloseEvent>
#include <QColor>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include "archiver/ArchiveIndex.h"
#include "archiver/JobPool.h"
#include "archiver/Journal.h"
#include "archiver/JournalResult.h"
#include "platform/Errors.h"
#include "ui/DialogService.h"
#include "ui/PacketwrightHelpIDs.h"
#include "ui/RunJournal.h"
#include "ui/UiText.h"
#include "ui/fmuBase.h"

namespace pw {

namespace {

// The outcome as the journal keeps it, read as the history reads it.
TJournalRecord AsJournalled(const TJobOutcome& o, const std::string& archive) {
  TJournalRecord said;
  said.archive = archive;
  RecordOutcome(said, o);
  return said;
}

QString ResultText(const TJobOutcome& o, const std::string& archive) {
  return RunResultText(AsJournalled(o, archive));
}

QString Elapsed(qint64 ms) {
  const qint64 s = ms / 1000;
  return s >= 3600 ? QString("%1:%2:%3")
                         .arg(s / 3600)
                         .arg(s / 60 % 60, 2, 10, QChar('0'))
                         .arg(s % 60, 2, 10, QChar('0'))
                   : QString("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QChar('0'));
}

}  // namespace

// ---- TRunAllModel -------------------------------------------------------------------

void TRunAllModel::SetJobs(const std::vector<TArchiveJob>& jobs) {
  beginResetModel();
  rows_.clear();
  for (const TArchiveJob& job : jobs) rows_.push_back({job.directory, job.archiveFile, {}, {}});
  endResetModel();
}

void TRunAllModel::SetRunning(size_t row) {
  rows_[row].state = TState::Running;
  RowChanged(row);
}

void TRunAllModel::SetEnded(size_t row, const TJobOutcome& outcome) {
  rows_[row].state = TState::Ended;
  rows_[row].outcome = outcome;
  RowChanged(row);
}

void TRunAllModel::RowChanged(size_t row) {
  const int r = static_cast<int>(row);
  emit dataChanged(index(r, 0), index(r, cColumns - 1));
}

int TRunAllModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TRunAllModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : cColumns;
}

QVariant TRunAllModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case cDirectory:
      return "Directory";
    case cResult:
      return "Result";
    case cDetail:
      return "Detail";
    default:
      return {};
  }
}

QVariant TRunAllModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const TRow& row = rows_[static_cast<size_t>(index.row())];
  const bool failed = row.outcome && !row.outcome->Succeeded();
  const bool warned = row.outcome && row.outcome->Succeeded() && !row.outcome->warning.empty();
  switch (role) {
    case Qt::DisplayRole:
      switch (index.column()) {
        case cDirectory:
          return ToQt(row.directory);
        case cResult:
          return row.state == TState::Waiting   ? "Waiting"
                 : row.state == TState::Running ? "Running"
                                                : ResultText(*row.outcome, row.archive);
        case cDetail: {
          if (!row.outcome) return {};
          if (row.outcome->Succeeded()) {
            return ToQt(row.archive) +
                   (row.outcome->bytes ? ", " + SizeText(*row.outcome->bytes) : QString()) +
                   (warned ? ": " + ToQt(WarningOnOneLine(row.outcome->warning)) : QString());
          }
          // The error, or what the archiver's status means, as the history tells it.
          return RunResultExplanation(AsJournalled(*row.outcome, row.archive));
        }
        default:
          return {};
      }
    case Qt::ToolTipRole:
      return index.column() == cResult ? QVariant() : data(index, Qt::DisplayRole);
    case Qt::ForegroundRole:
      if (index.column() != cResult) return {};
      return failed ? QVariant(QColor(192, 0, 0)) : warned ? QVariant(QColor(160, 96, 0)) : QVariant();
    case Qt::DecorationRole:
      if (index.column() != cResult || !(failed || warned)) return {};
      return QApplication::style()->standardIcon(failed ? QStyle::SP_MessageBoxCritical
                                                        : QStyle::SP_MessageBoxWarning);
    case Qt::FontRole:
      if (row.state == TState::Running) {
        QFont bold;
        bold.setBold(true);
        return bold;
      }
      return {};
    default:
      return {};
  }
}

// ---- TfmRunAllAndWait ---------------------------------------------------------------

TfmRunAllAndWait::TfmRunAllAndWait(std::vector<TArchiveJob> jobs, std::string journalFile,
                                   int jobsAtOnce, QWidget* parent)
    : QWidget(parent, Qt::Window), jobs_(std::move(jobs)), journalFile_(std::move(journalFile)) {
  setObjectName("fmRunAllAndWait");
  setWindowTitle("Run All and Wait");
  setFont(DialogFont());
  resize(600, 360);
  // Esc is Cancel while the run is at work, as closing is; Close after.
  AddWindowKeys(this, hcRunAllAndWaitWindow);

  laDone = new QLabel(this);
  laDone->setObjectName("laDone");
  laElapsed = new QLabel(this);
  laElapsed->setObjectName("laElapsed");
  pbDone = new QProgressBar(this);
  pbDone->setRange(0, static_cast<int>(jobs_.size()));
  pbDone->setValue(0);
  auto* top = new QHBoxLayout;
  top->addWidget(laDone);
  top->addWidget(pbDone, 1);
  top->addWidget(laElapsed);
  laRunning = new QLabel(this);
  laRunning->setObjectName("laRunning");
  laRunning->setWordWrap(true);

  model_ = new TRunAllModel(this);
  model_->SetJobs(jobs_);
  tvJobs = new QTreeView(this);
  tvJobs->setObjectName("tvJobs");
  tvJobs->setModel(model_);
  tvJobs->setRootIsDecorated(false);
  tvJobs->setUniformRowHeights(true);
  tvJobs->setAllColumnsShowFocus(true);
  tvJobs->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tvJobs->setSelectionBehavior(QAbstractItemView::SelectRows);
  tvJobs->setTextElideMode(Qt::ElideMiddle);
  tvJobs->setColumnWidth(TRunAllModel::cDirectory, 200);
  tvJobs->setColumnWidth(TRunAllModel::cResult, 100);

  buCancel = NewCancelButton(this, [this] { return running_; }, [this] { Cancel(); });
  auto* bottom = new QHBoxLayout;
  bottom->addStretch();
  bottom->addWidget(buCancel);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(laRunning);
  layout->addWidget(tvJobs, 1);
  layout->addLayout(bottom);

  clock_ = new QTimer(this);
  clock_->setInterval(500);
  connect(clock_, &QTimer::timeout, this, &TfmRunAllAndWait::ShowTimes);

  running_ = true;
  elapsed_.start();
  clock_->start();
  ShowTimes();
  ShowRunning();
  pool_ = std::make_unique<TJobPool>(jobs_, jobsAtOnce);
  // The pool's events come from its threads: what they change on the
  // screen goes over as events of this window, which outlives the pool (the
  // destructor waits for it).
  worker_ = std::thread([this] {
    TPoolEvents events;
    events.started = [this](size_t index, const std::string&) {
      QMetaObject::invokeMethod(
          this, [this, index] { JobStarted(index); }, Qt::QueuedConnection);
    };
    events.ended = [this](size_t index, const std::string& started, const TJobOutcome& outcome) {
      Journal(index, started, outcome);
      QMetaObject::invokeMethod(
          this, [this, index, outcome] { JobEnded(index, outcome); }, Qt::QueuedConnection);
    };
    QString failure;
    try {
      pool_->Run(events);
    } catch (const std::exception& e) {
      // Every job has ended even so; what stopped the run is told at its end.
      failure = QString::fromLocal8Bit(e.what());
    }
    QMetaObject::invokeMethod(
        this,
        [this, failure] {
          AllEnded();
          if (!failure.isEmpty())
            Get<IDialogService>().ShowError(this, "Run All and Wait", failure);
        },
        Qt::QueuedConnection);
  });
}

TfmRunAllAndWait::~TfmRunAllAndWait() {
  if (worker_.joinable()) {
    pool_->Cancel();
    worker_.join();
  }
}

void TfmRunAllAndWait::Journal(size_t index, const std::string& started,
                               const TJobOutcome& outcome) {
  const std::lock_guard<std::mutex> hold(journalLock_);
  try {
    const TJournalRecord record = JobRecord(jobs_[index], started, outcome, true);
    AppendJournalRecord(journalFile_, record);
    // An archive not indexed now is listed when a restore next looks.
    IndexNewArchive(journalFile_, jobs_[index], record);
  } catch (const Exception& e) {
    // Said once; the jobs go on, and the next ones are tried again.
    if (journalFailed_) return;
    journalFailed_ = true;
    const QString message = ToQt(e.Message());
    QMetaObject::invokeMethod(
        this,
        [this, message] {
          Get<IDialogService>().ShowError(
              this, "Run All and Wait",
              message + "\n\nThe runs go on, but are not written into the journal.");
        },
        Qt::QueuedConnection);
  }
}

void TfmRunAllAndWait::Cancel() {
  if (!running_ || cancelled_) return;
  cancelled_ = true;
  pool_->Cancel();
  buCancel->setEnabled(false);
  laRunning->setText("Cancelling: the running archivers are ended, no other starts...");
}

void TfmRunAllAndWait::JobStarted(size_t index) {
  model_->SetRunning(index);
  ShowRunning();
}

void TfmRunAllAndWait::JobEnded(size_t index, const TJobOutcome& outcome) {
  model_->SetEnded(index, outcome);
  ++done_;
  pbDone->setValue(done_);
  ShowTimes();
  ShowRunning();
}

void TfmRunAllAndWait::AllEnded() {
  if (worker_.joinable()) worker_.join();
  running_ = false;
  clock_->stop();
  ShowTimes();
  int failed = 0, warned = 0;
  for (size_t i = 0; i < jobs_.size(); ++i) {
    const auto& outcome = model_->Outcome(i);
    if (!outcome || !outcome->Succeeded()) ++failed;
    else if (!outcome->warning.empty()) ++warned;
  }
  const int all = static_cast<int>(jobs_.size());
  laRunning->setText(
      (cancelled_ ? QString("Cancelled. ") : QString("Finished. ")) +
      (failed == 0 ? QString("Every directory ended OK.")
                   : QString("%1 of %2 %3 not end OK.")
                         .arg(failed)
                         .arg(all)
                         .arg(failed == 1 ? "directory did" : "directories did")) +
      (warned == 0 ? QString()
                   : QString(" %1 with a warning.").arg(warned == 1 ? QString("One")
                                                                    : QString::number(warned))));
  buCancel->setEnabled(true);
  buCancel->setText("Close");
  emit Finished();
}

void TfmRunAllAndWait::ShowTimes() {
  laDone->setText(QString("%1 of %2 done").arg(done_).arg(jobs_.size()));
  laElapsed->setText("Elapsed " + Elapsed(elapsed_.elapsed()));
}

void TfmRunAllAndWait::ShowRunning() {
  if (!running_ || cancelled_) return;
  QStringList running;
  for (size_t i = 0; i < jobs_.size(); ++i) {
    if (model_->State(i) == TRunAllModel::TState::Running) running << ToQt(jobs_[i].directory);
  }
  laRunning->setText(running.isEmpty() ? QString("Starting...") : "Running: " + running.join(", "));
}

QString TfmRunAllAndWait::Summary() const {
  QStringList lines;
  for (int row = 0; row < model_->rowCount(); ++row) {
    lines << model_->index(row, TRunAllModel::cDirectory).data().toString() + ": " +
                 model_->index(row, TRunAllModel::cResult).data().toString();
  }
  return lines.join("\n");
}

void TfmRunAllAndWait::showEvent(QShowEvent* event) {
  PlaceOverParentOnce(this);
  QWidget::showEvent(event);
}

void TfmRunAllAndWait::closeEvent(QCloseEvent* event) {
  // Closing a run at work cancels it; the window stays for its summary.
  if (running_) {
    Cancel();
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

}  // namespace pw
