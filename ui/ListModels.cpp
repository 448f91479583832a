#include "ui/ListModels.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPalette>
#include <QStyle>

#include "model/HoardkeeperClasses.h"
#include "ui/ImageList.h"
#include "ui/RunJournal.h"
#include "ui/UiText.h"

namespace pw {

namespace {

QVariant CheckState(bool checked) {
  return checked ? Qt::Checked : Qt::Unchecked;
}

// Red (255) and bold, as changed directories and rules are drawn.
QVariant Changed(int role) {
  if (role == Qt::ForegroundRole) return QColor(255, 0, 0);
  QFont bold;
  bold.setBold(true);
  return bold;
}

}  // namespace

// ---- TListModel ----------------------------------------------------------------

TListModel::TListModel(QStringList headers, bool checkable, QObject* parent)
    : QAbstractTableModel(parent), headers_(std::move(headers)), checkable_(checkable) {}

TListModel::~TListModel() {
  if (list_) list_->RemoveObserver(this);
}

void TListModel::SetList(TCollection* list) {
  beginResetModel();
  if (list_) list_->RemoveObserver(this);
  list_ = list;
  if (list_) list_->AddObserver(this);
  rows_ = list_ ? list_->Count() : 0;
  endResetModel();
}

int TListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

int TListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(headers_.size());
}

QVariant TListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  return section >= 0 && section < headers_.size() ? QVariant(headers_[section]) : QVariant();
}

// The row's item, or null for a row the list does not hold (a stale index, or
// one asked for between an announcement and its end). Views ask for data
// while they paint, where nothing may be thrown.
TCollectionItem* TListModel::ItemAt(const QModelIndex& index) const {
  if (!list_ || !checkIndex(index, CheckIndexOption::IndexIsValid)) return nullptr;
  return index.row() < list_->Count() ? list_->GetItem(index.row()) : nullptr;
}

QVariant TListModel::data(const QModelIndex& index, int role) const {
  const TCollectionItem* found = ItemAt(index);
  if (!found) return {};
  const TCollectionItem& item = *found;
  if (role == Qt::CheckStateRole) {
    return checkable_ && index.column() == 0 ? CheckState(Checked(item)) : QVariant();
  }
  return Data(item, index.column(), role);
}

Qt::ItemFlags TListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
  if (checkable_ && index.column() == 0) flags |= Qt::ItemIsUserCheckable;
  return flags;
}

bool TListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::CheckStateRole || !checkable_ || index.column() != 0) return false;
  TCollectionItem* found = ItemAt(index);
  if (!found) return false;
  TCollectionItem& item = *found;
  const bool checked = value.value<Qt::CheckState>() == Qt::Checked;
  if (checked == Checked(item)) return true;
  SetChecked(item, checked);  // the collection reports the change of the row
  emit CheckToggled(index.row());
  return true;
}

void TListModel::ItemAdded(TCollection&, int index) {
  beginInsertRows({}, index, index);
  ++rows_;
  endInsertRows();
}

void TListModel::ItemAboutToBeRemoved(TCollection&, int index) {
  beginRemoveRows({}, index, index);
}

void TListModel::ItemRemoved(TCollection&, int) {
  --rows_;
  endRemoveRows();
}

void TListModel::ItemChanged(TCollection&, int index) {
  emit dataChanged(this->index(index, 0), this->index(index, columnCount() - 1));
}

void TListModel::ListAboutToBeReset(TCollection&) {
  beginResetModel();
}

void TListModel::ListReset(TCollection& list) {
  rows_ = list.Count();
  endResetModel();
}

void TListModel::ListDestroyed(TCollection&) {
  // Nothing of the list may be read any more, not even while resetting.
  list_ = nullptr;
  beginResetModel();
  rows_ = 0;
  endResetModel();
}

// ---- The three lists -------------------------------------------------------------

TDirectoriesModel::TDirectoriesModel(QObject* parent)
    : TListModel({"Archive File Name", "Directory", "Rule", "Last Run"}, true, parent) {}

TDirectoriesModel::~TDirectoriesModel() = default;

void TDirectoriesModel::SetLastRuns(std::unordered_map<std::string, TJournalRecord> runs) {
  lastRuns_ = std::move(runs);
  if (rowCount() > 0) {
    emit dataChanged(index(0, kLastRunColumn), index(rowCount() - 1, kLastRunColumn));
  }
}

QVariant TDirectoriesModel::LastRun(const std::string& path, int role) const {
  if (lastRuns_.empty()) return {};
  const auto found = lastRuns_.find(AsReadFromJournal(path));
  if (found == lastRuns_.end()) return {};
  const TJournalRecord& run = found->second;
  switch (role) {
    case Qt::DisplayRole:
      return JournalTimeText(run.started) + "  " + RunResultText(run);
    case Qt::ToolTipRole: {
      // What went wrong, or else where the archive went.
      const QString explanation = RunResultExplanation(run);
      return explanation.isEmpty() ? ToQt(run.archive) : explanation;
    }
    case Qt::ForegroundRole:
      return RunFailed(run) ? QVariant(QColor(192, 0, 0)) : QVariant();
    case Qt::DecorationRole:
      return RunFailed(run)
                 ? QVariant(QApplication::style()->standardIcon(QStyle::SP_MessageBoxCritical))
                 : QVariant();
    default:
      return {};
  }
}

