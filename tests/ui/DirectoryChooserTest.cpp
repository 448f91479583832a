// The directory chooser's own decisions: a missing directory, and whether it
// may be created.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDialogButtonBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <filesystem>

#include "tests/ui/FakeDialogs.h"
#include "ui/DirectoryChooser.h"

namespace pw {
namespace {

namespace fs = std::filesystem;

class DirectoryChooserTest : public ::testing::Test {
 protected:
  DirectoryChooserTest() : use(dialogs) {
    root = fs::temp_directory_path() / ("pw-chooser-" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "there");
  }
  ~DirectoryChooserTest() override { fs::remove_all(root); }

  static QLineEdit* Typed(TDirectoryChooser& chooser) {
    return chooser.findChild<QLineEdit*>("fileNameEdit");
  }
  // The chooser shows and gives back paths in the system's own notation, as
  // the program stores them: "\" between the names on Windows.
  QString Root() const {
    return QDir::toNativeSeparators(QString::fromStdU16String(root.u16string()));
  }
  QString Under(const QString& relative) const {
    return QDir::toNativeSeparators(Root() + "/" + relative);
  }
  static QString Opened(const TDirectoryChooser& chooser) {
    return QDir::toNativeSeparators(chooser.directory().absolutePath());
  }
  static QPushButton* ChooseButton(TDirectoryChooser& chooser) {
    auto* buttons = chooser.findChild<QDialogButtonBox*>("buttonBox");
    return buttons ? buttons->button(QDialogButtonBox::Open) : nullptr;
  }

  test::FakeDialogs dialogs;
  ScopedOverride<IDialogService> use;
  fs::path root;
};

TEST_F(DirectoryChooserTest, NoKeepsTheChooserOpenWithWhatWasTyped) {
  TDirectoryChooser chooser(nullptr, Root(), true);
  chooser.show();
  ASSERT_NE(Typed(chooser), nullptr);
  Typed(chooser)->setText("new/deeper");
  dialogs.confirmAnswers = {TAnswer::No};
  chooser.accept();
  EXPECT_TRUE(chooser.isVisible());
  EXPECT_EQ(Typed(chooser)->text(), "new/deeper");
  EXPECT_EQ(Opened(chooser), Root());
  EXPECT_FALSE(fs::exists(root / "new"));
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].text,
            "The directory " + Under("new/deeper") + " does not exist. Create it?");

  dialogs.confirmAnswers = {TAnswer::Yes};
  chooser.accept();
  EXPECT_EQ(chooser.result(), QDialog::Accepted);
  EXPECT_TRUE(fs::is_directory(root / "new" / "deeper")) << "created with its parents";
  EXPECT_EQ(chooser.Chosen(), Under("new/deeper"));
}

// A mouse user reaches the question too: "Choose" stays usable for a folder
// typed that does not exist yet, however the typing went.
TEST_F(DirectoryChooserTest, ChooseAsksAboutATypedFolderThatDoesNotExist) {
  TDirectoryChooser chooser(nullptr, Root(), true);
  chooser.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&chooser));
  QPushButton* choose = ChooseButton(chooser);
  ASSERT_NE(choose, nullptr);
  Typed(chooser)->setFocus();
  QTest::keyClicks(Typed(chooser), "fresh/inner");
  QTest::qWait(50);  // the chooser looks the typed name up as it goes
  EXPECT_TRUE(choose->isEnabled());
  dialogs.confirmAnswers = {TAnswer::No};
  QTest::mouseClick(choose, Qt::LeftButton);
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].text,
            "The directory " + Under("fresh/inner") + " does not exist. Create it?");
  EXPECT_TRUE(chooser.isVisible());
  EXPECT_TRUE(choose->isEnabled()) << "still there after a No";

  // Typing over it, with a name that exists on the way.
  Typed(chooser)->setFocus();
  Typed(chooser)->selectAll();
  QTest::keyClicks(Typed(chooser), "there");
  QTest::qWait(50);
  EXPECT_TRUE(choose->isEnabled());
  QTest::keyClicks(Typed(chooser), "/below");
  QTest::qWait(50);
  EXPECT_TRUE(choose->isEnabled());
  dialogs.confirmAnswers = {TAnswer::Yes};
  QTest::mouseClick(choose, Qt::LeftButton);
  EXPECT_EQ(chooser.result(), QDialog::Accepted);
  EXPECT_TRUE(fs::is_directory(root / "there" / "below"));
  EXPECT_EQ(chooser.Chosen(), Under("there/below"));
}

TEST_F(DirectoryChooserTest, AnExistingDirectoryIsTakenWithoutAQuestion) {
  TDirectoryChooser chooser(nullptr, Under("there"), true);
  chooser.show();
  chooser.accept();
  EXPECT_EQ(chooser.result(), QDialog::Accepted);
  EXPECT_EQ(chooser.Chosen(), Under("there"));
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(DirectoryChooserTest, AMissingStartOpensAtItsNearestFolder) {
  TDirectoryChooser chooser(nullptr, Under("there/gone"), true);
  EXPECT_EQ(Opened(chooser), Under("there"));
  EXPECT_EQ(Typed(chooser)->text(), "gone");
  chooser.show();
  QTest::qWait(50);
  EXPECT_TRUE(ChooseButton(chooser)->isEnabled()) << "it may be created";
}

TEST_F(DirectoryChooserTest, WithoutCreationNothingCreatesADirectory) {
  TDirectoryChooser chooser(nullptr, Root(), false);
  chooser.show();
  auto* newFolder = chooser.findChild<QToolButton*>("newFolderButton");
  ASSERT_NE(newFolder, nullptr);
  EXPECT_FALSE(newFolder->isVisible() && newFolder->isEnabled());
  Typed(chooser)->setFocus();
  QTest::keyClicks(Typed(chooser), "missing");
  QTest::qWait(50);
  EXPECT_FALSE(ChooseButton(chooser)->isEnabled());
  chooser.accept();
  EXPECT_TRUE(chooser.isVisible());
  EXPECT_FALSE(fs::exists(root / "missing"));
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].kind, "error");
}

}  // namespace
}  // namespace pw
