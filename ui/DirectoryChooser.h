// The directory chooser of "Browse..." and "Scan Directory". It decides about
// a directory that does not exist before it closes, so that a "No" leaves the
// user where they were, with what they typed.
#pragma once

#include <QFileDialog>

class QPushButton;

namespace pw {

class TDirectoryChooser final : public QFileDialog {
  Q_OBJECT
 public:
  // Opens at start, or at the current directory when start is empty. With
  // offerCreate a directory that does not exist may be typed; it is created,
  // with its parents, once the user agrees. Without it the chooser offers no
  // way to create one.
  TDirectoryChooser(QWidget* parent, const QString& start, bool offerCreate);

  // The chosen directory in the platform's own notation.
  QString Chosen() const;

  void accept() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Whether "Choose" leads to the question about creating the typed folder.
  bool MayCreateChosen() const;

  bool offerCreate_;
  QPushButton* choose_ = nullptr;
};

}  // namespace pw
