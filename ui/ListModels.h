// The program's lists as item models over the document's collections. A row
// is the item at the same index of its collection; no row keeps a pointer to
// a document object, and the collection says when an item comes, changes or
// goes, so that a view never shows an item that has been freed. Below them,
// the view every list of the program is shown in.
#pragma once

#include <QAbstractTableModel>
#include <QCollator>
#include <QSortFilterProxyModel>
#include <QStringList>
#include <QTreeView>
#include <string>
#include <unordered_map>

#include "archiver/Journal.h"

#include "model/ListObserver.h"

namespace pw {

class TCollection;
class TCollectionItem;
class TbkDirectories;
class TbkExtensions;
class TbkRules;

class TListModel : public QAbstractTableModel, private IListObserver {
  Q_OBJECT
 public:
  ~TListModel() override;

  TCollection* List() const { return list_; }
  // Shows list, or no rows for null; views over the model start afresh.
  void SetList(TCollection* list);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  // An empty value, and false from setData, for a row the list does not hold.
  QVariant data(const QModelIndex& index, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

 signals:
  // The user set or cleared the check mark of row; the object holds it already.
  void CheckToggled(int row);

 protected:
  TListModel(QStringList headers, bool checkable, QObject* parent);
  virtual QVariant Data(const TCollectionItem& item, int column, int role) const = 0;
  virtual bool Checked(const TCollectionItem&) const { return false; }
  virtual void SetChecked(TCollectionItem&, bool) {}

 private:
  TCollectionItem* ItemAt(const QModelIndex& index) const;
  void ItemAdded(TCollection& list, int index) override;
  void ItemAboutToBeRemoved(TCollection& list, int index) override;
  void ItemRemoved(TCollection& list, int index) override;
  void ItemChanged(TCollection& list, int index) override;
  void ListAboutToBeReset(TCollection& list) override;
  void ListReset(TCollection& list) override;
  void ListDestroyed(TCollection& list) override;

  QStringList headers_;
  bool checkable_;
  TCollection* list_ = nullptr;
  // The rows the views know of; between an announcement and its end the
  // collection may already hold more or fewer.
  int rows_ = 0;
};

// "Archive File Name", "Directory", "Rule", "Last Run"; the check mark is
// NeedArchive; directories changed since the last load or save are red and
// bold. Last Run is the directory's latest journal record: when it started
// and what became of it, its error or the meaning of its status as the tip,
// and a failed run in red with an error icon.
class TDirectoriesModel final : public TListModel {
  Q_OBJECT
 public:
  static constexpr int kLastRunColumn = 3;
  explicit TDirectoriesModel(QObject* parent = nullptr);
  ~TDirectoriesModel() override;

  // The latest record of each directory, keyed as LatestRuns gives them.
  void SetLastRuns(std::unordered_map<std::string, TJournalRecord> runs);

 protected:
  QVariant Data(const TCollectionItem& item, int column, int role) const override;
  bool Checked(const TCollectionItem& item) const override;
  void SetChecked(TCollectionItem& item, bool checked) override;

 private:
  QVariant LastRun(const std::string& path, int role) const;

  std::unordered_map<std::string, TJournalRecord> lastRuns_;
};

// "Rule Name" with the lamp of the rule's category; changed rules (their
// masks included) are red and bold.
class TRulesModel final : public TListModel {
  Q_OBJECT
 public:
  explicit TRulesModel(QObject* parent = nullptr);

 protected:
  QVariant Data(const TCollectionItem& item, int column, int role) const override;
};

// "File Mask", "Assosiated Program"; the check mark is Active; passive masks
// are drawn in the disabled text colour.
class TExtensionsModel final : public TListModel {
  Q_OBJECT
 public:
  explicit TExtensionsModel(QObject* parent = nullptr);

 protected:
  QVariant Data(const TCollectionItem& item, int column, int role) const override;
  bool Checked(const TCollectionItem& item) const override;
  void SetChecked(TCollectionItem& item, bool checked) override;
};

// Keeps the rows of source sorted by their first column under the user's
// collation, letter case ignored.
class TCaptionSortModel final : public QSortFilterProxyModel {
  Q_OBJECT
 public:
  TCaptionSortModel(QAbstractItemModel* source, QObject* parent);

 protected:
  bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

 private:
  QCollator collator_;
};

// The program's list view. Its focus frame is on a selected row or on none:
// the toolkit would put it on the first row, unselected, whenever the list
// gets the focus without a current row (at start and after every rebuild),
// and on a neighbour of a current row that goes; the first Down would then
// skip a row and Space would toggle a row that is not selected.
class TListView final : public QTreeView {
  Q_OBJECT
 public:
  using QTreeView::QTreeView;

 protected:
  void focusInEvent(QFocusEvent* event) override;
  void rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) override;

 private:
  // Moves the current row to the first selected row outside [skipFrom,
  // skipTo], or takes it away when there is none.
  void CurrentToSelection(int skipFrom = -1, int skipTo = -1);
};

// Space toggles the check mark of the current row, whichever column holds
// the focus, as in the list views of Windows. Install it on the view.
class TSpaceTogglesCheck final : public QObject {
  Q_OBJECT
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace pw
