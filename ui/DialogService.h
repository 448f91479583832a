// Message boxes, questions and the common dialogs, behind one small service
// so that tests can answer them. Windows reach it with Get<IDialogService>().
#pragma once

#include "platform/Services.h"

#include <QMessageBox>
#include <QString>
#include <memory>
#include <optional>

class QWidget;

namespace pw {

enum class TAnswer { Yes, No, Cancel };

struct TFileDialogOptions {
  QString title;
  QString filter;            // "Batch files (*.bat)|*.bat" style
  QString defaultExtension;  // added when the user types none
  QString fileName;          // preset name
  bool askOverwrite = false;
};

class IDialogService {
 public:
  virtual ~IDialogService() = default;
  // An error box: error icon, one OK button.
  virtual void ShowError(QWidget* parent, const QString& title, const QString& text) = 0;
  // "Confirm", question icon, "&Yes" and "&No"; Enter answers preferred,
  // which is No where a hasty Yes would cost the user something.
  virtual bool Confirm(QWidget* parent, const QString& text, TAnswer preferred) = 0;
  bool Confirm(QWidget* parent, const QString& text) { return Confirm(parent, text, TAnswer::Yes); }
  // The same with "Cancel" as a third answer.
  virtual TAnswer ConfirmWithCancel(QWidget* parent, const QString& text) = 0;
  virtual std::optional<QString> OpenFile(QWidget* parent, const TFileDialogOptions& options) = 0;
  virtual std::optional<QString> SaveFile(QWidget* parent, const TFileDialogOptions& options) = 0;
  // Starts at start; with offerCreate a directory that does not exist may be
  // typed, is confirmed with a question and is created with its parents.
  virtual std::optional<QString> ChooseDirectory(QWidget* parent, const QString& start,
                                                 bool offerCreate) = 0;
  // A line typed without being shown (a password), after prompt; none when
  // cancelled.
  virtual std::optional<QString> AskHidden(QWidget* parent, const QString& prompt) = 0;
};

// The implementation this build provides.
template <>
IDialogService& DefaultService<IDialogService>();

// A message box of the standard service, before it is shown: never
// narrower than its title needs in the window's title bar.
std::unique_ptr<QMessageBox> CreateMessageBox(QWidget* parent, QMessageBox::Icon icon,
                                              const QString& title, const QString& text);
// The width a window needs for its title bar to show title in full: the
// title in the title-bar font, the window's icon and its caption buttons.
int TitleBarWidth(const QString& title);

// "Name (*.x)|*.x|Other (*.y)|*.y" in the toolkit's own filter form.
QString ToQtFilter(const QString& filter);

}  // namespace pw
