#include "ui/fmuHoardkeeper.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>

#include "archiver/ArchiveCommands.h"
#include "archiver/ArchiveJobs.h"
#include "archiver/BatchFiles.h"
#include "archiver/Dialect.h"
#include "archiver/JobPool.h"
#include "archiver/Journal.h"
#include "archiver/NightPlan.h"
#include "archiver/Retention.h"
#include "archiver/NightSchedule.h"
#include "archiver/Preview.h"
#include "model/HoardkeeperClasses.h"
#include "platform/Clock.h"
#include "platform/Errors.h"
#include "platform/Services.h"
#include "platform/SettingsLocation.h"
#include "platform/Streams.h"
#include "ui/Application.h"
#include "ui/DialogService.h"
#include "ui/ImageList.h"
#include "ui/ListModels.h"
#include "ui/MenuAccelerators.h"
#include "ui/PacketwrightHelpIDs.h"
#include "ui/RunJournal.h"
#include "ui/SlotGuard.h"
#include "ui/UiText.h"
#include "ui/eduAbout.h"
#include "ui/eduArchiverFoundDlg.h"
#include "ui/eduDirectory.h"
#include "ui/eduManager.h"
#include "ui/eduSchedule.h"
#include "ui/fmuBase.h"
#include "ui/fmuPreview.h"
#include "ui/fmuRestore.h"
#include "ui/fmuRules.h"
#include "ui/fmuRunAllAndWait.h"
#include "ui/fmuRunHistory.h"
#include "ui/fmuVerify.h"

namespace pw {

std::string DefaultSettingsFileName() {
  return SettingsFileName();
}

namespace {

// The batch actions and dialogs name the kind of script this style writes.
QString ScriptText(const char* batchText) {
  QString text(batchText);
  text.replace("*.bat", QString("*.") + Dialect().ScriptExtension());
  return text;
}

QString ScriptFilter() {
  return Dialect().ScriptFilter();
}
const char kDatFilter[] = "Packetwright Files (*.dat)|*.dat";

// Everything a load can change: the document and the root's own properties.
void CopyDocument(const TbkManager& from, TbkManager& to) {
  to.Assign(&from);
  to.SetName(from.Name());
  to.SetTag(from.Tag());
  to.SetLeft(from.Left());
  to.SetTop(from.Top());
}

// The batch-file save dialog, preset to fileName.
TFileDialogOptions SaveBatOptions(const QString& fileName) {
  TFileDialogOptions options;
  options.title = "Save As";
  options.filter = ScriptFilter();
  options.defaultExtension = ScriptExtension();
  options.askOverwrite = true;
  options.fileName = fileName;
  return options;
}

// Where no drive letters name the backup disks, the first start files each
// run's archives under its day, ~/MyArchives/2026-12-08. Only a document that
// never was saved gets it: a saved empty pattern stays empty.
void FirstStartPattern(TbkManager& manager) {
  if (manager.SubDirNamePattern().empty()) {
    manager.SetSubDirNamePattern(Dialect().FirstStartPattern());
  }
}

}  // namespace

namespace {

class TElideRightDelegate final : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    option->textElideMode = Qt::ElideRight;
  }
};

}  // namespace

TfmHoardkeeper::TfmHoardkeeper(std::string settingsFileName, QWidget* parent)
    : QMainWindow(parent), settingsFileName_(std::move(settingsFileName)) {
  setObjectName("fmHoardkeeper");
  setWindowTitle("Packetwright");
  setFont(DialogFont());
  resize(569, 417);
  executeArchiverFound = [this](TArchiverKind& kind) {
    return TedArchiverFoundDlg::Execute(kind, this);
  };
  executeManager = [this](TbkManager* m) { return TedManager::Execute(m, this, KeepPreview()); };
  executeAbout = [this] { TedAbout::Execute(settingsFileName_); };
  executeRules = [this](TbkRules* rules) { TfmRules::Execute(rules, this); };
  executeDirectory = [this](TbkDirectory* d) { return TedDirectory::Execute(d, this); };
  executeSchedule = [this] {
    TedSchedule::Execute(
        manager_.get(), settingsFileName_, [this] { SaveSettings(); }, this);
  };
  CreateActions();
  CreateList();
  CreateMenus();
}

TfmHoardkeeper::~TfmHoardkeeper() {
  // Nothing may reach a handler of this window while its parts go, and the
  // list lets go of the document before the document goes.
  ListView1->selectionModel()->disconnect(this);
  directoriesModel_->disconnect(this);
  directoriesModel_->SetList(nullptr);
}

