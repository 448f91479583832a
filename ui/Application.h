// The application object: every error raised while a user command runs ends
// up here and is shown in the application's error box.
#pragma once

#include <QApplication>
#include <exception>

namespace pw {

class Exception;

class TPacketwrightApplication final : public QApplication {
 public:
  TPacketwrightApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

// The program file's name up to its first ".", lower-cased after its first
// character.
QString ApplicationTitle();
// The message with "." appended when its last character sorts after ".".
QString ErrorBoxText(const std::string& message);
void ShowApplicationError(const std::exception& error);
// "Exception %s in module %s at %p.\n%s%s" for a failure before the window exists.
QString StartupFailureText(const Exception& error);
void ShowStartupFailure(const Exception& error);

}  // namespace pw
