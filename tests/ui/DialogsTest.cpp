// The dialog frame, the progress window, the options dialog and the archiver
// selection, driven through their widgets.
#include <gtest/gtest.h>

#include <qpa/qwindowsysteminterface.h>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <memory>
#include <vector>

#include "model/HoardkeeperClasses.h"
#include "platform/Errors.h"
#include "platform/fakes/FakePasswordStore.h"
#include "platform/fakes/FakeProcesses.h"
#include "platform/fakes/Fakes.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/FakeDialogs.h"
#include "ui/DialogService.h"
#include "ui/eduAbout.h"
#include "ui/eduArchiverFoundDlg.h"
#include "ui/eduDirectory.h"
#include "ui/eduExtension.h"
#include "ui/eduManager.h"
#include "ui/eduRule.h"
#include "ui/fmuBaseDialog.h"
#include "ui/fmuMessageWin.h"

namespace pw {
namespace {

using Value = fakes::FakeRegistry::Value;
const std::string kAppPaths = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

class Checked final : public TfmBaseDialog {
 public:
  Checked() {
    edit = new QLineEdit(Client());
    label = new QLabel("&Name", Client());
  }
  bool CheckData() override {
    ++checks;
    return CheckRequiredField(edit, label, this);
  }
  void StoreData() override { ++stores; }
  QLineEdit* edit;
  QLabel* label;
  int checks = 0, stores = 0;
};

class DialogTest : public ::testing::Test {
 protected:
  DialogTest() : useDialogs(dialogs), useRegistry(registry) {}
  test::FakeDialogs dialogs;
  fakes::FakeRegistry registry;
  ScopedOverride<IDialogService> useDialogs;
  ScopedOverride<IRegistry> useRegistry;
};

TEST_F(DialogTest, OkValidatesBeforeStoringAndStaysOpenOnFailure) {
  Checked d;
  d.show();
  d.buOK->click();
  EXPECT_EQ(d.checks, 1);
  EXPECT_EQ(d.stores, 0);
  EXPECT_TRUE(d.isVisible());
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].title, "Error");
  EXPECT_EQ(dialogs.shown[0].text, "Fill in the '&Name' field");
  EXPECT_EQ(d.focusWidget(), d.edit);

  d.edit->setText("   ");  // blanks count as filled
  QTest::keyClick(d.edit, Qt::Key_Return);
  EXPECT_EQ(d.stores, 1);
  EXPECT_EQ(d.result(), QDialog::Accepted);
  EXPECT_FALSE(d.isVisible());
}

TEST_F(DialogTest, EscapeAndCloseCancelWithoutChecking) {
  Checked d;
  d.show();
  QTest::keyClick(d.edit, Qt::Key_Escape);
  EXPECT_EQ(d.result(), QDialog::Rejected);
  d.show();
  d.close();
  EXPECT_EQ(d.checks, 0);
  EXPECT_EQ(d.stores, 0);
  EXPECT_FALSE(d.buHelp->isVisibleTo(&d));
}