void TfmHoardkeeper::CreateActions() {
  auto action = [this](QAction*& a, const QString& caption, const QString& hint, QKeySequence key,
                       int icon, void (TfmHoardkeeper::*handler)()) {
    a = new QAction(caption, this);
    a->setToolTip(hint);
    if (!key.isEmpty()) a->setShortcut(key);
    if (icon >= 0) a->setIcon(MainImageList()[icon]);
    // Whatever a command did, and however it ended, the screen then shows
    // what the document holds and what closing would ask about: before the
    // error box, so that the box is not shown over stale rows.
    ConnectGuarded(a, &QAction::triggered, this, [this, handler] {
      try {
        (this->*handler)();
      } catch (...) {
        ShowDocument();
        throw;
      }
      ShowDocument();
    });
  };
  action(actFileOpen, "Open...", "Open", {}, -1, &TfmHoardkeeper::actFileOpenExecute);
  action(actSave, "Save", "Save", Qt::Key_F2, 1, &TfmHoardkeeper::actSaveExecute);
  action(actSaveAs, "Save As...", "Save As", {}, -1, &TfmHoardkeeper::actSaveAsExecute);
  action(actAddDirectory, "Add Directory", "Add Directory", Qt::Key_F4, 0,
         &TfmHoardkeeper::actAddDirectoryExecute);
  action(actEditDirectory, "Edit Directory", "Edit Directory", Qt::Key_F3, 2,
         &TfmHoardkeeper::actEditDirectoryExecute);
  action(actDeleteDirectory, "Delete Directory From List", "Delete Directory From List",
         Qt::Key_Delete, 3, &TfmHoardkeeper::actDeleteDirectoryExecute);
  action(actShowRules, "Show Rules", "Show Rules", Qt::Key_F12, -1,
         &TfmHoardkeeper::actShowRulesExecute);
  action(actRunCurrentAnyway, "Run Current", "Run Current", Qt::Key_F9, 4,
         &TfmHoardkeeper::actRunCurrentAnywayExecute);
  action(actRunAll, "Run All", "Run All", Qt::CTRL | Qt::Key_F9, 9,
         &TfmHoardkeeper::actRunAllExecute);
  action(actPreview, "Preview", "Preview: what the archiver will take", Qt::Key_F5, -1,
         &TfmHoardkeeper::actPreviewExecute);
  action(actVerify, "Verify Latest Archive",
         "Verify: test the latest archive and compare it with what the job takes now", {}, -1,
         &TfmHoardkeeper::actVerifyExecute);
  action(actRestore, "Restore...", "Restore: files out of an archive of a night", {}, -1,
         &TfmHoardkeeper::actRestoreExecute);
  action(actRunAllAndWait, "Run All and Wait",
         "Run All and Wait: a few archivers at once, each waited for and journalled",
         Qt::SHIFT | Qt::CTRL | Qt::Key_F9, -1, &TfmHoardkeeper::actRunAllAndWaitExecute);
  action(actRunHistory, "Run History", "Run History", Qt::CTRL | Qt::Key_H, -1,
         &TfmHoardkeeper::actRunHistoryExecute);
  action(actCreateBatCurrent, ScriptText("Create *.bat File"), ScriptText("Create *.bat File"),
         Qt::Key_F8, 6, &TfmHoardkeeper::actCreateBatCurrentExecute);
  action(actCreateBatAll, ScriptText("Create *.bat file For All"),
         ScriptText("Create *.bat File for All"), Qt::CTRL | Qt::Key_F8, 6,
         &TfmHoardkeeper::actCreateBatAllExecute);
  action(actEditBatFile, ScriptText("Edit *.bat file"), ScriptText("Edit *.bat file"),
         Qt::CTRL | Qt::Key_B, 7, &TfmHoardkeeper::actEditBatFileExecute);
  action(actOpenArchiveDirectory, "Open  Archive Directory", "Open  Archive Directory", Qt::Key_F7,
         5, &TfmHoardkeeper::actOpenArchiveDirectoryExecute);
  action(actOptions, "Options", "Options", Qt::CTRL | Qt::Key_O, -1,
         &TfmHoardkeeper::actOptionsExecute);
  action(actSchedule, "Schedule...", "Schedule: the nightly run", {}, -1,
         &TfmHoardkeeper::actScheduleExecute);
  action(actHelp, "Contents", "Packetwright Help", Qt::Key_F1, -1, &TfmHoardkeeper::actHelpExecute);
  action(Exit1, "E&xit", "", {}, -1, &TfmHoardkeeper::Exit1Click);
  action(About, "About...", "", {}, -1, &TfmHoardkeeper::AboutClick);
  action(HomePage1, "Home Page", "", {}, -1, &TfmHoardkeeper::HomePage1Click);
}

