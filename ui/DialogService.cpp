#include "ui/DialogService.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionTitleBar>

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
  // The window manager draws the real title bar and does not say how; the
  // style's own title bar, with the window's icon and all caption buttons,
  // tells what the title's neighbours take on a bar of any width.
  const QStyle* style = QApplication::style();
  QStyleOptionTitleBar bar;
  bar.fontMetrics = QFontMetrics(font);
  bar.text = title;
  bar.titleBarFlags = Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                      Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint;
  bar.rect = QRect(0, 0, 1000, style->pixelMetric(QStyle::PM_TitleBarHeight, &bar));
  const QRect label = style->subControlRect(QStyle::CC_TitleBar, &bar, QStyle::SC_TitleBarLabel);
  const int frame = 2 * style->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, &bar);
  return bar.fontMetrics.horizontalAdvance(title) + bar.rect.width() - label.width() + frame;
}

namespace {

// QMessageBox fixes its size to its text whenever it lays itself out (on
// showing, on a new text), making room for its title only as the title of a
// window inside a window needs; so each time it sizes itself narrower, the
// width is raised to what the title bar needs, never beyond the screen.
class TTitledMessageBox final : public QMessageBox {
 public:
  using QMessageBox::QMessageBox;

 protected:
  void resizeEvent(QResizeEvent* e) override {
    QMessageBox::resizeEvent(e);
    int needed = TitleBarWidth(windowTitle());
    if (const QScreen* shown = screen()) needed = qMin(needed, shown->availableGeometry().width());
    if (width() < needed) setFixedWidth(needed);
  }
};

}  // namespace

std::unique_ptr<QMessageBox> CreateMessageBox(QWidget* parent, QMessageBox::Icon icon,
                                              const QString& title, const QString& text) {
  return std::make_unique<TTitledMessageBox>(icon, title, text, QMessageBox::NoButton, parent);
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
    // The document keeps paths as the system writes them: C:\x\y on Windows.
    return QDir::toNativeSeparators(dialog.selectedFiles().first());
  }

  std::optional<QString> SaveFile(QWidget* parent, const TFileDialogOptions& o) override {
    QFileDialog dialog(parent, o.title, QString(), ToQtFilter(o.filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(o.defaultExtension);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !o.askOverwrite);
    if (!o.fileName.isEmpty()) dialog.selectFile(o.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    // The dialog adds the default extension.
    return QDir::toNativeSeparators(dialog.selectedFiles().first());
  }

  std::optional<QString> ChooseDirectory(QWidget* parent, const QString& start,
                                         bool offerCreate) override {
    TDirectoryChooser dialog(parent, start, offerCreate);
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.Chosen();
  }
  std::optional<QString> AskHidden(QWidget* parent, const QString& prompt) override {
    bool ok = false;
    const QString text =
        QInputDialog::getText(parent, "Password", prompt, QLineEdit::Password, {}, &ok);
    if (!ok) return {};
    return text;
  }
};

}  // namespace

template <>
IDialogService& DefaultService<IDialogService>() {
  static StandardDialogs instance;
  return instance;
}

}  // namespace pw
