#include "ui/eduExtension.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "archiver/ArchiveJob.h"
#include "model/HoardkeeperClasses.h"
#include "platform/Services.h"
#include "ui/DialogService.h"
#include "ui/PacketwrightHelpIDs.h"
#include "ui/UiText.h"

namespace pw {

TedExtension::TedExtension(QWidget* parent)
    : TfmBaseDialog(parent), EditCopy(std::make_unique<TbkExtension>(nullptr)) {
  EditCopy->SetCopyOwnerOnAssign(true);
  setWindowTitle("File Mask");
  SetHelpContext(hcExtensionDialog);
  auto* layout = new QVBoxLayout(Client());
  layout->setContentsMargins(12, 12, 12, 0);
  Label1 = new QLabel("&Mask", this);
  edFileExt = new QLineEdit(this);
  Label1->setBuddy(edFileExt);
  cbActive = new QCheckBox("&Active", this);
  layout->addWidget(Label1);
  layout->addWidget(edFileExt);
  layout->addWidget(cbActive);
  layout->addStretch(1);
  resize(338, 163);
  edFileExt->setFocus();
}

TedExtension::~TedExtension() = default;

void TedExtension::Load(TbkExtension* extension, TbkExtensions* extensions) {
  EditCopy->Assign(extension);
  EditedExtension = extension;
  OwnerExtensions = extensions;
  edFileExt->setText(ToQt(EditCopy->Ext()));
  cbActive->setChecked(EditCopy->Active());
}

bool TedExtension::CheckData() {
  IDialogService& dialogs = Get<IDialogService>();
  const QString text = edFileExt->text();
  if (text.isEmpty()) {
    dialogs.ShowError(this, "Error", "Please, fill in the 'File Extention' field");
    edFileExt->setFocus();
    return false;
  }
  if (const std::string problem = MaskProblem(FromQt(text, EditCopy->Ext())); !problem.empty()) {
    dialogs.ShowError(this, "Error", ToQt(problem));
    edFileExt->setFocus();
    return false;
  }
  if (!MaskUniqueInRule(FromQt(text, EditCopy->Ext()), EditedExtension, OwnerExtensions)) {
    dialogs.ShowError(this, "Error", "Extension '" + text + "' is not unique in the rule");
    edFileExt->setFocus();
    return false;
  }
  return true;
}

void TedExtension::StoreData() {
  EditCopy->SetExt(FromQt(edFileExt->text(), EditCopy->Ext()));
  EditCopy->SetActive(cbActive->isChecked());
}

bool TedExtension::Execute(TbkExtension* extension, TbkExtensions* extensions) {
  TedExtension dialog;
  dialog.Load(extension, extensions);
  const bool ok = dialog.exec() == QDialog::Accepted;
  if (ok) extension->Assign(dialog.EditCopy.get());
  return ok;
}

TedClearOptions::TedClearOptions(QWidget* parent) : TfmBaseDialog(parent) {
  setWindowTitle("Clear Options");
  SetHelpContext(hcClearOptionsDialog);
  auto* layout = new QVBoxLayout(Client());
  layout->setContentsMargins(12, 8, 12, 0);
  Label1 = new QLabel("Delete?", this);
  QFont big = font();
  big.setBold(true);
  big.setPixelSize(24);
  Label1->setFont(big);
  cbActiveExtensions = new QCheckBox("Active", this);
  cbPassiveExtensions = new QCheckBox("Passive", this);
  cbSelected = new QCheckBox("Selected", this);
  layout->addWidget(Label1);
  layout->addWidget(cbActiveExtensions);
  layout->addWidget(cbPassiveExtensions);
  layout->addWidget(cbSelected);
  setFixedWidth(198);
}

bool TedClearOptions::Execute(bool& active, bool& passive, bool& selected, bool selectedEnabled) {
  TedClearOptions dialog;
  dialog.cbActiveExtensions->setChecked(active);
  dialog.cbPassiveExtensions->setChecked(passive);
  dialog.cbSelected->setChecked(selected);
  dialog.cbSelected->setEnabled(selectedEnabled);
  if (dialog.exec() != QDialog::Accepted) return false;
  active = dialog.cbActiveExtensions->isChecked();
  passive = dialog.cbPassiveExtensions->isChecked();
  selected = dialog.cbSelected->isChecked();
  return true;
}

}  // namespace pw
