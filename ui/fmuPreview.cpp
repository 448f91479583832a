#include "ui/fmuPreview.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>

#include "archiver/ArchiveJob.h"
#include "ui/PacketwrightHelpIDs.h"
#include "ui/UiText.h"
#include "ui/fmuBase.h"

namespace pw {

namespace {

// How many characters of the folder at hand the progress line shows, about.
constexpr int kProgressFolderChars = 48;

QVariant RightAligned() {
  return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
}

}  // namespace

// ---- TPreviewMasksModel -------------------------------------------------------------

void TPreviewMasksModel::SetPreview(const TPreview& preview) {
  beginResetModel();
  masks_ = preview.masks;
  excluding_ = preview.excluding;
  endResetModel();
  emit headerDataChanged(Qt::Horizontal, 0, cColumns - 1);
}

int TPreviewMasksModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(masks_.size());
}

int TPreviewMasksModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : cColumns;
}

QVariant TPreviewMasksModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case cMask:
      return excluding_ ? "Mask (leaves out)" : "Mask (takes)";
    case cFiles:
      return "Files";
    case cBytes:
      return "Size";
    default:
      return {};
  }
}

QVariant TPreviewMasksModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const TPreviewMask& m = masks_[static_cast<size_t>(index.row())];
  switch (role) {
    case Qt::DisplayRole:
      switch (index.column()) {
        case cMask:
          return ToQt(m.mask);
        case cFiles:
          return CountText(m.files);
        case cBytes:
          return SizeText(m.bytes);
        default:
          return {};
      }
    case Qt::ToolTipRole:
      return index.column() == cBytes ? CountText(m.bytes) + " bytes" : QVariant();
    case Qt::TextAlignmentRole:
      return index.column() == cMask ? QVariant() : RightAligned();
    default:
      return {};
  }
}

// ---- TPreviewFilesModel -------------------------------------------------------------

void TPreviewFilesModel::SetFiles(std::vector<TPreviewFile> files, std::vector<std::string> masks) {
  beginResetModel();
  files_ = std::move(files);
  masks_ = std::move(masks);
  endResetModel();
}

int TPreviewFilesModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(files_.size());
}

int TPreviewFilesModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : cColumns;
}

QVariant TPreviewFilesModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case cPath:
      return "File";
    case cSize:
      return "Size";
    case cMask:
      return "Mask";
    default:
      return {};
  }
}

QVariant TPreviewFilesModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const TPreviewFile& f = files_[static_cast<size_t>(index.row())];
  switch (role) {
    case Qt::DisplayRole:
      switch (index.column()) {
        case cPath:
          return ToQt(f.path);
        case cSize:
          return CountText(f.bytes);
        case cMask:
          return f.mask >= 0 && static_cast<size_t>(f.mask) < masks_.size()
                     ? ToQt(masks_[static_cast<size_t>(f.mask)])
                     : QString();
        default:
          return {};
      }
    case Qt::TextAlignmentRole:
      return index.column() == cSize ? RightAligned() : QVariant();
    default:
      return {};
  }
}

