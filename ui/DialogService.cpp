#include "ui/DialogService.h"

#include <QFileDialog>
#include <QMessageBox>
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

namespace {

class StandardDialogs final : public IDialogService {
 public:
  void ShowError(QWidget* parent, const QString& title, const QString& text) override {
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok, parent);
    box.exec();
  }

  bool Confirm(QWidget* parent, const QString& text) override {
    QMessageBox box(QMessageBox::Question, "Confirm", text, QMessageBox::NoButton, parent);
    QPushButton* yes = box.addButton("&Yes", QMessageBox::YesRole);
    box.addButton("&No", QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.exec();
    return box.clickedButton() == yes;
  }

  TAnswer ConfirmWithCancel(QWidget* parent, const QString& text) override {
    QMessageBox box(QMessageBox::Question, "Confirm", text, QMessageBox::NoButton, parent);
    QPushButton* yes = box.addButton("&Yes", QMessageBox::YesRole);
    QPushButton* no = box.addButton("&No", QMessageBox::NoRole);
    QPushButton* cancel = box.addButton("Cancel", QMessageBox::RejectRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == yes) return TAnswer::Yes;
    if (box.clickedButton() == no) return TAnswer::No;
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
