#include "ui/eduManager.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "archiver/ArchiverDetection.h"
#include "archiver/Dialect.h"
#include "model/HoardkeeperClasses.h"
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
  grid->setColumnStretch(2, 1);
  setFixedWidth(400);

  setTabOrder(edArchiverExeFileName, buBrowse);
  setTabOrder(buBrowse, edArchiverParams);
  setTabOrder(edArchiverParams, edExcludeKey);
  setTabOrder(edExcludeKey, edOutputPath);
  setTabOrder(edOutputPath, buSelectOutputPath);
  setTabOrder(buSelectOutputPath, edSubDirPattern);
  setTabOrder(edSubDirPattern, buOK);
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
}

void TedManager::StoreInto(TbkManager& m) const {
  m.SetArchiverExeFileName(FromQt(edArchiverExeFileName->text(), m.ArchiverExeFileName()));
  m.SetArchiverParams(FromQt(edArchiverParams->text(), m.ArchiverParams()));
  m.SetOutputPath(FromQt(edOutputPath->text(), m.OutputPath()));
  m.SetSubDirNamePattern(FromQt(edSubDirPattern->currentText(), m.SubDirNamePattern()));
  m.SetExcludeKey(FromQt(edExcludeKey->text(), m.ExcludeKey()));
}

bool TedManager::CheckData() {
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

bool TedManager::Execute(TbkManager* manager, QWidget* parent) {
  TedManager dialog(parent);
  dialog.LoadData(*manager);
  const bool ok = dialog.exec() == QDialog::Accepted;
  if (ok) dialog.StoreInto(*manager);
  return ok;
}

}  // namespace pw
