// The directory dialog: a directory to archive, its archive name, whether it
// takes part in the group operations, and its rule.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "ui/fmuBaseDialog.h"

class QCheckBox;
class QComboBox;
class QToolButton;

namespace pw {

class TbkDirectory;
class TbkRule;
class TbkRules;

class TedDirectory final : public TfmBaseDialog {
  Q_OBJECT
 public:
  explicit TedDirectory(QWidget* parent = nullptr);
  ~TedDirectory() override;
  // Edits directory, which must belong to a manager; copies back on OK.
  static bool Execute(TbkDirectory* directory, QWidget* parent = nullptr);

  // The rule dialog; tests put a stand-in in its place.
  std::function<bool(TbkRule*, TbkRules*)> executeRule;

  void Load(TbkDirectory* directory);
  bool CheckData() override;
  void StoreData() override;
  TbkRule* GetSelectedRule() const;

  QLabel* Label1;
  QLineEdit* edDirectory;
  QToolButton* sbCreateArchiveName;
  QPushButton* buBrowse;
  QLabel* Label3;
  QLineEdit* edArchiveFileName;
  QCheckBox* cbNeedArchive;
  QLabel* Label2;
  QComboBox* cbRule;
  QToolButton* sbAddRule;
  QToolButton* sbEditRule;
  std::unique_ptr<TbkDirectory> EditCopy;

 public slots:
  void buBrowseClick();
  void sbCreateArchiveNameClick();
  void sbAddRuleClick();
  void sbEditRuleClick();
  void cbRuleChange();

 private:
  void LoadData();
  void FillRuleCombo();
  TbkRules* Rules() const;
  bool ConfirmArchiveClash(const std::string& path);

  // The directory Load was given: the document's own when one is edited, a
  // detached one when a directory is being added.
  TbkDirectory* loaded_ = nullptr;
};

}  // namespace pw
