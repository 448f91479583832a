// The rules window: the document's rules on the left, the masks of the
// selected one on the right, all on a working copy that Save, or closing
// after a change, copies into the document.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <string>

class QAction;
class QMenu;
class QModelIndex;
class QToolBar;
class QTreeView;

namespace pw {

class TbkRule;
class TbkRules;
class TCaptionSortModel;
class TfrExtensions;
class TRulesModel;

class TfmRules final : public QDialog {
  Q_OBJECT
 public:
  explicit TfmRules(QWidget* parent = nullptr);
  ~TfmRules() override;
  // Shows the window modally on the document's rules.
  static bool Execute(TbkRules* rules, QWidget* parent = nullptr);

  // The rule dialog; tests put stand-ins in its place.
  std::function<bool(TbkRule*, TbkRules*)> executeRule;
  std::function<std::unique_ptr<TbkRule>(TbkRules*)> executeNewRule;

  void LoadRules(TbkRules* rules);
  TbkRule* SelectedRule() const;
  bool IsRuleReferenced(const std::string& name) const;
  TbkRules* WorkRules() const { return workRules_.get(); }

  QToolBar* tbRules;
  QTreeView* lvRules;
  TfrExtensions* frExtensions;
  QMenu* pmRules;
  QAction* actAddRule;
  QAction* actEditRule;
  QAction* actDeleteRule;
  QAction* actSave;
  QAction* actHelp;

 public slots:
  void actAddRuleExecute();
  void actEditRuleExecute();
  void actDeleteRuleExecute();
  void actSaveExecute();
  void actHelpExecute();
  void Exit1Click();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void done(int result) override;

 private:
  void FillRuleList();
  // The index in WorkRules of the selected rule, or -1.
  int SelectedIndex() const;
  void lvRulesChange();
  void ExtensionsChanged();
  void FormCloseQuery();

  std::unique_ptr<TbkRules> workRules_;
  TbkRules* sourceRules_ = nullptr;
  TRulesModel* rulesModel_;
  TCaptionSortModel* sortedRules_;
};

}  // namespace pw
