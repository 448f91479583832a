// The rules window and the rule dialog over a real document.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QColor>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeView>
#include <filesystem>
#include <fstream>

#include "model/HoardkeeperClasses.h"
#include "platform/Errors.h"
#include "platform/fakes/Fakes.h"
#include "tests/ui/FakeDialogs.h"
#include "tests/ui/MenuChecks.h"
#include "tests/ui/Views.h"
#include "ui/eduRule.h"
#include "ui/fmuRules.h"
#include "ui/fruExtensions.h"

namespace pw {
namespace {

class RulesTest : public ::testing::Test {
 protected:
  RulesTest() : useDialogs(dialogs), useRegistry(registry) {
    TbkRule* docs = manager.Rules()->Add();
    docs->SetName("Docs");
    docs->Extensions()->Add()->SetExt("*.doc");
    manager.Rules()->Add()->SetName("Free");
    TbkDirectory* d = manager.Directories()->Add();
    d->SetRuleName("DOCS");
    manager.SetModified(false);
  }

  void Select(TfmRules& w, const char* name) { test::SelectCaptions(w.lvRules, {name}); }

  test::FakeDialogs dialogs;
  fakes::FakeRegistry registry;
  ScopedOverride<IDialogService> useDialogs;
  ScopedOverride<IRegistry> useRegistry;
  TbkManager manager;
};

TEST_F(RulesTest, WindowWorksOnACopyThatSaveCommits) {
  TfmRules w;
  w.LoadRules(manager.Rules());
  EXPECT_EQ(test::Captions(w.lvRules), (QStringList{"Docs", "Free"}));
  EXPECT_FALSE(w.actSave->isEnabled());
  EXPECT_FALSE(w.actEditRule->isEnabled());
  EXPECT_EQ(w.frExtensions->Extensions(), nullptr);
  EXPECT_EQ(w.WorkRules()->Manager(), &manager);

  Select(w, "Docs");
  ASSERT_NE(w.frExtensions->Extensions(), nullptr);
  EXPECT_EQ(test::Captions(w.frExtensions->lvExtensions), QStringList{"*.doc"});
  test::SetChecked(w.frExtensions->lvExtensions, 0, false);
  EXPECT_TRUE(w.actSave->isEnabled());
  EXPECT_TRUE(manager.Rules()->Items(0)->Extensions()->Items(0)->Active())
      << "not yet in the document";
  w.actSave->trigger();
  EXPECT_FALSE(manager.Rules()->Items(0)->Extensions()->Items(0)->Active());
  EXPECT_TRUE(manager.GetModified());
  EXPECT_FALSE(w.actSave->isEnabled());
}

TEST_F(RulesTest, MasksFromAScanCanBeSavedAtOnce) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("pw-rules-scan-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  for (const char* f : {"notes.txt", "old.doc"}) std::ofstream(dir / f) << "x";
  TfmRules w;
  w.LoadRules(manager.Rules());
  Select(w, "Docs");
  ASSERT_FALSE(w.actSave->isEnabled());
  dialogs.fileAnswers = {QString::fromStdString(dir.string())};
  w.frExtensions->actExtractFromDirectory->trigger();
  std::filesystem::remove_all(dir);
  EXPECT_EQ(test::Captions(w.frExtensions->lvExtensions), (QStringList{"*.doc", "*.txt"}));
  EXPECT_EQ(w.lvRules->model()->index(0, 0).data(Qt::ForegroundRole).value<QColor>(),
            QColor(255, 0, 0))
      << "Docs is marked as changed";
  EXPECT_TRUE(w.actSave->isEnabled());
  w.actSave->trigger();
  EXPECT_EQ(manager.Rules()->Items(0)->Extensions()->Count(), 2);
}

TEST_F(RulesTest, ClosingCommitsOnlyAChange) {
  {
    TfmRules w;
    w.LoadRules(manager.Rules());
    w.close();
  }
  EXPECT_FALSE(manager.GetModified()) << "nothing changed, nothing marked";
  {
    TfmRules w;
    w.LoadRules(manager.Rules());
    w.executeNewRule = [](TbkRules*) {
      auto rule = std::make_unique<TbkRule>(nullptr);
      rule->SetName("Added");
      return rule;
    };
    w.actAddRule->trigger();
    EXPECT_EQ(w.SelectedRule()->Name(), "Added");
    EXPECT_TRUE(w.actSave->isEnabled());
    w.close();
  }
  ASSERT_EQ(manager.Rules()->Count(), 3);
  EXPECT_EQ(manager.Rules()->Items(2)->Name(), "Added");
}

TEST_F(RulesTest, ReferencedRulesCannotBeDeleted) {
  TfmRules w;
  w.LoadRules(manager.Rules());
  Select(w, "Docs");
  try {
    w.actDeleteRuleExecute();
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Deleting is forbidden because a directory reference");
  }
  EXPECT_TRUE(dialogs.shown.empty()) << "no question first";
  Select(w, "Free");
  dialogs.confirmAnswers = {TAnswer::No, TAnswer::Yes};
  w.actDeleteRule->trigger();
  EXPECT_EQ(dialogs.shown.back().text, "Delete Free");
  EXPECT_EQ(w.WorkRules()->Count(), 2);
  w.actDeleteRule->trigger();
  EXPECT_EQ(w.WorkRules()->Count(), 1);
  EXPECT_FALSE(w.actDeleteRule->isEnabled());
  EXPECT_TRUE(w.actSave->isEnabled());
  EXPECT_EQ(w.frExtensions->Extensions(), nullptr);
}

TEST_F(RulesTest, NothingIsSelectedAfterADelete) {
  manager.Rules()->Add()->SetName("Other");
  TfmRules w;
  w.LoadRules(manager.Rules());
  w.show();
  w.lvRules->setFocus();
  w.lvRules->setCurrentIndex(
      w.lvRules->model()->index(static_cast<int>(test::Captions(w.lvRules).indexOf("Free")), 0));
  dialogs.confirmAnswers = {TAnswer::Yes};
  w.actDeleteRule->trigger();
  ASSERT_EQ(w.WorkRules()->Count(), 2);
  EXPECT_TRUE(test::SelectedCaptions(w.lvRules).isEmpty());
  EXPECT_FALSE(w.actEditRule->isEnabled());
  EXPECT_FALSE(w.actDeleteRule->isEnabled());
  EXPECT_EQ(w.frExtensions->Extensions(), nullptr);
}

// Both lists of the window start without a focus frame, and Down chooses
// their first row; a mask that goes takes the frame with it.
TEST_F(RulesTest, TheFocusFrameIsOnTheSelectionInBothLists) {
  manager.Rules()->Items(0)->Extensions()->Add()->SetExt("*.bak");
  manager.SetModified(false);
  TfmRules w;
  w.LoadRules(manager.Rules());
  w.show();
  QApplication::setActiveWindow(&w);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  QTreeView* masks = w.frExtensions->lvExtensions;

  w.lvRules->setFocus(Qt::TabFocusReason);
  EXPECT_TRUE(test::CurrentAgreesWithSelection(w.lvRules));
  QTest::keyClick(w.lvRules, Qt::Key_Down);
  EXPECT_EQ(test::SelectedCaptions(w.lvRules), QStringList{"Docs"});

  masks->setFocus(Qt::TabFocusReason);
  EXPECT_TRUE(test::CurrentAgreesWithSelection(masks));
  QTest::keyClick(masks, Qt::Key_Down);
  EXPECT_EQ(test::SelectedCaptions(masks), QStringList{"*.bak"});
  dialogs.confirmAnswers = {TAnswer::Yes};
  w.frExtensions->actDeleteExtension->trigger();
  EXPECT_EQ(test::Captions(masks), QStringList{"*.doc"});
  EXPECT_TRUE(test::CurrentAgreesWithSelection(masks));
  QTest::keyClick(masks, Qt::Key_Space);
  EXPECT_TRUE(manager.Rules()->Items(0)->Extensions()->Items(0)->Active())
      << "Space without a chosen mask toggles none";
  QTest::keyClick(masks, Qt::Key_Down);
  EXPECT_EQ(test::SelectedCaptions(masks), QStringList{"*.doc"});

  // Another rule and back: the masks are listed afresh.
  QTest::keyClick(w.lvRules, Qt::Key_Down);
  QTest::keyClick(w.lvRules, Qt::Key_Up);
  masks->setFocus(Qt::TabFocusReason);
  EXPECT_TRUE(test::CurrentAgreesWithSelection(masks));
}

// The rule dialog copies a whole new mask list into the rule whose masks the
// frame is showing; the frame shows the new masks, keeps the selection by
// text, and paints no freed mask.
TEST_F(RulesTest, EditingTheShownRuleReplacesItsMasksInTheFrame) {
  TfmRules w;
  w.LoadRules(manager.Rules());
  w.show();
  Select(w, "Docs");
  test::SelectCaptions(w.frExtensions->lvExtensions, {"*.doc"});
  w.executeRule = [](TbkRule* rule, TbkRules*) {
    TbkRule copy(nullptr);
    copy.Assign(rule);
    copy.Extensions()->Add()->SetExt("*.rtf");
    copy.Extensions()->Add()->SetExt("*.DOCX");
    rule->Assign(&copy);
    return true;
  };
  w.actEditRule->trigger();
  EXPECT_EQ(test::Captions(w.frExtensions->lvExtensions),
            (QStringList{"*.doc", "*.DOCX", "*.rtf"}));
  EXPECT_EQ(test::SelectedCaptions(w.frExtensions->lvExtensions), QStringList{"*.doc"});
  EXPECT_FALSE(w.grab().isNull());
  EXPECT_TRUE(w.actSave->isEnabled());
}

TEST_F(RulesTest, DeletingTheShownRuleEmptiesTheFrameFirst) {
  manager.Rules()->Items(1)->Extensions()->Add()->SetExt("*.tmp");  // Free
  TfmRules w;
  w.LoadRules(manager.Rules());
  w.show();
  Select(w, "Free");
  ASSERT_EQ(test::Rows(w.frExtensions->lvExtensions), 1);
  dialogs.confirmAnswers = {TAnswer::Yes};
  w.actDeleteRule->trigger();
  EXPECT_EQ(test::Captions(w.lvRules), QStringList{"Docs"});
  EXPECT_EQ(test::Rows(w.frExtensions->lvExtensions), 0);
  EXPECT_FALSE(w.grab().isNull());
}

TEST_F(RulesTest, RuleDialogChecksTheName) {
  TbkRule fresh(nullptr);
  TedRule d;
  d.Load(&fresh, manager.Rules());
  EXPECT_TRUE(d.rbExclude->isChecked());
  d.show();
  d.buOK->click();
  EXPECT_EQ(dialogs.shown.back().text, "Fill in the 'Name' field");
  d.edName->setText("docs");
  d.buOK->click();
  EXPECT_EQ(dialogs.shown.back().text, "Rule 'docs' is not unique");
  EXPECT_EQ(d.focusWidget(), d.edName);
  d.edName->setText("Docs2");
  d.rbInclude->setChecked(true);
  d.buOK->click();
  EXPECT_EQ(d.result(), QDialog::Accepted);
  EXPECT_EQ(d.EditCopy->Name(), "Docs2");
  EXPECT_EQ(d.EditCopy->Category(), ecInclude);
}

// Each lamp stays beside its radio button however wide the dialog is made.
TEST_F(RulesTest, TheLampsStayBesideTheirChoicesInAWideDialog) {
  TedRule d;
  d.show();
  for (int width : {350, 900}) {
    d.resize(width, 400);
    QCoreApplication::processEvents();
    SCOPED_TRACE(width);
    for (QRadioButton* choice : {d.rbExclude, d.rbInclude}) {
      // The picture nearest on the left of the button.
      QLabel* lamp = nullptr;
      for (QLabel* label : choice->parentWidget()->findChildren<QLabel*>()) {
        if (!label->pixmap().isNull() && label->x() < choice->x() &&
            (!lamp || label->x() > lamp->x())) {
          lamp = label;
        }
      }
      ASSERT_NE(lamp, nullptr);
      const int pictureEnd = lamp->x() + lamp->pixmap().deviceIndependentSize().toSize().width();
      EXPECT_LE(choice->x() - pictureEnd, 4) << choice->text().toStdString();
      EXPECT_GE(choice->x() - pictureEnd, 0) << choice->text().toStdString();
    }
  }
}

TEST_F(RulesTest, RenamingReachesTheDirectoriesAtOnce) {
  TbkRule* docs = manager.Rules()->Items(0);
  TedRule keep;
  keep.Load(docs, manager.Rules());
  keep.show();
  keep.buOK->click();
  EXPECT_EQ(keep.result(), QDialog::Accepted) << "its own name is unique against itself";
  EXPECT_EQ(manager.Directories()->Items(0)->RuleName(), "DOCS");

  TedRule rename;
  rename.Load(docs, manager.Rules());
  rename.edName->setText("docs");
  rename.show();
  rename.buOK->click();
  EXPECT_EQ(rename.result(), QDialog::Accepted);
  EXPECT_EQ(manager.Directories()->Items(0)->RuleName(), "docs");
  EXPECT_EQ(docs->Name(), "Docs") << "the rule itself changes only when Execute copies it back";
}

TEST_F(RulesTest, F1AndHelpContentsOpenTheRulesWindowsSection) {
  fakes::FakeShell shell;
  ScopedOverride<IShell> useShell(shell);
  TfmRules w;
  w.LoadRules(manager.Rules());
  QMenu* help = nullptr;
  for (QMenu* menu : w.findChildren<QMenu*>()) {
    if (menu->title().remove('&') == "Help") help = menu;
  }
  ASSERT_NE(help, nullptr);
  EXPECT_TRUE(help->menuAction()->isVisible());
  EXPECT_TRUE(help->actions().contains(w.actHelp));
  ASSERT_TRUE(test::PressInWindow(&w, Qt::Key_F1));
  ASSERT_EQ(shell.calls.size(), 1u);
  EXPECT_TRUE(QString::fromStdString(shell.calls[0].file).endsWith("#context-16"))
      << shell.calls[0].file;
}

TEST_F(RulesTest, EveryMenuEntryHasAnAccelerator) {
  TfmRules w;
  auto* bar = w.findChild<QMenuBar*>();
  ASSERT_NE(bar, nullptr);
  test::ExpectAccelerators(bar->actions());
  for (QAction* title : bar->actions()) test::ExpectAccelerators(title->menu()->actions());
  test::ExpectAccelerators(w.pmRules->actions());
  test::ExpectAccelerators(w.frExtensions->pmExtensions->actions());
  EXPECT_EQ(w.actAddRule->text(), "&Add Rule") << "the window's own entries come first";
  EXPECT_EQ(w.frExtensions->actAddExtension->text(), "Add &Mask");
}

TEST_F(RulesTest, MasksEditedInTheDialogStayInItsCopy) {
  TbkRule* docs = manager.Rules()->Items(0);
  TedRule d;
  d.Load(docs, manager.Rules());
  d.frExtensions->executeExtension = [](TbkExtension* e, TbkExtensions*) {
    e->SetExt("*.rtf");
    return true;
  };
  d.frExtensions->actAddExtension->trigger();
  EXPECT_EQ(d.EditCopy->Extensions()->Count(), 2);
  EXPECT_EQ(docs->Extensions()->Count(), 1);
  EXPECT_EQ(d.frExtensions->actAddExtension->text(), "&Add");
}

}  // namespace
}  // namespace pw

