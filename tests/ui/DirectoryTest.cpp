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

#include "model/HoardkeeperClasses.h"
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
  EXPECT_EQ(ruleSeen, "/tmp/pw-dirdlg-" + std::to_string(::getpid()));  // PathToFileName of it
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