void TfmHoardkeeper::CreateMenus() {
  QMenu* file = menuBar()->addMenu("&File");
  file->setObjectName("File1");
  file->addActions({actFileOpen, actSave, actSaveAs});
  file->addSeparator();
  file->addAction(Exit1);
  QMenu* command = menuBar()->addMenu("Command");
  command->setObjectName("Command1");
  command->addActions({actAddDirectory, actEditDirectory, actDeleteDirectory});
  command->addSeparator();
  command->addAction(actShowRules);
  command->addSeparator();
  command->addActions({actPreview, actVerify, actRestore});
  command->addSeparator();
  command->addActions({actRunCurrentAnyway, actRunAll, actRunAllAndWait});
  command->addSeparator();
  command->addAction(actRunHistory);
  command->addSeparator();
  command->addActions({actCreateBatCurrent, actCreateBatAll, actEditBatFile});
  command->addSeparator();
  command->addAction(actOpenArchiveDirectory);
  QMenu* tools = menuBar()->addMenu("Tools");
  tools->setObjectName("Tools1");
  tools->addActions({actOptions, actSchedule});
  QMenu* help = menuBar()->addMenu("Help");
  help->setObjectName("Help1");
  help->addAction(actHelp);
  help->addSeparator();
  help->addActions({About, HomePage1});

  ToolBar1 = addToolBar("ToolBar1");
  ToolBar1->setObjectName("ToolBar1");
  ToolBar1->setMovable(false);
  ToolBar1->setIconSize(QSize(16, 16));
  ToolBar1->addAction(actSave);
  ToolBar1->addSeparator();
  ToolBar1->addActions({actAddDirectory, actEditDirectory, actDeleteDirectory});
  ToolBar1->addSeparator();
  ToolBar1->addActions({actRunCurrentAnyway, actRunAll, actCreateBatAll});
  ToolBar1->addSeparator();
  ToolBar1->addActions({actOpenArchiveDirectory, actEditBatFile});

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName("PopupMenu1");
  PopupMenu1->addActions({actAddDirectory, actEditDirectory, actDeleteDirectory});
  PopupMenu1->addSeparator();
  PopupMenu1->addActions(
      {actPreview, actVerify, actRestore, actRunCurrentAnyway, actCreateBatCurrent});
  AssignAccelerators(menuBar());
  AssignAccelerators(PopupMenu1);
}

