// The common look of the program's dialogs.
#pragma once

#include <QDialog>
#include <functional>

class QPushButton;

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

// The keys of a window of its own beside the main window, as a dialog has
// them: F1 opens its section of the help, Esc closes it.
void AddWindowKeys(QWidget* window, int helpContext);
// Before a window's first showing: no larger than the screen it opens on,
// centred over the window it belongs to (or the screen), and wholly on the
// screen, its title bar included.
void PlaceOverParent(QWidget* window);
// The same at the window's first showing only, for its showEvent: shown
// again, it stays where the user left it.
void PlaceOverParentOnce(QWidget* window);
// The button of a window that works on its own (a walk, a run, a test):
// "Cancel" calls cancel while running() says the work goes on; once the
// window has made it "Close", it closes the window.
QPushButton* NewCancelButton(QWidget* window, std::function<bool()> running,
                             std::function<void()> cancel);

}  // namespace pw
