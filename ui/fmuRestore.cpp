#include "ui/fmuRestore.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTabWidget>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>

#include "archiver/ArchiveJob.h"
#include "archiver/Dialect.h"
#include "archiver/Journal.h"
#include "archiver/NightPlan.h"
#include "platform/Errors.h"
#include "ui/DialogService.h"
#include "ui/PacketwrightHelpIDs.h"
#include "ui/RunJournal.h"
#include "ui/SlotGuard.h"
#include "ui/UiText.h"
#include "ui/fmuBase.h"

namespace pw {

namespace {

constexpr int kNightPage = 0, kFoundPage = 1;
// The files already there that the question names one by one.
constexpr int kConflictLinesMost = 500;
constexpr const char* kRed = "#c00000";
constexpr const char* kAmber = "#8a5a00";

QVariant RightAligned() {
  return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
}

const QIcon& FolderIcon() {
  static const QIcon icon = QApplication::style()->standardIcon(QStyle::SP_DirIcon);
  return icon;
}

const QIcon& FileIcon() {
  static const QIcon icon = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
  return icon;
}

QString SizeCell(const TListedEntry& entry) {
  return entry.folder ? QString() : SizeText(entry.bytes);
}

QString BytesTip(const TListedEntry& entry) {
  return entry.folder ? QString() : CountText(entry.bytes) + " bytes";
}

QString FileNameOf(const std::string& path) {
  return QFileInfo(ToQt(path)).fileName();
}

// The key a path inside an archive is told to lie below a folder by, made
// plain first: the prefix key, since a Windows name's compare key is the
// locale's, which keeps no prefixes.
std::string PlainKey(const std::string& path) {
  return Dialect().PrefixKey(InsideArchivePath(path));
}

// Whether a folder among folders (plain keys) holds the path's key.
bool UnderAny(const std::string& key, const std::set<std::string>& folders) {
  const char separator = Dialect().Separator();
  for (size_t at = key.find(separator); at != std::string::npos; at = key.find(separator, at + 1)) {
    if (folders.count(key.substr(0, at))) return true;
  }
  return false;
}

}  // namespace

// ---- TRestoreFilesModel ------------------------------------------------------------

std::vector<QString> TRestoreFilesModel::ShownPaths(const std::vector<TListedEntry>& listing) {
  std::vector<QString> paths;
  paths.reserve(listing.size());
  for (const TListedEntry& entry : listing) paths.push_back(ToQt(entry.path));
  return paths;
}

void TRestoreFilesModel::SetListing(std::vector<TListedEntry> listing) {
  std::vector<QString> paths = ShownPaths(listing);
  SetListing(std::move(listing), std::move(paths));
}

void TRestoreFilesModel::SetListing(std::vector<TListedEntry> listing,
                                    std::vector<QString> paths) {
  beginResetModel();
  listing_ = std::move(listing);
  paths_ = std::move(paths);
  paths_.resize(listing_.size());
  endResetModel();
}

int TRestoreFilesModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(listing_.size());
}

int TRestoreFilesModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : cColumns;
}

QVariant TRestoreFilesModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case cPath: return "Path";
    case cSize: return "Size";
    case cModified: return "Modified";
    default: return {};
  }
}

QVariant TRestoreFilesModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const TListedEntry& entry = Entry(index.row());
  switch (role) {
    case Qt::DisplayRole:
      switch (index.column()) {
        case cPath: return Path(index.row());
        case cSize: return SizeCell(entry);
        case cModified: return ToQt(entry.modified);
        default: return {};
      }
    case Qt::DecorationRole:
      return index.column() == cPath ? (entry.folder ? FolderIcon() : FileIcon()) : QVariant();
    case Qt::ToolTipRole:
      return index.column() == cSize ? BytesTip(entry) : QVariant();
    case Qt::TextAlignmentRole:
      return index.column() == cSize ? RightAligned() : QVariant();
    default:
      return {};
  }
}

// ---- TRestoreFilesFilter -----------------------------------------------------------

void TRestoreFilesFilter::SetPattern(const QString& pattern) {
  text_.clear();
  wildcards_.reset();
  if (pattern.contains('*') || pattern.contains('?')) {
    QString expression;
    for (const QChar c : pattern) {
      expression += c == '*' ? QString(".*") : c == '?' ? QString(".") : QRegularExpression::escape(c);
    }
    wildcards_.emplace(expression, QRegularExpression::CaseInsensitiveOption);
  } else {
    text_ = pattern;
  }
  // Made afresh, rather than row ranges in and out one by one: a filter
  // cleared over a long listing would otherwise insert thousands of ranges.
  invalidate();
}