// A dialog border: the size it opens with, and nothing to minimize or maximize.
void ExpectFixedDialog(QDialog& d) {
  SCOPED_TRACE(d.windowTitle().toStdString());
  d.show();
  const QSize opened = d.size();
  EXPECT_EQ(d.minimumSize(), opened);
  EXPECT_EQ(d.maximumSize(), opened);
  d.resize(opened + QSize(120, 80));
  EXPECT_EQ(d.size(), opened);
  EXPECT_TRUE(d.windowFlags() & Qt::CustomizeWindowHint) << "only the hints asked for";
  EXPECT_FALSE(d.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
  EXPECT_TRUE(d.windowFlags() & Qt::WindowCloseButtonHint);
}

TEST_F(DialogTest, DialogsHaveAFixedBorder) {
  TedManager options;
  ExpectFixedDialog(options);
  TedArchiverFoundDlg found;
  ExpectFixedDialog(found);
  TedDirectory directory;
  ExpectFixedDialog(directory);
  TedExtension mask;
  ExpectFixedDialog(mask);
  EXPECT_EQ(mask.size(), QSize(338, 163));
  TedClearOptions clear;
  ExpectFixedDialog(clear);
  EXPECT_EQ(clear.width(), 198);
  TedAbout about;
  ExpectFixedDialog(about);
  EXPECT_EQ(about.Version->text(), "Version 1.0") << "the version of the main window's caption";
  const QImage face = about.grab().toImage();
  EXPECT_EQ(face.pixelColor(2, face.height() - 2), QColor(Qt::white)) << "the about box is white";
}

TEST_F(DialogTest, TheRuleDialogIsSizeableFrom350By400WithNothingClipped) {
  TedRule d;
  d.show();
  EXPECT_EQ(d.size(), QSize(350, 400));
  EXPECT_EQ(d.minimumSize(), QSize(350, 400));
  EXPECT_TRUE(d.windowFlags() & Qt::WindowMaximizeButtonHint);
  d.resize(500, 450);
  EXPECT_EQ(d.size(), QSize(500, 450));
  d.resize(350, 400);
  QApplication::processEvents();
  for (QRadioButton* rb : {d.rbExclude, d.rbInclude}) {
    SCOPED_TRACE(rb->text().toStdString());
    EXPECT_GE(rb->width(), rb->sizeHint().width());
    EXPECT_LE(rb->geometry().right(), rb->parentWidget()->contentsRect().right());
  }
}

TEST(MessageBoxes, AShortMessageKeepsItsTitleWhole) {
  const QString title = "Packetwright and a title longer than the message";
  const auto titled = CreateMessageBox(nullptr, QMessageBox::Critical, title, "Failed.");
  titled->addButton(QMessageBox::Ok);
  titled->show();
  const auto plain = CreateMessageBox(nullptr, QMessageBox::Critical, "Error", "Failed.");
  plain->addButton(QMessageBox::Ok);
  plain->show();
  EXPECT_GT(titled->width(), plain->width());
  EXPECT_GE(titled->width(), TitleBarWidth(title));
  titled->setText("Failed again.");  // the box sizes itself anew
  EXPECT_GE(titled->width(), TitleBarWidth(title));
  EXPECT_GT(TitleBarWidth(title), titled->fontMetrics().horizontalAdvance(title) + 100)
      << "room for the icon and the caption buttons";
}

TEST(MessageBoxes, EnterGivesTheAnswerTheQuestionPrefers) {
  IDialogService& standard = DefaultService<IDialogService>();
  for (const TAnswer preferred : {TAnswer::Yes, TAnswer::No}) {
    QString defaultButton;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) {  // not the box: close whatever is modal rather than hang
        for (QWidget* w : QApplication::topLevelWidgets()) {
          if (qobject_cast<QMessageBox*>(w) && w->isVisible()) w->close();
        }
        return;
      }
      defaultButton = box->defaultButton()->text();
      QTest::keyClick(box, Qt::Key_Return);
    });
    const bool yes = standard.Confirm(nullptr, "Go on?", preferred);
    EXPECT_EQ(defaultButton, preferred == TAnswer::Yes ? "&Yes" : "&No");
    EXPECT_EQ(yes, preferred == TAnswer::Yes);
  }
}

// The file dialogs hand back the path as the system writes it, as the
// document keeps it: with backslashes on Windows.
TEST(FileDialogs, GiveThePathInTheSystemsNotation) {
  IDialogService& standard = DefaultService<IDialogService>();
  test::TTempFolder folder("pw-file-dialogs");
  const auto existing = folder / "7z.exe";
  test::WriteFile(existing, "");
  const QString native = QDir::toNativeSeparators(QString::fromStdU16String(existing.u16string()));
  // Types the file's name, with forward slashes as Qt's own dialog shows it,
  // and accepts.
  const auto answer = [&](const QString& name) {
    QTimer::singleShot(0, [name] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (!dialog) return;
      dialog->selectFile(name);
      QMetaObject::invokeMethod(dialog, "accept");
    });
  };
  answer(QDir::fromNativeSeparators(native));
  EXPECT_EQ(standard.OpenFile(nullptr, {"Archiver", "Programs (*.exe)|*.exe", "exe", "", false}), native);
  answer(QDir::fromNativeSeparators(native).chopped(4) + "-new");
  EXPECT_EQ(standard.SaveFile(nullptr, {"Save", "Batch files (*.bat)|*.bat", "bat", "", false}),
            native.chopped(4) + "-new.bat");
}

