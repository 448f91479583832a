// The run history: every record of the journal, newest first, for all
// directories or for one, or only the failed ones, read again whenever the
// journal changes.
#pragma once

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <QWidget>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "archiver/Journal.h"

class QCheckBox;
class QComboBox;
class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QTreeView;

namespace pw {

class TJournalWatcher;

// The journal's records as rows, the latest start first (records of one
// moment newest written first). Read-only.
class TRunHistoryModel final : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum TColumn { cStarted, cEnded, cDirectory, cArchive, cResult, cSize, cError, cColumns };

  using QAbstractTableModel::QAbstractTableModel;

  // The records in journal order.
  void SetRecords(std::vector<TJournalRecord> records);
  const TJournalRecord& Record(int row) const { return records_[order_[row]]; }
  // How many of the records are a prune's.
  size_t Prunes() const { return prunes_; }
  // Whether row a sorts before row b by column: straight from the records,
  // since a sort of a long history asks it millions of times.
  bool Less(int a, int b, int column) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  std::vector<TJournalRecord> records_;
  // Parsed once: sorting compares them many times.
  std::vector<qint64> started_, ended_;
  // For a job's record whose archive a prune deleted later: that prune's
  // record; else none (-1).
  std::vector<ptrdiff_t> prunedBy_;
  size_t prunes_ = 0;
  std::vector<size_t> order_;  // row -> index into records_
};

// The rows of one directory, or of all; sorting by any column as the model
// compares its records: times and sizes as numbers.
class TRunHistoryFilter final : public QSortFilterProxyModel {
  Q_OBJECT
 public:
  explicit TRunHistoryFilter(QObject* parent = nullptr);
  // An empty directory shows every row.
  void SetDirectory(const QString& directory);
  const QString& Directory() const { return directory_; }
  // Only the runs that failed (RunFailed), of that directory or of all.
  void SetFailedOnly(bool failedOnly);
  bool FailedOnly() const { return failedOnly_; }

 protected:
  bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
  bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

 private:
  QString directory_;
  bool failedOnly_ = false;
};

class TfmRunHistory final : public QWidget {
  Q_OBJECT
 public:
  // The journal of the settings file; a window of its own above parent.
  TfmRunHistory(const std::string& journalFile, QWidget* parent = nullptr);
  ~TfmRunHistory() override;

  // Reads the journal again, keeping the chosen directory.
  void ReadJournal();

  // Verifies the archive of a record that made one; the record's pop-up
  // menu offers it where this is set.
  std::function<void(const TJournalRecord& record)> verify;
  // Restores files out of the archive of such a record, where this is set.
  std::function<void(const TJournalRecord& record)> restore;

  TRunHistoryModel* Model() const { return model_; }
  TRunHistoryFilter* Filter() const { return filter_; }

  QComboBox* cbDirectory;
  QCheckBox* cbFailedOnly;
  QLabel* laCount;
  QTreeView* tvRuns;
  QPushButton* buClose;
  QMenu* PopupMenu;
  QAction* actVerifyArchive;
  QAction* actRestoreArchive;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void ShowCount();
  // The record of the current row, where it made an archive that is
  // still there; else none.
  const TJournalRecord* CurrentArchive() const;

  std::string journalFile_;
  TRunHistoryModel* model_;
  TRunHistoryFilter* filter_;
  TJournalWatcher* watcher_;
  size_t tooLong_ = 0;  // the journal's lines passed over at the last reading
};

}  // namespace pw
