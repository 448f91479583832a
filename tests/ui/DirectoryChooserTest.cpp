// The directory chooser's own decisions: a missing directory, and whether it
// may be created.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QLineEdit>
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
  QString Root() const { return QString::fromStdString(root.string()); }

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
  EXPECT_EQ(QDir(chooser.directory()).absolutePath(), Root());
  EXPECT_FALSE(fs::exists(root / "new"));
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].text,
            "The directory " + Root() + "/new/deeper does not exist. Create it?");

  dialogs.confirmAnswers = {TAnswer::Yes};
  chooser.accept();
  EXPECT_EQ(chooser.result(), QDialog::Accepted);
  EXPECT_TRUE(fs::is_directory(root / "new" / "deeper")) << "created with its parents";
  EXPECT_EQ(chooser.Chosen(), Root() + "/new/deeper");
}

TEST_F(DirectoryChooserTest, AnExistingDirectoryIsTakenWithoutAQuestion) {
  TDirectoryChooser chooser(nullptr, Root() + "/there", true);
  chooser.show();
  chooser.accept();
  EXPECT_EQ(chooser.result(), QDialog::Accepted);
  EXPECT_EQ(chooser.Chosen(), Root() + "/there");
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(DirectoryChooserTest, AMissingStartOpensAtItsNearestFolder) {
  TDirectoryChooser chooser(nullptr, Root() + "/there/gone", true);
  EXPECT_EQ(QDir(chooser.directory()).absolutePath(), Root() + "/there");
  EXPECT_EQ(Typed(chooser)->text(), "gone");
}

TEST_F(DirectoryChooserTest, WithoutCreationNothingCreatesADirectory) {
  TDirectoryChooser chooser(nullptr, Root(), false);
  chooser.show();
  auto* newFolder = chooser.findChild<QToolButton*>("newFolderButton");
  ASSERT_NE(newFolder, nullptr);
  EXPECT_FALSE(newFolder->isVisible() && newFolder->isEnabled());
  Typed(chooser)->setText("missing");
  chooser.accept();
  EXPECT_TRUE(chooser.isVisible());
  EXPECT_FALSE(fs::exists(root / "missing"));
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].kind, "error");
}

}  // namespace
}  // namespace pw
