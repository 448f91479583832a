// The preview window over a real tree: the totals of each mask, the file
// list sorted by size, a walk cancelled part-way, an archiver outside the
// known ones and a job that must not run.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <QTreeView>

#include "archiver/ArchiveCommands.h"
#include "archiver/ArchiveJob.h"
#include "archiver/NightPlan.h"
#include "archiver/Preview.h"
#include "model/HoardkeeperClasses.h"
#include "platform/fakes/FakeProcesses.h"
#include "platform/fakes/Fakes.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/FakeDialogs.h"
#include "tests/ui/Views.h"
#include "ui/UiText.h"
#include "ui/fmuBase.h"
#include "ui/fmuHoardkeeper.h"
#include "ui/fmuPreview.h"

namespace pw {
namespace {

namespace fs = std::filesystem;
using Tester = QAbstractItemModelTester;
constexpr auto kFatal = QAbstractItemModelTester::FailureReportingMode::Fatal;

// The system's own path style and archivers named as it names them: the
// Windows style hands the archiver masks that name the directory in full,
// the POSIX style masks relative to it, and the window must show the same.
#ifdef _WIN32
constexpr TPathStyle kNativeStyle = TPathStyle::psWindows;
const char kSevenZip[] = "C:\\Program Files\\7-Zip\\7z.exe";
const char kUnknownArchiver[] = "C:\\Program Files\\Packer\\packer.exe";
#else
constexpr TPathStyle kNativeStyle = TPathStyle::psPosix;
const char kSevenZip[] = "/usr/bin/7zz";
const char kUnknownArchiver[] = "/opt/packer/bin/packer";
#endif

// A path below the directory as the window shows it.
QString Shown(const fs::path& relative) {
  return QString::fromStdString(test::ProgramPath(relative));
}

class PreviewWindowTest : public ::testing::Test {
 protected:
  PreviewWindowTest() : folder("pw-ui-preview"), native(kNativeStyle), a(native), b(dialogs) {
    tree = folder / "tree";
    fs::create_directories(tree / "sub");
    test::WriteFile(tree / "a.txt", std::string(10, 'a'));
    test::WriteFile(tree / "b.txt", std::string(300, 'b'));
    test::WriteFile(tree / "sub" / "c.doc", std::string(50, 'c'));
    test::WriteFile(tree / "sub" / "d.tmp", std::string(7, 'd'));
    manager.SetArchiverExeFileName(kSevenZip);
    manager.SetArchiverParams("a -r");
    manager.SetExcludeKey("-x!");
    manager.SetOutputPath(test::ProgramPath(folder / "out"));
    TbkRule* rule = manager.Rules()->Add();
    rule->SetName("Documents");
    rule->SetCategory(ecInclude);
    rule->Extensions()->Add()->SetExt("*.txt");
    rule->Extensions()->Add()->SetExt("*.doc");
    TbkDirectory* d = manager.Directories()->Add();
    d->SetPath(test::ProgramPath(tree));
    d->SetRuleName("Documents");
  }

  TPreviewRequest Request(int row = 0) {
    const TbkDirectory& d = *manager.Directories()->Items(row);
    return MakePreviewRequest(manager,
                              JobOfDirectory(manager, d, GetArchiveDirectory(manager, false)));
  }

  static bool WaitFor(TfmPreview& w) {
    return QTest::qWaitFor([&] { return !w.Running(); }, 60000);
  }

  static QStringList Column(QAbstractItemView* view, int column) {
    QStringList out;
    for (int row = 0; row < test::Rows(view); ++row) out << test::Cell(view, row, column);
    return out;
  }

