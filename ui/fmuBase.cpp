#include "ui/fmuBase.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

#include "ui/PacketwrightHelpIDs.h"

namespace pw {

QFont DialogFont() {
  QFont font = QFontDatabase::families().contains("MS Sans Serif")
                   ? QFont("MS Sans Serif")
                   : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPointSize(8);
  return font;
}

void SetDialogBorder(QWidget* window) {
  window->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                         Qt::MSWindowsFixedSizeDialogHint);
}

void CentreOnScreen(QWidget* window) {
  QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  QRect frame = window->frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  window->move(frame.topLeft());
}

TfmBase::TfmBase(QWidget* parent) : QDialog(parent) {
  setFont(DialogFont());
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
}

void TfmBase::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!centred_) {
    centred_ = true;
    CentreOnScreen(this);
  }
}

void TfmBase::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F1 && helpContext_ != 0) {
    ShowHelpTopic(helpContext_);
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace pw