bool TRestoreFilesFilter::filterAcceptsRow(int sourceRow, const QModelIndex&) const {
  const auto* files = static_cast<const TRestoreFilesModel*>(sourceModel());
  const QString& path = files->Path(sourceRow);
  if (wildcards_) return wildcards_->match(path).hasMatch();
  return text_.isEmpty() || path.contains(text_, Qt::CaseInsensitive);
}

bool TRestoreFilesFilter::lessThan(const QModelIndex& left, const QModelIndex& right) const {
  const auto* files = static_cast<const TRestoreFilesModel*>(sourceModel());
  const TListedEntry& a = files->Entry(left.row());
  const TListedEntry& b = files->Entry(right.row());
  switch (left.column()) {
    case TRestoreFilesModel::cSize:
      if (a.bytes != b.bytes) return a.bytes < b.bytes;
      break;
    case TRestoreFilesModel::cModified:
      if (a.modified != b.modified) return a.modified < b.modified;
      break;
    default:
      break;
  }
  return a.path < b.path;
}

// ---- TFoundCopiesModel -------------------------------------------------------------

void TFoundCopiesModel::SetCopies(std::vector<TFoundCopy> copies) {
  beginResetModel();
  copies_ = std::move(copies);
  endResetModel();
}

int TFoundCopiesModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(copies_.size());
}

int TFoundCopiesModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : cColumns;
}

QVariant TFoundCopiesModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case cNight: return "Night";
    case cDirectory: return "Directory";
    case cPath: return "Path";
    case cSize: return "Size";
    case cModified: return "Modified";
    default: return {};
  }
}

QVariant TFoundCopiesModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const TFoundCopy& copy = Copy(index.row());
  switch (role) {
    case Qt::DisplayRole:
      switch (index.column()) {
        case cNight: return ToQt(copy.archive.Night());
        case cDirectory: return ToQt(copy.archive.directory);
        case cPath: return ToQt(copy.entry.path);
        case cSize: return SizeCell(copy.entry);
        case cModified: return ToQt(copy.entry.modified);
        default: return {};
      }
    case Qt::ToolTipRole:
      return index.column() == cSize ? BytesTip(copy.entry) : ToQt(copy.archive.archive);
    case Qt::TextAlignmentRole:
      return index.column() == cSize ? RightAligned() : QVariant();
    default:
      return {};
  }
}

// ---- TfmRestore --------------------------------------------------------------------

