// The Schedule dialog: when the nightly run of the settings file starts, set
// with the system's scheduler and kept in the settings file, and what that
// schedule has done so far, as `packetwright-cli schedule show` tells it.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "model/Schedule.h"
#include "ui/fmuBaseDialog.h"

class QCheckBox;
class QPlainTextEdit;
class QTimeEdit;

namespace pw {

class TbkManager;

class TedSchedule final : public TfmBaseDialog {
  Q_OBJECT
 public:
  // manager: the document, whose settings file is settingsFileName; save
  // writes the document into that file, as the main window's Save does.
  TedSchedule(TbkManager* manager, std::string settingsFileName, std::function<void()> save,
              QWidget* parent = nullptr);
  static void Execute(TbkManager* manager, const std::string& settingsFileName,
                      std::function<void()> save, QWidget* parent = nullptr);

  // The time and days as the fields hold them; none when no day is ticked.
  std::optional<TSchedule> ChosenSchedule() const;
  // The facts of the schedule, and Remove only while there is one to remove.
  void ShowFacts();

  QLabel* laTime;
  QTimeEdit* edTime;
  QLabel* laDays;
  QCheckBox* cbDays[7];
  QLabel* laFacts;
  QPlainTextEdit* meFacts;
  QPushButton* buSet;
  QPushButton* buRemove;

 public slots:
  void buSetClick();
  void buRemoveClick();

 private:
  // Whether the document may be saved now: asks first when it holds other
  // changes that were not saved yet.
  bool MaySave();
  // Saves the document with schedule in place of before; when the save
  // fails, the scheduler and the document are put back as they were and the
  // failure goes on to the error box.
  void StoreAndSave(const TSchedule& schedule, const TSchedule& before);

  TbkManager* manager_;
  std::string settingsFileName_;
  std::function<void()> save_;
};

}  // namespace pw