TEST_F(DialogTest, MessageWindowFollowsItsText) {
  TMessageWin win;
  win.ShowText("Scanning C:\\...");
  ASSERT_TRUE(win.isVisible());
  const int narrow = win.width();
  const QPoint where = win.pos();
  win.ShowText("Scanning C:\\A\\very\\long\\directory\\name\\that\\goes\\on\\and\\on...");
  EXPECT_GT(win.width(), narrow);
  EXPECT_EQ(win.pos(), where) << "a visible window is not shown again";
  win.ShowText("Scanning C:\\...");
  EXPECT_EQ(win.width(), narrow);
  EXPECT_EQ(win.width(), win.laMessage->x() + win.laMessage->width() + 30);
  EXPECT_FALSE(win.windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_TRUE(win.windowFlags() & Qt::WindowStaysOnTopHint) << "not under a modal dialog";
  EXPECT_TRUE(win.windowHandle()->isExposed()) << "on the screen when ShowText returns";
}

// Where and how large a window is at the moment it is shown.
class ShownGeometry final : public QObject {
 public:
  std::vector<QRect> shown;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show) shown.push_back(static_cast<QWidget*>(watched)->geometry());
    return false;
  }
};

// It appears at its size, in the middle of the screen, and is not moved
// afterwards: a window moved once it shows leaves a picture of itself on
// the dialog beneath, which the busy thread does not repaint.
TEST_F(DialogTest, MessageWindowShowsWhereAndAsLargeAsItStays) {
  TMessageWin win;
  ShownGeometry watch;
  win.installEventFilter(&watch);
  win.ShowText("Scanning C:\\A\\rather\\long\\directory\\name...");
  ASSERT_EQ(watch.shown.size(), 1u);
  // Placed by its outer corner, which stays where it was put.
  EXPECT_EQ(watch.shown[0].size(), win.size());
  EXPECT_EQ(watch.shown[0].topLeft(), win.pos());
  const QRect screen = win.screen()->availableGeometry();
  EXPECT_LE((watch.shown[0].center() - screen.center()).manhattanLength(), 1);
  win.ShowText("Scanning C:\\A\\rather\\long\\directory\\name\\below...");
  EXPECT_EQ(win.pos(), watch.shown[0].topLeft()) << "a longer text widens it in place";
}

// Counts the keys that reach it.
class KeyCounter final : public QWidget {
 public:
  int keys = 0;

 protected:
  void keyPressEvent(QKeyEvent*) override { ++keys; }
};

TEST_F(DialogTest, MessageWindowStaysAboveTheModalWindowAndHoldsInputBack) {
  QDialog modal;
  auto* target = new KeyCounter();
  (new QVBoxLayout(&modal))->addWidget(target);
  target->setFocusPolicy(Qt::StrongFocus);
  modal.setWindowModality(Qt::ApplicationModal);
  modal.show();
  QApplication::setActiveWindow(&modal);
  target->setFocus();
  ASSERT_EQ(QApplication::activeModalWidget(), &modal);
  std::unique_ptr<TMessageWin> win = CreateMessageWin();
  EXPECT_EQ(win->parentWidget(), &modal) << "a window of its own, above the one that asked";
  EXPECT_TRUE(win->isWindow());

  // A key typed while the work runs waits until the work is done.
  QWindowSystemInterface::handleKeyEvent<QWindowSystemInterface::AsynchronousDelivery>(
      modal.windowHandle(), QEvent::KeyPress, Qt::Key_F4, Qt::NoModifier);
  win->ShowText("Scanning...");
  EXPECT_TRUE(win->isVisible());
  EXPECT_EQ(target->keys, 0);
  win.reset();
  EXPECT_EQ(target->keys, 0);
  QApplication::setActiveWindow(&modal);
  QCoreApplication::processEvents();
  EXPECT_EQ(target->keys, 1) << "and is not lost";
}