QVariant TDirectoriesModel::Data(const TCollectionItem& item, int column, int role) const {
  const auto& directory = static_cast<const TbkDirectory&>(item);
  if (column == kLastRunColumn) {
    // A changed directory is bold here too; the colour tells the run.
    if (role == Qt::FontRole) return directory.GetModified() ? Changed(role) : QVariant();
    return LastRun(directory.Path(), role);
  }
  switch (role) {
    case Qt::DisplayRole:
      return ToQt(column == 0   ? directory.ArchiveFileName()
                  : column == 1 ? directory.Path()
                                : directory.RuleName());
    case Qt::DecorationRole:
      return column == 0 ? MainImageList()[0] : QVariant();
    case Qt::ToolTipRole:
      // The whole of a name or path that its column shows cut.
      return Data(item, column, Qt::DisplayRole);
    case Qt::ForegroundRole:
    case Qt::FontRole:
      return directory.GetModified() ? Changed(role) : QVariant();
    default:
      return {};
  }
}

bool TDirectoriesModel::Checked(const TCollectionItem& item) const {
  return static_cast<const TbkDirectory&>(item).NeedArchive();
}

void TDirectoriesModel::SetChecked(TCollectionItem& item, bool checked) {
  static_cast<TbkDirectory&>(item).SetNeedArchive(checked);
}

TRulesModel::TRulesModel(QObject* parent) : TListModel({"Rule Name"}, false, parent) {}

QVariant TRulesModel::Data(const TCollectionItem& item, int, int role) const {
  const auto& rule = static_cast<const TbkRule&>(item);
  switch (role) {
    case Qt::DisplayRole:
      return ToQt(rule.Name());
    case Qt::DecorationRole:
      return RulesImageList()[rule.Category() == ecInclude ? 4 : 5];
    case Qt::ForegroundRole:
    case Qt::FontRole:
      return rule.GetModified() ? Changed(role) : QVariant();
    default:
      return {};
  }
}

TExtensionsModel::TExtensionsModel(QObject* parent)
    : TListModel({"File Mask", "Assosiated Program"}, true, parent) {}

QVariant TExtensionsModel::Data(const TCollectionItem& item, int column, int role) const {
  const auto& mask = static_cast<const TbkExtension&>(item);
  switch (role) {
    case Qt::DisplayRole:
      return ToQt(column == 0 ? mask.Ext() : mask.ProgramCaption());
    case Qt::ForegroundRole:
      if (mask.Active()) return {};
      return QGuiApplication::palette().color(QPalette::Disabled, QPalette::Text);
    default:
      return {};
  }
}

bool TExtensionsModel::Checked(const TCollectionItem& item) const {
  return static_cast<const TbkExtension&>(item).Active();
}

void TExtensionsModel::SetChecked(TCollectionItem& item, bool checked) {
  static_cast<TbkExtension&>(item).SetActive(checked);
}

// ---- Sorting ---------------------------------------------------------------------

TCaptionSortModel::TCaptionSortModel(QAbstractItemModel* source, QObject* parent)
    : QSortFilterProxyModel(parent) {
  collator_.setCaseSensitivity(Qt::CaseInsensitive);
  setDynamicSortFilter(true);
  setSourceModel(source);
  sort(0, Qt::AscendingOrder);
}

bool TCaptionSortModel::lessThan(const QModelIndex& left, const QModelIndex& right) const {
  return collator_.compare(left.data().toString(), right.data().toString()) < 0;
}

// ---- The view --------------------------------------------------------------------

void TListView::CurrentToSelection(int skipFrom, int skipTo) {
  QModelIndex first;
  for (const QModelIndex& row : selectionModel()->selectedRows()) {
    if (row.row() >= skipFrom && row.row() <= skipTo) continue;
    if (!first.isValid() || row.row() < first.row()) first = row;
  }
  if (first.isValid()) {
    selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
  } else {
    selectionModel()->clearCurrentIndex();
  }
}

void TListView::focusInEvent(QFocusEvent* event) {
  const bool hadCurrent = currentIndex().isValid();
  QTreeView::focusInEvent(event);
  const QModelIndex current = currentIndex();
  if (!hadCurrent && current.isValid() && !selectionModel()->isRowSelected(current.row(), {})) {
    CurrentToSelection();
  }
}

void TListView::rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) {
  // Before the toolkit moves the frame (and in a single-selection list the
  // selection too) to a neighbour the user did not choose.
  const QModelIndex current = currentIndex();
  if (!parent.isValid() && current.isValid() && current.row() >= start && current.row() <= end) {
    CurrentToSelection(start, end);
  }
  QTreeView::rowsAboutToBeRemoved(parent, start, end);
}

// ---- Space ---------------------------------------------------------------------

bool TSpaceTogglesCheck::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return false;
  const auto* key = static_cast<QKeyEvent*>(event);
  if (key->key() != Qt::Key_Space || key->modifiers() != Qt::NoModifier) return false;
  auto* view = qobject_cast<QAbstractItemView*>(watched);
  if (!view || !view->model()) return false;
  const QModelIndex check = view->currentIndex().siblingAtColumn(0);
  if (!check.isValid() || !(check.flags() & Qt::ItemIsUserCheckable)) return false;
  const bool checked = check.data(Qt::CheckStateRole).value<Qt::CheckState>() == Qt::Checked;
  view->model()->setData(check, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
  return true;
}

}  // namespace pw