TfmRestore::TfmRestore(const TbkManager& manager, const std::string& directory,
                       const std::string& archive, const std::string& journalFile,
                       QWidget* parent)
    : QWidget(parent, Qt::Window), directory_(directory), journalFile_(journalFile) {
  setObjectName("fmRestore");
  setWindowTitle("Restore - " + ToQt(directory));
  setFont(DialogFont());
  resize(760, 600);
  AddWindowKeys(this, hcRestoreWindow);
  extractor_ = ExtractorOf(manager);
  for (const TArchiveJob& job : MakeNightPlan(manager).jobs) {
    ownFolders_.emplace(AsReadFromJournal(job.directory), job.workingDirectory);
  }

  laDirectory = new QLabel("Directory: " + ToQt(directory), this);
  laDirectory->setObjectName("laDirectory");
  laDirectory->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* laNight = new QLabel("&Night:", this);
  cbNight = new QComboBox(this);
  cbNight->setObjectName("cbNight");
  cbNight->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  laNight->setBuddy(cbNight);
  auto* top = new QHBoxLayout;
  top->addWidget(laNight);
  top->addWidget(cbNight, 1);

  // The night's files: one flat row an entry, behind a filter.
  auto* nightPage = new QWidget(this);
  auto* laFilter = new QLabel("&Filter:", nightPage);
  edFilter = new QLineEdit(nightPage);
  edFilter->setObjectName("edFilter");
  edFilter->setPlaceholderText("part of a path, or a pattern such as *.odt");
  edFilter->setClearButtonEnabled(true);
  laFilter->setBuddy(edFilter);
  laFiles = new QLabel(nightPage);
  laFiles->setObjectName("laFiles");
  auto* filterRow = new QHBoxLayout;
  filterRow->addWidget(laFilter);
  filterRow->addWidget(edFilter, 1);
  filterRow->addWidget(laFiles);
  filesModel_ = new TRestoreFilesModel(this);
  filesFilter_ = new TRestoreFilesFilter(this);
  filesFilter_->setSourceModel(filesModel_);
  tvFiles = new QTreeView(nightPage);
  tvFiles->setObjectName("tvFiles");
  tvFiles->setModel(filesFilter_);
  tvFiles->setRootIsDecorated(false);
  tvFiles->setUniformRowHeights(true);
  tvFiles->setAllColumnsShowFocus(true);
  tvFiles->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tvFiles->setSelectionMode(QAbstractItemView::ExtendedSelection);
  tvFiles->setSelectionBehavior(QAbstractItemView::SelectRows);
  tvFiles->setIconSize(QSize(16, 16));
  tvFiles->setTextElideMode(Qt::ElideMiddle);
  // Unsorted the rows keep the archiver's order; a click on a header sorts.
  tvFiles->setSortingEnabled(true);
  tvFiles->header()->setSortIndicator(-1, Qt::AscendingOrder);
  tvFiles->header()->setSortIndicatorClearable(true);
  tvFiles->setColumnWidth(TRestoreFilesModel::cPath, 430);
  tvFiles->setColumnWidth(TRestoreFilesModel::cSize, 80);
  auto* nightLayout = new QVBoxLayout(nightPage);
  nightLayout->setContentsMargins(4, 4, 4, 4);
  nightLayout->addLayout(filterRow);
  nightLayout->addWidget(tvFiles, 1);

  // Every night's copies of a file, from the index.
  auto* foundPage = new QWidget(this);
  auto* laFind = new QLabel("Fin&d:", foundPage);
  edFind = new QLineEdit(foundPage);
  edFind->setObjectName("edFind");
  edFind->setPlaceholderText("a name such as file3.odt, or a path such as Letters/*.odt");
  laFind->setBuddy(edFind);
  buFind = new QPushButton("Find in Every Night", foundPage);
  buFind->setObjectName("buFind");
  auto* findRow = new QHBoxLayout;
  findRow->addWidget(laFind);
  findRow->addWidget(edFind, 1);
  findRow->addWidget(buFind);
  foundModel_ = new TFoundCopiesModel(this);
  tvFound = new QTreeView(foundPage);
  tvFound->setObjectName("tvFound");
  tvFound->setModel(foundModel_);
  tvFound->setRootIsDecorated(false);
  tvFound->setUniformRowHeights(true);
  tvFound->setAllColumnsShowFocus(true);
  tvFound->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tvFound->setSelectionMode(QAbstractItemView::ExtendedSelection);
  tvFound->setSelectionBehavior(QAbstractItemView::SelectRows);
  tvFound->setTextElideMode(Qt::ElideMiddle);
  tvFound->setColumnWidth(TFoundCopiesModel::cNight, 85);
  tvFound->setColumnWidth(TFoundCopiesModel::cDirectory, 160);
  tvFound->setColumnWidth(TFoundCopiesModel::cPath, 250);
  tvFound->setColumnWidth(TFoundCopiesModel::cSize, 70);
  auto* foundLayout = new QVBoxLayout(foundPage);
  foundLayout->setContentsMargins(4, 4, 4, 4);
  foundLayout->addLayout(findRow);
  foundLayout->addWidget(tvFound, 1);

  tcPages = new QTabWidget(this);
  tcPages->setObjectName("tcPages");
  tcPages->addTab(nightPage, "Files of the Night");
  tcPages->addTab(foundPage, "Found in Every Night");

  // Where the files go.
  auto* gbTarget = new QGroupBox("Restore into", this);
  rbOwnFolder = new QRadioButton(gbTarget);
  rbOwnFolder->setObjectName("rbOwnFolder");
  {
    const auto own = ownFolders_.find(directory_);
    rbOwnFolder->setText("The directory's own &folder (" +
                         ToQt(own != ownFolders_.end() ? own->second
                                                       : Dialect().ExpandHome(directory_)) +
                         ")");
  }
  rbOwnFolder->setChecked(true);
  rbOtherFolder = new QRadioButton("&Another folder:", gbTarget);
  rbOtherFolder->setObjectName("rbOtherFolder");
  edTargetFolder = new QLineEdit(gbTarget);
  edTargetFolder->setObjectName("edTargetFolder");
  buBrowse = new QPushButton("&Browse...", gbTarget);
  buBrowse->setObjectName("buBrowse");
  auto* targetGroup = new QButtonGroup(this);
  targetGroup->addButton(rbOwnFolder);
  targetGroup->addButton(rbOtherFolder);
  auto* otherRow = new QHBoxLayout;
  otherRow->addWidget(rbOtherFolder);
  otherRow->addWidget(edTargetFolder, 1);
  otherRow->addWidget(buBrowse);
  auto* targetLayout = new QVBoxLayout(gbTarget);
  targetLayout->addWidget(rbOwnFolder);
  targetLayout->addLayout(otherRow);

  // The files already there, and what to do with them: shown before
  // anything is written, and only when there are some.
  gbConflicts = new QGroupBox(this);
  gbConflicts->setObjectName("gbConflicts");
  mmConflicts = new QPlainTextEdit(gbConflicts);
  mmConflicts->setObjectName("mmConflicts");
  mmConflicts->setReadOnly(true);
  mmConflicts->setLineWrapMode(QPlainTextEdit::NoWrap);
  mmConflicts->setMaximumHeight(QFontMetrics(mmConflicts->font()).lineSpacing() * 3 + 12);
  rbSkip = new QRadioButton("&Skip them", gbConflicts);
  rbSkip->setObjectName("rbSkip");
  rbSkip->setToolTip("Leave them as they are and restore the others");
  rbKeepBoth = new QRadioButton("&Keep both", gbConflicts);
  rbKeepBoth->setObjectName("rbKeepBoth");
  rbKeepBoth->setToolTip("The night's copy goes beside each, the night in its name");
  rbOverwrite = new QRadioButton("&Overwrite them", gbConflicts);
  rbOverwrite->setObjectName("rbOverwrite");
  rbOverwrite->setToolTip("The night's copy replaces each");
  auto* choices = new QHBoxLayout;
  choices->addWidget(rbSkip);
  choices->addWidget(rbKeepBoth);
  choices->addWidget(rbOverwrite);
  choices->addStretch();
  auto* conflictsLayout = new QVBoxLayout(gbConflicts);
  conflictsLayout->addWidget(mmConflicts);
  conflictsLayout->addLayout(choices);
  gbConflicts->hide();

  pbProgress = new QProgressBar(this);
  pbProgress->setObjectName("pbProgress");
  pbProgress->setRange(0, 1);
  pbProgress->setValue(0);
  pbProgress->setTextVisible(false);
  pbProgress->setMaximumWidth(160);
  pbProgress->hide();  // shown while the window works
  laState = new QLabel(this);
  laState->setObjectName("laState");
  laState->setWordWrap(true);
  laState->setTextInteractionFlags(Qt::TextSelectableByMouse);
  buRestore = new QPushButton("&Restore", this);
  buRestore->setObjectName("buRestore");
  buCancel = NewCancelButton(this, [this] { return running_; }, [this] { Cancel(); });
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(pbProgress);
  bottom->addWidget(laState, 1);
  bottom->addWidget(buRestore);
  bottom->addWidget(buCancel);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(laDirectory);
  layout->addLayout(top);
  layout->addWidget(tcPages, 1);
  layout->addWidget(gbTarget);
  layout->addWidget(gbConflicts);
  layout->addLayout(bottom);

  ConnectGuarded(cbNight, &QComboBox::currentIndexChanged, this, &TfmRestore::ListNight);
  ConnectGuarded(edFilter, &QLineEdit::textChanged, this, [this](const QString& text) {
    filesFilter_->SetPattern(text);
    ShowFileCount();
  });
  ConnectGuarded(buFind, &QPushButton::clicked, this, &TfmRestore::FindCopies);
  ConnectGuarded(edFind, &QLineEdit::returnPressed, this, &TfmRestore::FindCopies);
  ConnectGuarded(buBrowse, &QPushButton::clicked, this, &TfmRestore::BrowseTarget);
  ConnectGuarded(buRestore, &QPushButton::clicked, this, &TfmRestore::RestoreSelected);
  // A question asked about one selection does not hold for another.
  ConnectGuarded(tvFiles->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                 &TfmRestore::ForgetPlan);
  ConnectGuarded(tvFound->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                 &TfmRestore::ForgetPlan);
  ConnectGuarded(tcPages, &QTabWidget::currentChanged, this, &TfmRestore::ForgetPlan);
  ConnectGuarded(rbOtherFolder, &QRadioButton::toggled, this, [this] {
    ForgetPlan();
    UpdateControls();
  });
  ConnectGuarded(edTargetFolder, &QLineEdit::textChanged, this, &TfmRestore::ForgetPlan);
  for (QRadioButton* choice : {rbSkip, rbKeepBoth, rbOverwrite}) {
    ConnectGuarded(choice, &QRadioButton::toggled, this, &TfmRestore::UpdateControls);
  }
  ShowFileCount();

  // The archives of the directory that are still there, read from the journal.
  Start("Reading the journal...",
        [this, archive](const TRunOptions&,
                        const std::function<void(int, int)>&) -> std::function<void()> {
          std::vector<TIndexedArchive> nights;
          for (TIndexedArchive& a : LiveArchives(journalFile_)) {
            if (a.directory == directory_) nights.push_back(std::move(a));
          }
          return [this, nights = std::move(nights), archive]() mutable {
            ShowNights(std::move(nights), archive);
          };
        });
}