TEST_F(DialogTest, OptionsWithoutArchivers) {
  TedManager d;
  EXPECT_FALSE(d.buWinRar->isEnabled());
  EXPECT_FALSE(d.buWinZip->isEnabled());
  ASSERT_EQ(d.edSubDirPattern->count(), 5);
  EXPECT_EQ(d.edSubDirPattern->itemText(1), "\"My Archive\" for yyyy-mm-dd");
  EXPECT_EQ(d.edSubDirPattern->itemText(4), "");
  // The not-found message appears when the archiver has gone since the dialog opened.
  d.buWinRarClick();
  EXPECT_EQ(dialogs.shown.back().text, "WinRar not found on your computer.");
  d.buWinZipClick();
  EXPECT_EQ(dialogs.shown.back().text, "WinZip Command Line Support not found on your computer.");
}

TEST_F(DialogTest, OptionsFillTheStandardSetOnlyOnYes) {
  registry.AddKey(TRegistryRoot::rrLocalMachine, kAppPaths + "WinRAR.exe",
                  Value{"C:\\R\\WinRAR.exe"});
  registry.AddKey(TRegistryRoot::rrLocalMachine, kAppPaths + "wzzip.exe",
                  Value{"C:\\Z\\wzzip.exe"});
  TbkManager m;
  m.SetArchiverExeFileName("old.exe");
  m.SetSubDirNamePattern("yyyy");
  TedManager d;
  d.LoadData(m);
  EXPECT_TRUE(d.buWinRar->isEnabled());
  dialogs.confirmAnswers = {TAnswer::No, TAnswer::Yes};
  d.buWinRarClick();
  EXPECT_EQ(dialogs.shown.back().text,
            "WinRar was found on your computer. Replace current options with the standard WinRar "
            "options?");
  EXPECT_EQ(d.edArchiverExeFileName->text(), "old.exe");
  d.buWinZipClick();
  EXPECT_EQ(dialogs.shown.back().text,
            "WinZip Command Line Support was found on your computer. Replace current options "
            "with the standard WinZip options?");
  EXPECT_EQ(d.edArchiverExeFileName->text(), "C:\\Z\\wzzip.exe");
  EXPECT_EQ(d.edArchiverParams->text(), "-a -p -r");
  EXPECT_EQ(d.edExcludeKey->text(), "-x");
  EXPECT_EQ(d.edOutputPath->text(), "C:\\MyArchives");
  EXPECT_EQ(d.edSubDirPattern->currentText(), "yyyy");

  d.edSubDirPattern->setCurrentIndex(4);
  m.SetModified(false);
  d.StoreInto(m);
  EXPECT_EQ(m.SubDirNamePattern(), "");
  EXPECT_EQ(m.ArchiverParams(), "-a -p -r");
  EXPECT_TRUE(m.GetModified());
}

TEST_F(DialogTest, ThePatternIsStoredAsTyped) {
  TbkManager m;
  TedManager d;
  d.LoadData(m);
  d.show();
  d.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
  d.edSubDirPattern->setFocus();
  d.edSubDirPattern->setCurrentText("");
  QTest::keyClicks(d.edSubDirPattern->lineEdit(), "yyyy");
  QTest::keyClick(d.edSubDirPattern->lineEdit(), Qt::Key_Tab);
  d.StoreInto(m);
  EXPECT_EQ(m.SubDirNamePattern(), "yyyy") << "not completed into yyyy-mm-dd";
}

TEST_F(DialogTest, UntouchedFieldsKeepTheirBytes) {
  TbkManager m;
  m.SetArchiverExeFileName("C:\\B\xFCro\\a.exe");  // Windows-1252, not UTF-8
  m.SetModified(false);
  TedManager d;
  d.LoadData(m);
  EXPECT_EQ(d.edArchiverExeFileName->text(), QString::fromUtf8("C:\\B\xC3\xBCro\\a.exe"));
  d.StoreInto(m);
  EXPECT_EQ(m.ArchiverExeFileName(), "C:\\B\xFCro\\a.exe");
  EXPECT_FALSE(m.GetModified());
  d.edArchiverExeFileName->setText(QString::fromUtf8("C:\\B\xC3\xBCro\\b.exe"));
  d.StoreInto(m);
  // An edited text is the program's 8-bit text: UTF-8, or the ANSI code page on
  // Windows.
  EXPECT_EQ(m.ArchiverExeFileName(), test::Local8Bit("C:\\B\xC3\xBCro\\b.exe"));
}

