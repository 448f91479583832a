// The directory dialog over a real document.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <fstream>

#include "archiver/ArchiveCommands.h"
#include "model/HoardkeeperClasses.h"
#include "platform/fakes/FakeProcesses.h"
#include "platform/fakes/Fakes.h"
#include "tests/ui/FakeDialogs.h"
#include "ui/eduDirectory.h"

namespace pw {
namespace {

class DirectoryTest : public ::testing::Test {
 protected:
  DirectoryTest() : useDialogs(dialogs), useRegistry(registry) {
    manager.Rules()->Add()->SetName("Sources");
    manager.Rules()->Add()->SetName("Docs");
    directory = manager.Directories()->Add();
    dialog.executeRule = [this](TbkRule* rule, TbkRules*) {
      ruleSeen = rule->Name();
      masksSeen = rule->Extensions()->Count();
      return acceptRule;
    };
    dialog.Load(directory);
    dialog.show();
  }

  test::FakeDialogs dialogs;
  fakes::FakeRegistry registry;
  ScopedOverride<IDialogService> useDialogs;
  ScopedOverride<IRegistry> useRegistry;
  TbkManager manager;
  TbkDirectory* directory;
  TedDirectory dialog;
  std::string ruleSeen;
  int masksSeen = -1;
  bool acceptRule = true;
};

TEST_F(DirectoryTest, NewDirectoryOpensEmptyAndMarked) {
  EXPECT_EQ(dialog.edDirectory->text(), "");
  EXPECT_TRUE(dialog.cbNeedArchive->isChecked());
  EXPECT_EQ(dialog.cbRule->currentText(), "");
  ASSERT_EQ(dialog.cbRule->count(), 2);
  EXPECT_EQ(dialog.cbRule->itemText(0), "Docs") << "the list is sorted";
  EXPECT_FALSE(dialog.sbEditRule->isEnabled());
}

TEST_F(DirectoryTest, CheckDataNeedsADirectoryAndAKnownRule) {
  dialog.buOK->click();
  EXPECT_EQ(dialogs.shown.back().text, "Fill in the 'Directory' field");
  dialog.edDirectory->setText("C:\\Src");
  dialog.cbRule->setCurrentText("Nothing");
  dialog.buOK->click();
  EXPECT_EQ(dialogs.shown.back().text, "Rule 'Nothing' not found");
  EXPECT_TRUE(dialog.isVisible());
  dialog.cbRule->setCurrentText("sources");
  EXPECT_TRUE(dialog.sbEditRule->isEnabled());
  dialog.buOK->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.EditCopy->RuleName(), "sources") << "stored as typed";
  EXPECT_EQ(dialog.EditCopy->Path(), "C:\\Src");
}

TEST_F(DirectoryTest, APathNoJobCouldArchiveIsRefusedAndNotStored) {
  auto refused = [this](const QString& typed, const QString& why) {
    SCOPED_TRACE(typed.toStdString());
    dialog.edDirectory->setText(typed);
    dialog.cbRule->setFocus();
    dialogs.shown.clear();
    dialog.buOK->click();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, "error");
    EXPECT_EQ(dialogs.shown[0].title, "Error");
    EXPECT_EQ(dialogs.shown[0].text, why);
    EXPECT_EQ(dialog.focusWidget(), dialog.edDirectory);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.EditCopy->Path(), "") << "nothing stored";
  };
  refused("", "Fill in the 'Directory' field");
  refused("C:\\Src\tOld", "The directory's path holds a control character");
  refused(QString("C:\\Src") + QChar(0x7F), "The directory's path holds a control character");

  // Only the POSIX style asks for an absolute path, with "~/" as the home
  // folder.
  fakes::FixedPathStyle posix(TPathStyle::psPosix);
  {
    const ScopedOverride<IPathStyle> usePosix(posix);
    refused("docs", "The directory's path is not absolute");
    refused("C:\\Data", "The directory's path is not absolute");
    refused("~docs", "The directory's path is not absolute");  // only "~/" is the home folder
#ifndef _WIN32
    // The home folder is a POSIX system's own.
    dialog.edDirectory->setText("~/docs");
    dialog.buOK->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.EditCopy->Path(), "~/docs");
#endif
  }
}