TfmRestore::~TfmRestore() {
  if (stop_) stop_->Stop();
  if (worker_.joinable()) worker_.join();
}

void TfmRestore::Start(const QString& doing, TWork work) {
  if (worker_.joinable()) worker_.join();
  stop_ = std::make_unique<TRunStop>();
  running_ = true;
  SetState(doing);
  pbProgress->setRange(0, 0);  // busy, until the work says how far it is
  UpdateControls();
  // The worker reads only what it was handed; what it returns comes back as
  // an event of this window, dropped should the window go first (the
  // destructor stops the archiver and waits).
  worker_ = std::thread([this, stop = stop_.get(), work = std::move(work)] {
    TRunOptions options;
    options.stop = stop;
    int shown = -1;
    const std::function<void(int, int)> progress = [this, &shown](int done, int count) {
      if (count <= 0) return;
      // A few hundred steps at most reach the window, however many files.
      const int step = static_cast<int>(int64_t{done} * 200 / count);
      if (step == shown) return;
      shown = step;
      QMetaObject::invokeMethod(
          this,
          [this, done, count] {
            pbProgress->setRange(0, count);
            pbProgress->setValue(done);
          },
          Qt::QueuedConnection);
    };
    std::function<void()> then;
    std::string failure;
    try {
      then = work(options, progress);
    } catch (const Exception& e) {
      failure = e.Message();
    } catch (const std::exception& e) {
      failure = e.what();
    }
    QMetaObject::invokeMethod(
        this, [this, then = std::move(then), failure = std::move(failure)] { Done(then, failure); },
        Qt::QueuedConnection);
  });
}

