// The options dialog: the five global settings of the document.
#pragma once

#include "ui/fmuBaseDialog.h"

class QComboBox;

namespace pw {

class TbkManager;

class TedManager final : public TfmBaseDialog {
  Q_OBJECT
 public:
  explicit TedManager(QWidget* parent = nullptr);
  // Edits manager; stores on OK and reports whether OK was chosen.
  static bool Execute(TbkManager* manager, QWidget* parent = nullptr);

  void LoadData(const TbkManager& manager);
  void StoreInto(TbkManager& manager) const;
  bool CheckData() override;

  QLabel* Label1;
  QLineEdit* edArchiverExeFileName;
  QPushButton* buWinRar;
  QPushButton* buWinZip;
  QPushButton* bu7Zip;
  QPushButton* buBrowse;
  QLabel* Label2;
  QLineEdit* edArchiverParams;
  QLabel* Label5;
  QLineEdit* edExcludeKey;
  QLabel* Label3;
  QLineEdit* edOutputPath;
  QPushButton* buSelectOutputPath;
  QLabel* Label4;
  QComboBox* edSubDirPattern;

 public slots:
  void buBrowseClick();
  void buSelectOutputPathClick();
  void buWinRarClick();
  void buWinZipClick();
  void bu7ZipClick();

 private:
  void FormCreate();
};

}  // namespace pw
