#include "ui/eduDirectory.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>

#include "archiver/ArchiveCommands.h"
#include "archiver/ArchiveJob.h"
#include "archiver/Dialect.h"
#include "archiver/DirectoryScan.h"
#include "archiver/NightPlan.h"
#include "model/HoardkeeperClasses.h"
#include "platform/FileSystem.h"
#include "platform/Services.h"
#include "ui/DialogService.h"
#include "ui/PacketwrightHelpIDs.h"
#include "ui/SlotGuard.h"
#include "ui/UiText.h"
#include "ui/eduRule.h"

namespace pw {

namespace {

QToolButton* SpeedButton(QWidget* parent, QStyle::StandardPixmap glyph, const QString& caption,
                         const QString& hint) {
  auto* button = new QToolButton(parent);
  button->setAutoRaise(true);
  button->setFocusPolicy(Qt::NoFocus);  // flat speed buttons stay out of the tab chain
  button->setIcon(QApplication::style()->standardIcon(glyph));
  button->setToolTip(hint);
  if (!caption.isEmpty()) {
    button->setText(caption);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  }
  return button;
}

}  // namespace

TedDirectory::TedDirectory(QWidget* parent)
    : TfmBaseDialog(parent), EditCopy(std::make_unique<TbkDirectory>(nullptr)) {
  EditCopy->SetCopyOwnerOnAssign(true);
  executeRule = [](TbkRule* rule, TbkRules* rules) { return TedRule::Execute(rule, rules); };
  setWindowTitle("Directory");
  SetHelpContext(hcDirectoryDialog);
  auto* grid = new QGridLayout(Client());
  grid->setContentsMargins(8, 8, 8, 0);
  Label1 = new QLabel("&Directory to archive", this);
  edDirectory = new QLineEdit(this);
  Label1->setBuddy(edDirectory);
  Label3 = new QLabel("Archive File Name", this);
  sbCreateArchiveName =
      SpeedButton(this, QStyle::SP_ArrowDown, "Create File Name", "Create Archive File Name");
  buBrowse = new QPushButton("Browse...", this);
  edArchiveFileName = new QLineEdit(this);
  cbNeedArchive = new QCheckBox("&Include in group's operations", this);
  Label2 = new QLabel("&Rule", this);
  cbRule = new QComboBox(this);
  cbRule->setEditable(true);
  cbRule->setInsertPolicy(QComboBox::NoInsert);
  // A completion would store another rule's name, or a case the user did not
  // type; without a completer Enter also matches the list case-sensitively.
  cbRule->setCompleter(nullptr);
  Label2->setBuddy(cbRule);
  sbAddRule = SpeedButton(this, QStyle::SP_FileDialogNewFolder, "", "Add Rule");
  sbEditRule = SpeedButton(this, QStyle::SP_FileDialogDetailedView, "", "Edit Rule");

  grid->addWidget(Label1, 0, 0, 1, 4);
  grid->addWidget(edDirectory, 1, 0, 1, 4);
  grid->addWidget(Label3, 2, 0);
  grid->addWidget(sbCreateArchiveName, 2, 1);
  grid->addWidget(buBrowse, 2, 3, Qt::AlignRight);
  grid->addWidget(edArchiveFileName, 3, 0, 1, 4);
  grid->addWidget(cbNeedArchive, 4, 0, 1, 4);
  grid->addWidget(Label2, 5, 0, 1, 4);
  auto* ruleRow = new QHBoxLayout();
  ruleRow->addWidget(cbRule, 1);
  ruleRow->addWidget(sbAddRule);
  ruleRow->addWidget(sbEditRule);
  grid->addLayout(ruleRow, 6, 0, 1, 4);
  grid->setColumnStretch(2, 1);
  setFixedWidth(400);

  setTabOrder(edDirectory, buBrowse);
  setTabOrder(buBrowse, edArchiveFileName);
  setTabOrder(edArchiveFileName, cbNeedArchive);
  setTabOrder(cbNeedArchive, cbRule);
  setTabOrder(cbRule, buOK);

  ConnectGuarded(buBrowse, &QPushButton::clicked, this, &TedDirectory::buBrowseClick);
  ConnectGuarded(sbCreateArchiveName, &QToolButton::clicked, this,
                 &TedDirectory::sbCreateArchiveNameClick);
  ConnectGuarded(sbAddRule, &QToolButton::clicked, this, &TedDirectory::sbAddRuleClick);
  ConnectGuarded(sbEditRule, &QToolButton::clicked, this, &TedDirectory::sbEditRuleClick);
  connect(cbRule, &QComboBox::currentTextChanged, this, &TedDirectory::cbRuleChange);
  edDirectory->setFocus();
}

TedDirectory::~TedDirectory() = default;

TbkRules* TedDirectory::Rules() const {
  return EditCopy->Manager()->Rules();
}

void TedDirectory::Load(TbkDirectory* directory) {
  loaded_ = directory;
  EditCopy->Assign(directory);
  EditCopy->SetModified(false);
  LoadData();
}

void TedDirectory::LoadData() {
  edDirectory->setText(ToQt(EditCopy->Path()));
  edArchiveFileName->setText(ToQt(EditCopy->ArchiveFileName()));
  cbNeedArchive->setChecked(EditCopy->NeedArchive());
  cbRule->setCurrentText(ToQt(EditCopy->RuleName()));
  FillRuleCombo();
}

void TedDirectory::FillRuleCombo() {
  const QString text = cbRule->currentText();
  const QSignalBlocker quiet(cbRule);
  cbRule->clear();
  // Names only: the rule is looked up by name when it is needed.
  for (int i = 0; i < Rules()->Count(); ++i) cbRule->addItem(ToQt(Rules()->Items(i)->Name()));
  cbRule->model()->sort(0);
  cbRule->setCurrentIndex(-1);
  cbRule->setCurrentText(text);
  cbRuleChange();
}

TbkRule* TedDirectory::GetSelectedRule() const {
  return FindRule(FromQt(cbRule->currentText(), EditCopy->RuleName()), Rules());
}

void TedDirectory::cbRuleChange() {
  sbEditRule->setEnabled(GetSelectedRule() != nullptr);
}

// The name the job gives the archive: "~/Documents" is the home folder's.
void TedDirectory::sbCreateArchiveNameClick() {
  edArchiveFileName->setText(ToQt(Dialect().ArchiveFlatName(FromQt(edDirectory->text()))));
}

void TedDirectory::buBrowseClick() {
  if (auto dir = Get<IDialogService>().ChooseDirectory(this, edDirectory->text(), true)) {
    edDirectory->setText(*dir);
    sbCreateArchiveNameClick();
  }
}

void TedDirectory::sbEditRuleClick() {
  TbkRule* rule = GetSelectedRule();
  if (!rule) return;
  if (!executeRule(rule, Rules())) return;
  cbRule->setCurrentText(ToQt(rule->Name()));
  FillRuleCombo();
}

void TedDirectory::sbAddRuleClick() {
  TbkRule rule(nullptr);
  // The folder the job would archive, a leading "~/" read as it reads it.
  const std::string dir = ExpandHome(FromQt(edDirectory->text(), EditCopy->Path()));
  if (!dir.empty() && Get<IFileSystem>().DirectoryExists(dir))
    ScanDirectory(dir, rule.Extensions());
  const QString typed = cbRule->currentText();
  rule.SetName(typed.isEmpty() || GetSelectedRule() ? PathToFileName(dir) : FromQt(typed));
  if (!executeRule(&rule, Rules())) return;
  TbkRule* added = Rules()->Add();
  added->Assign(&rule);
  cbRule->setCurrentText(ToQt(added->Name()));
  FillRuleCombo();
}

// A clash is allowed, as the document may hold one already, but only once
// the user has read that neither directory would then be archived.
bool TedDirectory::ConfirmArchiveClash(const std::string& path) {
  const TbkManager& manager = *EditCopy->Manager();
  // The directory being edited still holds its old path in the document and
  // must not clash with itself; a new one is not in the list yet.
  const TbkDirectory* self =
      loaded_ && loaded_->Collection() == manager.Directories() ? loaded_ : nullptr;
  const std::string other = FindArchiveClash(manager, path, self);
  if (other.empty()) return true;
  const QString question = "The archive of " + edDirectory->text() +
                           " would be the same as that of " + ToQt(other) +
                           "; neither will be archived while both are listed. Keep it anyway?";
  if (Get<IDialogService>().Confirm(this, question, TAnswer::No)) return true;
  edDirectory->setFocus();
  return false;
}

bool TedDirectory::CheckData() {
  IDialogService& dialogs = Get<IDialogService>();
  const std::string path = FromQt(edDirectory->text(), EditCopy->Path());
  // The jobs refuse such a path whenever they are made; saying so here keeps
  // it out of the document in the first place.
  const std::string problem =
      edDirectory->text().isEmpty() ? "Fill in the 'Directory' field" : PathProblem(path);
  if (!problem.empty()) {
    dialogs.ShowError(this, "Error", ToQt(problem));
    edDirectory->setFocus();
    return false;
  }
  if (!cbRule->currentText().isEmpty() && !GetSelectedRule()) {
    dialogs.ShowError(this, "Error", "Rule '" + cbRule->currentText() + "' not found");
    cbRule->setFocus();
    return false;
  }
  return ConfirmArchiveClash(path);
}

void TedDirectory::StoreData() {
  EditCopy->SetPath(FromQt(edDirectory->text(), EditCopy->Path()));
  EditCopy->SetNeedArchive(cbNeedArchive->isChecked());
  EditCopy->SetRuleName(FromQt(cbRule->currentText(), EditCopy->RuleName()));
  EditCopy->SetArchiveFileName(FromQt(edArchiveFileName->text(), EditCopy->ArchiveFileName()));
}

bool TedDirectory::Execute(TbkDirectory* directory, QWidget* parent) {
  TedDirectory dialog(parent);
  dialog.Load(directory);
  const bool ok = dialog.exec() == QDialog::Accepted;
  if (ok) directory->Assign(dialog.EditCopy.get());
  return ok;
}

}  // namespace pw