namespace pw {
namespace {

TEST(RulesKeys, TheFocusedListTakesF4) {
  test::FakeDialogs dialogs;
  ScopedOverride<IDialogService> use(dialogs);
  TbkManager manager;
  manager.Rules()->Add()->SetName("Docs");
  TfmRules w;
  w.LoadRules(manager.Rules());
  int rulesAdded = 0, masksAdded = 0;
  w.executeNewRule = [&](TbkRules*) {
    ++rulesAdded;
    return std::unique_ptr<TbkRule>();
  };
  w.frExtensions->executeExtension = [&](TbkExtension*, TbkExtensions*) {
    ++masksAdded;
    return false;
  };
  test::SelectRow(w.lvRules, 0);
  w.show();
  QApplication::setActiveWindow(&w);
  w.lvRules->setFocus();
  QTest::keyClick(w.lvRules, Qt::Key_F4);
  w.frExtensions->lvExtensions->setFocus();
  QTest::keyClick(w.frExtensions->lvExtensions, Qt::Key_F4);
  EXPECT_EQ(rulesAdded, 1);
  EXPECT_EQ(masksAdded, 1);
}

TEST(RulesKeys, TheRuleDialogsFrameKeysWorkFromEveryField) {
  test::FakeDialogs dialogs;
  ScopedOverride<IDialogService> use(dialogs);
  TbkRule rule(nullptr);
  rule.SetName("Docs");
  rule.Extensions()->Add()->SetExt("*.doc");
  TbkRules rules;
  TedRule d;
  d.Load(&rule, &rules);
  std::vector<std::string> opened;
  d.frExtensions->executeExtension = [&](TbkExtension* e, TbkExtensions*) {
    opened.push_back(e->Ext());
    return false;
  };
  test::SelectRow(d.frExtensions->lvExtensions, 0);
  d.show();
  d.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&d));

  d.edName->setFocus();
  QTest::keyClick(d.edName, Qt::Key_F4);
  d.rbExclude->setFocus();
  QTest::keyClick(d.rbExclude, Qt::Key_F3);
  EXPECT_EQ(opened, (std::vector<std::string>{"", "*.doc"})) << "Add, then Edit of the selected";

  // Del stays with the text being typed; the masks go only from the list.
  d.edName->setFocus();
  d.edName->setCursorPosition(0);
  QTest::keyClick(d.edName, Qt::Key_Delete);
  EXPECT_EQ(d.edName->text(), "ocs");
  EXPECT_TRUE(dialogs.shown.empty());
  EXPECT_EQ(d.EditCopy->Extensions()->Count(), 1);
}

}  // namespace
}  // namespace pw
