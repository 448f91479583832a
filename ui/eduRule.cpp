#include "ui/eduRule.h"

#include <QAction>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "model/HoardkeeperClasses.h"
#include "platform/Services.h"
#include "ui/DialogService.h"
#include "ui/ImageList.h"
#include "ui/MenuAccelerators.h"
#include "ui/PacketwrightHelpIDs.h"
#include "ui/UiText.h"
#include "ui/fruExtensions.h"

namespace pw {

TedRule::TedRule(QWidget* parent)
    : TfmBaseDialog(parent), EditCopy(std::make_unique<TbkRule>(nullptr)) {
  EditCopy->SetCopyOwnerOnAssign(true);
  setWindowTitle("Rule");
  SetHelpContext(hcRuleDialog);
  SetSizeable();
  setSizeGripEnabled(true);
  setMinimumSize(350, 400);
  resize(350, 400);

  auto* layout = new QVBoxLayout(Client());
  layout->setContentsMargins(6, 6, 6, 0);
  laName = new QLabel("Name", this);
  edName = new QLineEdit(this);
  auto* gbCategory = new QGroupBox("Files matches the Mask must be ", this);
  auto* row = new QHBoxLayout(gbCategory);
  // The size of its picture: a lamp that took a share of a widened dialog
  // would drift away from its radio button.
  auto lamp = [this](bool include) {
    auto* image = new QLabel(this);
    image->setPixmap(CategoryLamp(include).pixmap(16, 16));
    image->setFixedSize(16, 16);
    return image;
  };
  rbExclude = new QRadioButton("Excluded from Archive", gbCategory);
  rbInclude = new QRadioButton("Included into Archive", gbCategory);
  // Tight enough that both captions fit at the dialog's smallest width.
  row->setSpacing(2);
  row->setContentsMargins(0, 2, 0, 2);
  row->addWidget(lamp(false));
  row->addWidget(rbExclude);
  row->addWidget(lamp(true));
  row->addWidget(rbInclude);
  row->addStretch(1);  // the room a wider dialog gives stays on the right
  frExtensions = new TfrExtensions(this);
  frExtensions->actAddExtension->setText("Add");
  frExtensions->actAddExtension->setToolTip("Add");
  frExtensions->actEditExtension->setText("Edit");
  frExtensions->actEditExtension->setToolTip("Edit");
  frExtensions->actDeleteExtension->setText("Delete");
  frExtensions->actDeleteExtension->setToolTip("Delete");
  AssignAccelerators(frExtensions->pmExtensions);
  // No other list here claims F4, F3 and Del, so the frame's keys work from
  // every field of the dialog. An edit keeps Del for its text: it claims the
  // key before any shortcut does.
  for (QAction* a : {frExtensions->actAddExtension, frExtensions->actEditExtension,
                     frExtensions->actDeleteExtension}) {
    a->setShortcutContext(Qt::WindowShortcut);
  }
  layout->addWidget(laName);
  layout->addWidget(edName);
  layout->addWidget(gbCategory);
  layout->addWidget(frExtensions, 1);
  edName->setFocus();
}

TedRule::~TedRule() {
  // The frame lets go of the copy's masks before the copy goes.
  delete frExtensions;
}

void TedRule::Load(TbkRule* rule, TbkRules* rules) {
  EditCopy->Assign(rule);
  EditCopy->SetModified(false);
  LoadData();
  EditedRule = rule;
  OwnerRules = rules;
}

void TedRule::LoadData() {
  OldName = EditCopy->Name();
  edName->setText(ToQt(EditCopy->Name()));
  rbInclude->setChecked(EditCopy->Category() == ecInclude);
  rbExclude->setChecked(EditCopy->Category() == ecExclude);
  frExtensions->SetExtensions(EditCopy->Extensions());
}

bool TedRule::CheckData() {
  if (!CheckRequiredField(edName, laName, this)) return false;
  const QString text = edName->text();
  const std::string name = FromQt(text, OldName);
  if (!IsRuleNameUnique(name, EditedRule, OwnerRules)) {
    edName->setFocus();
    Get<IDialogService>().ShowError(this, "Error", "Rule '" + text + "' is not unique");
    return false;
  }
  if (name != OldName && EditCopy->Manager()) {
    RenameRuleReferences(EditCopy->Manager()->Directories(), OldName, name);
  }
  return true;
}

void TedRule::StoreData() {
  TfmBaseDialog::StoreData();
  const QString text = edName->text();
  EditCopy->SetName(FromQt(text, OldName));
  if (rbInclude->isChecked()) EditCopy->SetCategory(ecInclude);
  if (rbExclude->isChecked()) EditCopy->SetCategory(ecExclude);
}

bool TedRule::Execute(TbkRule* rule, TbkRules* rules) {
  TedRule dialog;
  dialog.Load(rule, rules);
  const bool ok = dialog.exec() == QDialog::Accepted;
  if (ok) rule->Assign(dialog.EditCopy.get());
  return ok;
}

std::unique_ptr<TbkRule> TedRule::ExecuteNew(TbkRules* rules) {
  auto rule = std::make_unique<TbkRule>(nullptr);
  if (!Execute(rule.get(), rules)) return nullptr;
  return rule;
}

}  // namespace pw