void TfmHoardkeeper::CreateList() {
  Splitter1 = new QSplitter(Qt::Vertical, this);
  Splitter1->setObjectName("Splitter1");
  ListView1 = new TListView(Splitter1);
  ListView1->setObjectName("ListView1");
  directoriesModel_ = new TDirectoriesModel(this);
  ListView1->setModel(directoriesModel_);
  ListView1->setRootIsDecorated(false);
  ListView1->setUniformRowHeights(true);
  ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
  ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
  ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ListView1->setIconSize(QSize(16, 16));
  // The columns share the list's width (FitColumns); a path too long for
  // its column keeps its start and its end.
  ListView1->header()->setSectionResizeMode(QHeaderView::Fixed);
  ListView1->header()->setStretchLastSection(false);
  ListView1->setTextElideMode(Qt::ElideMiddle);
  // A last run cut keeps its time: the tip tells the rest.
  ListView1->setItemDelegateForColumn(TDirectoriesModel::kLastRunColumn,
                                      new TElideRightDelegate(ListView1));
  // Names and last runs are measured on the rows on the screen: measuring
  // every row of a long list would cost more than the rest of the start-up.
  ListView1->header()->setResizeContentsPrecision(0);
  ListView1->viewport()->installEventFilter(this);
  connect(directoriesModel_, &QAbstractItemModel::modelReset, this, &TfmHoardkeeper::FitColumns);
  connect(directoriesModel_, &QAbstractItemModel::layoutChanged, this, &TfmHoardkeeper::FitColumns);
  connect(directoriesModel_, &QAbstractItemModel::rowsInserted, this, &TfmHoardkeeper::FitColumns);
  connect(directoriesModel_, &QAbstractItemModel::rowsRemoved, this, &TfmHoardkeeper::FitColumns);
  connect(directoriesModel_, &QAbstractItemModel::dataChanged, this, &TfmHoardkeeper::FitColumns);
  connect(ListView1->verticalScrollBar(), &QScrollBar::valueChanged, this,
          &TfmHoardkeeper::FitColumns);
  ListView1->installEventFilter(new TSpaceTogglesCheck(ListView1));
  ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(ListView1, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu1->popup(ListView1->viewport()->mapToGlobal(at)); });
  // A click on a check mark reports that row; a new selection the selected one.
  ConnectGuarded(directoriesModel_, &TListModel::CheckToggled, this,
                 &TfmHoardkeeper::ListView1Change);
  ConnectGuarded(ListView1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                 [this] { ListView1Change(SelectedRow()); });
  connect(ListView1, &QAbstractItemView::doubleClicked, this,
          [this] { actEditDirectory->trigger(); });

  meCommandText = new QPlainTextEdit(Splitter1);
  meCommandText->setObjectName("meCommandText");
  meCommandText->setReadOnly(true);
  // The text area paints with the base colour; a read-only memo shows the window face.
  QPalette face = meCommandText->palette();
  face.setColor(QPalette::Base, face.color(QPalette::Window));
  meCommandText->setPalette(face);
  meCommandText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  meCommandText->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  Splitter1->addWidget(ListView1);
  Splitter1->addWidget(meCommandText);
  Splitter1->setStretchFactor(0, 1);
  Splitter1->setSizes({417 - 89, 89});
  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  CreateNightsLine();
  column->addWidget(paNights);
  column->addWidget(Splitter1, 1);
  setCentralWidget(central);

  StatusPanel0 = new QLabel(this);
  StatusPanel0->setFixedWidth(100);
  StatusPanel1 = new QLabel(this);
  statusBar()->addWidget(StatusPanel0);
  statusBar()->addWidget(StatusPanel1, 1);
}

// The directory, the column most read, keeps a third of the width, or what
// its rows on the screen need where that is less; the rule what its rows
// need, up to a sixth.
// In what is left the last run takes what its rows need as far as the
// archive's name keeps an eighth, the name what its rows need of the rest,
// and the directory all that remains.
void TfmHoardkeeper::FitColumns() {
  const int width = ListView1->viewport()->width();
  if (width <= 0) return;
  QHeaderView* header = ListView1->header();
  const auto wanted = [&](int column) {
    // The tree view's own measure, which the base class makes public.
    const QAbstractItemView* view = ListView1;
    return std::max(view->sizeHintForColumn(column), header->sectionSizeHint(column));
  };
  const int rule = std::min({wanted(2), 100, width / 6});
  const int room = std::max(0, width - std::min(wanted(1), width / 3) - rule);
  const int nameAtLeast = std::min(wanted(0), width / 8);
  const int lastRun =
      std::min(wanted(TDirectoriesModel::kLastRunColumn), std::max(0, room - nameAtLeast));
  const int name = std::min(wanted(0), room - lastRun);
  header->resizeSection(0, name);
  header->resizeSection(2, rule);
  header->resizeSection(TDirectoriesModel::kLastRunColumn, lastRun);
  header->resizeSection(1, std::max(0, width - name - rule - lastRun));
}

bool TfmHoardkeeper::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ListView1->viewport() && event->type() == QEvent::Resize) FitColumns();
  return QMainWindow::eventFilter(watched, event);
}

