// The rule dialog: a rule's name, category and masks.
#pragma once

#include <memory>
#include <string>

#include "ui/fmuBaseDialog.h"

class QRadioButton;

namespace pw {

class TbkRule;
class TbkRules;
class TfrExtensions;

class TedRule final : public TfmBaseDialog {
  Q_OBJECT
 public:
  explicit TedRule(QWidget* parent = nullptr);
  ~TedRule() override;
  // Edits rule against the names of rules; copies the result back on OK.
  static bool Execute(TbkRule* rule, TbkRules* rules);
  // A new free-standing rule on OK (the caller owns it), or null.
  static std::unique_ptr<TbkRule> ExecuteNew(TbkRules* rules);

  void Load(TbkRule* rule, TbkRules* rules);
  bool CheckData() override;
  void StoreData() override;

  QLabel* laName;
  QLineEdit* edName;
  QRadioButton* rbExclude;
  QRadioButton* rbInclude;
  TfrExtensions* frExtensions;
  std::unique_ptr<TbkRule> EditCopy;
  TbkRule* EditedRule = nullptr;
  TbkRules* OwnerRules = nullptr;
  std::string OldName;

 private:
  void LoadData();
};

}  // namespace pw