TEST_F(DialogTest, TheKeepRulesAndTheArchiveTestTravelThroughTheOptions) {
  TbkManager m;
  m.SetKeep(TKeepRules{3, 0, 4, 0});
  m.SetTestArchives(false);
  m.SetModified(false);
  TedManager d;
  d.LoadData(m);
  EXPECT_EQ(d.edKeepLast->value(), 3);
  EXPECT_EQ(d.edKeepWeekly->value(), 4);
  EXPECT_FALSE(d.cbTestArchives->isChecked());
  EXPECT_FALSE(d.mmKeepPreview->isVisibleTo(&d)) << "no preview without a journal to read";
  d.StoreInto(m);
  EXPECT_FALSE(m.GetModified()) << "nothing edited, nothing changed";
  d.edKeepDaily->setValue(7);
  d.edKeepMonthly->setValue(kKeepMost + 1);  // the box holds no more than a rule may
  d.cbTestArchives->setChecked(true);
  d.StoreInto(m);
  EXPECT_EQ(m.Keep(), (TKeepRules{3, 7, 4, kKeepMost}));
  EXPECT_TRUE(m.TestArchives());
}

// The options keep where the password is, never the password: Set Password
// writes it into the keyring or the file chosen, and an old -p switch is
// shown with a warning and moved out of the switches by one button.
TEST_F(DialogTest, TheOptionsKeepThePasswordOutOfTheDocument) {
  fakes::FixedPathStyle posix{TPathStyle::psPosix};
  const ScopedOverride<IPathStyle> usePosix(posix);
  fakes::FakePasswordStore store;
  const ScopedOverride<IPasswordStore> useStore(store);
  TbkManager m;
  m.SetArchiverParams("a -pSecret123 -mhe=on -mx=9");
  TedManager d;
  d.LoadData(m);
  EXPECT_FALSE(d.cbEncrypt->isChecked());
  EXPECT_FALSE(d.cbEncryptNames->isEnabled()) << "names only with a password";
  EXPECT_TRUE(d.lbPasswordWarning->isVisibleTo(&d));
  EXPECT_TRUE(d.lbPasswordWarning->text().contains("hold a password"));
  d.buMovePasswordClick();
  EXPECT_EQ(store.keyring, "Secret123");
  EXPECT_EQ(d.edArchiverParams->text(), "a -mx=9");
  EXPECT_FALSE(d.lbPasswordWarning->isVisibleTo(&d)) << "nothing left to warn of";
  d.StoreInto(m);
  EXPECT_EQ(m.Password(), (TPasswordPlace{TPasswordKeeping::pkKeyring, {}}));
  EXPECT_TRUE(m.EncryptNames());
  EXPECT_EQ(m.ArchiverParams(), "a -mx=9");

  d.cbPasswordInFile->setChecked(true);
  d.edPasswordFile->setText("/home/u/archive.pw");
  dialogs.hiddenAnswers = {QString("New one"), QString("New one")};
  d.buSetPasswordClick();
  EXPECT_EQ(store.files.at("/home/u/archive.pw"), "New one");
  dialogs.hiddenAnswers = {QString("this"), QString("that")};
  EXPECT_THROW(d.buSetPasswordClick(), Exception) << "two that differ keep nothing";
  d.StoreInto(m);
  EXPECT_EQ(m.Password(), (TPasswordPlace{TPasswordKeeping::pkFile, "/home/u/archive.pw"}));

  d.cbEncrypt->setChecked(false);
  d.StoreInto(m);
  EXPECT_FALSE(m.Password().InUse());
  EXPECT_FALSE(m.EncryptNames());
}

