// The preview of one directory's job: what the archiver will take, mask by
// mask and file by file, found by walking the directory on a worker thread
// while the window shows how far the walk has come.
#pragma once

#include <QAbstractTableModel>
#include <QWidget>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "archiver/Preview.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTimer;
class QTreeView;

namespace pw {

// The rule's masks with the files and bytes each matched: what each takes
// in an including rule, what each leaves out in an excluding one.
class TPreviewMasksModel final : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum TColumn { cMask, cFiles, cBytes, cColumns };
  using QAbstractTableModel::QAbstractTableModel;

  void SetPreview(const TPreview& preview);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  std::vector<TPreviewMask> masks_;
  bool excluding_ = false;
};

// The files the job takes, one flat row each. Sorting sorts the vector
// itself once, so that a view over hundreds of thousands of rows asks only
// for the rows it shows.
class TPreviewFilesModel final : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum TColumn { cPath, cSize, cMask, cColumns };
  using QAbstractTableModel::QAbstractTableModel;

  void SetFiles(std::vector<TPreviewFile> files, std::vector<std::string> masks);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  void sort(int column, Qt::SortOrder order) override;

 private:
  std::vector<TPreviewFile> files_;
  std::vector<std::string> masks_;
};

class TfmPreview final : public QWidget {
  Q_OBJECT
 public:
  // Starts walking at once; a window of its own above parent.
  TfmPreview(TPreviewRequest request, QWidget* parent = nullptr);
  // Stops the walk and waits for it.
  ~TfmPreview() override;

  bool Running() const { return running_; }
  void Cancel();
  const TPreview& Result() const { return preview_; }

  TPreviewMasksModel* MasksModel() const { return masksModel_; }
  TPreviewFilesModel* FilesModel() const { return filesModel_; }

  QLabel* laDirectory;
  QLabel* laApproximate;
  QLabel* laProgress;
  QProgressBar* pbWalk;
  QStackedWidget* stPages;  // the lists, or the job's error
  QTreeView* tvMasks;
  QTreeView* tvFiles;
  QLabel* laError;
  QLabel* laWarnings;
  QLabel* laTotals;
  QPushButton* buCancel;

 signals:
  // The walk ended, completed or cancelled; Result() holds what it found.
  void Finished();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void ShowProgress();
  void Done(TPreview preview);

  TPreviewRequest request_;
  TPreview preview_;
  std::atomic<bool> cancel_{false};
  bool running_ = false;
  // What the walk last told, read by a timer on this thread: the walk calls
  // back far more often than the screen needs to change.
  std::mutex progressLock_;
  int64_t filesSoFar_ = 0;
  std::string folder_;
  QTimer* progressTimer_;
  std::thread worker_;
  TPreviewMasksModel* masksModel_;
  TPreviewFilesModel* filesModel_;
};

}  // namespace pw
