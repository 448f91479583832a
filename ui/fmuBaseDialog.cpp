#include "ui/fmuBaseDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/Services.h"
#include "ui/DialogService.h"
#include "ui/PacketwrightHelpIDs.h"
#include "ui/SlotGuard.h"

namespace pw {

TfmBaseDialog::TfmBaseDialog(QWidget* parent) : TfmBase(parent) {
  SetDialogBorder(this);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  client_ = new QWidget(this);
  layout->addWidget(client_, 1);

  paBottom = new QWidget(this);
  paBottom->setObjectName("paBottom");
  paBottom->setFixedHeight(41);
  auto* bottom = new QHBoxLayout(paBottom);
  bottom->setContentsMargins(0, 0, 0, 0);
  bottom->addStretch(1);
  paDialogButtons = new QWidget(paBottom);
  paDialogButtons->setObjectName("paDialogButtons");
  paDialogButtons->setFixedWidth(178);
  bottom->addWidget(paDialogButtons);
  auto* buttons = new QHBoxLayout(paDialogButtons);
  buttons->setContentsMargins(8, 8, 8, 8);
  buttons->setSpacing(4);
  buOK = new QPushButton("OK", paDialogButtons);
  buCancel = new QPushButton("Cancel", paDialogButtons);
  buHelp = new QPushButton("&Help", paDialogButtons);
  for (QPushButton* b : {buOK, buCancel, buHelp}) {
    b->setFixedSize(75, 25);
    buttons->addWidget(b);
  }
  buOK->setObjectName("buOK");
  buCancel->setObjectName("buCancel");
  buHelp->setObjectName("buHelp");
  buOK->setDefault(true);
  buHelp->hide();
  layout->addWidget(paBottom);

  ConnectGuarded(buOK, &QPushButton::clicked, this, &TfmBaseDialog::buOKClick);
  connect(buCancel, &QPushButton::clicked, this, &QDialog::reject);
  ConnectGuarded(buHelp, &QPushButton::clicked, this, &TfmBaseDialog::buHelpClick);
}

void TfmBaseDialog::SetSizeable() {
  sizeable_ = true;
  setWindowFlags((windowFlags() & ~Qt::MSWindowsFixedSizeDialogHint) |
                 Qt::WindowMaximizeButtonHint);
}

void TfmBaseDialog::showEvent(QShowEvent* event) {
  // Fixed before the window is mapped, so the window manager offers no
  // resizing either; never smaller than the controls need.
  if (!sizeable_) setFixedSize(size().expandedTo(minimumSizeHint()));
  TfmBase::showEvent(event);
}

void TfmBaseDialog::buOKClick() {
  if (!CheckData()) return;  // CheckData has said what is wrong; the dialog stays
  StoreData();
  accept();
}

void TfmBaseDialog::buHelpClick() {
  ShowHelpTopic(HelpContext());
}

bool CheckRequiredField(QLineEdit* edit, QLabel* caption, TfmBaseDialog* dialog) {
  if (!edit->text().isEmpty()) return true;
  Get<IDialogService>().ShowError(dialog, "Error",
                                  QString("Fill in the '%1' field").arg(caption->text()));
  edit->setFocus();
  return false;
}

}  // namespace pw