TEST_F(DirectoryTest, AControlCharacterFromTheDocumentIsRefusedToo) {
  // Such a path comes from a settings file written elsewhere; the field
  // hands back the stored bytes untouched, and those are what is checked.
  directory->SetPath("C:\\Src\nrm -rf");
  dialog.Load(directory);
  dialog.buOK->click();
  ASSERT_FALSE(dialogs.shown.empty());
  EXPECT_EQ(dialogs.shown.back().text, "The directory's path holds a control character");
  EXPECT_TRUE(dialog.isVisible());
}

TEST_F(DirectoryTest, ASharedArchiveIsAskedAboutAndNoKeepsTheDialogOpen) {
  manager.Directories()->Add()->SetPath("C:\\a_b\\c");
  dialog.edDirectory->setText("C:\\a\\b_c");  // both write C_a_b_c
  dialog.cbRule->setFocus();
  dialogs.confirmAnswers = {TAnswer::No};
  dialog.buOK->click();
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].kind, "confirm");
  EXPECT_EQ(dialogs.shown[0].title, "Confirm");
  EXPECT_EQ(dialogs.shown[0].preferred, TAnswer::No) << "Enter must not keep the clash";
  EXPECT_EQ(dialogs.shown[0].text,
            "The archive of C:\\a\\b_c would be the same as that of C:\\a_b\\c; neither will be "
            "archived while both are listed. Keep it anyway?");
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_NE(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.focusWidget(), dialog.edDirectory);
  EXPECT_EQ(dialog.EditCopy->Path(), "");

  dialogs.confirmAnswers = {TAnswer::Yes};
  dialog.buOK->click();
  EXPECT_EQ(dialogs.shown.size(), 2u);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.EditCopy->Path(), "C:\\a\\b_c");
}

TEST_F(DirectoryTest, ADirectoryDoesNotClashWithItself) {
  directory->SetPath("C:\\Src");
  manager.Directories()->Add()->SetPath("D:\\Docs");
  dialog.Load(directory);
  dialog.buOK->click();
  EXPECT_TRUE(dialogs.shown.empty()) << dialogs.shown[0].text.toStdString();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);

  // A new directory is not in the list yet: the same path, in another case
  // that Windows treats as the same folder, is a clash.
  TbkDirectory fresh(nullptr);
  fresh.SetManager(&manager);
  TedDirectory added;
  added.Load(&fresh);
  added.show();
  added.edDirectory->setText("c:\\src");
  dialogs.confirmAnswers = {TAnswer::No};
  added.buOK->click();
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].text,
            "The archive of c:\\src would be the same as that of C:\\Src; neither will be "
            "archived while both are listed. Keep it anyway?");
}

TEST_F(DirectoryTest, ClashesFollowThePosixFlatNames) {
  fakes::FixedPathStyle posix(TPathStyle::psPosix);
  const ScopedOverride<IPathStyle> usePosix(posix);
  // One folder for every archive; a relative one would lie in each directory.
  manager.SetOutputPath("/backup");
  directory->SetPath("/data/a_b/c");
  manager.Directories()->Add()->SetPath("/srv/Docs");
  dialog.Load(directory);
  dialog.edDirectory->setText("/srv/docs");  // POSIX names keep their case
  dialog.buOK->click();
  EXPECT_TRUE(dialogs.shown.empty());
  EXPECT_EQ(dialog.result(), QDialog::Accepted);

  TbkDirectory fresh(nullptr);
  fresh.SetManager(&manager);
  TedDirectory added;
  added.Load(&fresh);
  added.show();
  added.edDirectory->setText("/data/a/b_c");
  dialogs.confirmAnswers = {TAnswer::No};
  added.buOK->click();
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].text,
            "The archive of /data/a/b_c would be the same as that of /data/a_b/c; neither will "
            "be archived while both are listed. Keep it anyway?");
}

