#include "ui/eduSchedule.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimeEdit>

#include "archiver/NightSchedule.h"
#include "model/HoardkeeperClasses.h"
#include "platform/Clock.h"
#include "platform/Scheduler.h"
#include "platform/Services.h"
#include "ui/DialogService.h"
#include "ui/PacketwrightHelpIDs.h"
#include "ui/SlotGuard.h"
#include "ui/UiText.h"

namespace pw {

namespace {

const char* const kDayCaptions[7] = {"&Mon", "&Tue", "&Wed", "Th&u", "&Fri", "S&at", "&Sun"};

// Puts the scheduler back as the document says, after a save that failed.
// What fails here is not told: the error box tells why the save failed, and
// the facts then show where the schedule is.
void Reinstall(const TSchedule& schedule, const std::string& settingsFileName) {
  try {
    if (schedule.Set()) {
      Get<IScheduler>().Install(NightlyRunCommand(schedule, settingsFileName));
    } else {
      Get<IScheduler>().Remove(ScheduleEntryName(settingsFileName));
    }
  } catch (const std::exception&) {
  }
}

}  // namespace

TedSchedule::TedSchedule(TbkManager* manager, std::string settingsFileName,
                         std::function<void()> save, QWidget* parent)
    : TfmBaseDialog(parent),
      manager_(manager),
      settingsFileName_(std::move(settingsFileName)),
      save_(std::move(save)) {
  setObjectName("edSchedule");
  setWindowTitle("Schedule");
  SetHelpContext(hcScheduleDialog);
  auto* grid = new QGridLayout(Client());
  grid->setContentsMargins(8, 8, 8, 0);

  laTime = new QLabel("Start t&ime:", this);
  edTime = new QTimeEdit(this);
  edTime->setObjectName("edTime");
  edTime->setDisplayFormat("HH:mm");
  laTime->setBuddy(edTime);
  laDays = new QLabel("On these days:", this);
  auto* days = new QHBoxLayout;
  for (int day = 0; day < 7; ++day) {
    cbDays[day] = new QCheckBox(kDayCaptions[day], this);
    cbDays[day]->setObjectName(QString("cbDay") + kDayNames[day]);
    days->addWidget(cbDays[day]);
  }
  days->addStretch(1);
  laFacts = new QLabel("The nightly run now:", this);
  meFacts = new QPlainTextEdit(this);
  meFacts->setObjectName("meFacts");
  meFacts->setReadOnly(true);
  meFacts->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  meFacts->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  // Read-only, it shows the window face, as the main window's memo does.
  QPalette face = meFacts->palette();
  face.setColor(QPalette::Base, face.color(QPalette::Window));
  meFacts->setPalette(face);
  meFacts->setMinimumSize(640, 110);

  grid->addWidget(laTime, 0, 0);
  grid->addWidget(edTime, 0, 1, Qt::AlignLeft);
  grid->addWidget(laDays, 1, 0);
  grid->addLayout(days, 1, 1);
  grid->addWidget(laFacts, 2, 0, 1, 2);
  grid->addWidget(meFacts, 3, 0, 1, 2);
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(3, 1);

  // Set and Remove act at once and the dialog stays, showing what they did;
  // Close leaves.
  buOK->hide();
  buCancel->setText("&Close");
  buHelp->show();
  buSet = new QPushButton("S&et", paDialogButtons);
  buSet->setObjectName("buSet");
  buRemove = new QPushButton("&Remove", paDialogButtons);
  buRemove->setObjectName("buRemove");
  auto* buttons = static_cast<QHBoxLayout*>(paDialogButtons->layout());
  for (QPushButton* b : {buRemove, buSet}) {
    b->setFixedSize(75, 25);
    buttons->insertWidget(0, b);
  }
  paDialogButtons->setFixedWidth(4 * 75 + 3 * 4 + 16);
  buOK->setDefault(false);
  buSet->setDefault(true);
  ConnectGuarded(buSet, &QPushButton::clicked, this, &TedSchedule::buSetClick);
  ConnectGuarded(buRemove, &QPushButton::clicked, this, &TedSchedule::buRemoveClick);

  // A document without a schedule offers every night at two.
  const TSchedule& schedule = manager_->Schedule();
  const int minute = schedule.Set() ? schedule.minuteOfDay : 2 * 60;
  edTime->setTime(QTime(minute / 60, minute % 60));
  for (int day = 0; day < 7; ++day) cbDays[day]->setChecked(!schedule.Set() || schedule.On(day));
  ShowFacts();
  edTime->setFocus();
}

std::optional<TSchedule> TedSchedule::ChosenSchedule() const {
  TSchedule schedule;
  const QTime time = edTime->time();
  schedule.minuteOfDay = time.hour() * 60 + time.minute();
  schedule.days = 0;
  for (int day = 0; day < 7; ++day) {
    if (cbDays[day]->isChecked()) schedule.days |= 1 << day;
  }
  if (schedule.days == 0) return std::nullopt;
  return schedule;
}

void TedSchedule::ShowFacts() {
  const std::vector<TScheduleFact> facts =
      ScheduleFacts(*manager_, settingsFileName_, LocalTimeOf(Get<IClock>().Now()));
  QString text;
  for (const TScheduleFact& fact : facts) {
    text += (ToQt(fact.label) + ":").leftJustified(16) + ToQt(fact.value) + "\n";
  }
  text.chop(1);
  meFacts->setPlainText(text);
  // A scheduler may hold a run that the document no longer names; Remove
  // takes that away too.
  buRemove->setEnabled(manager_->Schedule().Set() ||
                       Get<IScheduler>().Find(ScheduleEntryName(settingsFileName_)));
}

bool TedSchedule::MaySave() {
  if (!manager_->GetModified()) return true;
  return Get<IDialogService>().Confirm(
      this,
      QString("The nightly run reads the settings file, so the schedule is saved there "
              "together with the other changes not saved yet. Save to %1?")
          .arg(ToQt(settingsFileName_)),
      TAnswer::No);
}

void TedSchedule::StoreAndSave(const TSchedule& schedule, const TSchedule& before) {
  manager_->SetSchedule(schedule);
  try {
    save_();
  } catch (...) {
    manager_->SetSchedule(before);
    Reinstall(before, settingsFileName_);
    ShowFacts();
    throw;
  }
}

// The scheduler first, as the companion does: a settings file that names a
// schedule nothing keeps would say what is not so. A scheduler that refuses
// leaves the document as it was.
void TedSchedule::buSetClick() {
  const std::optional<TSchedule> schedule = ChosenSchedule();
  if (!schedule) {
    Get<IDialogService>().ShowError(this, "Error", "Tick at least one day for the nightly run");
    cbDays[0]->setFocus();
    return;
  }
  if (!MaySave()) return;
  const TSchedule before = manager_->Schedule();
  Get<IScheduler>().Install(NightlyRunCommand(*schedule, settingsFileName_));
  StoreAndSave(*schedule, before);
  ShowFacts();
}

void TedSchedule::buRemoveClick() {
  const TSchedule before = manager_->Schedule();
  if (before.Set() && !MaySave()) return;
  Get<IScheduler>().Remove(ScheduleEntryName(settingsFileName_));
  if (before.Set()) StoreAndSave(TSchedule{}, before);
  ShowFacts();
}

void TedSchedule::Execute(TbkManager* manager, const std::string& settingsFileName,
                          std::function<void()> save, QWidget* parent) {
  TedSchedule dialog(manager, settingsFileName, std::move(save), parent);
  dialog.exec();
}

}  // namespace pw
