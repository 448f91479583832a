// Getting files back out of the archives the nights left: the files of one
// night's archive of a directory, or the copies a search found across every
// night, restored into the directory's own folder or another. Listing,
// searching, planning and extracting run on a worker thread while the
// window says what it is doing; nothing is written over a file unasked.
#pragma once

#include <QAbstractTableModel>
#include <QRegularExpression>
#include <QSortFilterProxyModel>
#include <QString>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "archiver/ArchiveIndex.h"
#include "archiver/Restore.h"
#include "model/HoardkeeperClasses.h"
#include "platform/Process.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTreeView;

namespace pw {

// One archive's listing as flat rows, in the archiver's order: no item per
// entry, so that a listing of hundreds of thousands of entries opens at once.
class TRestoreFilesModel final : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum TColumn { cPath, cSize, cModified, cColumns };
  using QAbstractTableModel::QAbstractTableModel;

  void SetListing(std::vector<TListedEntry> listing);
  // The same with each entry's path as shown, made beforehand (on a worker
  // thread, say: a long listing's texts cost more than the rest).
  void SetListing(std::vector<TListedEntry> listing, std::vector<QString> paths);
  static std::vector<QString> ShownPaths(const std::vector<TListedEntry>& listing);
  const std::vector<TListedEntry>& Listing() const { return listing_; }
  const TListedEntry& Entry(int row) const { return listing_[static_cast<size_t>(row)]; }
  // The row's path as shown, made once for the filter.
  const QString& Path(int row) const { return paths_[static_cast<size_t>(row)]; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  std::vector<TListedEntry> listing_;
  std::vector<QString> paths_;
};

// The rows whose path holds the text typed, in any letter case, "*" and "?"
// as wildcards; sorted by the model's own values, since a sort of a long
// listing compares them millions of times.
class TRestoreFilesFilter final : public QSortFilterProxyModel {
  Q_OBJECT
 public:
  using QSortFilterProxyModel::QSortFilterProxyModel;
  void SetPattern(const QString& pattern);

 protected:
  bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
  bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

 private:
  QString text_;  // without wildcards: held anywhere in the path
  std::optional<QRegularExpression> wildcards_;  // with them
};

// The copies a search found, newest night first.
class TFoundCopiesModel final : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum TColumn { cNight, cDirectory, cPath, cSize, cModified, cColumns };
  using QAbstractTableModel::QAbstractTableModel;

  void SetCopies(std::vector<TFoundCopy> copies);
  const TFoundCopy& Copy(int row) const { return copies_[static_cast<size_t>(row)]; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  std::vector<TFoundCopy> copies_;
};

class TfmRestore final : public QWidget {
  Q_OBJECT
 public:
  // The archives of directory (as the journal holds it) that are still
  // there, with archive chosen (or, empty, the newest), read with the
  // archiver of a copy of the document as it is now; a window of its own
  // above parent.
  TfmRestore(const TbkManager& manager, const std::string& directory, const std::string& archive,
             const std::string& journalFile, QWidget* parent = nullptr);
  // Stops the archiver and waits for it.
  ~TfmRestore() override;

  bool Running() const { return running_; }
  // Ends the work at hand; a restore stopped before its files are moved
  // writes nothing.
  void Cancel();

  // The archives in the choice of night, newest first.
  const std::vector<TIndexedArchive>& Nights() const { return nights_; }
  TRestoreFilesModel* FilesModel() const { return filesModel_; }
  TRestoreFilesFilter* FilesFilter() const { return filesFilter_; }
  TFoundCopiesModel* FoundModel() const { return foundModel_; }
  // The outcome of the last restore.
  const TRestoreResult& Result() const { return result_; }

  QLabel* laDirectory;
  QComboBox* cbNight;
  QTabWidget* tcPages;
  QLineEdit* edFilter;
  QTreeView* tvFiles;
  QLabel* laFiles;
  QLineEdit* edFind;
  QPushButton* buFind;
  QTreeView* tvFound;
  QRadioButton* rbOwnFolder;
  QRadioButton* rbOtherFolder;
  QLineEdit* edTargetFolder;
  QPushButton* buBrowse;
  QGroupBox* gbConflicts;
  QPlainTextEdit* mmConflicts;
  QRadioButton* rbSkip;
  QRadioButton* rbKeepBoth;
  QRadioButton* rbOverwrite;
  QProgressBar* pbProgress;
  QLabel* laState;
  QPushButton* buRestore;
  QPushButton* buCancel;

 signals:
  // A piece of work ended (the nights read, a night listed, a search, a
  // restore), whatever became of it.
  void Finished();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  // What the worker does, given the options with the stop and a progress
  // callback; what it returns runs on the window's thread afterwards.
  using TWork = std::function<std::function<void()>(
      const TRunOptions& options, const std::function<void(int, int)>& progress)>;

  void Start(const QString& doing, TWork work);
  void Done(const std::function<void()>& then, const std::string& failure);
  void ShowNights(std::vector<TIndexedArchive> nights, const std::string& wanted);
  void ListNight();
  void FindCopies();
  void RestoreSelected();
  void BrowseTarget();
  void PlanAndRestore(std::vector<TRestoreSource> sources, std::optional<TExisting> existing);
  void AskAboutConflicts();
  void ShowResult(const TRestorePlan& plan, const TRestoreResult& result);
  void ShowFileCount();
  void SetState(const QString& text, const char* colour = nullptr);
  void UpdateControls();
  void ForgetPlan();
  // What the selection of the current page restores, and where.
  std::vector<TRestoreSource> SelectedSources() const;
  std::string TargetFolderOf(const TIndexedArchive& archive) const;

  std::string directory_;
  std::string journalFile_;
  TExtractor extractor_;
  // Each directory's own folder as its job enters it now, by the
  // directory as the journal holds it.
  std::map<std::string, std::string> ownFolders_;
  std::vector<TIndexedArchive> nights_;
  // What to say once the night's listing is shown.
  QString listedNote_;
  TRestoreFilesModel* filesModel_;
  TRestoreFilesFilter* filesFilter_;
  TFoundCopiesModel* foundModel_;
  // The selection a question about files already there was asked for, and
  // those files: the answer holds for them only.
  std::vector<TRestoreSource> asked_;
  std::set<std::string> askedExisting_;
  TRestoreResult result_;
  bool running_ = false;
  std::unique_ptr<TRunStop> stop_;
  std::thread worker_;
};

}  // namespace pw
