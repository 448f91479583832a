#include "ui/DialogService.h"

#include <QFileDialog>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QPushButton>
#include <QStringList>

#include "platform/Services.h"
#include "ui/DirectoryChooser.h"

namespace pw {

QString ToQtFilter(const QString& filter) {
  const QStringList parts = filter.split('|');
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    out << parts[i].split(" (").first() + " (" + QString(parts[i + 1]).replace(';', ' ') + ")";
  }
  return out.join(";;");
}

int TitleBarWidth(const QString& title) {
  QFont font = QFontDatabase::systemFont(QFontDatabase::TitleFont);
  font.setBold(true);  // many window managers draw titles bold; room for either
  // The window's icon, up to three caption buttons and the frame's padding.
  const int frame = 16 + 3 * 30 + 40;
  return QFontMetrics(font).horizontalAdvance(title) + frame;
}

std::unique_ptr<QMessageBox> CreateMessageBox(QWidget* parent, QMessageBox::Icon icon,
                                              const QString& title, const QString& text) {
  auto box = std::make_unique<QMessageBox>(icon, title, text, QMessageBox::NoButton, parent);
  // The box sizes itself to its text only; a row as wide as the title bar
  // needs keeps a short message from cutting its title.
  QLayout* layout = box->layout();
  if (!layout) return box;
  const int margins = layout->contentsMargins().left() + layout->contentsMargins().right();
  auto* row =
      new QSpacerItem(TitleBarWidth(title) - margins, 0, QSizePolicy::Fixed, QSizePolicy::Minimum);
  if (auto* grid = qobject_cast<QGridLayout*>(layout)) {
    grid->addItem(row, grid->rowCount(), 0, 1, grid->columnCount());
  } else {
    layout->addItem(row);
  }
  return box;
}

namespace {

class StandardDialogs final : public IDialogService {
 public:
  void ShowError(QWidget* parent, const QString& title, const QString& text) override {
    const auto box = CreateMessageBox(parent, QMessageBox::Critical, title, text);
    box->addButton(QMessageBox::Ok);
    box->exec();
  }

  using IDialogService::Confirm;
  bool Confirm(QWidget* parent, const QString& text, TAnswer preferred) override {
    const auto box = CreateMessageBox(parent, QMessageBox::Question, "Confirm", text);
    QPushButton* yes = box->addButton("&Yes", QMessageBox::YesRole);
    QPushButton* no = box->addButton("&No", QMessageBox::NoRole);
    box->setDefaultButton(preferred == TAnswer::No ? no : yes);
    box->exec();
    return box->clickedButton() == yes;
  }

  TAnswer ConfirmWithCancel(QWidget* parent, const QString& text) override {
    const auto box = CreateMessageBox(parent, QMessageBox::Question, "Confirm", text);
    QPushButton* yes = box->addButton("&Yes", QMessageBox::YesRole);
    QPushButton* no = box->addButton("&No", QMessageBox::NoRole);
    QPushButton* cancel = box->addButton("Cancel", QMessageBox::RejectRole);
    box->setDefaultButton(yes);
    box->setEscapeButton(cancel);
    box->exec();
    if (box->clickedButton() == yes) return TAnswer::Yes;
    if (box->clickedButton() == no) return TAnswer::No;
    return TAnswer::Cancel;
  }

  std::optional<QString> OpenFile(QWidget* parent, const TFileDialogOptions& o) override {
    QFileDialog dialog(parent, o.title, QString(), ToQtFilter(o.filter));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::ReadOnly, false);
    dialog.setDefaultSuffix(o.defaultExtension);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
  }

  std::optional<QString> SaveFile(QWidget* parent, const TFileDialogOptions& o) override {
    QFileDialog dialog(parent, o.title, QString(), ToQtFilter(o.filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(o.defaultExtension);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !o.askOverwrite);
    if (!o.fileName.isEmpty()) dialog.selectFile(o.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();  // the dialog adds the default extension
  }

  std::optional<QString> ChooseDirectory(QWidget* parent, const QString& start,
                                         bool offerCreate) override {
    TDirectoryChooser dialog(parent, start, offerCreate);
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.Chosen();
  }
};

}  // namespace

template <>
IDialogService& DefaultService<IDialogService>() {
  static StandardDialogs instance;
  return instance;
}

}  // namespace pw
