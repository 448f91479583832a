#include "ui/eduManager.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include "archiver/ArchiverDetection.h"
#include "archiver/Dialect.h"
#include "archiver/Password.h"
#include "model/HoardkeeperClasses.h"
#include "platform/Errors.h"
#include "platform/PasswordStore.h"
#include "platform/Services.h"
#include "ui/DialogService.h"
#include "ui/PacketwrightHelpIDs.h"
#include "ui/SlotGuard.h"
#include "ui/UiText.h"

namespace pw {

TedManager::TedManager(QWidget* parent) : TfmBaseDialog(parent) {
  setWindowTitle("Options");
  SetHelpContext(hcOptionsDialog);
  auto* grid = new QGridLayout(Client());
  grid->setContentsMargins(8, 8, 8, 0);

  Label1 = new QLabel("&Archiver File Name", this);
  edArchiverExeFileName = new QLineEdit(this);
  edArchiverExeFileName->setObjectName("edArchiverExeFileName");
  Label1->setBuddy(edArchiverExeFileName);
  buWinRar = new QPushButton("WinRar", this);
  buWinRar->setToolTip("Set WinRar Options");
  buWinZip = new QPushButton("WinZip", this);
  buWinZip->setToolTip("Set WinZip Options");
  bu7Zip = new QPushButton("7-Zip", this);
  bu7Zip->setToolTip("Set 7-Zip Options");
  buBrowse = new QPushButton("Browse...", this);
  Label2 = new QLabel("Archiver Command Line &Parameters", this);
  edArchiverParams = new QLineEdit(this);
  Label2->setBuddy(edArchiverParams);
  Label5 = new QLabel("Exclude Command Line Key", this);
  edExcludeKey = new QLineEdit(this);
  Label3 = new QLabel("&Output Path for Archive File", this);
  edOutputPath = new QLineEdit(this);
  Label3->setBuddy(edOutputPath);
  buSelectOutputPath = new QPushButton("Browse...", this);
  Label4 = new QLabel("&SubDirectory Name DateTime Format (optionally)", this);
  edSubDirPattern = new QComboBox(this);
  edSubDirPattern->setEditable(true);
  edSubDirPattern->setInsertPolicy(QComboBox::NoInsert);
  edSubDirPattern->setCompleter(nullptr);  // "yyyy" must not become "yyyy-mm-dd"
  Label4->setBuddy(edSubDirPattern);       // shows its accelerator instead of a bare "&"
  edSubDirPattern->addItems(
      {"yyyy-mm-dd", "\"My Archive\" for yyyy-mm-dd", "yyyy-mm-dd-hh-mm", "yyyymmddhhmm", ""});

  grid->addWidget(Label1, 0, 0, 1, 4);
  grid->addWidget(edArchiverExeFileName, 1, 0, 1, 4);
  grid->addWidget(buWinRar, 2, 0);
  grid->addWidget(buWinZip, 2, 1);
  grid->addWidget(bu7Zip, 2, 2);
  grid->addWidget(buBrowse, 2, 3, Qt::AlignRight);
  grid->addWidget(Label2, 3, 0, 1, 2);
  grid->addWidget(Label5, 3, 2, 1, 2);
  grid->addWidget(edArchiverParams, 4, 0, 1, 2);
  grid->addWidget(edExcludeKey, 4, 2, 1, 2);
  grid->addWidget(Label3, 5, 0, 1, 4);
  grid->addWidget(edOutputPath, 6, 0, 1, 4);
  grid->addWidget(buSelectOutputPath, 7, 3, Qt::AlignRight);
  grid->addWidget(Label4, 8, 0, 1, 4);
  grid->addWidget(edSubDirPattern, 9, 0, 1, 4);

  // Which runs' archives a prune keeps: 0 leaves a rule out, and with every
  // rule 0 nothing is ever deleted.
  gbKeep = new QGroupBox("Keep", this);
  gbKeep->setObjectName("gbKeep");
  auto* keep = new QGridLayout(gbKeep);
  const auto rule = [&](const char* caption, const char* name, const char* tip, int row,
                        int column) {
    auto* label = new QLabel(caption, gbKeep);
    auto* spin = new QSpinBox(gbKeep);
    spin->setObjectName(name);
    spin->setRange(0, kKeepMost);
    spin->setToolTip(tip);
    label->setBuddy(spin);
    keep->addWidget(label, row, column);
    keep->addWidget(spin, row, column + 1);
    connect(spin, &QSpinBox::valueChanged, this, &TedManager::KeepChanged);
    return spin;
  };
  edKeepLast = rule("Last &runs", "edKeepLast", "The newest runs, however close together", 0, 0);
  edKeepDaily = rule("&Daily", "edKeepDaily", "The newest run of each of the last days", 0, 2);
  edKeepWeekly = rule("&Weekly", "edKeepWeekly", "The newest run of each of the last weeks", 1, 0);
  edKeepMonthly =
      rule("&Monthly", "edKeepMonthly", "The newest run of each of the last months", 1, 2);
  cbTestArchives = new QCheckBox("&Test each new archive before it counts", gbKeep);
  cbTestArchives->setObjectName("cbTestArchives");
  cbTestArchives->setToolTip(
      "The archiver tests each archive that Run All and Wait or a nightly run makes; one that "
      "fails its test fails its job, and older archives of its directory are kept");
  keep->addWidget(cbTestArchives, 2, 0, 1, 4);
  mmKeepPreview = new QPlainTextEdit(gbKeep);
  mmKeepPreview->setObjectName("mmKeepPreview");
  mmKeepPreview->setReadOnly(true);
  // A run's line names its folder in full: wrapped, it reads without
  // scrolling sideways in a dialog this narrow.
  mmKeepPreview->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  mmKeepPreview->setFixedHeight(7 * mmKeepPreview->fontMetrics().lineSpacing() + 8);
  mmKeepPreview->setToolTip("What a prune with these rules would delete now");
  mmKeepPreview->hide();  // until there is a preview to show
  keep->addWidget(mmKeepPreview, 3, 0, 1, 4);
  keep->setColumnStretch(1, 1);
  keep->setColumnStretch(3, 1);
  grid->addWidget(gbKeep, 10, 0, 1, 4);

  // The password is never in the document: only where it is kept.
  gbPassword = new QGroupBox("Password", this);
  gbPassword->setObjectName("gbPassword");
  auto* secret = new QGridLayout(gbPassword);
  cbEncrypt = new QCheckBox("&Encrypt archives with a password (7-Zip only)", gbPassword);
  cbEncrypt->setObjectName("cbEncrypt");
  cbEncrypt->setToolTip(
      "7-Zip reads the password on its standard input: it is in no command line, script or "
      "settings file");
  cbEncryptNames = new QCheckBox("Encrypt file &names too", gbPassword);
  cbEncryptNames->setObjectName("cbEncryptNames");
  cbPasswordInFile = new QCheckBox("Keep it in a password &file instead of the keyring",
                                   gbPassword);
  cbPasswordInFile->setObjectName("cbPasswordInFile");
  cbPasswordInFile->setToolTip(
      "What scripts and scheduled runs that cannot reach the keyring need; the file is made "
      "for you alone (mode 600)");
  edPasswordFile = new QLineEdit(gbPassword);
  edPasswordFile->setObjectName("edPasswordFile");
  buSetPassword = new QPushButton("Set Pass&word...", gbPassword);
  buSetPassword->setObjectName("buSetPassword");
  lbPasswordWarning = new QLabel(gbPassword);
  lbPasswordWarning->setObjectName("lbPasswordWarning");
  lbPasswordWarning->setWordWrap(true);
  lbPasswordWarning->setStyleSheet("color: #b00000");
  buMovePassword = new QPushButton("&Move It Out of the Switches", gbPassword);
  buMovePassword->setObjectName("buMovePassword");
  secret->addWidget(cbEncrypt, 0, 0, 1, 2);
  secret->addWidget(cbEncryptNames, 1, 0, 1, 2);
  secret->addWidget(cbPasswordInFile, 2, 0, 1, 2);
  secret->addWidget(edPasswordFile, 3, 0);
  secret->addWidget(buSetPassword, 3, 1);
  secret->addWidget(lbPasswordWarning, 4, 0, 1, 2);
  secret->addWidget(buMovePassword, 5, 1);
  grid->addWidget(gbPassword, 11, 0, 1, 4);
  connect(cbEncrypt, &QCheckBox::toggled, this, &TedManager::PasswordChanged);
  connect(cbPasswordInFile, &QCheckBox::toggled, this, &TedManager::PasswordChanged);
  connect(edArchiverParams, &QLineEdit::textChanged, this, &TedManager::PasswordChanged);
  ConnectGuarded(buSetPassword, &QPushButton::clicked, this, &TedManager::buSetPasswordClick);
  ConnectGuarded(buMovePassword, &QPushButton::clicked, this, &TedManager::buMovePasswordClick);
  previewPause_ = new QTimer(this);
  previewPause_->setSingleShot(true);
  previewPause_->setInterval(200);
  ConnectGuarded(previewPause_, &QTimer::timeout, this, &TedManager::ShowKeepPreview);
  // Where the archives go decides which of them a prune finds.
  connect(edOutputPath, &QLineEdit::textChanged, this, &TedManager::KeepChanged);
  connect(edSubDirPattern, &QComboBox::currentTextChanged, this, &TedManager::KeepChanged);

  grid->setColumnStretch(2, 1);
  setFixedWidth(400);

  setTabOrder(edArchiverExeFileName, buBrowse);
  setTabOrder(buBrowse, edArchiverParams);
  setTabOrder(edArchiverParams, edExcludeKey);
  setTabOrder(edExcludeKey, edOutputPath);
  setTabOrder(edOutputPath, buSelectOutputPath);
  setTabOrder(buSelectOutputPath, edSubDirPattern);
  setTabOrder(edSubDirPattern, edKeepLast);
  setTabOrder(edKeepLast, edKeepDaily);
  setTabOrder(edKeepDaily, edKeepWeekly);
  setTabOrder(edKeepWeekly, edKeepMonthly);
  setTabOrder(edKeepMonthly, cbTestArchives);
  setTabOrder(cbTestArchives, mmKeepPreview);
  setTabOrder(mmKeepPreview, buOK);
  setTabOrder(buOK, buCancel);
  setTabOrder(buCancel, buWinRar);
  setTabOrder(buWinRar, buWinZip);
  setTabOrder(buWinZip, bu7Zip);

  ConnectGuarded(buBrowse, &QPushButton::clicked, this, &TedManager::buBrowseClick);
  ConnectGuarded(buSelectOutputPath, &QPushButton::clicked, this,
                 &TedManager::buSelectOutputPathClick);
  ConnectGuarded(buWinRar, &QPushButton::clicked, this, &TedManager::buWinRarClick);
  ConnectGuarded(buWinZip, &QPushButton::clicked, this, &TedManager::buWinZipClick);
  ConnectGuarded(bu7Zip, &QPushButton::clicked, this, &TedManager::bu7ZipClick);
  FormCreate();
  edArchiverExeFileName->setFocus();
}

void TedManager::FormCreate() {
  std::string ignored;
  buWinRar->setEnabled(FindWinRar(ignored));
  buWinZip->setEnabled(FindWinZipCommandLine(ignored));
  bu7Zip->setEnabled(Find7Zip(ignored));
}

void TedManager::LoadData(const TbkManager& m) {
  edArchiverExeFileName->setText(ToQt(m.ArchiverExeFileName()));
  edArchiverParams->setText(ToQt(m.ArchiverParams()));
  edOutputPath->setText(ToQt(m.OutputPath()));
  edSubDirPattern->setCurrentText(ToQt(m.SubDirNamePattern()));
  edExcludeKey->setText(ToQt(m.ExcludeKey()));
  const TKeepRules& rules = m.Keep();
  edKeepLast->setValue(rules.last);
  edKeepDaily->setValue(rules.daily);
  edKeepWeekly->setValue(rules.weekly);
  edKeepMonthly->setValue(rules.monthly);
  cbTestArchives->setChecked(m.TestArchives());
  cbEncrypt->setChecked(m.Password().InUse());
  cbEncryptNames->setChecked(m.EncryptNames());
  cbPasswordInFile->setChecked(m.Password().keptIn == TPasswordKeeping::pkFile);
  edPasswordFile->setText(ToQt(m.Password().file));
  PasswordChanged();
  loaded_ = &m;
  if (preview_) ShowKeepPreview();
}

void TedManager::StoreInto(TbkManager& m) const {
  m.SetArchiverExeFileName(FromQt(edArchiverExeFileName->text(), m.ArchiverExeFileName()));
  m.SetArchiverParams(FromQt(edArchiverParams->text(), m.ArchiverParams()));
  m.SetOutputPath(FromQt(edOutputPath->text(), m.OutputPath()));
  m.SetSubDirNamePattern(FromQt(edSubDirPattern->currentText(), m.SubDirNamePattern()));
  m.SetExcludeKey(FromQt(edExcludeKey->text(), m.ExcludeKey()));
  m.SetKeep(TKeepRules{edKeepLast->value(), edKeepDaily->value(), edKeepWeekly->value(),
                       edKeepMonthly->value()});
  m.SetTestArchives(cbTestArchives->isChecked());
  m.SetPassword(ChosenPlace());
  m.SetEncryptNames(cbEncrypt->isChecked() && cbEncryptNames->isChecked());
}

TPasswordPlace TedManager::ChosenPlace() const {
  if (!cbEncrypt->isChecked()) return {};
  if (!cbPasswordInFile->isChecked()) return {TPasswordKeeping::pkKeyring, {}};
  return {TPasswordKeeping::pkFile, FromQt(edPasswordFile->text(), {})};
}

void TedManager::PasswordChanged() {
  const bool encrypt = cbEncrypt->isChecked();
  cbEncryptNames->setEnabled(encrypt);
  cbPasswordInFile->setEnabled(encrypt);
  edPasswordFile->setEnabled(encrypt && cbPasswordInFile->isChecked());
  buSetPassword->setEnabled(encrypt);
  const std::string warning =
      PasswordInSwitchesWarning(FromQt(edArchiverParams->text(), std::string()));
  lbPasswordWarning->setText(ToQt(warning));
  lbPasswordWarning->setVisible(!warning.empty());
  buMovePassword->setVisible(!warning.empty());
}

void TedManager::KeepPassword(const std::string& password) {
  const std::string problem = PasswordProblem(password);
  if (!problem.empty()) throw Exception(problem);
  const TPasswordPlace place = ChosenPlace();
  if (place.keptIn == TPasswordKeeping::pkFile) {
    if (place.file.empty()) throw Exception("Choose the password file first");
    Get<IPasswordStore>().WriteFile(place.file, password);
  } else {
    Get<IPasswordStore>().WriteKeyring(password);
  }
}

void TedManager::buSetPasswordClick() {
  const std::optional<QString> first = Get<IDialogService>().AskHidden(this, "Archive password:");
  if (!first) return;
  const std::optional<QString> again = Get<IDialogService>().AskHidden(this, "Again:");
  if (!again) return;
  if (*first != *again) throw Exception("The two passwords differ; nothing was changed");
  KeepPassword(FromQt(*first, std::string()));
}

void TedManager::buMovePasswordClick() {
  TbkManager switches;
  switches.SetArchiverParams(FromQt(edArchiverParams->text(), std::string()));
  const std::optional<std::string> password = TakePasswordOutOfSwitches(switches);
  if (!password) return;
  cbEncrypt->setChecked(true);
  KeepPassword(*password);
  edArchiverParams->setText(ToQt(switches.ArchiverParams()));
  if (switches.EncryptNames()) cbEncryptNames->setChecked(true);
}

void TedManager::SetKeepPreview(TKeepPreview preview) {
  preview_ = std::move(preview);
  mmKeepPreview->setVisible(static_cast<bool>(preview_));
  if (preview_ && loaded_ != nullptr) ShowKeepPreview();
}

void TedManager::KeepChanged() {
  if (preview_) previewPause_->start();
}

void TedManager::ShowKeepPreview() {
  previewPause_->stop();
  if (!preview_) return;
  // The document as it would be stored now: its directories, and the
  // dialog's fields, rules included.
  TbkManager shown;
  if (loaded_ != nullptr) shown.Assign(loaded_);
  StoreInto(shown);
  if (shown.Keep().KeepsAll()) {
    mmKeepPreview->setPlainText("Every archive is kept: set a rule above to prune old runs.");
    return;
  }
  try {
    mmKeepPreview->setPlainText(ToQt(preview_(shown)));
  } catch (const Exception& e) {
    // The journal may be unreadable right now; the rules can still be set.
    mmKeepPreview->setPlainText(ToQt(e.Message()));
  }
}

bool TedManager::CheckData() {
  if (cbEncrypt->isChecked() && cbPasswordInFile->isChecked() &&
      edPasswordFile->text().trimmed().isEmpty()) {
    Get<IDialogService>().ShowError(this, "Error", "Choose the password file first");
    edPasswordFile->setFocus();
    return false;
  }
  return CheckRequiredField(edArchiverExeFileName, Label1, this) &&
         CheckRequiredField(edOutputPath, Label3, this);
}

void TedManager::buBrowseClick() {
  TFileDialogOptions options;
  options.title = "Archiver File Name";
  // Programs elsewhere carry no extension.
  options.filter = Dialect().ProgramFilter();
  if (auto file = Get<IDialogService>().OpenFile(this, options))
    edArchiverExeFileName->setText(*file);
}

void TedManager::buSelectOutputPathClick() {
  if (auto dir = Get<IDialogService>().ChooseDirectory(this, edOutputPath->text(), true)) {
    edOutputPath->setText(*dir);
  }
}

namespace {

void ApplySet(TedManager* d, bool found, const std::string& exe, const std::string& params,
              const std::string& key, const QString& name, const QString& notFound) {
  IDialogService& dialogs = Get<IDialogService>();
  if (!found) {
    dialogs.ShowError(d, "Error", notFound);
    return;
  }
  if (!dialogs.Confirm(d, name +
                              " was found on your computer. Replace current options with the "
                              "standard " +
                              (name.startsWith("WinZip") ? QString("WinZip") : name) +
                              " options?")) {
    return;
  }
  d->edArchiverExeFileName->setText(ToQt(exe));
  d->edArchiverParams->setText(ToQt(params));
  d->edExcludeKey->setText(ToQt(key));
}

}  // namespace

void TedManager::buWinRarClick() {
  std::string exe, params, key;
  const bool found = GetWinRarOptions(exe, params, key);
  ApplySet(this, found, exe, params, key, "WinRar", "WinRar not found on your computer.");
}

void TedManager::buWinZipClick() {
  std::string exe, params, key;
  const bool found = GetWinZipOptions(exe, params, key);
  ApplySet(this, found, exe, params, key, "WinZip Command Line Support",
           "WinZip Command Line Support not found on your computer.");
}

void TedManager::bu7ZipClick() {
  std::string exe, params, key;
  const bool found = Get7ZipOptions(exe, params, key);
  ApplySet(this, found, exe, params, key, "7-Zip", "7-Zip not found on your computer.");
}

bool TedManager::Execute(TbkManager* manager, QWidget* parent, TKeepPreview preview) {
  TedManager dialog(parent);
  dialog.SetKeepPreview(std::move(preview));
  dialog.LoadData(*manager);
  const bool ok = dialog.exec() == QDialog::Accepted;
  if (ok) dialog.StoreInto(*manager);
  return ok;
}

}  // namespace pw
