// The mask dialog: one file mask and whether it is active.
#pragma once

#include <memory>

#include "ui/fmuBaseDialog.h"

class QCheckBox;

namespace pw {

class TbkExtension;
class TbkExtensions;

class TedExtension final : public TfmBaseDialog {
  Q_OBJECT
 public:
  explicit TedExtension(QWidget* parent = nullptr);
  ~TedExtension() override;
  // Edits extension, whose text must be unique in extensions; copies the
  // result back on OK.
  static bool Execute(TbkExtension* extension, TbkExtensions* extensions);

  void Load(TbkExtension* extension, TbkExtensions* extensions);
  bool CheckData() override;
  void StoreData() override;

  QLabel* Label1;
  QLineEdit* edFileExt;
  QCheckBox* cbActive;
  std::unique_ptr<TbkExtension> EditCopy;
  TbkExtension* EditedExtension = nullptr;
  TbkExtensions* OwnerExtensions = nullptr;
};

// Which masks "Clear" deletes.
class TedClearOptions final : public TfmBaseDialog {
  Q_OBJECT
 public:
  explicit TedClearOptions(QWidget* parent = nullptr);
  static bool Execute(bool& active, bool& passive, bool& selected, bool selectedEnabled);

  QLabel* Label1;
  QCheckBox* cbActiveExtensions;
  QCheckBox* cbPassiveExtensions;
  QCheckBox* cbSelected;
};

}  // namespace pw
