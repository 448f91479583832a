// The main window: the directories of the document with their command text,
// and every command of the program.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "archiver/ArchiverDetection.h"
#include "archiver/Verify.h"
#include "ui/eduManager.h"

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QSplitter;
class QToolBar;
class QToolButton;
class QTreeView;

namespace pw {

class TbkDirectory;
class TbkManager;
class TbkRules;
class TDirectoriesModel;
class TJournalWatcher;
class TfmRunAllAndWait;
class TfmRunHistory;

// The settings file the program uses unless told another: beside the program,
// or in the user's settings folder (SettingsFileName()).
std::string DefaultSettingsFileName();

class TfmHoardkeeper final : public QMainWindow {
  Q_OBJECT
 public:
  explicit TfmHoardkeeper(std::string settingsFileName = DefaultSettingsFileName(),
                          QWidget* parent = nullptr);
  ~TfmHoardkeeper() override;

  // Start-up: loads the settings file and, when no archiver is set, asks for
  // one. A settings file that cannot be read raises.
  void AfterConstruction();

  // The dialogs the window opens; tests put stand-ins in their place.
  std::function<bool(TArchiverKind&)> executeArchiverFound;
  std::function<bool(TbkManager*)> executeManager;
  // What the options' Keep section shows: what a prune by the rules shown
  // would delete now, from this settings file's journal.
  TKeepPreview KeepPreview() const;
  std::function<void()> executeAbout;
  std::function<void(TbkRules*)> executeRules;
  std::function<bool(TbkDirectory*)> executeDirectory;
  std::function<void()> executeSchedule;

  TbkManager* Manager() const { return manager_.get(); }
  const std::string& GetSettingsFileName() const { return settingsFileName_; }
  TbkDirectory* SelectedDirectory() const;
  // The row of the selected directory, or -1; rows are the indexes of the
  // document's Directories.
  int SelectedRow() const;
  void FillDirectoryList();
  // For the directory of row, or none for -1.
  void UpdateStatusBar(int row);
  void ListView1Change(int row);
  // The Last Run column from the journal beside the settings file; done again
  // whenever the journal changes.
  void ReadLastRuns();
  // The run history window while it is open, or null.
  TfmRunHistory* RunHistoryWindow() const;
  // The line above the list that tells of failed or missed nights, from the
  // journal as it is now; hidden when they went well or the user has seen
  // it for these nights.
  void ShowNightsLine();

  QFrame* paNights;
  QToolButton* buNights;

  QToolBar* ToolBar1;
  QTreeView* ListView1;
  QSplitter* Splitter1;
  QPlainTextEdit* meCommandText;
  QLabel* StatusPanel0;
  QLabel* StatusPanel1;
  QMenu* PopupMenu1;

  QAction* actFileOpen;
  QAction* actSave;
  QAction* actSaveAs;
  QAction* actAddDirectory;
  QAction* actEditDirectory;
  QAction* actDeleteDirectory;
  QAction* actShowRules;
  QAction* actRunCurrentAnyway;
  QAction* actRunAll;
  QAction* actRunAllAndWait;
  QAction* actPreview;
  QAction* actVerify;
  QAction* actRestore;
  QAction* actRunHistory;
  QAction* actCreateBatCurrent;
  QAction* actCreateBatAll;
  QAction* actEditBatFile;
  QAction* actOpenArchiveDirectory;
  QAction* actOptions;
  QAction* actSchedule;
  QAction* actHelp;
  QAction* Exit1;
  QAction* About;
  QAction* HomePage1;

 public slots:
  void actFileOpenExecute();
  void actSaveExecute();
  void actSaveAsExecute();
  void actAddDirectoryExecute();
  void actEditDirectoryExecute();
  void actDeleteDirectoryExecute();
  void actShowRulesExecute();
  void actRunCurrentAnywayExecute();
  void actRunAllExecute();
  void actRunAllAndWaitExecute();
  void actPreviewExecute();
  void actVerifyExecute();
  void actRestoreExecute();
  void actRunHistoryExecute();
  void actCreateBatCurrentExecute();
  void actCreateBatAllExecute();
  void actEditBatFileExecute();
  void actOpenArchiveDirectoryExecute();
  void actOptionsExecute();
  void actScheduleExecute();
  void actHelpExecute();
  void buNightsClick();
  void AboutClick();
  void HomePage1Click();
  void Exit1Click();

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // Opens a window that verifies archive (none: the latest that the journal
  // names) of the directory at position (from 1).
  void VerifyArchive(int position, std::optional<TLatestArchive> archive);
  // The same for the archive of a record, of the directory that the record
  // names; fails when the list no longer holds it.
  void VerifyRecordsArchive(const TJournalRecord& record);
  // Opens a window that restores files out of archive (empty: the newest)
  // of directory, as the journal holds it.
  void RestoreArchive(const std::string& directory, const std::string& archive);
  void CreateActions();
  void CreateMenus();
  void CreateList();
  void CreateNightsLine();
  void FitColumns();
  bool FormCloseQuery();
  void CloseOwnWindows();
  void SaveSettings();
  // The rows, the actions, the memo and the status bar from the document.
  void ShowDocument();
  void Refresh();

  std::string settingsFileName_;
  std::unique_ptr<TbkManager> manager_;
  TDirectoriesModel* directoriesModel_;
  TJournalWatcher* journalWatcher_ = nullptr;
  QPointer<TfmRunHistory> runHistory_;
  QPointer<TfmRunAllAndWait> runAllAndWait_;
  QString sdBatFileName_;
  // What the nights line shows, and the history it opens to.
  std::string nightsMark_;
  bool nightsFailed_ = false;
};

}  // namespace pw