TEST_F(DirectoryTest, TheRuleFieldKeepsWhatIsTyped) {
  dialog.edDirectory->setText("C:\\Src");
  QLineEdit* typing = dialog.cbRule->lineEdit();
  dialog.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  typing->setFocus();
  QTest::keyClicks(typing, "Doc");
  EXPECT_EQ(dialog.cbRule->currentText(), "Doc") << "no completion into Docs";
  EXPECT_FALSE(dialog.sbEditRule->isEnabled());
  dialog.sbAddRuleClick();
  EXPECT_EQ(ruleSeen, "Doc") << "a new rule takes the typed name";

  dialog.cbRule->setCurrentText("");
  QTest::keyClicks(typing, "sour");
  QTest::keyClick(typing, Qt::Key_Tab);
  EXPECT_EQ(dialog.cbRule->currentText(), "sour");
  dialog.buOK->click();
  EXPECT_EQ(dialogs.shown.back().text, "Rule 'sour' not found");

  dialog.cbRule->setCurrentText("");
  QTest::keyClicks(typing, "sources");
  QTest::keyClick(typing, Qt::Key_Return);
  EXPECT_EQ(dialog.cbRule->currentText(), "sources");
  dialog.buOK->click();
  EXPECT_EQ(dialog.EditCopy->RuleName(), "sources") << "the letter case typed";
}

TEST_F(DirectoryTest, TabSkipsTheSpeedButtons) {
  dialog.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  dialog.edDirectory->setFocus();
  std::vector<QWidget*> visited;
  for (int i = 0; i < 7; ++i) {
    QWidget* at = QApplication::focusWidget();
    visited.push_back(at == dialog.cbRule->lineEdit() ? dialog.cbRule : at);
    QTest::keyClick(at, Qt::Key_Tab);
  }
  const std::vector<QWidget*> expected = {
      dialog.edDirectory, dialog.buBrowse, dialog.edArchiveFileName, dialog.cbNeedArchive,
      dialog.cbRule,      dialog.buOK,     dialog.buCancel};
  EXPECT_EQ(visited, expected);
  EXPECT_EQ(QApplication::focusWidget(), dialog.edDirectory);
}

TEST_F(DirectoryTest, EmptyRuleIsAccepted) {
  dialog.edDirectory->setText("C:\\Src");
  dialog.buOK->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.EditCopy->RuleName(), "");
}

TEST_F(DirectoryTest, BrowseDerivesTheArchiveName) {
  dialog.edArchiveFileName->setText("typed");
  dialogs.fileAnswers = {QString("C:\\Data\\Work")};
  dialog.buBrowseClick();
  EXPECT_EQ(dialog.edArchiveFileName->text(), "C_Data_Work");
  dialog.edDirectory->setText("D:\\");
  dialog.sbCreateArchiveNameClick();
  EXPECT_EQ(dialog.edArchiveFileName->text(), "D_");
}

TEST_F(DirectoryTest, AddRuleNamesItAndHarvestsTheDirectory) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("pw-dirdlg-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "a.pas") << "x";
  std::ofstream(dir / "b.dfm") << "x";
  dialog.edDirectory->setText(QString::fromStdString(dir.string()));
  dialog.sbAddRuleClick();
  EXPECT_EQ(ruleSeen, PathToFileName(dir.string())) << "named after the directory";
  EXPECT_EQ(masksSeen, 2);
  EXPECT_EQ(manager.Rules()->Count(), 3);
  EXPECT_EQ(dialog.cbRule->currentText().toStdString(), ruleSeen);

  dialog.cbRule->setCurrentText("Fresh");
  dialog.edDirectory->setText("D:\\NoSuchPlace");
  acceptRule = false;
  dialog.sbAddRuleClick();
  EXPECT_EQ(ruleSeen, "Fresh");
  EXPECT_EQ(masksSeen, 0);
  EXPECT_EQ(manager.Rules()->Count(), 3) << "cancelled: nothing added";

  dialog.cbRule->setCurrentText("Docs");
  dialog.sbAddRuleClick();
  EXPECT_EQ(ruleSeen, "D_NoSuchPlace") << "an existing rule's name is not reused";
  std::filesystem::remove_all(dir);
}

TEST_F(DirectoryTest, EditRuleWorksOnTheDocumentsRule) {
  dialog.cbRule->setCurrentText("Nothing");
  dialog.sbEditRuleClick();
  EXPECT_EQ(masksSeen, -1) << "no rule, no dialog";
  dialog.cbRule->setCurrentText("docs");
  dialog.executeRule = [](TbkRule* rule, TbkRules*) {
    rule->SetName("Papers");
    return true;
  };
  dialog.sbEditRuleClick();
  EXPECT_EQ(manager.Rules()->Items(1)->Name(), "Papers");
  EXPECT_EQ(dialog.cbRule->currentText(), "Papers");
}

}  // namespace
}  // namespace pw
