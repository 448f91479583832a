// The mask list frame and its two dialogs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <filesystem>
#include <fstream>

#include "model/HoardkeeperClasses.h"
#include "platform/fakes/FakeProcesses.h"
#include "platform/fakes/Fakes.h"
#include "tests/ui/FakeDialogs.h"
#include "tests/ui/Views.h"
#include "ui/eduExtension.h"
#include "ui/fruExtensions.h"

namespace pw {
namespace {

class FrameTest : public ::testing::Test {
 protected:
  FrameTest() : useDialogs(dialogs), useRegistry(registry) {
    for (const char* ext : {"*.doc", "*.bak", "*.tmp"}) masks.Add()->SetExt(ext);
    masks.Items(1)->SetActive(false);
    frame.OnExtensionsChanged = [this] { ++changes; };
    frame.SetExtensions(&masks);
  }

  QStringList Captions() { return test::Captions(frame.lvExtensions); }
  void Select(std::initializer_list<const char*> captions) {
    test::SelectCaptions(frame.lvExtensions, captions);
  }

  test::FakeDialogs dialogs;
  fakes::FakeRegistry registry;
  ScopedOverride<IDialogService> useDialogs;
  ScopedOverride<IRegistry> useRegistry;
  TbkExtensions masks;
  TfrExtensions frame;
  int changes = 0;
};

TEST_F(FrameTest, ListIsSortedAndMirrorsTheMasks) {
  EXPECT_EQ(Captions().join(" "), "*.bak *.doc *.tmp");
  EXPECT_FALSE(test::IsChecked(frame.lvExtensions, 0));
  EXPECT_TRUE(test::IsChecked(frame.lvExtensions, 1));
  EXPECT_TRUE(frame.actAddExtension->isEnabled());
  EXPECT_FALSE(frame.actEditExtension->isEnabled());
  EXPECT_EQ(changes, 0);
}

TEST_F(FrameTest, WithoutACollectionOnlySelectAllIsEnabled) {
  frame.SetExtensions(nullptr);
  EXPECT_EQ(test::Rows(frame.lvExtensions), 0);
  for (QAction* a : {frame.actAddExtension, frame.actEditExtension, frame.actDeleteExtension,
                     frame.actExtractFromDirectory, frame.actInvert, frame.actClear}) {
    EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
  }
  EXPECT_TRUE(frame.actSelectAll->isEnabled());
}

TEST_F(FrameTest, CheckBoxMakesAMaskPassiveAndNotifiesOnce) {
  test::SetChecked(frame.lvExtensions, 1, false);  // *.doc
  EXPECT_FALSE(masks.Items(0)->Active());
  EXPECT_EQ(changes, 1);
}

TEST_F(FrameTest, SpaceTogglesTheCurrentMask) {
  frame.show();
  frame.lvExtensions->setFocus();
  frame.lvExtensions->setCurrentIndex(frame.lvExtensions->model()->index(0, 1));  // *.bak
  QTest::keyClick(frame.lvExtensions, Qt::Key_Space);
  EXPECT_TRUE(masks.Items(1)->Active());
  EXPECT_EQ(changes, 1);
  QTest::keyClick(frame.lvExtensions, Qt::Key_Space);
  EXPECT_FALSE(masks.Items(1)->Active());
  EXPECT_EQ(changes, 2);
}

TEST_F(FrameTest, InvertFlipsEverySelectedMask) {
  Select({"*.bak", "*.doc", "*.tmp"});
  frame.actInvert->trigger();
  EXPECT_FALSE(masks.Items(0)->Active());
  EXPECT_TRUE(masks.Items(1)->Active());
  EXPECT_FALSE(masks.Items(2)->Active());
  EXPECT_EQ(changes, 1);
}

TEST_F(FrameTest, DeleteAsksFirst) {
  Select({"*.doc", "*.tmp"});
  dialogs.confirmAnswers = {TAnswer::No, TAnswer::Yes};
  frame.actDeleteExtension->trigger();
  EXPECT_EQ(dialogs.shown.back().text, "Delete selected?");
  EXPECT_EQ(masks.Count(), 3);
  frame.actDeleteExtension->trigger();
  ASSERT_EQ(masks.Count(), 1);
  EXPECT_EQ(masks.Items(0)->Ext(), "*.bak");
  EXPECT_EQ(Captions().join(" "), "*.bak");
  EXPECT_TRUE(masks.GetModified());
}

// The focus frame goes with the masks deleted instead of landing on one the
// user did not choose; a selected mask that stays takes it.
TEST_F(FrameTest, DeletedMasksTakeTheFocusFrameWithThem) {
  frame.show();
  QApplication::setActiveWindow(&frame);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
  frame.lvExtensions->setFocus(Qt::TabFocusReason);
  QTest::keyClick(frame.lvExtensions, Qt::Key_Down);  // *.bak
  dialogs.confirmAnswers = {TAnswer::Yes, TAnswer::Yes};
  frame.actDeleteExtension->trigger();
  EXPECT_EQ(Captions().join(" "), "*.doc *.tmp");
  EXPECT_TRUE(test::CurrentAgreesWithSelection(frame.lvExtensions));
  QTest::keyClick(frame.lvExtensions, Qt::Key_Down);
  EXPECT_EQ(test::SelectedCaptions(frame.lvExtensions), QStringList{"*.doc"});

  // A selected mask that stays takes the frame, not the neighbour above.
  masks.Add()->SetExt("*.zip");
  ASSERT_EQ(Captions().join(" "), "*.doc *.tmp *.zip");
  QItemSelectionModel* selection = frame.lvExtensions->selectionModel();
  const auto row = [&](int r) { return frame.lvExtensions->model()->index(r, 0); };
  selection->select(row(2), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  selection->setCurrentIndex(row(1), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  masks.Delete(1);  // *.tmp, the current one
  EXPECT_EQ(Captions().join(" "), "*.doc *.zip");
  EXPECT_TRUE(test::CurrentAgreesWithSelection(frame.lvExtensions));
  EXPECT_EQ(frame.lvExtensions->currentIndex().row(), 1);
}

TEST_F(FrameTest, ClearOffersPassiveForOneSelectionAndSelectedForMore) {
  Select({"*.doc"});
  frame.executeClearOptions = [](bool& active, bool& passive, bool& selected, bool enabled) {
    EXPECT_FALSE(active);
    EXPECT_TRUE(passive);
    EXPECT_FALSE(selected);
    EXPECT_FALSE(enabled);
    return true;
  };
  frame.actClear->trigger();
  EXPECT_EQ(Captions().join(" "), "*.doc *.tmp");

  Select({"*.doc", "*.tmp"});
  frame.executeClearOptions = [](bool& active, bool& passive, bool& selected, bool enabled) {
    EXPECT_FALSE(active);
    EXPECT_FALSE(passive);
    EXPECT_TRUE(selected);
    EXPECT_TRUE(enabled);
    return true;
  };
  frame.actClear->trigger();
  EXPECT_EQ(masks.Count(), 0);
}

TEST_F(FrameTest, AddAndEditGoThroughTheMaskDialog) {
  frame.executeExtension = [](TbkExtension* e, TbkExtensions*) {
    EXPECT_EQ(e->Ext(), "");
    EXPECT_TRUE(e->Active());
    e->SetExt("*.rtf");
    return true;
  };
  frame.actAddExtension->trigger();
  ASSERT_EQ(masks.Count(), 4);
  EXPECT_EQ(masks.Items(3)->Ext(), "*.rtf");
  EXPECT_EQ(Captions().join(" "), "*.bak *.doc *.rtf *.tmp");
  EXPECT_EQ(test::Cell(frame.lvExtensions, frame.lvExtensions->currentIndex().row()), "*.rtf");
  EXPECT_TRUE(test::CurrentAgreesWithSelection(frame.lvExtensions));
  EXPECT_EQ(changes, 1);

  frame.executeExtension = [](TbkExtension*, TbkExtensions*) { return false; };
  frame.actAddExtension->trigger();
  EXPECT_EQ(masks.Count(), 4) << "cancel adds nothing";

  Select({"*.doc"});
  frame.executeExtension = [](TbkExtension* e, TbkExtensions*) {
    e->SetExt("*.docx");
    return true;
  };
  frame.actEditExtension->trigger();
  EXPECT_EQ(masks.Items(0)->Ext(), "*.docx");
  EXPECT_TRUE(Captions().contains("*.docx"));
}

TEST_F(FrameTest, ScanKeepsTheSelection) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("pw-frame-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  for (const char* f : {"a.aaa", "b.TMP", "c.zzz"}) std::ofstream(dir / f) << "x";
  Select({"*.tmp", "*.bak"});
  dialogs.fileAnswers = {QString::fromStdString(dir.string())};
  frame.actExtractFromDirectory->trigger();
  EXPECT_EQ(Captions().join(" "), "*.aaa *.bak *.doc *.tmp *.zzz");
  EXPECT_EQ(test::SelectedCaptions(frame.lvExtensions).join(" "), "*.bak *.tmp");
  EXPECT_TRUE(frame.lvExtensions->currentIndex().isValid());
  EXPECT_TRUE(test::CurrentAgreesWithSelection(frame.lvExtensions));
  EXPECT_EQ(dialogs.directoryStarts, (std::vector<QString>{""}));
  EXPECT_EQ(changes, 1) << "the masks it added are a change";
  dialogs.fileAnswers = {QString::fromStdString(dir.string())};
  frame.actExtractFromDirectory->trigger();
  EXPECT_EQ(changes, 1) << "nothing new, no change";
  std::filesystem::remove_all(dir);
}

TEST_F(FrameTest, AScanThatFailsPartWayShowsAndReportsWhatItAdded) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("pw-frame-fail-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  for (const char* f : {"a.aaa", "b.bad", "c.zzz"}) std::ofstream(dir / f) << "x";
  registry.AddKey(TRegistryRoot::rrClassesRoot, ".bad", fakes::FakeRegistry::Value{"", false});
  dialogs.fileAnswers = {QString::fromStdString(dir.string())};
  frame.actExtractFromDirectory->trigger();
  std::filesystem::remove_all(dir);
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].kind, "error");
  EXPECT_EQ(Captions().join(" "), "*.aaa *.bad *.bak *.doc *.tmp");
  EXPECT_EQ(changes, 1);
}

TEST_F(FrameTest, MaskDialogChecksTextAndUniqueness) {
  TedExtension d;
  d.Load(masks.Items(0), &masks);  // *.doc
  EXPECT_EQ(d.edFileExt->text(), "*.doc");
  d.show();
  d.buOK->click();
  EXPECT_EQ(d.result(), QDialog::Accepted) << "an unchanged mask is unique against itself";

  TbkExtension fresh(nullptr);
  TedExtension add;
  add.Load(&fresh, &masks);
  EXPECT_TRUE(add.cbActive->isChecked());
  add.show();
  add.buOK->click();
  EXPECT_EQ(dialogs.shown.back().text, "Please, fill in the 'File Extention' field");
  add.edFileExt->setText("*.DOC");
  add.buOK->click();
  EXPECT_EQ(dialogs.shown.back().text, "Extension '*.DOC' is not unique in the rule");
  EXPECT_TRUE(add.isVisible());
  // A mask that would take files from outside the directory.
  for (const char* outside : {"../*", "sub/../*.txt"}) {
    add.edFileExt->setText(outside);
    add.buOK->click();
    EXPECT_EQ(dialogs.shown.back().text,
              QString("The mask '") + outside + "' leads out of the directory");
    EXPECT_TRUE(add.isVisible());
  }
  add.edFileExt->setText(" *.txt ");
  add.cbActive->setChecked(false);
  add.buOK->click();
  EXPECT_EQ(add.result(), QDialog::Accepted);
  EXPECT_EQ(add.EditCopy->Ext(), " *.txt ");
  EXPECT_FALSE(add.EditCopy->Active());
  EXPECT_EQ(fresh.Ext(), "") << "the caller's mask changes only through Execute";
}

TEST_F(FrameTest, InThePosixStyleMasksOfOtherLetterCaseAreOthers) {
  fakes::FixedPathStyle posix{TPathStyle::psPosix};
  const ScopedOverride<IPathStyle> usePosix(posix);
  TbkExtension fresh(nullptr);
  TedExtension add;
  add.Load(&fresh, &masks);  // holds *.doc
  add.show();
  add.edFileExt->setText("*.doc");
  add.buOK->click();
  EXPECT_EQ(dialogs.shown.back().text, "Extension '*.doc' is not unique in the rule");
  add.edFileExt->setText("*.DOC");
  add.buOK->click();
  EXPECT_EQ(add.result(), QDialog::Accepted) << "7-Zip on Linux takes other files for it";
}

}  // namespace
}  // namespace pw
