// The common look of the program's dialogs.
#pragma once

#include <QDialog>

namespace pw {

class TfmBase : public QDialog {
  Q_OBJECT
 public:
  explicit TfmBase(QWidget* parent = nullptr);

  int HelpContext() const { return helpContext_; }
  void SetHelpContext(int context) { helpContext_ = context; }

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  int helpContext_ = 0;
  bool centred_ = false;
};

// "MS Sans Serif" at 8 points where it exists, else the platform's dialog font.
QFont DialogFont();
// A dialog border: a title and a close box, nothing to minimize or maximize.
void SetDialogBorder(QWidget* window);
// Places a window in the middle of the screen it is on.
void CentreOnScreen(QWidget* window);

}  // namespace pw
