#include "ui/fmuRunHistory.h"

#include <QApplication>
#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStyle>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>
#include <numeric>
#include <set>
#include <string_view>
#include <unordered_map>

#include "platform/Errors.h"
#include "platform/Streams.h"
#include "ui/PacketwrightHelpIDs.h"
#include "ui/RunJournal.h"
#include "ui/SlotGuard.h"
#include "ui/UiText.h"
#include "ui/fmuBase.h"

namespace pw {

namespace {

// Records without a readable time sort before every other.
qint64 SortTime(const std::string& text) {
  return JournalSeconds(text).value_or(std::numeric_limits<qint64>::min());
}

// The characters of a text that a cell shows, an entry of the list of
// directories and a tip: more than fit on a screen (the list fits its width
// to its longest entry), and few enough that laying a row out never
// measures the megabytes that a record may hold.
constexpr qsizetype kCellMost = 1000, kEntryMost = 120, kTipMost = 5000;

// The text cut to at most most characters with an ellipsis, at the end or,
// for a path, in the middle, which keeps its start and its name; never
// between the two halves of a character beyond 16 bits.
QString Shortened(const QString& all, qsizetype most, bool middle = false) {
  if (all.size() <= most) return all;
  const QChar ellipsis(0x2026);
  qsizetype head = middle ? (most - 1) / 2 : most - 1;
  if (all[head].isLowSurrogate()) --head;
  if (!middle) return all.left(head) + ellipsis;
  qsizetype tail = all.size() - (most - 1 - head);
  if (all[tail].isLowSurrogate()) ++tail;
  return all.left(head) + ellipsis + all.mid(tail);
}

QString Shortened(const std::string& text, qsizetype most, bool middle = false) {
  // No text has more UTF-16 units than bytes: most of them need no look.
  return text.size() <= static_cast<size_t>(most) ? ToQt(text)
                                                  : Shortened(ToQt(text), most, middle);
}

}  // namespace

// ---- TRunHistoryModel ---------------------------------------------------------------

void TRunHistoryModel::SetRecords(std::vector<TJournalRecord> records) {
  beginResetModel();
  records_ = std::move(records);
  started_.resize(records_.size());
  ended_.resize(records_.size());
  prunedBy_.assign(records_.size(), -1);
  prunes_ = 0;
  // What a prune deleted is what the latest job of that archive made.
  std::unordered_map<std::string_view, size_t> latestJob;
  for (size_t i = 0; i < records_.size(); ++i) {
    const TJournalRecord& r = records_[i];
    started_[i] = SortTime(r.started);
    ended_[i] = SortTime(r.ended);
    if (!r.IsJob()) ++prunes_;
    if (r.IsJob()) {
      latestJob.insert_or_assign(r.archive, i);
    } else if (JobResultOf(r) == TJobResult::jrPruned) {
      if (const auto made = latestJob.find(r.archive); made != latestJob.end()) {
        prunedBy_[made->second] = static_cast<ptrdiff_t>(i);
        latestJob.erase(made);
      }
    }
  }
  // Jobs that ran side by side are written as they end, not as they
  // started: the journal's order alone is not the order of the runs.
  order_.resize(records_.size());
  std::iota(order_.rbegin(), order_.rend(), size_t{0});
  std::stable_sort(order_.begin(), order_.end(),
                   [this](size_t a, size_t b) { return started_[a] > started_[b]; });
  endResetModel();
}

bool TRunHistoryModel::Less(int a, int b, int column) const {
  const size_t x = order_[static_cast<size_t>(a)], y = order_[static_cast<size_t>(b)];
  const TJournalRecord &l = records_[x], &r = records_[y];
  switch (column) {
    case cStarted:
      return started_[x] < started_[y];
    case cEnded:
      return ended_[x] < ended_[y];
    case cDirectory:
      return l.directory < r.directory;
    case cArchive:
      return l.archive < r.archive;
    case cResult:
      return JobResultOf(l) != JobResultOf(r) ? JobResultOf(l) < JobResultOf(r)
                                              : l.status.value_or(-1) < r.status.value_or(-1);
    case cSize:
      return l.bytes.value_or(-1) < r.bytes.value_or(-1);
    case cError: {
      // Without a copy of either text for each of the many comparisons.
      static const std::string kNone;
      return (l.error ? *l.error : kNone) < (r.error ? *r.error : kNone);
    }
    default:
      return false;
  }
}

int TRunHistoryModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(order_.size());
}

int TRunHistoryModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : cColumns;
}

QVariant TRunHistoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const kHeaders[] = {"Started", "Ended", "Directory", "Archive",
                                         "Result",  "Size",  "Error"};
  return section >= 0 && section < cColumns ? QVariant(kHeaders[section]) : QVariant();
}

Qt::ItemFlags TRunHistoryModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

QVariant TRunHistoryModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const size_t at = order_[static_cast<size_t>(index.row())];
  const TJournalRecord& r = records_[at];
  const int column = index.column();
  if (role == Qt::DisplayRole) {
    switch (column) {
      case cStarted:
        return JournalTimeText(r.started);
      case cEnded:
        return r.ended.empty() ? QString() : JournalTimeText(r.ended);
      case cDirectory:
        return Shortened(r.directory, kCellMost, true);
      case cArchive:
        return Shortened(r.archive, kCellMost, true);
      case cResult:
        return RunResultText(r);
      case cSize:
        return r.bytes ? SizeText(*r.bytes) : QString();
      case cError:
        return r.error ? Shortened(*r.error, kCellMost) : QString();
      default:
        return {};
    }
  }
  if (role == Qt::ToolTipRole) {
    switch (column) {
      case cResult:
        return Shortened(JobResultExplanation(r), kTipMost);
      case cSize:
        return r.bytes ? CountText(*r.bytes) + " bytes" : QVariant();
      case cError:
        return r.error ? Shortened(*r.error, kTipMost) : QString();
      case cArchive:
        if (prunedBy_[at] >= 0) {
          return Shortened(r.archive, kTipMost, true) + "\nPruned " +
                 JournalTimeText(records_[static_cast<size_t>(prunedBy_[at])].started);
        }
        return Shortened(r.archive, kTipMost, true);
      case cDirectory:
        return Shortened(r.directory, kTipMost, true);
      default:
        return {};
    }
  }
  if (role == Qt::TextAlignmentRole && column == cSize) {
    return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
  }
  if (column == cResult && RunFailed(r)) {
    if (role == Qt::ForegroundRole) return QColor(192, 0, 0);
    if (role == Qt::DecorationRole) {
      return QApplication::style()->standardIcon(QStyle::SP_MessageBoxCritical);
    }
  }
  // A prune's rows, and the archives it deleted, are grey: history, not a
  // night's result.
  const bool pruned = !r.IsJob() || prunedBy_[at] >= 0;
  if (role == Qt::ForegroundRole && pruned && (column != cResult || !r.IsJob())) {
    return JobResultOf(r) == TJobResult::jrNotPruned && column == cResult ? QColor(170, 110, 0)
                                                                          : QColor(128, 128, 128);
  }
  if (role == Qt::DecorationRole && column == cResult && !r.IsJob()) {
    return QApplication::style()->standardIcon(JobResultOf(r) == TJobResult::jrPruned
                                                   ? QStyle::SP_TrashIcon
                                                   : QStyle::SP_MessageBoxWarning);
  }
  return {};
}

// ---- TRunHistoryFilter --------------------------------------------------------------

TRunHistoryFilter::TRunHistoryFilter(QObject* parent) : QSortFilterProxyModel(parent) {}

void TRunHistoryFilter::SetDirectory(const QString& directory) {
  if (directory == directory_) return;
  directory_ = directory;
  invalidateFilter();
}

void TRunHistoryFilter::SetFailedOnly(bool failedOnly) {
  if (failedOnly == failedOnly_) return;
  failedOnly_ = failedOnly;
  invalidateFilter();
}

