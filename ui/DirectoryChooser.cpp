#include "ui/DirectoryChooser.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QPushButton>
#include <QToolButton>

#include "platform/Services.h"
#include "ui/DialogService.h"

namespace pw {

namespace {

// The nearest folder of path that exists, so a typed but missing directory
// still opens the chooser close to it.
QString ExistingAncestor(const QString& path) {
  QFileInfo info(path);
  while (!info.isDir()) {
    const QString up = info.absolutePath();
    if (up == info.absoluteFilePath()) return QString();
    info = QFileInfo(up);
  }
  return info.absoluteFilePath();
}

}  // namespace

TDirectoryChooser::TDirectoryChooser(QWidget* parent, const QString& start, bool offerCreate)
    : QFileDialog(parent, "Select Directory"), offerCreate_(offerCreate) {
  // Only the toolkit's own dialog lets accept() ask before it closes.
  setOption(QFileDialog::DontUseNativeDialog, true);
  setFileMode(QFileDialog::Directory);
  setOption(QFileDialog::ShowDirsOnly, true);
  if (!offerCreate) {
    setOption(QFileDialog::ReadOnly, true);  // no "New Folder" in the context menu either
    if (auto* newFolder = findChild<QToolButton*>("newFolderButton")) newFolder->hide();
  } else if (auto* buttons = findChild<QDialogButtonBox*>("buttonBox")) {
    // The toolkit greys "Choose" whenever the typed folder does not exist,
    // from several places as the name is typed and looked up; only Enter
    // would then reach accept(). Where creating is offered the button is
    // given back each time, so that a click asks the same question.
    choose_ = buttons->button(QDialogButtonBox::Open);
    if (choose_) choose_->installEventFilter(this);
  }
  const QString from = start.isEmpty() ? QDir::currentPath() : QDir::fromNativeSeparators(start);
  const QString folder = ExistingAncestor(from);
  setDirectory(folder.isEmpty() ? QDir::currentPath() : folder);
  if (!folder.isEmpty() && QFileInfo(from).absoluteFilePath() != folder) {
    selectFile(QDir(folder).relativeFilePath(QFileInfo(from).absoluteFilePath()));
  }
}

QString TDirectoryChooser::Chosen() const {
  const QStringList files = selectedFiles();
  return files.isEmpty() ? QString() : QDir::toNativeSeparators(files.first());
}

bool TDirectoryChooser::MayCreateChosen() const {
  const QString chosen = Chosen();
  return offerCreate_ && !chosen.isEmpty() && !QFileInfo::exists(chosen);
}

bool TDirectoryChooser::eventFilter(QObject* watched, QEvent* event) {
  if (watched == choose_ && event->type() == QEvent::EnabledChange && !choose_->isEnabled() &&
      MayCreateChosen()) {
    choose_->setEnabled(true);
  }
  return QFileDialog::eventFilter(watched, event);
}

void TDirectoryChooser::accept() {
  const QString chosen = Chosen();
  if (chosen.isEmpty()) return;
  if (QFileInfo(chosen).isDir()) {
    QFileDialog::accept();
    return;
  }
  IDialogService& dialogs = Get<IDialogService>();
  if (!offerCreate_) {
    dialogs.ShowError(this, windowTitle(), "The directory " + chosen + " does not exist.");
    return;
  }
  if (!dialogs.Confirm(this, "The directory " + chosen + " does not exist. Create it?")) return;
  if (!QDir().mkpath(QDir::fromNativeSeparators(chosen))) {
    dialogs.ShowError(this, windowTitle(), "The directory " + chosen + " cannot be created.");
    return;
  }
  QFileDialog::accept();
}

}  // namespace pw