void TfmRestore::Done(const std::function<void()>& then, const std::string& failure) {
  if (worker_.joinable()) worker_.join();
  running_ = false;
  pbProgress->setRange(0, 1);
  pbProgress->setValue(0);
  buCancel->setEnabled(true);
  if (!failure.empty()) {
    SetState(ToQt(failure), kRed);
  } else if (then) {
    Guarded(then);
  }
  UpdateControls();
  // What was done may have started the next piece of work.
  if (!running_) emit Finished();
}

void TfmRestore::Cancel() {
  if (!running_) return;
  stop_->Stop();
  buCancel->setEnabled(false);
  SetState("Stopping...");
}

void TfmRestore::SetState(const QString& text, const char* colour) {
  laState->setText(text);
  laState->setStyleSheet(colour ? QString("color: %1;").arg(colour) : QString());
}

void TfmRestore::UpdateControls() {
  const bool idle = !running_;
  cbNight->setEnabled(idle && !nights_.empty());
  buFind->setEnabled(idle);
  rbOwnFolder->setEnabled(idle);
  rbOtherFolder->setEnabled(idle);
  edTargetFolder->setEnabled(idle && rbOtherFolder->isChecked());
  buBrowse->setEnabled(idle && rbOtherFolder->isChecked());
  const bool answered = rbSkip->isChecked() || rbKeepBoth->isChecked() || rbOverwrite->isChecked();
  buRestore->setEnabled(idle && (gbConflicts->isHidden() || answered));
  buCancel->setText(running_ ? "Cancel" : "Close");
  pbProgress->setVisible(running_);
}

void TfmRestore::ForgetPlan() {
  if (gbConflicts->isHidden()) return;
  gbConflicts->hide();
  asked_.clear();
  askedExisting_.clear();
  SetState("");
  UpdateControls();
}