bool TRunHistoryFilter::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
  if (failedOnly_) {
    const auto* model = qobject_cast<const TRunHistoryModel*>(sourceModel());
    if (model && !RunFailed(model->Record(sourceRow))) return false;
  }
  if (directory_.isEmpty()) return true;
  // The whole path: a cell shows a long one shortened.
  if (const auto* model = qobject_cast<const TRunHistoryModel*>(sourceModel())) {
    return ToQt(model->Record(sourceRow).directory) == directory_;
  }
  const QModelIndex cell =
      sourceModel()->index(sourceRow, TRunHistoryModel::cDirectory, sourceParent);
  return cell.data().toString() == directory_;
}

bool TRunHistoryFilter::lessThan(const QModelIndex& left, const QModelIndex& right) const {
  if (const auto* model = qobject_cast<const TRunHistoryModel*>(sourceModel())) {
    return model->Less(left.row(), right.row(), left.column());
  }
  return QSortFilterProxyModel::lessThan(left, right);
}

// ---- TfmRunHistory ------------------------------------------------------------------

TfmRunHistory::TfmRunHistory(const std::string& journalFile, QWidget* parent)
    : QWidget(parent, Qt::Window), journalFile_(journalFile) {
  setObjectName("fmRunHistory");
  setWindowTitle("Run History");
  setFont(DialogFont());
  resize(940, 400);
  AddWindowKeys(this, hcRunHistoryWindow);

  auto* top = new QHBoxLayout;
  auto* label = new QLabel("&Directory:", this);
  cbDirectory = new QComboBox(this);
  cbDirectory->setObjectName("cbDirectory");
  cbDirectory->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  cbDirectory->setMinimumContentsLength(30);
  label->setBuddy(cbDirectory);
  cbFailedOnly = new QCheckBox("&Failed only", this);
  cbFailedOnly->setObjectName("cbFailedOnly");
  laCount = new QLabel(this);
  laCount->setObjectName("laCount");
  top->addWidget(label);
  top->addWidget(cbDirectory, 1);
  top->addWidget(cbFailedOnly);
  top->addStretch();
  top->addWidget(laCount);

  model_ = new TRunHistoryModel(this);
  filter_ = new TRunHistoryFilter(this);
  filter_->setSourceModel(model_);
  tvRuns = new QTreeView(this);
  tvRuns->setObjectName("tvRuns");
  tvRuns->setModel(filter_);
  tvRuns->setRootIsDecorated(false);
  tvRuns->setUniformRowHeights(true);
  tvRuns->setAllColumnsShowFocus(true);
  tvRuns->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tvRuns->setSelectionBehavior(QAbstractItemView::SelectRows);
  tvRuns->setIconSize(QSize(16, 16));
  // Unsorted the rows stay in the model's order, newest first; a click on a
  // header sorts by that column.
  tvRuns->setSortingEnabled(true);
  tvRuns->header()->setSortIndicator(-1, Qt::AscendingOrder);
  tvRuns->header()->setSortIndicatorClearable(true);
  // Long archive names keep their folder's start and their name's end.
  tvRuns->setTextElideMode(Qt::ElideMiddle);
  tvRuns->setColumnWidth(TRunHistoryModel::cStarted, 115);
  tvRuns->setColumnWidth(TRunHistoryModel::cEnded, 115);
  tvRuns->setColumnWidth(TRunHistoryModel::cDirectory, 150);
  tvRuns->setColumnWidth(TRunHistoryModel::cArchive, 220);
  tvRuns->setColumnWidth(TRunHistoryModel::cResult, 105);
  tvRuns->setColumnWidth(TRunHistoryModel::cSize, 70);

  // A record's archive can be verified against its directory's job now,
  // and files restored out of it.
  PopupMenu = new QMenu(this);
  PopupMenu->setObjectName("PopupMenu");
  actVerifyArchive = PopupMenu->addAction("&Verify This Archive");
  actVerifyArchive->setObjectName("actVerifyArchive");
  ConnectGuarded(actVerifyArchive, &QAction::triggered, this, [this] {
    if (const TJournalRecord* record = CurrentArchive(); record && verify) verify(*record);
  });
  actRestoreArchive = PopupMenu->addAction("&Restore...");
  actRestoreArchive->setObjectName("actRestoreArchive");
  ConnectGuarded(actRestoreArchive, &QAction::triggered, this, [this] {
    if (const TJournalRecord* record = CurrentArchive(); record && restore) restore(*record);
  });
  tvRuns->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(tvRuns, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    const bool archived = CurrentArchive() != nullptr;
    actVerifyArchive->setEnabled(verify && archived);
    actRestoreArchive->setEnabled(restore && archived);
    PopupMenu->popup(tvRuns->viewport()->mapToGlobal(at));
  });

  buClose = new QPushButton("Close", this);
  buClose->setObjectName("buClose");
  connect(buClose, &QPushButton::clicked, this, &QWidget::close);
  auto* bottom = new QHBoxLayout;
  bottom->addStretch();
  bottom->addWidget(buClose);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(tvRuns, 1);
  layout->addLayout(bottom);

  connect(cbDirectory, &QComboBox::currentIndexChanged, this, [this](int index) {
    // The first entry is every directory; the others carry their path.
    filter_->SetDirectory(index <= 0 ? QString() : cbDirectory->itemData(index).toString());
    ShowCount();
  });
  connect(cbFailedOnly, &QCheckBox::toggled, this, [this](bool failedOnly) {
    filter_->SetFailedOnly(failedOnly);
    ShowCount();
  });
  watcher_ = new TJournalWatcher(journalFile_, this);
  ConnectGuarded(watcher_, &TJournalWatcher::Changed, this, &TfmRunHistory::ReadJournal);
  ReadJournal();
}

