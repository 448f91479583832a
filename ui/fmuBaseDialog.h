// The modal OK/Cancel frame of every editing dialog: OK first validates
// (CheckData) and only then stores (StoreData); Cancel, Escape and the close
// box leave without either.
#pragma once

#include "ui/fmuBase.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;
class QWidget;

namespace pw {

class TfmBaseDialog : public TfmBase {
  Q_OBJECT
 public:
  explicit TfmBaseDialog(QWidget* parent = nullptr);

  virtual bool CheckData() { return true; }
  virtual void StoreData() {}

  QWidget* paBottom;
  QWidget* paDialogButtons;
  QPushButton* buOK;
  QPushButton* buCancel;
  QPushButton* buHelp;

 protected:
  // Where a descendant puts its controls, above the buttons.
  QWidget* Client() const { return client_; }
  // Lets the user resize the dialog; every other dialog keeps the size it
  // opens with.
  void SetSizeable();
  void showEvent(QShowEvent* event) override;

 private slots:
  void buOKClick();
  void buHelpClick();

 private:
  QWidget* client_;
  bool sizeable_ = false;
};

// True when edit holds text (blanks count); otherwise says which field to
// fill, naming it by caption's text as it stands, and moves the focus there.
bool CheckRequiredField(QLineEdit* edit, QLabel* caption, TfmBaseDialog* dialog);

}  // namespace pw