void TfmRestore::ShowFileCount() {
  int files = 0, folders = 0;
  for (const TListedEntry& entry : filesModel_->Listing()) ++(entry.folder ? folders : files);
  QString text = ToQt(Plural(files, "file", "files") + ", " + Plural(folders, "folder", "folders"));
  const int shown = filesFilter_->rowCount();
  if (shown != filesModel_->rowCount()) text += QString("; %1 shown").arg(CountText(shown));
  laFiles->setText(text);
}

void TfmRestore::ShowNights(std::vector<TIndexedArchive> nights, const std::string& wanted) {
  nights_ = std::move(nights);
  int chosen = 0;
  {
    const QSignalBlocker quiet(cbNight);
    cbNight->clear();
    for (size_t i = 0; i < nights_.size(); ++i) {
      const TIndexedArchive& a = nights_[i];
      cbNight->addItem(JournalTimeText(a.started) + "   " + FileNameOf(a.archive));
      cbNight->setItemData(static_cast<int>(i), ToQt(a.archive), Qt::ToolTipRole);
      if (!wanted.empty() && Dialect().CompareKey(a.archive) == Dialect().CompareKey(wanted)) {
        chosen = static_cast<int>(i);
      }
    }
    cbNight->setCurrentIndex(nights_.empty() ? -1 : chosen);
  }
  UpdateControls();
  if (nights_.empty()) {
    SetState("No archive of this directory is still there.", kAmber);
    return;
  }
  if (!wanted.empty() && Dialect().CompareKey(nights_[static_cast<size_t>(chosen)].archive) !=
                             Dialect().CompareKey(wanted)) {
    listedNote_ = "The archive " + ToQt(wanted) +
                  " is not there as the journal recorded it; the newest of its directory is shown.";
  }
  ListNight();
}

void TfmRestore::ListNight() {
  ForgetPlan();
  filesModel_->SetListing({});
  ShowFileCount();
  const int night = cbNight->currentIndex();
  if (night < 0 || night >= static_cast<int>(nights_.size())) return;
  const TIndexedArchive archive = nights_[static_cast<size_t>(night)];
  Start("Reading what the archive holds...",
        [this, archive](const TRunOptions& options,
                        const std::function<void(int, int)>&) -> std::function<void()> {
          TArchiveIndex index(journalFile_);
          std::optional<std::vector<TListedEntry>> listing = index.Listing(archive);
          if (!listing) {
            std::string error;
            listing = ListArchive(extractor_, archive.archive, options, error);
            if (!listing && options.stop->Stopped()) {
              return [this] { SetState("Stopped: the archive was not listed.", kAmber); };
            }
            if (!listing) throw Exception(archive.archive + ": " + error);
            // Kept for the next time; an index that cannot be written only
            // means that the archive is listed again then.
            try {
              index.Add(archive, *listing);
            } catch (const Exception&) {
            }
          }
          std::vector<QString> paths = TRestoreFilesModel::ShownPaths(*listing);
          return [this, listing = std::move(*listing), paths = std::move(paths)]() mutable {
            filesModel_->SetListing(std::move(listing), std::move(paths));
            ShowFileCount();
            SetState(listedNote_, listedNote_.isEmpty() ? nullptr : kAmber);
            listedNote_.clear();
          };
        });
}

void TfmRestore::FindCopies() {
  if (running_) return;
  const std::string pattern = FromQt(edFind->text().trimmed());
  tcPages->setCurrentIndex(kFoundPage);
  if (pattern.empty()) {
    SetState("Type the name of a file to find, such as file3.odt, or a path such as "
             "Letters/*.odt.");
    return;
  }
  foundModel_->SetCopies({});
  Start("Looking through every night's archive...",
        [this, pattern](const TRunOptions& options,
                        const std::function<void(int, int)>& progress) -> std::function<void()> {
          TArchiveIndex index(journalFile_);
          const TIndexRefresh refresh = index.Refresh(
              [this, &options](const TIndexedArchive& a, std::string& error) {
                return ListArchive(extractor_, a.archive, options, error);
              },
              [&options] { return options.stop->Stopped(); }, progress);
          std::vector<std::string> problems = refresh.problems, damaged;
          std::vector<TFoundCopy> copies = index.Find(pattern, "", &damaged);
          for (const std::string& archive : damaged) {
            problems.push_back("The index's listing of " + archive +
                               " is damaged; it is listed again at the next find");
          }
          return [this, pattern, copies = std::move(copies), problems = std::move(problems),
                  stopped = refresh.stopped]() mutable {
            const size_t found = copies.size();
            foundModel_->SetCopies(std::move(copies));
            QString text = found == 0 ? ToQt("No archive that is still there holds a file that "
                                             "matches " + pattern)
                                      : ToQt("Found " + Plural(static_cast<long long>(found),
                                                               "copy", "copies"));
            if (stopped) text += "; stopped before every archive was listed";
            QString tip;
            if (!problems.empty()) {
              text += ToQt("; " + Plural(static_cast<long long>(problems.size()), "archive",
                                         "archives") +
                           " could not be searched (point here for why)");
              for (const std::string& problem : problems) {
                tip += (tip.isEmpty() ? "" : "\n") + ToQt(problem);
              }
            }
            SetState(text + ".", stopped || !problems.empty() || found == 0 ? kAmber : nullptr);
            laState->setToolTip(tip);
            if (found > 0) tvFound->setCurrentIndex(foundModel_->index(0, 0));
          };
        });
}

