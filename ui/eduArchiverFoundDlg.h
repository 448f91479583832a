// Which installed archiver to use, asked at the first start.
#pragma once

#include "archiver/ArchiverDetection.h"
#include "ui/fmuBaseDialog.h"

class QPlainTextEdit;
class QRadioButton;

namespace pw {

inline constexpr char kWinZipHomePage[] = "https://www.winzip.com/";
inline constexpr char kWinRarHomePage[] = "https://www.rarlab.com/";
inline constexpr char k7ZipHomePage[] = "https://www.7-zip.org/";

class TedArchiverFoundDlg final : public TfmBaseDialog {
  Q_OBJECT
 public:
  explicit TedArchiverFoundDlg(QWidget* parent = nullptr);
  // True with the chosen kind when closed with OK and a choice made.
  static bool Execute(TArchiverKind& kind, QWidget* parent = nullptr);
  // What a closed dialog answers.
  bool Result(bool accepted, TArchiverKind& kind) const;

  QLabel* StaticText1;
  QLabel* Image2;
  QRadioButton* rbWinZip;
  QPlainTextEdit* meWinZipExplaine;
  QLabel* laWinZip;
  QLabel* Image1;
  QRadioButton* rbWinRar;
  QLabel* Label2;
  QLabel* Image3;
  QRadioButton* rb7Zip;
  QLabel* la7Zip;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormCreate();
};

}  // namespace pw
