#include "ui/fmuMessageWin.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QWindow>

#include "ui/UiText.h"
#include "ui/fmuBase.h"

namespace pw {

namespace {

// Pending paint and timer events, but no keys or clicks: those wait until the
// work is done, so that no command can start while the work holds pointers
// into the document.
void ProcessPendingEvents() {
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace

// Above the window that started the work and above every other one: the
// work is often started from a modal dialog, which would otherwise cover it.
TMessageWin::TMessageWin(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
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
  ProcessPendingEvents();
}

void TMessageWin::ShowText(const std::string& text) {
  laMessage->setText(ToQt(text));
  laMessage->adjustSize();
  // The width follows the text. The window is sized, and centred, before it
  // shows: moved or resized on the screen it would leave its first picture
  // on the window beneath, which cannot repaint while the work keeps the
  // thread busy. The frame is not known until then, so the size is that of
  // the inside, the same for the same text before and after.
  const bool first = !isVisible();
  setFixedSize(laMessage->x() + laMessage->width() + 30, 48);
  if (first) {
    CentreOnScreen(this);
    show();
  }
  raise();
  if (!isActiveWindow()) activateWindow();
  // The window system puts a new window on the screen a moment later; until
  // then nothing can be painted, and the caller keeps the thread busy after
  // this returns. Wait for it (briefly), then paint at once.
  if (QWindow* window = windowHandle()) {
    QElapsedTimer waited;
    waited.start();
    while (!window->isExposed() && waited.elapsed() < 1000) {
      QApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
    }
  }
  repaint();
  ProcessPendingEvents();
}

std::unique_ptr<TMessageWin> CreateMessageWin() {
  // Above the window that started the work, which is often modal itself.
  QWidget* starter = QApplication::activeModalWidget();
  if (!starter) starter = QApplication::activeWindow();
  return std::make_unique<TMessageWin>(starter);
}

std::unique_ptr<IMessageWin> TMessageWinFactory::CreateMessageWin() {
  return pw::CreateMessageWin();
}

}  // namespace pw
