#include "ui/fmuRules.h"

#include <QAction>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "model/HoardkeeperClasses.h"
#include "platform/Errors.h"
#include "platform/LocaleCompare.h"
#include "platform/Services.h"
#include "ui/DialogService.h"
#include "ui/ListItems.h"
#include "ui/MenuAccelerators.h"
#include "ui/Motifs.h"
#include "ui/PacketwrightHelpIDs.h"
#include "ui/UiText.h"
#include "ui/eduRule.h"
#include "ui/fmuBase.h"
#include "ui/fruExtensions.h"

namespace pw {

namespace {

TbkRule* RuleOf(const QModelIndex& index) {
  return reinterpret_cast<TbkRule*>(index.siblingAtColumn(0).data(Qt::UserRole).value<quintptr>());
}

}  // namespace

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

  auto action = [this](QAction*& a, const char* caption, QIcon icon, QKeySequence key,
                       void (TfmRules::*handler)()) {
    a = new QAction(icon, caption, this);
    a->setToolTip(caption);
    a->setShortcut(key);
    connect(a, &QAction::triggered, this, handler);
  };
  action(actAddRule, "Add Rule", PlusSign(), Qt::Key_F4, &TfmRules::actAddRuleExecute);
  action(actEditRule, "Edit Rule", SheetOfPaper(), Qt::Key_F3, &TfmRules::actEditRuleExecute);
  action(actDeleteRule, "Delete Rule", MinusSign(), Qt::Key_Delete,
         &TfmRules::actDeleteRuleExecute);
  action(actSave, "Save", FloppyDisk(), Qt::Key_F2, &TfmRules::actSaveExecute);
  action(actHelp, "Help", CategoryLamp(true), {}, &TfmRules::actHelpExecute);
  actHelp->setVisible(false);
  // Rule commands answer their keys while the rule list has the focus; the
  // mask frame's own take over in the mask list.
  for (QAction* a : {actAddRule, actEditRule, actDeleteRule}) {
    a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  }
  addAction(actSave);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* menu = new QMenuBar(this);
  QMenu* file = menu->addMenu("&File");
  file->addAction(actSave);
  file->addSeparator();
  file->addAction("E&xit", this, &TfmRules::Exit1Click);
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
  help->menuAction()->setVisible(false);
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
  lvRules = new QTreeWidget(paLeft);
  lvRules->setObjectName("lvRules");
  lvRules->setHeaderLabels({"Rule Name"});
  lvRules->setRootIsDecorated(false);
  lvRules->setSelectionMode(QAbstractItemView::SingleSelection);
  lvRules->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lvRules->setSortingEnabled(true);
  lvRules->sortByColumn(0, Qt::AscendingOrder);
  lvRules->header()->setSectionsClickable(false);
  lvRules->header()->setSortIndicatorShown(false);
  // lvRulesCustomDrawItem: rules changed since the last load or save are
  // drawn red and bold.
  lvRules->setItemDelegate(new TMarkedItemDelegate(
      lvRules,
      [](quintptr data) {
        const auto* rule = reinterpret_cast<const TbkRule*>(data);
        return rule && rule->GetModified();
      },
      [](const QPalette&) { return QColor(Qt::red); }, true));
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
  connect(lvRules, &QTreeWidget::itemSelectionChanged, this, [this] {
    if (changeHooked_) lvRulesChange();
  });
  connect(lvRules, &QTreeWidget::itemDoubleClicked, this, [this] {
    if (actEditRule->isEnabled()) actEditRule->trigger();
  });
  frExtensions->OnExtensionsChanged = [this] { ExtensionsChanged(); };
  // The window's own menus first: their entries get the letters they start with.
  AssignAccelerators(menu);
  AssignAccelerators(pmRules);
  AssignAccelerators(frExtensions->pmExtensions);
}

TfmRules::~TfmRules() {
  changeHooked_ = false;
  frExtensions->SetExtensions(nullptr);
  lvRules->clear();  // the rows must not outlive the rules their drawing reads
  workRules_.reset();
}

void TfmRules::LoadRules(TbkRules* rules) {
  sourceRules_ = rules;
  workRules_->Assign(rules);
  workRules_->SetModified(false);
  FillRuleList();
}

void TfmRules::FillRuleList() {
  lvRules->setUpdatesEnabled(false);
  Unhooked(changeHooked_, [&] {
    lvRules->clear();
    for (int i = 0; i < workRules_->Count(); ++i) {
      auto* item = new TCaptionSortedItem();
      lvRules->addTopLevelItem(item);
      FillRuleItem(workRules_->Items(i), item);
    }
  });
  lvRules->setUpdatesEnabled(true);
  lvRulesChange();
}

void TfmRules::FillRuleItem(TbkRule* rule, QTreeWidgetItem* item) {
  item->setText(0, ToQt(rule->Name()));
  item->setData(0, Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(rule)));
  item->setIcon(0, CategoryLamp(rule->Category() == ecInclude));
}

TbkRule* TfmRules::SelectedRule() const {
  const QList<QTreeWidgetItem*> selected = lvRules->selectedItems();
  return selected.isEmpty() ? nullptr : RuleOf(lvRules->indexFromItem(selected.first()));
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
  TbkRule* added = workRules_->Add();
  added->Assign(rule.get());
  auto* item = new TCaptionSortedItem();
  lvRules->addTopLevelItem(item);
  FillRuleItem(added, item);
  lvRules->clearSelection();
  item->setSelected(true);
  lvRulesChange();
}

void TfmRules::actEditRuleExecute() {
  TbkRule* rule = SelectedRule();
  if (!rule) return;
  if (executeRule(rule, workRules_.get())) {
    FillRuleItem(rule, lvRules->selectedItems().first());
    lvRulesChange();
  }
}

void TfmRules::actDeleteRuleExecute() {
  TbkRule* rule = SelectedRule();
  if (!rule) return;
  if (IsRuleReferenced(rule->Name())) {
    throw Exception("Deleting is forbidden because a directory reference");
  }
  if (!Get<IDialogService>().Confirm(this, "Delete " + ToQt(rule->Name()))) return;
  frExtensions->SetExtensions(nullptr);
  QTreeWidgetItem* item = lvRules->selectedItems().first();
  Unhooked(changeHooked_, [&] {
    lvRules->setCurrentItem(nullptr);  // the view would select the next rule
    delete item;  // before its rule, which the row's drawing reads
  });
  delete rule;
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
