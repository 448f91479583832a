#include "ui/fmuMessageWin.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QWindow>

#include "ui/UiText.h"
#include "ui/fmuBase.h"

namespace pw {

TMessageWin::TMessageWin()
    // Above every window: the work it reports on is often started from a
    // modal dialog, which would otherwise cover it.
    : QWidget(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint) {
  setObjectName("MessageWin");
  setWindowTitle("Message");
  setFont(DialogFont());
  resize(327, 48);
  laMessage = new QLabel(this);
  laMessage->setObjectName("laMessage");
  laMessage->move(8, 8);
  QFont bold = font();
  bold.setBold(true);
  laMessage->setFont(bold);
  laMessage->setStyleSheet("color: navy; background: transparent;");
}

TMessageWin::~TMessageWin() {
  hide();
  // Let the windows beneath repaint at once.
  QApplication::processEvents();
}

void TMessageWin::ShowText(const std::string& text) {
  laMessage->setText(ToQt(text));
  laMessage->adjustSize();
  // The outer width follows the text; the frame is known once the window shows.
  const bool first = !isVisible();
  if (first) show();
  const int frame = frameGeometry().width() - geometry().width();
  setFixedSize(laMessage->x() + laMessage->width() + 30 - frame, 48);
  if (first) CentreOnScreen(this);
  raise();
  if (!isActiveWindow()) activateWindow();
  // The window system puts a new window on the screen a moment later; until
  // then nothing can be painted, and the caller keeps the thread busy after
  // this returns. Wait for it (briefly), then paint at once.
  if (QWindow* window = windowHandle()) {
    QElapsedTimer waited;
    waited.start();
    while (!window->isExposed() && waited.elapsed() < 1000) {
      QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
  }
  repaint();
  QApplication::processEvents();
}

std::unique_ptr<TMessageWin> CreateMessageWin() {
  return std::make_unique<TMessageWin>();
}

std::unique_ptr<IMessageWin> TMessageWinFactory::CreateMessageWin() {
  return pw::CreateMessageWin();
}

}  // namespace pw