void TPreviewFilesModel::sort(int column, Qt::SortOrder order) {
  if (column < 0 || column >= cColumns) return;
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  // Paths compare by their bytes, a folder's files together; equal sizes
  // keep their paths in order.
  const auto byPath = [](const TPreviewFile& a, const TPreviewFile& b) { return a.path < b.path; };
  const auto bySize = [&](const TPreviewFile& a, const TPreviewFile& b) {
    return a.bytes != b.bytes ? a.bytes < b.bytes : byPath(a, b);
  };
  const auto byMask = [&](const TPreviewFile& a, const TPreviewFile& b) {
    return a.mask != b.mask ? a.mask < b.mask : byPath(a, b);
  };
  const auto sortBy = [&](auto less) {
    if (order == Qt::AscendingOrder) {
      std::sort(files_.begin(), files_.end(), less);
    } else {
      std::sort(files_.begin(), files_.end(),
                [&](const auto& a, const auto& b) { return less(b, a); });
    }
  };
  // No persistent indexes are kept: the window's views select nothing that
  // must survive a sort.
  if (column == cPath) sortBy(byPath);
  if (column == cSize) sortBy(bySize);
  if (column == cMask) sortBy(byMask);
  changePersistentIndexList(persistentIndexList(), QModelIndexList(persistentIndexList().size()));
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

// ---- TfmPreview ---------------------------------------------------------------------

TfmPreview::TfmPreview(TPreviewRequest request, QWidget* parent)
    : QWidget(parent, Qt::Window), request_(std::move(request)) {
  setObjectName("fmPreview");
  setWindowTitle("Preview - " + ToQt(request_.job.directory));
  setFont(DialogFont());
  resize(640, 480);
  AddWindowKeys(this, hcPreviewWindow);

  laDirectory = new QLabel(this);
  laDirectory->setObjectName("laDirectory");
  laDirectory->setText("Directory: " + ToQt(request_.job.directory) +
                       (request_.job.ruleName.empty() ? QString("   (no rule: every file)")
                                                      : "   Rule: " + ToQt(request_.job.ruleName)));
  laDirectory->setTextInteractionFlags(Qt::TextSelectableByMouse);
  laApproximate = new QLabel(this);
  laApproximate->setObjectName("laApproximate");
  laApproximate->setWordWrap(true);
  laApproximate->setStyleSheet("color: #8a5a00;");
  laApproximate->setVisible(request_.approximate);
  // Why the list may differ from the archive.
  const TArchiverFamily family = ArchiverFamily(request_.job.program);
  if (family == TArchiverFamily::afOther) {
    laApproximate->setText("The archiver " + ToQt(request_.job.program) +
                           " is none of those the program knows: the masks are applied as "
                           "7-Zip applies them, and what it archives may differ.");
  } else if (request_.foreignRules) {
    laApproximate->setText("The masks are applied by Windows' rules, as " +
                           ToQt(request_.job.program) +
                           " follows them on Windows; here what it archives may differ.");
  } else {
    laApproximate->setText(
        "The archiver's switches hold what the preview cannot follow (a list file of masks, "
        "an exclude switch of another form): what it archives may differ.");
  }

  laProgress = new QLabel(this);
  laProgress->setObjectName("laProgress");
  pbWalk = new QProgressBar(this);
  pbWalk->setRange(0, 0);  // how many files there are is known only at the end
  pbWalk->setTextVisible(false);
  buCancel = NewCancelButton(this, [this] { return running_; }, [this] { Cancel(); });
  auto* progress = new QHBoxLayout;
  progress->addWidget(laProgress, 1);
  progress->addWidget(pbWalk);
  progress->addWidget(buCancel);

  masksModel_ = new TPreviewMasksModel(this);
  filesModel_ = new TPreviewFilesModel(this);
  const auto listView = [this](const char* name, QAbstractItemModel* model) {
    auto* view = new QTreeView(this);
    view->setObjectName(name);
    view->setModel(model);
    view->setRootIsDecorated(false);
    view->setUniformRowHeights(true);
    view->setAllColumnsShowFocus(true);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    return view;
  };
  tvMasks = listView("tvMasks", masksModel_);
  tvFiles = listView("tvFiles", filesModel_);
  // The names take what the numbers leave.
  for (QTreeView* view : {tvMasks, tvFiles}) {
    view->header()->setStretchLastSection(false);
    view->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    view->setColumnWidth(1, 100);
    view->setColumnWidth(2, 100);
  }
  tvFiles->setSortingEnabled(true);
  tvFiles->header()->setSortIndicator(-1, Qt::AscendingOrder);  // in the walk's order

  auto* lists = new QSplitter(Qt::Vertical, this);
  lists->addWidget(tvMasks);
  lists->addWidget(tvFiles);
  lists->setStretchFactor(1, 1);
  lists->setSizes({100, 300});
  laError = new QLabel(this);
  laError->setObjectName("laError");
  laError->setWordWrap(true);
  laError->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  laError->setTextInteractionFlags(Qt::TextSelectableByMouse);
  stPages = new QStackedWidget(this);
  stPages->addWidget(lists);
  stPages->addWidget(laError);

  laWarnings = new QLabel(this);
  laWarnings->setObjectName("laWarnings");
  laWarnings->setWordWrap(true);
  laWarnings->setStyleSheet("color: #8a5a00;");
  laWarnings->setTextInteractionFlags(Qt::TextSelectableByMouse);
  laWarnings->hide();
  laTotals = new QLabel(this);
  laTotals->setObjectName("laTotals");

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(laDirectory);
  layout->addWidget(laApproximate);
  layout->addLayout(progress);
  layout->addWidget(stPages, 1);
  layout->addWidget(laWarnings);
  layout->addWidget(laTotals);

  progressTimer_ = new QTimer(this);
  progressTimer_->setInterval(100);
  connect(progressTimer_, &QTimer::timeout, this, &TfmPreview::ShowProgress);

  running_ = true;
  laProgress->setText("Looking at the files...");
  progressTimer_->start();
  // The walk touches nothing but its request and the fields below, which
  // outlive it: the destructor waits for it. Its result comes back as an
  // event of this window, which is dropped should the window go first.
  worker_ = std::thread([this] {
    TPreview found = Preview(request_, [this](int64_t files, const std::string& folder) {
      {
        const std::lock_guard<std::mutex> hold(progressLock_);
        filesSoFar_ = files;
        folder_ = folder;
      }
      return !cancel_.load();
    });
    QMetaObject::invokeMethod(
        this, [this, found = std::move(found)]() mutable { Done(std::move(found)); },
        Qt::QueuedConnection);
  });
}

TfmPreview::~TfmPreview() {
  cancel_ = true;
  if (worker_.joinable()) worker_.join();
}

void TfmPreview::Cancel() {
  cancel_ = true;
  buCancel->setEnabled(false);
  laProgress->setText("Cancelling...");
}

void TfmPreview::ShowProgress() {
  int64_t files;
  std::string folder;
  {
    const std::lock_guard<std::mutex> hold(progressLock_);
    files = filesSoFar_;
    folder = folder_;
  }
  if (cancel_) return;
  // The folder cut in its middle to a width of its own, so that a deep path
  // neither widens the window nor pushes Cancel out of it.
  const QFontMetrics metrics = laProgress->fontMetrics();
  laProgress->setText(CountText(files) + " files so far, in " +
                      metrics.elidedText(ToQt(folder), Qt::ElideMiddle,
                                         kProgressFolderChars * metrics.averageCharWidth()));
}

void TfmPreview::Done(TPreview preview) {
  if (worker_.joinable()) worker_.join();
  running_ = false;
  progressTimer_->stop();
  pbWalk->hide();
  buCancel->setEnabled(true);
  buCancel->setText("Close");
  preview_ = std::move(preview);
  laApproximate->setVisible(preview_.approximate);
  if (!preview_.error.empty()) {
    laError->setText("This directory is not archived: " + ToQt(preview_.error));
    stPages->setCurrentWidget(laError);
    laProgress->setText("Nothing to preview.");
    laTotals->clear();
    emit Finished();
    return;
  }
  masksModel_->SetPreview(preview_);
  std::vector<std::string> masks;
  for (const TPreviewMask& m : preview_.masks) masks.push_back(m.mask);
  filesModel_->SetFiles(preview_.files, std::move(masks));
  // What the archiver will warn about; a long list is cut, the tip has it all.
  if (!preview_.warnings.empty()) {
    QStringList all;
    for (const std::string& w : preview_.warnings) all << ToQt(w);
    const int shown = std::min<int>(3, all.size());
    laWarnings->setText(QString("The archiver will warn about %1 %2: ")
                            .arg(all.size())
                            .arg(all.size() == 1 ? "thing" : "things") +
                        all.mid(0, shown).join("; ") + (shown < all.size() ? "; ..." : ""));
    laWarnings->setToolTip(all.join("\n"));
    laWarnings->show();
  }
  laProgress->setText(preview_.cancelled ? "Cancelled: only the files found until then are listed."
                                         : "Done.");
  // A walk cancelled part-way has not seen every file the archive takes.
  laTotals->setText(QString(preview_.cancelled ? "So far the archive takes %1 %2, %3 (%4 bytes)."
                                               : "The archive takes %1 %2, %3 (%4 bytes).")
                        .arg(CountText(preview_.totalFiles))
                        .arg(preview_.totalFiles == 1 ? "file" : "files")
                        .arg(SizeText(preview_.totalBytes))
                        .arg(CountText(preview_.totalBytes)));
  emit Finished();
}

void TfmPreview::showEvent(QShowEvent* event) {
  PlaceOverParentOnce(this);
  QWidget::showEvent(event);
}

void TfmPreview::closeEvent(QCloseEvent* event) {
  // A walk still running stops; the window goes once it has.
  if (running_) Cancel();
  QWidget::closeEvent(event);
}

}  // namespace pw