TfmRunHistory::~TfmRunHistory() = default;

void TfmRunHistory::showEvent(QShowEvent* event) {
  PlaceOverParentOnce(this);
  QWidget::showEvent(event);
}

void TfmRunHistory::ReadJournal() {
  std::vector<TJournalRecord> records = pw::ReadJournal(journalFile_, tooLong_);
  const QString chosen = filter_->Directory();
  std::set<std::string> directories;
  for (const TJournalRecord& r : records) directories.insert(r.directory);
  model_->SetRecords(std::move(records));

  const QSignalBlocker quiet(cbDirectory);
  cbDirectory->clear();
  cbDirectory->addItem("All directories");
  for (const std::string& d : directories) {
    // The list fits itself to its longest entry.
    cbDirectory->addItem(Shortened(d, kEntryMost, true), ToQt(d));
    if (d.size() > static_cast<size_t>(kEntryMost)) {
      cbDirectory->setItemData(cbDirectory->count() - 1, Shortened(d, kTipMost, true),
                               Qt::ToolTipRole);
    }
  }
  // A directory chosen before stays chosen, even when the journal that was
  // read lost its records, so that its next run shows up where the user looks.
  if (!chosen.isEmpty() && cbDirectory->findData(chosen) < 0) {
    cbDirectory->addItem(Shortened(chosen, kEntryMost, true), chosen);
  }
  cbDirectory->setCurrentIndex(chosen.isEmpty() ? 0 : cbDirectory->findData(chosen));
  ShowCount();
}

const TJournalRecord* TfmRunHistory::CurrentArchive() const {
  const QModelIndex current = filter_->mapToSource(tvRuns->currentIndex());
  if (!current.isValid()) return nullptr;
  const TJournalRecord& record = model_->Record(current.row());
  if (!JobArchived(record) || !FileExists(record.archive)) return nullptr;
  return &record;
}

void TfmRunHistory::ShowCount() {
  int shown = filter_->rowCount(), pruned = 0;
  for (int row = 0; model_->Prunes() > 0 && row < shown; ++row) {
    if (!model_->Record(filter_->mapToSource(filter_->index(row, 0)).row()).IsJob()) ++pruned;
  }
  shown -= pruned;
  QString count = shown == 1 ? QString("1 run") : QString("%1 runs").arg(shown);
  // A prune's records are no runs.
  if (pruned > 0) count += pruned == 1 ? QString(", 1 pruned") : QString(", %1 pruned").arg(pruned);
  if (tooLong_ > 0) count += "; " + ToQt(TooLongRecordsNote(tooLong_));
  laCount->setText(count);
}

}  // namespace pw