// The preview reads the document as the dialog would store it, once the
// typing pauses; every rule 0 keeps all without asking, and a journal that
// cannot be read says so in the box.
TEST_F(DialogTest, TheKeepPreviewFollowsTheFieldsAsTyped) {
  TbkManager m;
  m.Directories()->Add()->SetPath("/data/a");
  m.SetKeep(TKeepRules{2, 0, 0, 0});
  std::vector<std::string> asked;
  bool fail = false;
  TedManager d;
  d.SetKeepPreview([&](const TbkManager& shown) -> std::string {
    if (fail) throw Exception("Cannot open the journal /j");
    asked.push_back(shown.OutputPath() + " " + KeepRulesText(shown.Keep()) + " " +
                    std::to_string(shown.Directories()->Count()));
    return "run 1 kept";
  });
  d.LoadData(m);
  EXPECT_TRUE(d.mmKeepPreview->isVisibleTo(&d));
  EXPECT_EQ(d.mmKeepPreview->toPlainText(), "run 1 kept");
  d.edOutputPath->setText("/out");
  d.edKeepDaily->setValue(5);
  EXPECT_EQ(asked.size(), 1u) << "not at every keystroke";
  QTRY_COMPARE(asked.size(), size_t{2});
  EXPECT_EQ(asked.back(), "/out last 2, daily 5 1");
  EXPECT_EQ(m.Keep(), (TKeepRules{2, 0, 0, 0})) << "the document itself is untouched";

  d.edKeepLast->setValue(0);
  d.edKeepDaily->setValue(0);
  d.ShowKeepPreview();
  EXPECT_EQ(d.mmKeepPreview->toPlainText(),
            "Every archive is kept: set a rule above to prune old runs.");
  EXPECT_EQ(asked.size(), 2u);
  fail = true;
  d.edKeepLast->setValue(1);
  d.ShowKeepPreview();
  EXPECT_EQ(d.mmKeepPreview->toPlainText(), "Cannot open the journal /j");
}

TEST_F(DialogTest, OptionsRequireArchiverAndOutputPath) {
  TbkManager m;
  TedManager d;
  d.LoadData(m);
  d.show();
  d.buOK->click();
  EXPECT_EQ(dialogs.shown.back().text, "Fill in the '&Archiver File Name' field");
  EXPECT_EQ(d.focusWidget(), d.edArchiverExeFileName);
  d.edArchiverExeFileName->setText("a.exe");
  d.edOutputPath->clear();
  d.buOK->click();
  EXPECT_EQ(dialogs.shown.back().text, "Fill in the '&Output Path for Archive File' field");
  EXPECT_EQ(d.focusWidget(), d.edOutputPath);
  EXPECT_TRUE(d.isVisible());
  EXPECT_EQ(dialogs.shown.size(), 2u);
}

TEST_F(DialogTest, OptionsBrowseButtons) {
  TedManager d;
  dialogs.fileAnswers = {QString("C:\\Tools\\rar.exe"), std::nullopt, QString("D:\\Out")};
  d.buBrowseClick();
  EXPECT_EQ(d.edArchiverExeFileName->text(), "C:\\Tools\\rar.exe");
  EXPECT_EQ(dialogs.fileDialogs.back().title, "Archiver File Name");
  EXPECT_EQ(dialogs.fileDialogs.back().filter, "Executable files (*.exe)|*.exe");
  d.edOutputPath->setText("C:\\Start");
  d.buSelectOutputPathClick();  // cancelled
  EXPECT_EQ(d.edOutputPath->text(), "C:\\Start");
  d.buSelectOutputPathClick();
  EXPECT_EQ(d.edOutputPath->text(), "D:\\Out");
  EXPECT_EQ(dialogs.directoryStarts, (std::vector<QString>{"C:\\Start", "C:\\Start"}));
}

TEST_F(DialogTest, F1OpensTheDialogsHelpTopic) {
  fakes::FakeShell shell;
  ScopedOverride<IShell> useShell(shell);
  TedManager d;
  QTest::keyClick(d.edOutputPath, Qt::Key_F1);
  ASSERT_EQ(shell.calls.size(), 1u);
  EXPECT_EQ(shell.calls[0].verb, "open");
  EXPECT_TRUE(QString::fromStdString(shell.calls[0].file).startsWith("file:///"));
  EXPECT_TRUE(
      QString::fromStdString(shell.calls[0].file).endsWith("/Packetwright.html#context-12"));
  TedArchiverFoundDlg found;
  QTest::keyClick(&found, Qt::Key_F1);
  EXPECT_EQ(shell.calls.size(), 1u) << "context 0 has no help";
}

