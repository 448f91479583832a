// The application object: every error raised while a user command runs ends
// up here and is shown in the application's error box.
#pragma once

#include <QApplication>
#include <exception>
#include <string>

#include "platform/Errors.h"

namespace pw {

class TPacketwrightApplication final : public QApplication {
 public:
  TPacketwrightApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

// The program file's name up to its first ".", lower-cased after its first
// character.
QString ApplicationTitle();
// The failure of a command on one directory: the cause's message and kind,
// and the directory, which the error box names on a line of its own.
class EDirectoryError final : public Exception {
 public:
  EDirectoryError(const Exception& cause, std::string directory)
      : Exception(cause.Message()),
        className_(cause.ClassName()),
        directory_(std::move(directory)) {}
  const std::string& Directory() const { return directory_; }
  const char* ClassName() const override { return className_; }

 private:
  const char* className_;
  std::string directory_;
};

// The message with "." appended when its last character sorts after ".".
QString ErrorBoxText(const std::string& message);
void ShowApplicationError(const std::exception& error);
// "Exception %s in module %s at %p.\n%s%s" for a failure before the window exists.
QString StartupFailureText(const Exception& error);
void ShowStartupFailure(const Exception& error);

}  // namespace pw