  test::TTempFolder folder;
  fs::path tree;
  fakes::FixedPathStyle native;
  test::FakeDialogs dialogs;
  ScopedOverride<IPathStyle> a;
  ScopedOverride<IDialogService> b;
  TbkManager manager;
};

TEST_F(PreviewWindowTest, ShowsWhatEachMaskTakesAndSortsTheFilesBySize) {
  TfmPreview w(Request());
  Tester masksTester(w.MasksModel(), kFatal);
  Tester filesTester(w.FilesModel(), kFatal);
  QSignalSpy finished(&w, &TfmPreview::Finished);
  EXPECT_TRUE(w.buCancel->isEnabled());
  ASSERT_TRUE(WaitFor(w));
  EXPECT_EQ(finished.count(), 1);
  EXPECT_FALSE(w.laApproximate->isVisibleTo(&w));
  EXPECT_EQ(w.stPages->currentWidget(), w.tvMasks->parentWidget());

  EXPECT_EQ(Column(w.tvMasks, 0), (QStringList{"*.txt", "*.doc"}));
  EXPECT_EQ(Column(w.tvMasks, 1), (QStringList{"2", "1"}));
  EXPECT_EQ(w.tvMasks->model()->index(0, 2).data(Qt::ToolTipRole).toString(), "310 bytes");
  EXPECT_EQ(w.laTotals->text(), "The archive takes 3 files, 360 bytes (360 bytes).");

  w.tvFiles->sortByColumn(TPreviewFilesModel::cSize, Qt::DescendingOrder);
  const QString c = Shown(fs::path("sub") / "c.doc");
  EXPECT_EQ(Column(w.tvFiles, 0), (QStringList{"b.txt", c, "a.txt"}));
  EXPECT_EQ(Column(w.tvFiles, 1), (QStringList{"300", "50", "10"}));
  EXPECT_EQ(Column(w.tvFiles, 2), (QStringList{"*.txt", "*.doc", "*.txt"}));
  w.tvFiles->sortByColumn(TPreviewFilesModel::cPath, Qt::AscendingOrder);
  EXPECT_EQ(Column(w.tvFiles, 0), (QStringList{"a.txt", "b.txt", c}));

  EXPECT_EQ(w.buCancel->text(), "Close");
}

TEST_F(PreviewWindowTest, CancelStopsTheWalkAndKeepsWhatWasFound) {
  // Enough folders that the walk is still under way when Cancel is pressed.
  for (int i = 0; i < 300; ++i) {
    const fs::path sub = tree / "many" / ("folder" + std::to_string(i));
    fs::create_directories(sub);
    for (int j = 0; j < 20; ++j) test::WriteFile(sub / (std::to_string(j) + ".txt"), "x");
  }
  TfmPreview w(Request());
  w.buCancel->click();
  EXPECT_FALSE(w.buCancel->isEnabled()) << "pressed once";
  ASSERT_TRUE(WaitFor(w));
  EXPECT_TRUE(w.Result().cancelled);
  EXPECT_LT(w.Result().totalFiles, 6003);
  EXPECT_EQ(test::Rows(w.tvFiles), static_cast<int>(w.Result().files.size()));
  EXPECT_TRUE(w.laProgress->text().startsWith("Cancelled")) << w.laProgress->text().toStdString();
  // Only what was found: the tree holds more.
  const QString total = "So far the archive takes " + CountText(w.Result().totalFiles) + " file";
  EXPECT_TRUE(w.laTotals->text().startsWith(total)) << w.laTotals->text().toStdString();
  EXPECT_TRUE(w.buCancel->isEnabled());
}

TEST_F(PreviewWindowTest, AnUnknownArchiverIsApproximateAndAClashIsShownInsteadOfAList) {
  manager.SetArchiverExeFileName(kUnknownArchiver);
#ifndef _WIN32
  // Wine makes no symbolic links, and Windows makes them for administrators
  // only: the warning is seen on POSIX systems.
  fs::create_symlink(folder / "nowhere", tree / "sub" / "gone.txt");
#endif
  {
    TfmPreview w(Request());
    ASSERT_TRUE(WaitFor(w));
    EXPECT_TRUE(w.laApproximate->isVisibleTo(&w));
    EXPECT_TRUE(w.laApproximate->text().contains(kUnknownArchiver))
        << w.laApproximate->text().toStdString();
    EXPECT_EQ(test::Rows(w.tvFiles), 3);
#ifndef _WIN32
    // The link that leads nowhere is what the archiver will warn about.
    EXPECT_TRUE(w.laWarnings->isVisibleTo(&w));
    EXPECT_TRUE(w.laWarnings->toolTip().contains("gone.txt"))
        << w.laWarnings->toolTip().toStdString();
#else
    EXPECT_FALSE(w.laWarnings->isVisibleTo(&w)) << w.laWarnings->toolTip().toStdString();
#endif
  }
  // A known archiver given a list file of masks the preview does not read.
  manager.SetArchiverExeFileName(kSevenZip);
  manager.SetArchiverParams("a -r -i@more-masks.txt");
  {
    TfmPreview w(Request());
    ASSERT_TRUE(WaitFor(w));
    EXPECT_TRUE(w.laApproximate->isVisibleTo(&w));
    EXPECT_TRUE(w.laApproximate->text().contains("list file"))
        << w.laApproximate->text().toStdString();
  }
  // Two directories that would write one archive: ".../x/tree" and ".../x_tree".
  const std::string twin = test::ProgramPath(folder.Path()) + "_tree";
  manager.Directories()->Add()->SetPath(twin);
  TfmPreview w(Request());
  ASSERT_TRUE(WaitFor(w));
  EXPECT_EQ(w.stPages->currentWidget(), w.laError);
  EXPECT_TRUE(w.laError->text().contains(QString::fromStdString(twin)))
      << w.laError->text().toStdString();
  EXPECT_EQ(test::Rows(w.tvFiles), 0);
}

TEST_F(PreviewWindowTest, TheMainWindowPreviewsTheSelectedDirectory) {
  const std::string settings = test::ProgramPath(folder / "Packetwright.dat");
  manager.SaveToFile(settings, true);
  TfmHoardkeeper main(settings);
  main.AfterConstruction();
  EXPECT_FALSE(main.actPreview->isEnabled()) << "nothing selected";
  test::SelectRow(main.ListView1, 0);
  ASSERT_TRUE(main.actPreview->isEnabled());
  EXPECT_TRUE(main.PopupMenu1->actions().contains(main.actPreview));
  main.actPreview->trigger();
  auto* w = main.findChild<TfmPreview*>();
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(w->isVisible());
  ASSERT_TRUE(WaitFor(*w));
  EXPECT_EQ(w->Result().totalFiles, 3);
  EXPECT_TRUE(dialogs.shown.empty());
}

// Over the main window and on the screen, its totals and Close in view.
TEST_F(PreviewWindowTest, ThePreviewOpensOverTheMainWindowWithItsHelpAndEscCloses) {
  fakes::FakeShell shell;
  ScopedOverride<IShell> useShell(shell);
  const std::string settings = test::ProgramPath(folder / "Packetwright.dat");
  manager.SaveToFile(settings, true);
  TfmHoardkeeper main(settings);
  main.AfterConstruction();
  main.show();
  CentreOnScreen(&main);
  test::SelectRow(main.ListView1, 0);
  main.actPreview->trigger();
  QPointer<TfmPreview> w = main.findChild<TfmPreview*>();
  ASSERT_NE(w, nullptr);
  ASSERT_TRUE(WaitFor(*w));
  EXPECT_TRUE(test::OpensOverItsOwner(w, &main));
  for (QWidget* part : {static_cast<QWidget*>(w->laTotals), static_cast<QWidget*>(w->buCancel)}) {
    EXPECT_TRUE(w->rect().contains(QRect(part->mapTo(w, QPoint()), part->size())));
  }
  ASSERT_TRUE(test::PressInWindow(w, Qt::Key_F1));
  ASSERT_EQ(shell.calls.size(), 1u);
  EXPECT_TRUE(QString::fromStdString(shell.calls[0].file).endsWith("#context-18"))
      << shell.calls[0].file;
  ASSERT_TRUE(test::PressInWindow(w, Qt::Key_Escape));
  EXPECT_TRUE(QTest::qWaitFor([&] { return w.isNull(); }, 10000)) << "closed and gone";
}

}  // namespace
}  // namespace pw