// A slim bar in the colours of a tip, which the style chooses; the whole
// line is the button that opens the history.
void TfmHoardkeeper::CreateNightsLine() {
  paNights = new QFrame(this);
  paNights->setObjectName("paNights");
  paNights->setAutoFillBackground(true);
  QPalette tip = paNights->palette();
  tip.setColor(QPalette::Window, tip.color(QPalette::ToolTipBase));
  tip.setColor(QPalette::WindowText, tip.color(QPalette::ToolTipText));
  tip.setColor(QPalette::Button, tip.color(QPalette::ToolTipBase));
  tip.setColor(QPalette::ButtonText, tip.color(QPalette::ToolTipText));
  paNights->setPalette(tip);
  auto* row = new QHBoxLayout(paNights);
  row->setContentsMargins(4, 1, 4, 1);
  buNights = new QToolButton(paNights);
  buNights->setObjectName("buNights");
  buNights->setAutoRaise(true);
  buNights->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  buNights->setIcon(style()->standardIcon(QStyle::SP_MessageBoxWarning));
  buNights->setIconSize(QSize(16, 16));
  buNights->setCursor(Qt::PointingHandCursor);
  buNights->setToolTip("Open the Run History with these runs");
  QFont bold = buNights->font();
  bold.setBold(true);
  buNights->setFont(bold);
  row->addWidget(buNights);
  row->addStretch(1);
  paNights->hide();
  ConnectGuarded(buNights, &QToolButton::clicked, this, &TfmHoardkeeper::buNightsClick);
}

void TfmHoardkeeper::AfterConstruction() {
  setWindowTitle("Packetwright " PW_VERSION);
  manager_ = std::make_unique<TbkManager>();
  const bool firstStart = !FileExists(settingsFileName_);
  manager_->LoadFromFile(settingsFileName_);
  FillDirectoryList();
  ListView1Change(SelectedRow());
  journalWatcher_ = new TJournalWatcher(JournalFileName(settingsFileName_), this);
  ConnectGuarded(journalWatcher_, &TJournalWatcher::Changed, this, &TfmHoardkeeper::ReadLastRuns);
  ReadLastRuns();
  ShowNightsLine();
  if (manager_->ArchiverExeFileName().empty()) {
    TArchiverKind kind;
    if (executeArchiverFound(kind)) {
      if (ApplyArchiverOptions(*manager_, kind) && firstStart) FirstStartPattern(*manager_);
      Refresh();
    }
  }
}

// ---- The list -----------------------------------------------------------------

int TfmHoardkeeper::SelectedRow() const {
  const QModelIndexList selected = ListView1->selectionModel()->selectedRows();
  return selected.isEmpty() ? -1 : selected.first().row();
}

TbkDirectory* TfmHoardkeeper::SelectedDirectory() const {
  const int row = SelectedRow();
  return row < 0 ? nullptr : manager_->Directories()->Items(row);
}

void TfmHoardkeeper::FillDirectoryList() {
  directoriesModel_->SetList(manager_->Directories());
  UpdateStatusBar(-1);
}

void TfmHoardkeeper::ReadLastRuns() {
  directoriesModel_->SetLastRuns(LatestRuns(JournalFileName(settingsFileName_)));
}

void TfmHoardkeeper::UpdateStatusBar(int row) {
  const TbkDirectories* directories = manager_->Directories();
  const bool modified =
      row >= 0 && row < directories->Count() && directories->Items(row)->GetModified();
  StatusPanel0->setText(modified ? "Modified" : "");
  StatusPanel1->setText(ToQt(GetArchiveDirectory(*manager_, false)));
}

// The check mark of row is already in its directory: the model writes it.
void TfmHoardkeeper::ListView1Change(int row) {
  const bool selected = SelectedRow() >= 0;
  for (QAction* a : {actEditDirectory, actDeleteDirectory, actPreview, actVerify, actRestore,
                     actRunCurrentAnyway, actCreateBatCurrent}) {
    a->setEnabled(selected);
  }
  const TbkDirectories* directories = manager_->Directories();
  if (row >= 0 && row < directories->Count()) {
    UpdateStatusBar(row);
    meCommandText->setPlainText(ToQt(GetCommandText(*manager_, *directories->Items(row))));
  } else {
    meCommandText->clear();
  }
  actSave->setEnabled(manager_->GetModified());
  ListView1->viewport()->update();
}

void TfmHoardkeeper::ShowDocument() {
  // The rows follow the directories through the model; a document whose
  // list was replaced wholesale is shown afresh.
  if (directoriesModel_->List() != manager_->Directories()) FillDirectoryList();
  Refresh();
}

void TfmHoardkeeper::Refresh() {
  UpdateStatusBar(-1);
  ListView1Change(SelectedRow());
}

// ---- Commands -----------------------------------------------------------------