void TfmRestore::BrowseTarget() {
  QString start = edTargetFolder->text();
  if (start.isEmpty()) {
    const auto own = ownFolders_.find(directory_);
    start = ToQt(own != ownFolders_.end() ? own->second : Dialect().ExpandHome(directory_));
  }
  if (auto folder = Get<IDialogService>().ChooseDirectory(this, start, true)) {
    edTargetFolder->setText(*folder);
  }
}

std::string TfmRestore::TargetFolderOf(const TIndexedArchive& archive) const {
  if (rbOtherFolder->isChecked()) {
    const std::string folder = FromQt(edTargetFolder->text().trimmed());
    if (folder.empty()) throw Exception("Choose the folder to restore into, or its own folder");
    if (!Dialect().IsAbsolute(folder)) {
      throw Exception("The folder to restore into needs its full path: " + folder);
    }
    return folder;
  }
  const auto own = ownFolders_.find(archive.directory);
  return own != ownFolders_.end() ? own->second : Dialect().ExpandHome(archive.directory);
}

std::vector<TRestoreSource> TfmRestore::SelectedSources() const {
  std::vector<TRestoreSource> sources;
  if (tcPages->currentIndex() == kFoundPage) {
    // Each copy from its own archive, the copies of one archive together.
    std::map<std::string, size_t> sourceOf;  // by the archive's key
    QModelIndexList rows = tvFound->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end());
    for (const QModelIndex& row : rows) {
      const TFoundCopy& copy = foundModel_->Copy(row.row());
      const auto [at, added] = sourceOf.try_emplace(copy.archive.Key(), sources.size());
      if (added) sources.push_back({copy.archive, {}, {}, TargetFolderOf(copy.archive)});
      sources[at->second].entries.push_back(copy.entry);
      if (std::string plain = InsideArchivePath(copy.entry.path); !plain.empty()) {
        sources[at->second].paths.push_back(std::move(plain));
      }
    }
    return sources;
  }
  const int night = cbNight->currentIndex();
  if (night < 0 || night >= static_cast<int>(nights_.size())) return sources;
  std::vector<int> rows;
  for (const QModelIndex& index : tvFiles->selectionModel()->selectedRows()) {
    rows.push_back(filesFilter_->mapToSource(index).row());
  }
  if (rows.empty()) return sources;
  std::sort(rows.begin(), rows.end());
  // A folder chosen brings what it holds; what it holds is handed to the
  // archiver once, by the folder's path.
  std::set<std::string> folders;
  for (const int row : rows) {
    const TListedEntry& entry = filesModel_->Entry(row);
    if (entry.folder) {
      if (std::string key = PlainKey(entry.path); !key.empty()) folders.insert(std::move(key));
    }
  }
  TRestoreSource source{nights_[static_cast<size_t>(night)], {}, {}, {}};
  source.targetFolder = TargetFolderOf(source.archive);
  for (const int row : rows) {
    const TListedEntry& entry = filesModel_->Entry(row);
    const std::string plain = InsideArchivePath(entry.path);
    if (plain.empty()) {
      // Never written; the plan names it as refused.
      if (!entry.folder) source.entries.push_back(entry);
      continue;
    }
    if (UnderAny(Dialect().PrefixKey(plain), folders)) continue;
    source.paths.push_back(plain);
    if (!entry.folder) source.entries.push_back(entry);
  }
  if (!folders.empty()) {
    for (const TListedEntry& entry : filesModel_->Listing()) {
      const std::string key = PlainKey(entry.path);
      if (!key.empty() && UnderAny(key, folders)) source.entries.push_back(entry);
    }
  }
  sources.push_back(std::move(source));
  return sources;
}

