#include "ui/fmuRules.h"

#include <QAction>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

#include "model/HoardkeeperClasses.h"
#include "platform/Errors.h"
#include "platform/LocaleCompare.h"
#include "platform/Services.h"
#include "ui/DialogService.h"
#include "ui/ImageList.h"
#include "ui/ListModels.h"
#include "ui/MenuAccelerators.h"
#include "ui/PacketwrightHelpIDs.h"
#include "ui/SlotGuard.h"
#include "ui/UiText.h"
#include "ui/eduRule.h"
#include "ui/fmuBase.h"
#include "ui/fruExtensions.h"

namespace pw {

TfmRules::TfmRules(QWidget* parent) : QDialog(parent), workRules_(std::make_unique<TbkRules>()) {
  workRules_->SetCopyOwnerOnAssign(true);
  executeRule = [](TbkRule* rule, TbkRules* rules) { return TedRule::Execute(rule, rules); };
  executeNewRule = [](TbkRules* rules) { return TedRule::ExecuteNew(rules); };
  setWindowTitle("Rules");
  setFont(DialogFont());
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setWindowFlag(Qt::WindowMaximizeButtonHint, true);
  setSizeGripEnabled(true);
  resize(617, 334);

  auto action = [this](QAction*& a, const char* caption, int image, QKeySequence key,
                       void (TfmRules::*handler)()) {
    a = new QAction(RulesImageList()[image], caption, this);
    a->setToolTip(caption);
    a->setShortcut(key);
    ConnectGuarded(a, &QAction::triggered, this, handler);
  };
  action(actAddRule, "Add Rule", 0, Qt::Key_F4, &TfmRules::actAddRuleExecute);
  action(actEditRule, "Edit Rule", 1, Qt::Key_F3, &TfmRules::actEditRuleExecute);
  action(actDeleteRule, "Delete Rule", 2, Qt::Key_Delete, &TfmRules::actDeleteRuleExecute);
  action(actSave, "Save", 3, Qt::Key_F2, &TfmRules::actSaveExecute);
  action(actHelp, "Contents", 4, Qt::Key_F1, &TfmRules::actHelpExecute);
  // Rule commands answer their keys while the rule list has the focus; the
  // mask frame's own take over in the mask list.
  for (QAction* a : {actAddRule, actEditRule, actDeleteRule}) {
    a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  }
  addActions({actSave, actHelp});

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* menu = new QMenuBar(this);
  QMenu* file = menu->addMenu("&File");
  file->addAction(actSave);
  file->addSeparator();
  ConnectGuarded(file->addAction("E&xit"), &QAction::triggered, this, &TfmRules::Exit1Click);
  auto* splitter = new QSplitter(Qt::Horizontal, this);
  splitter->setHandleWidth(3);
  frExtensions = new TfrExtensions(splitter);
  QMenu* command = menu->addMenu("Command");
  command->addActions({actAddRule, actEditRule, actDeleteRule});
  command->addSeparator();
  command->addActions({frExtensions->actAddExtension, frExtensions->actEditExtension,
                       frExtensions->actDeleteExtension});
  command->addSeparator();
  command->addAction(frExtensions->actInvert);
  command->addSeparator();
  command->addActions({frExtensions->actExtractFromDirectory, frExtensions->actClear});
  QMenu* help = menu->addMenu("Help");
  help->addAction(actHelp);
  layout->setMenuBar(menu);

  auto* paLeft = new QWidget(splitter);
  paLeft->setFixedWidth(305);
  auto* left = new QVBoxLayout(paLeft);
  left->setContentsMargins(0, 0, 0, 0);
  tbRules = new QToolBar(paLeft);
  tbRules->setIconSize(QSize(16, 16));
  tbRules->addAction(actSave);
  tbRules->addSeparator();
  tbRules->addActions({actAddRule, actEditRule, actDeleteRule});
  left->addWidget(tbRules);
  lvRules = new TListView(paLeft);
  lvRules->setObjectName("lvRules");
  rulesModel_ = new TRulesModel(this);
  rulesModel_->SetList(workRules_.get());
  sortedRules_ = new TCaptionSortModel(rulesModel_, this);
  lvRules->setModel(sortedRules_);
  lvRules->setRootIsDecorated(false);
  lvRules->setUniformRowHeights(true);
  lvRules->setSelectionMode(QAbstractItemView::SingleSelection);
  lvRules->setSelectionBehavior(QAbstractItemView::SelectRows);
  lvRules->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lvRules->setIconSize(QSize(16, 16));
  lvRules->header()->setSectionsClickable(false);
  lvRules->addActions({actAddRule, actEditRule, actDeleteRule});
  left->addWidget(lvRules, 1);
  splitter->insertWidget(0, paLeft);
  splitter->setStretchFactor(1, 1);
  layout->addWidget(splitter, 1);

  pmRules = new QMenu(this);
  pmRules->addActions({actAddRule, actEditRule, actDeleteRule});
  lvRules->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(lvRules, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { pmRules->popup(lvRules->viewport()->mapToGlobal(at)); });
  ConnectGuarded(lvRules->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                 &TfmRules::lvRulesChange);
  connect(lvRules, &QAbstractItemView::doubleClicked, this, [this] {
    if (actEditRule->isEnabled()) actEditRule->trigger();
  });
  frExtensions->OnExtensionsChanged = [this] { ExtensionsChanged(); };
  // The window's own menus first: their entries get the letters they start with.
  AssignAccelerators(menu);
  AssignAccelerators(pmRules);
  AssignAccelerators(frExtensions->pmExtensions);
}

TfmRules::~TfmRules() {
  lvRules->selectionModel()->disconnect(this);
  frExtensions->SetExtensions(nullptr);
  rulesModel_->SetList(nullptr);
  workRules_.reset();
}

void TfmRules::LoadRules(TbkRules* rules) {
  sourceRules_ = rules;
  workRules_->Assign(rules);
  workRules_->SetModified(false);
  FillRuleList();
}

void TfmRules::FillRuleList() {
  rulesModel_->SetList(workRules_.get());
  lvRulesChange();
}

int TfmRules::SelectedIndex() const {
  const QModelIndexList selected = lvRules->selectionModel()->selectedRows();
  return selected.isEmpty() ? -1 : sortedRules_->mapToSource(selected.first()).row();
}

TbkRule* TfmRules::SelectedRule() const {
  const int index = SelectedIndex();
  return index < 0 ? nullptr : workRules_->Items(index);
}

void TfmRules::lvRulesChange() {
  if (workRules_) actSave->setEnabled(workRules_->GetModified());
  TbkRule* rule = SelectedRule();
  actEditRule->setEnabled(rule != nullptr);
  actDeleteRule->setEnabled(rule != nullptr);
  frExtensions->SetExtensions(rule ? rule->Extensions() : nullptr);
  lvRules->viewport()->update();
}

void TfmRules::ExtensionsChanged() {
  lvRules->viewport()->update();
  actSave->setEnabled(workRules_->GetModified());
}

bool TfmRules::IsRuleReferenced(const std::string& name) const {
  const TbkDirectories* directories = sourceRules_->Manager()->Directories();
  for (int i = 0; i < directories->Count(); ++i) {
    if (UpperCaseAscii(directories->Items(i)->RuleName()) == UpperCaseAscii(name)) return true;
  }
  return false;
}

void TfmRules::actAddRuleExecute() {
  const std::unique_ptr<TbkRule> rule = executeNewRule(workRules_.get());
  if (!rule) return;
  workRules_->Add()->Assign(rule.get());
  // The sorted list has put the new rule into place; select it there.
  const QModelIndex added =
      sortedRules_->mapFromSource(rulesModel_->index(workRules_->Count() - 1, 0));
  lvRules->selectionModel()->setCurrentIndex(
      added, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  lvRules->scrollTo(added);
  lvRulesChange();
}

void TfmRules::actEditRuleExecute() {
  TbkRule* rule = SelectedRule();
  if (!rule) return;
  if (executeRule(rule, workRules_.get())) lvRulesChange();
}

void TfmRules::actDeleteRuleExecute() {
  TbkRule* rule = SelectedRule();
  if (!rule) return;
  if (IsRuleReferenced(rule->Name())) {
    throw Exception("Deleting is forbidden because a directory reference");
  }
  if (!Get<IDialogService>().Confirm(this, "Delete " + ToQt(rule->Name()))) return;
  // The frame lets go of the rule's masks before they are freed with it.
  frExtensions->SetExtensions(nullptr);
  const int index = SelectedIndex();
  // Nothing is selected afterwards: the view would select the next rule.
  lvRules->selectionModel()->clear();
  workRules_->Delete(index);
  lvRulesChange();
}

void TfmRules::actSaveExecute() {
  sourceRules_->Assign(workRules_.get());
  workRules_->SetModified(false);
  actSave->setEnabled(workRules_->GetModified());
  lvRules->viewport()->update();
  frExtensions->Redraw();
}

void TfmRules::actHelpExecute() {
  ShowHelpTopic(hcRulesWindow);
}

void TfmRules::Exit1Click() {
  close();
}

void TfmRules::FormCloseQuery() {
  if (workRules_ && workRules_->GetModified()) sourceRules_->Assign(workRules_.get());
}

void TfmRules::closeEvent(QCloseEvent* event) {
  FormCloseQuery();
  event->accept();
  QDialog::closeEvent(event);
}

void TfmRules::done(int result) {
  // Escape ends the window too, and commits like any other way of closing.
  FormCloseQuery();
  QDialog::done(result);
}

bool TfmRules::Execute(TbkRules* rules, QWidget* parent) {
  TfmRules window(parent);
  window.LoadRules(rules);
  window.exec();
  return true;
}

}  // namespace pw
