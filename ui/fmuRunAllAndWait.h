// Run All and Wait: the marked directories' jobs, a few archivers at once,
// each waited for and journalled, in a window that shows which directories
// are at work, how many are done and for how long it has been running, and
// at the end what became of each.
#pragma once

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QWidget>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "archiver/ArchiveJob.h"
#include "archiver/ArchiveJobs.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class QTreeView;

namespace pw {

class TJobPool;

// One row a job: its directory, whether it waits, runs or has ended, and how.
class TRunAllModel final : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum TColumn { cDirectory, cResult, cDetail, cColumns };
  enum class TState { Waiting, Running, Ended };

  using QAbstractTableModel::QAbstractTableModel;
  void SetJobs(const std::vector<TArchiveJob>& jobs);
  void SetRunning(size_t row);
  void SetEnded(size_t row, const TJobOutcome& outcome);

  TState State(size_t row) const { return rows_[row].state; }
  const std::optional<TJobOutcome>& Outcome(size_t row) const { return rows_[row].outcome; }
  const std::string& Directory(size_t row) const { return rows_[row].directory; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  struct TRow {
    std::string directory;
    std::string archive;
    TState state = TState::Waiting;
    std::optional<TJobOutcome> outcome;
  };
  void RowChanged(size_t row);

  std::vector<TRow> rows_;
};

class TfmRunAllAndWait final : public QWidget {
  Q_OBJECT
 public:
  // Starts the jobs at once, jobsAtOnce archivers at a time, each journalled
  // into journalFile; a window of its own above parent.
  TfmRunAllAndWait(std::vector<TArchiveJob> jobs, std::string journalFile, int jobsAtOnce,
                   QWidget* parent = nullptr);
  // Ends the running archivers and waits for the pool.
  ~TfmRunAllAndWait() override;

  bool Running() const { return running_; }
  // Ends the running archivers and starts no more.
  void Cancel();
  int Done() const { return done_; }
  TRunAllModel* Model() const { return model_; }
  // One line a directory: its path and what became of it.
  QString Summary() const;

  QLabel* laDone;
  QLabel* laElapsed;
  QLabel* laRunning;
  QProgressBar* pbDone;
  QTreeView* tvJobs;
  QPushButton* buCancel;

 signals:
  void Finished();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void JobStarted(size_t index);
  void JobEnded(size_t index, const TJobOutcome& outcome);
  void AllEnded();
  void ShowTimes();
  void ShowRunning();
  // On a pool thread.
  void Journal(size_t index, const std::string& started, const TJobOutcome& outcome);

  std::vector<TArchiveJob> jobs_;
  std::string journalFile_;
  std::unique_ptr<TJobPool> pool_;
  std::thread worker_;
  std::mutex journalLock_;
  bool journalFailed_ = false;  // guarded by journalLock_
  bool running_ = false;
  bool cancelled_ = false;
  int done_ = 0;
  QElapsedTimer elapsed_;
  QTimer* clock_;
  TRunAllModel* model_;
};

}  // namespace pw