void TfmRestore::RestoreSelected() {
  if (running_) return;
  if (!gbConflicts->isHidden()) {
    const TExisting existing = rbOverwrite->isChecked()  ? TExisting::exOverwrite
                               : rbKeepBoth->isChecked() ? TExisting::exKeepBoth
                                                         : TExisting::exSkip;
    PlanAndRestore(asked_, existing);
    return;
  }
  std::vector<TRestoreSource> sources = SelectedSources();
  if (sources.empty()) {
    SetState(tcPages->currentIndex() == kFoundPage
                 ? "Choose the copies to restore among those found."
                 : "Choose the files and folders to restore.");
    return;
  }
  PlanAndRestore(std::move(sources), std::nullopt);
}

void TfmRestore::PlanAndRestore(std::vector<TRestoreSource> sources,
                                std::optional<TExisting> existing) {
  Start("Restoring...", [this, sources = std::move(sources), existing, asked = askedExisting_](
                            const TRunOptions& options,
                            const std::function<void(int, int)>& progress) mutable
        -> std::function<void()> {
    // What is there now, looked at before anything is written: an answer
    // holds for the files it was given for, no others.
    TRestorePlan plan = PlanRestore(sources, TExisting::exAsk);
    std::set<std::string> there;
    for (const TRestoreItem& item : plan.items) {
      if (item.state == TRestoreState::rsExists) there.insert(item.target);
    }
    if (!there.empty() && (!existing || there != asked)) {
      return [this, sources = std::move(sources), there = std::move(there)]() mutable {
        asked_ = std::move(sources);
        askedExisting_ = std::move(there);
        AskAboutConflicts();
      };
    }
    if (!there.empty()) plan = PlanRestore(std::move(sources), *existing);
    TRestoreResult result = ExecuteRestore(plan, extractor_, options, progress);
    return [this, plan = std::move(plan), result = std::move(result)] { ShowResult(plan, result); };
  });
}

void TfmRestore::AskAboutConflicts() {
  const int count = static_cast<int>(askedExisting_.size());
  QString lines;
  int listed = 0;
  for (const std::string& file : askedExisting_) {
    if (listed++ == kConflictLinesMost) {
      lines += QString("... and %1 more\n").arg(CountText(count - kConflictLinesMost));
      break;
    }
    lines += ToQt(file) + "\n";
  }
  mmConflicts->setPlainText(lines);
  gbConflicts->setTitle(ToQt(Plural(count, "file is", "files are") + " already there"));
  // No answer is taken for granted.
  for (QRadioButton* choice : {rbSkip, rbKeepBoth, rbOverwrite}) {
    choice->setAutoExclusive(false);
    choice->setChecked(false);
    choice->setAutoExclusive(true);
  }
  gbConflicts->show();
  SetState(ToQt(Plural(count, "file is", "files are") +
                " already there; nothing was written. Choose whether to skip them, keep both "
                "or overwrite them, then Restore."),
           kAmber);
  UpdateControls();
}

void TfmRestore::ShowResult(const TRestorePlan& plan, const TRestoreResult& result) {
  result_ = result;
  ForgetPlan();
  int refused = 0;
  for (const TRestoreItem& item : plan.items) {
    refused += item.state == TRestoreState::rsRefused ? 1 : 0;
  }
  const std::string restored = Plural(result.restored, "file", "files");
  if (!result.error.empty()) {
    SetState(ToQt(result.restored > 0 ? "Restored " + restored + ", then: " + result.error
                                      : result.error),
             kRed);
    return;
  }
  if (result.stopped) {
    SetState(result.restored > 0 ? ToQt("Stopped after restoring " + restored + ".")
                                 : QString("Stopped: nothing was restored."),
             kAmber);
    return;
  }
  std::string text = "Restored " + restored;
  if (result.skipped > 0) text += ", left " + Plural(result.skipped, "file", "files") + " as they were";
  if (refused > 0) {
    text += "; " + Plural(refused, "file was", "files were") +
            " not restored, since their paths leave the folder";
  }
  SetState(ToQt(text + "."), refused > 0 ? kAmber : nullptr);
}

void TfmRestore::showEvent(QShowEvent* event) {
  PlaceOverParentOnce(this);
  QWidget::showEvent(event);
}

void TfmRestore::closeEvent(QCloseEvent* event) {
  // Work still going on is stopped; a restore stopped before its files
  // moved writes nothing.
  if (running_) Cancel();
  QWidget::closeEvent(event);
}

}  // namespace pw
