#include "ui/fmuBase.h"

#include <QAction>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

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

void AddWindowKeys(QWidget* window, int helpContext) {
  auto* help = new QAction(window);
  help->setShortcut(Qt::Key_F1);
  QObject::connect(help, &QAction::triggered, window,
                   [helpContext] { ShowHelpTopic(helpContext); });
  auto* close = new QAction(window);
  close->setShortcut(Qt::Key_Escape);
  QObject::connect(close, &QAction::triggered, window, &QWidget::close);
  window->addActions({help, close});
}

QPushButton* NewCancelButton(QWidget* window, std::function<bool()> running,
                             std::function<void()> cancel) {
  auto* button = new QPushButton("Cancel", window);
  button->setObjectName("buCancel");
  QObject::connect(button, &QPushButton::clicked, window,
                   [window, running = std::move(running), cancel = std::move(cancel)] {
                     if (running()) {
                       cancel();
                     } else {
                       window->close();
                     }
                   });
  return button;
}

void PlaceOverParentOnce(QWidget* window) {
  static const char* const kPlaced = "pwPlacedOverParent";
  if (window->property(kPlaced).toBool()) return;
  window->setProperty(kPlaced, true);
  PlaceOverParent(window);
}

void PlaceOverParent(QWidget* window) {
  QWidget* owner = window->parentWidget() ? window->parentWidget()->window() : nullptr;
  if (owner && !owner->isVisible()) owner = nullptr;
  QScreen* screen = owner ? owner->screen() : window->screen();
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect available = screen->availableGeometry();
  // Before its first showing a window has no frame yet; the main window's
  // is the one the window manager will give it.
  const QWidget* framed = owner ? owner : window;
  const QRect outside = framed->frameGeometry(), inside = framed->geometry();
  const QMargins frame(inside.left() - outside.left(), inside.top() - outside.top(),
                       outside.right() - inside.right(), outside.bottom() - inside.bottom());
  const QSize room = available.size().shrunkBy(frame);
  const QSize size = window->size().boundedTo(room).expandedTo(window->minimumSize());
  window->resize(size);
  QRect placed(QPoint(), size.grownBy(frame));
  placed.moveCenter(owner ? owner->frameGeometry().center() : available.center());
  placed.moveLeft(
      std::max(available.left(), std::min(placed.left(), available.right() + 1 - placed.width())));
  placed.moveTop(
      std::max(available.top(), std::min(placed.top(), available.bottom() + 1 - placed.height())));
  window->move(placed.topLeft());
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
