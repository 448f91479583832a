// The options dialog: the five global settings of the document, and which
// archives are kept and tested.
#pragma once

#include <functional>
#include <string>

#include "model/PasswordPlace.h"
#include "ui/fmuBaseDialog.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QPlainTextEdit;
class QSpinBox;
class QTimer;

namespace pw {

class TbkManager;

// What a prune of the document would do now, as its text; the document is a
// copy that holds what the dialog shows.
using TKeepPreview = std::function<std::string(const TbkManager& document)>;

class TedManager final : public TfmBaseDialog {
  Q_OBJECT
 public:
  explicit TedManager(QWidget* parent = nullptr);
  // Edits manager; stores on OK and reports whether OK was chosen. With a
  // preview, the Keep section shows below its rules what they would delete.
  static bool Execute(TbkManager* manager, QWidget* parent = nullptr,
                      TKeepPreview preview = {});

  // Shows what the rules would delete, from the next change on (and now,
  // once the data is loaded).
  void SetKeepPreview(TKeepPreview preview);
  // The preview once more, at once rather than after the pause that
  // follows a change.
  void ShowKeepPreview();

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
  QGroupBox* gbKeep;
  QSpinBox* edKeepLast;
  QSpinBox* edKeepDaily;
  QSpinBox* edKeepWeekly;
  QSpinBox* edKeepMonthly;
  QCheckBox* cbTestArchives;
  QPlainTextEdit* mmKeepPreview;
  QGroupBox* gbPassword;
  QCheckBox* cbEncrypt;
  QCheckBox* cbEncryptNames;
  QCheckBox* cbPasswordInFile;
  QLineEdit* edPasswordFile;
  QPushButton* buSetPassword;
  QLabel* lbPasswordWarning;
  QPushButton* buMovePassword;

 public slots:
  void buBrowseClick();
  void buSelectOutputPathClick();
  void buWinRarClick();
  void buWinZipClick();
  void bu7ZipClick();
  // Asks for a new password twice and keeps it where the dialog says.
  void buSetPasswordClick();
  // Keeps the password of the switches where the dialog says, and takes it
  // out of them.
  void buMovePasswordClick();

 private:
  void FormCreate();
  void KeepChanged();
  void PasswordChanged();
  // Where the dialog says the password is kept, "" keyring or a file.
  TPasswordPlace ChosenPlace() const;
  void KeepPassword(const std::string& password);

  const TbkManager* loaded_ = nullptr;
  TKeepPreview preview_;
  QTimer* previewPause_;
};

}  // namespace pw