TEST_F(DialogTest, SelectionWithNeitherArchiver) {
  TedArchiverFoundDlg d;
  EXPECT_FALSE(d.rbWinZip->isEnabled());
  EXPECT_FALSE(d.rbWinRar->isEnabled());
  EXPECT_TRUE(d.meWinZipExplaine->isVisibleTo(&d));
  EXPECT_EQ(d.meWinZipExplaine->toPlainText(),
            "WinZip and WinZip Command Line Support Add-On not found on your computer.");
  TArchiverKind kind = akWinZip;
  EXPECT_FALSE(d.Result(true, kind));
}

// A number where a program's path belongs, as a hand-written registry file
// may hold: that archiver is not there, and both dialogs open without it.
TEST_F(DialogTest, AnArchiverWhosePathIsNotTextIsNotOffered) {
  registry.AddKey(TRegistryRoot::rrLocalMachine, kAppPaths + "WinRAR.exe", Value{"", false});
  registry.AddKey(TRegistryRoot::rrLocalMachine, kAppPaths + "wzzip.exe", Value{"z.exe"});
  std::unique_ptr<TedArchiverFoundDlg> found;
  ASSERT_NO_THROW(found = std::make_unique<TedArchiverFoundDlg>());
  EXPECT_FALSE(found->rbWinRar->isEnabled());
  EXPECT_TRUE(found->rbWinZip->isChecked()) << "the only choice left";

  std::unique_ptr<TedManager> options;
  ASSERT_NO_THROW(options = std::make_unique<TedManager>());
  EXPECT_FALSE(options->buWinRar->isEnabled());
  EXPECT_TRUE(options->buWinZip->isEnabled());
  options->buWinRarClick();
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown.back().text, "WinRar not found on your computer.");
}

TEST_F(DialogTest, SelectionAsksForTheAddOnWhenOnlyTheProgramIsThere) {
  registry.AddKey(TRegistryRoot::rrLocalMachine, kAppPaths + "winzip.exe", Value{"w.exe"});
  TedArchiverFoundDlg d;
  EXPECT_FALSE(d.rbWinZip->isEnabled());
  EXPECT_EQ(d.meWinZipExplaine->toPlainText(),
            "WinZip is installed on your computer, but you need to install WinZip Command Line "
            "Support Add-On. To do this please visit WinZip Home Page");
}

TEST_F(DialogTest, SelectionPreselectsTheOnlyChoice) {
  registry.AddKey(TRegistryRoot::rrLocalMachine, kAppPaths + "WinRAR.exe", Value{"r.exe"});
  TedArchiverFoundDlg d;
  EXPECT_TRUE(d.rbWinRar->isChecked());
  TArchiverKind kind = akWinZip;
  EXPECT_TRUE(d.Result(true, kind));
  EXPECT_EQ(kind, akWinRar);
  EXPECT_FALSE(d.Result(false, kind)) << "Cancel chooses nothing";
}

TEST_F(DialogTest, SelectionWithBothNeedsAChoiceAndDoubleClickIsOk) {
  registry.AddKey(TRegistryRoot::rrLocalMachine, kAppPaths + "WinRAR.exe", Value{"r.exe"});
  registry.AddKey(TRegistryRoot::rrLocalMachine, kAppPaths + "wzzip.exe", Value{"z.exe"});
  TedArchiverFoundDlg d;
  EXPECT_FALSE(d.rbWinRar->isChecked());
  EXPECT_FALSE(d.rbWinZip->isChecked());
  EXPECT_FALSE(d.meWinZipExplaine->isVisibleTo(&d));
  TArchiverKind kind = akWinRar;
  EXPECT_FALSE(d.Result(true, kind));
  d.show();
  QTest::mouseDClick(d.rbWinZip, Qt::LeftButton);
  EXPECT_EQ(d.result(), QDialog::Accepted);
  EXPECT_TRUE(d.Result(true, kind));
  EXPECT_EQ(kind, akWinZip);
}

}  // namespace
}  // namespace pw