void TfmHoardkeeper::actAddDirectoryExecute() {
  // The dialog fills a directory outside the list, so that the list shows no
  // empty row behind it; the directory joins the document on OK.
  TbkDirectory fresh(nullptr);
  fresh.SetManager(manager_.get());
  TbkDirectories* directories = manager_->Directories();
  if (!executeDirectory(&fresh)) {
    // As ever, an addition that is cancelled still counts as a change.
    directories->SetModified(true);
    return;
  }
  directories->Add()->Assign(&fresh);
  const QModelIndex added = directoriesModel_->index(directories->Count() - 1, 0);
  ListView1->selectionModel()->setCurrentIndex(
      added, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  ListView1Change(SelectedRow());
}

void TfmHoardkeeper::actEditDirectoryExecute() {
  TbkDirectory* directory = SelectedDirectory();
  if (!directory || !executeDirectory(directory)) return;
  ListView1Change(SelectedRow());
}

void TfmHoardkeeper::actShowRulesExecute() {
  executeRules(manager_->Rules());
  FillDirectoryList();
  ListView1Change(SelectedRow());
}

void TfmHoardkeeper::actDeleteDirectoryExecute() {
  const int row = SelectedRow();
  if (row < 0) return;
  TbkDirectories* directories = manager_->Directories();
  const QString path = ToQt(directories->Items(row)->Path());
  if (!Get<IDialogService>().Confirm(this, "Delete " + path + "?")) return;
  // Nothing is selected afterwards: the view would move the selection to
  // the next row, and a second Del would act on that directory.
  ListView1->selectionModel()->clear();
  directories->Delete(row);
  ListView1Change(SelectedRow());
}

// The user's settings folder does not exist before the first save there.
void TfmHoardkeeper::SaveSettings() {
  const std::string folder = ExtractFilePath(settingsFileName_);
  if (!folder.empty()) ForceDirectories(folder);
  manager_->SaveToFile(settingsFileName_, true);
}

void TfmHoardkeeper::actSaveExecute() {
  SaveSettings();
  ListView1->viewport()->update();
  UpdateStatusBar(SelectedRow());
  ListView1Change(SelectedRow());
}

void TfmHoardkeeper::actSaveAsExecute() {
  TFileDialogOptions options;
  options.title = "Save As";
  options.filter = kDatFilter;
  options.defaultExtension = "dat";
  options.askOverwrite = true;
  if (auto file = Get<IDialogService>().SaveFile(this, options)) {
    manager_->SaveToFile(FromQt(*file), false);
  }
}

void TfmHoardkeeper::actFileOpenExecute() {
  TFileDialogOptions options;
  options.title = "Open";
  options.filter = kDatFilter;
  options.defaultExtension = "dat";
  const auto file = Get<IDialogService>().OpenFile(this, options);
  if (!file) return;
  const std::string fileName = FromQt(*file);
  if (FileExists(fileName)) {
    // Read into a copy first, so that a file that fails part-way leaves the
    // document as it was.
    TbkManager loaded;
    CopyDocument(*manager_, loaded);
    loaded.LoadFromFile(fileName);
    CopyDocument(loaded, *manager_);
    // What was opened is not in the program's own settings file yet, which
    // Save and the question on closing write: until then it is a change.
    // The rows stay unmarked: they are as in the opened file.
    manager_->SetModified(false);
    if (!SameFile(fileName, settingsFileName_)) manager_->SetModified(true);
  }
  FillDirectoryList();
  ListView1Change(SelectedRow());
  ShowNightsLine();
}

// A run's error names its directory: among thousands, "Invalid filename."
// alone does not say which one it was.
void TfmHoardkeeper::actRunCurrentAnywayExecute() {
  const TbkDirectory* directory = SelectedDirectory();
  if (!directory) return;
  try {
    RunDirectory(*manager_, *directory, JournalFileName(settingsFileName_));
  } catch (const Exception& e) {
    throw EDirectoryError(e, directory->Path());
  }
}

void TfmHoardkeeper::actRunAllExecute() {
  std::string failed;
  try {
    RunAllDirectories(*manager_, &failed, JournalFileName(settingsFileName_));
  } catch (const Exception& e) {
    // Clashes come together at the end, each line naming its directory.
    if (failed.empty()) throw;
    throw EDirectoryError(e, failed);
  }
}

// The request is copied out of the document here; the walk then runs on
// its own while the user goes on editing. Each preview is a window of its
// own, so that two directories can be compared side by side.
void TfmHoardkeeper::actPreviewExecute() {
  const TbkDirectory* directory = SelectedDirectory();
  if (!directory) return;
  const TArchiveJob job = MakeNightPlan(*manager_).Job(PositionOf(*manager_, *directory));
  auto* window = new TfmPreview(MakePreviewRequest(*manager_, job), this);
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->show();
}

// The jobs are made here, at one moment, so that they all go into the same
// dated folder; the pool then runs them on its own threads while this
// window stays free. One such run at a time: a second would start the same
// archives again.
void TfmHoardkeeper::actRunAllAndWaitExecute() {
  if (runAllAndWait_ && runAllAndWait_->Running()) {
    runAllAndWait_->raise();
    return;
  }
  std::vector<TArchiveJob> marked = MakeNightPlan(*manager_).Marked();
  if (marked.empty()) throw Exception("No directory is marked to be archived.");
  if (runAllAndWait_) runAllAndWait_->close();
  runAllAndWait_ = new TfmRunAllAndWait(std::move(marked), JournalFileName(settingsFileName_),
                                        DefaultJobsAtOnce(), this);
  runAllAndWait_->setAttribute(Qt::WA_DeleteOnClose);
  connect(runAllAndWait_, &TfmRunAllAndWait::Finished, this,
          [this] { actRunAllAndWait->setEnabled(true); });
  actRunAllAndWait->setEnabled(false);
  runAllAndWait_->show();
}

TKeepPreview TfmHoardkeeper::KeepPreview() const {
  // What the rules would delete, read from the journal as the dialog shows them.
  return [journal = JournalFileName(settingsFileName_)](const TbkManager& shown) {
    return PrunePreviewText(shown, shown.Keep(), journal);
  };
}

void TfmHoardkeeper::actVerifyExecute() {
  const TbkDirectory* directory = SelectedDirectory();
  if (!directory) return;
  VerifyArchive(PositionOf(*manager_, *directory), std::nullopt);
}

// A record's archive is verified against its directory's job as the
// document has it now.
void TfmHoardkeeper::VerifyRecordsArchive(const TJournalRecord& record) {
  const TbkDirectories* directories = manager_->Directories();
  for (int i = 0; i < directories->Count(); ++i) {
    if (AsReadFromJournal(directories->Items(i)->Path()) == record.directory) {
      VerifyArchive(i + 1, TLatestArchive{record.archive, record.started});
      return;
    }
  }
  throw Exception("The directory " + record.directory +
                  " is no longer in the list: its archive cannot be compared with its job.");
}

// Each verification is a window of its own, working on a copy of the document.
void TfmHoardkeeper::VerifyArchive(int position, std::optional<TLatestArchive> archive) {
  auto* window = new TfmVerify(*manager_, position, std::move(archive),
                               JournalFileName(settingsFileName_), this);
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->show();
}

void TfmHoardkeeper::actRestoreExecute() {
  const TbkDirectory* directory = SelectedDirectory();
  if (!directory) return;
  RestoreArchive(AsReadFromJournal(directory->Path()), "");
}

// Each restore is a window of its own, with the archiver of the document as
// it is now.
void TfmHoardkeeper::RestoreArchive(const std::string& directory, const std::string& archive) {
  auto* window =
      new TfmRestore(*manager_, directory, archive, JournalFileName(settingsFileName_), this);
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->show();
}

TfmRunHistory* TfmHoardkeeper::RunHistoryWindow() const {
  return runHistory_;
}

// One window, kept open beside the list; asked again, it comes to the front.
void TfmHoardkeeper::actRunHistoryExecute() {
  if (!runHistory_) {
    runHistory_ = new TfmRunHistory(JournalFileName(settingsFileName_), this);
    runHistory_->setAttribute(Qt::WA_DeleteOnClose);
    runHistory_->verify = [this](const TJournalRecord& record) { VerifyRecordsArchive(record); };
    runHistory_->restore = [this](const TJournalRecord& record) {
      RestoreArchive(record.directory, record.archive);
    };
  }
  runHistory_->show();
  runHistory_->raise();
  runHistory_->activateWindow();
}

void TfmHoardkeeper::actCreateBatCurrentExecute() {
  const TbkDirectory* directory = SelectedDirectory();
  if (!directory) return;
  const auto file =
      Get<IDialogService>().SaveFile(this, SaveBatOptions(ToQt(DefaultBatchFileName(*directory))));
  if (!file) return;
  sdBatFileName_ = *file;
  CreateBatForDirectory(*manager_, *directory, FromQt(*file));
}

void TfmHoardkeeper::actCreateBatAllExecute() {
  CreateBatForAll(*manager_, [this](std::string& fileName) {
    const auto file = Get<IDialogService>().SaveFile(this, SaveBatOptions(sdBatFileName_));
    if (!file) return false;
    sdBatFileName_ = *file;
    fileName = FromQt(*file);
    return true;
  });
}

void TfmHoardkeeper::actEditBatFileExecute() {
  TFileDialogOptions options;
  options.title = "Open";
  options.filter = ScriptFilter();
  if (auto file = Get<IDialogService>().OpenFile(this, options)) EditBatchFile(FromQt(*file));
}

void TfmHoardkeeper::actOpenArchiveDirectoryExecute() {
  OpenArchiveDirectory(*manager_);
}

void TfmHoardkeeper::actOptionsExecute() {
  executeManager(manager_.get());
  Refresh();
}

void TfmHoardkeeper::actScheduleExecute() {
  executeSchedule();
}

void TfmHoardkeeper::ShowNightsLine() {
  TNightsReport report;
  try {
    report = ReportNights(*manager_, JournalFileName(settingsFileName_),
                          LocalTimeOf(Get<IClock>().Now()));
  } catch (const Exception&) {
    // A journal that cannot be read tells of no nights; the Last Run column
    // and the Run History say so where the user looks for runs.
    report = TNightsReport{};
  }
  nightsMark_ = NightsMark(report);
  nightsFailed_ = report.failed > 0;
  buNights->setText(ToQt(NightsLine(report)));
  paNights->setVisible(!nightsMark_.empty() && nightsMark_ != SeenNights(settingsFileName_));
}

// The history opens to the failed runs, or to every run when only nights
// were missed, which left no record to show.
void TfmHoardkeeper::buNightsClick() {
  actRunHistoryExecute();
  runHistory_->cbDirectory->setCurrentIndex(0);
  runHistory_->cbFailedOnly->setChecked(nightsFailed_);
  paNights->hide();
  // A mark that cannot be kept brings the line back at the next start, no worse.
  RememberSeenNights(settingsFileName_, nightsMark_);
}

void TfmHoardkeeper::actHelpExecute() {
  ShowHelpTopic(hcMainWindow);
}

void TfmHoardkeeper::AboutClick() {
  executeAbout();
}

void TfmHoardkeeper::HomePage1Click() {
  OpenDocument(kHomePage);
}

void TfmHoardkeeper::Exit1Click() {
  close();
}

bool TfmHoardkeeper::FormCloseQuery() {
  // The run's window goes with this one, and its archivers with it.
  if (runAllAndWait_ && runAllAndWait_->Running() &&
      !Get<IDialogService>().Confirm(
          this, "Run All and Wait is still at work. End its archivers and close?", TAnswer::No)) {
    return false;
  }
  if (!manager_ || !manager_->GetModified()) return true;
  const QString question =
      "Packetwright" + QString(" options has changed. Save to ") + ToQt(settingsFileName_) + "?";
  switch (Get<IDialogService>().ConfirmWithCancel(this, question)) {
    case TAnswer::Yes:
      SaveSettings();
      return true;
    case TAnswer::No:
      return true;
    case TAnswer::Cancel:
      return false;
  }
  return false;
}

bool TfmHoardkeeper::event(QEvent* event) {
  // Hints show as tooltips; the status panels always show the document's
  // state and the archive directory.
  if (event->type() == QEvent::StatusTip) return true;
  return QMainWindow::event(event);
}

void TfmHoardkeeper::closeEvent(QCloseEvent* event) {
  bool canClose = false;  // also when the save fails: the window stays open
  Guarded([&] { canClose = FormCloseQuery(); });
  if (canClose) CloseOwnWindows();
  event->setAccepted(canClose);
}

// The run, preview and history windows are this window's own: one left on
// the screen would keep the program alive after its main window is gone.
// Each ends its work as it goes: the run its archivers (journalled as
// stopped), the preview its walk.
void TfmHoardkeeper::CloseOwnWindows() {
  delete runAllAndWait_.data();
  delete runHistory_.data();
  for (TfmPreview* preview : findChildren<TfmPreview*>(Qt::FindDirectChildrenOnly)) delete preview;
  for (TfmVerify* verify : findChildren<TfmVerify*>(Qt::FindDirectChildrenOnly)) delete verify;
  for (TfmRestore* restore : findChildren<TfmRestore*>(Qt::FindDirectChildrenOnly)) delete restore;
}

}  // namespace pw
