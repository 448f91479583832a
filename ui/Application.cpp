#include "ui/Application.h"

#include <QFileInfo>

#include "platform/Errors.h"
#include "platform/Services.h"
#include "ui/DialogService.h"
#include "ui/UiText.h"

namespace pw {

TPacketwrightApplication::TPacketwrightApplication(int& argc, char** argv)
    : QApplication(argc, argv) {}

bool TPacketwrightApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    ShowApplicationError(error);
  }
  return true;
}

QString ApplicationTitle() {
  const QString file = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
  const QString name = file.section('.', 0, 0);
  return name.left(1) + name.mid(1).toLower();
}

QString ErrorBoxText(const std::string& message) {
  std::string text = message;
  if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text += '.';
  return ToQt(text);
}

void ShowApplicationError(const std::exception& error) {
  const auto* own = dynamic_cast<const Exception*>(&error);
  QString text = ErrorBoxText(own ? own->Message() : error.what());
  // Below the message, which keeps its own full stop, and without one: a
  // dot after a path would read as part of it.
  if (const auto* failed = dynamic_cast<const EDirectoryError*>(&error)) {
    text += "\nDirectory: " + ToQt(failed->Directory());
  }
  Get<IDialogService>().ShowError(nullptr, ApplicationTitle(), text);
}

QString StartupFailureText(const Exception& error) {
  const QString module = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
  const std::string& message = error.Message();
  const bool endsWithDot = !message.empty() && message.back() == '.';
  // The module's name is Unicode already; asprintf would read it as UTF-8.
  return QString::asprintf("Exception %s in module ", error.ClassName()) + module +
         QString::asprintf(" at %p.\n", static_cast<const void*>(&error)) + ToQt(message) +
         (endsWithDot ? "" : ".");
}

void ShowStartupFailure(const Exception& error) {
  Get<IDialogService>().ShowError(nullptr, "Application Error", StartupFailureText(error));
}

}  // namespace pw
