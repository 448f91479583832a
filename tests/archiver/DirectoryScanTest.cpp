// Harvesting masks from real temporary trees.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "archiver/DirectoryScan.h"
#include "platform/Errors.h"
#include "platform/fakes/FakeProcesses.h"
#include "platform/fakes/Fakes.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

namespace fs = std::filesystem;
using Value = fakes::FakeRegistry::Value;
using namespace pw::test;

class FakeWindow final : public IMessageWin {
 public:
  explicit FakeWindow(std::vector<std::string>& log) : log_(log) { log_.push_back("create"); }
  ~FakeWindow() override { log_.push_back("destroy"); }
  void ShowText(const std::string& text) override { log_.push_back("show " + text); }

 private:
  std::vector<std::string>& log_;
};

class FakeWindows final : public IMessageWinFactory {
 public:
  std::unique_ptr<IMessageWin> CreateMessageWin() override {
    return std::make_unique<FakeWindow>(log);
  }
  std::vector<std::string> log;
};

// Records every directory the scan lists, passing the work on to the real layer.
class CountingFileSystem final : public IFileSystem {
 public:
  CountingFileSystem() : real_(DefaultService<IFileSystem>()) {}
  bool DirectoryExists(const std::string& p) const override { return real_.DirectoryExists(p); }
  bool MakeDirectory(const std::string& p) override { return real_.MakeDirectory(p); }
  bool ListDirectory(const std::string& p, TDirectoryListing& l) override {
    listed.push_back(p);
    return real_.ListDirectory(p, l);
  }
  std::unique_ptr<IFileLock> TryLock(const std::string& p) override { return real_.TryLock(p); }
  std::string ResolvedPath(const std::string& p) const override { return real_.ResolvedPath(p); }
  std::string ForeignStep(const std::string& p) const override { return real_.ForeignStep(p); }
  std::string WriteProblem(const std::string& p) const override { return real_.WriteProblem(p); }
  bool LookAt(const std::string& p, TEntryFacts& f) const override { return real_.LookAt(p, f); }
  std::string RemoveFileAt(const std::string& p) override { return real_.RemoveFileAt(p); }
  std::string RemoveEmptyFolder(const std::string& p) override {
    return real_.RemoveEmptyFolder(p);
  }
  std::unique_ptr<IFolder> OpenFolder(const std::string& p, TFolderFailure* why) override {
    return real_.OpenFolder(p, why);
  }
  std::vector<std::string> listed;

 private:
  IFileSystem& real_;
};

class ScanTest : public ::testing::Test {
 protected:
  ScanTest() : useRegistry(registry), useWindows(windows), temp("scan"), root(temp.Path()) {
    registry.AddKey(TRegistryRoot::rrClassesRoot, ".pas", Value{"pasfile"});
    registry.AddKey(TRegistryRoot::rrClassesRoot, "pasfile", Value{"Pascal Source"});
  }
  // relative is a text of the program, in its 8-bit encoding.
  void Touch(const std::string& relative) {
    const fs::path file = root / FromProgramPath(relative);
    fs::create_directories(file.parent_path());
    WriteFile(file, "x");
  }
  std::string Root() const { return ProgramPath(root); }

  std::vector<std::string> Exts() const {
    std::vector<std::string> out;
    for (int i = 0; i < masks.Count(); ++i) out.push_back(masks.Items(i)->Ext());
    return out;
  }

  fakes::FakeRegistry registry;
  FakeWindows windows;
  ScopedOverride<IRegistry> useRegistry;
  ScopedOverride<IMessageWinFactory> useWindows;
  TTempFolder temp;
  fs::path root;
  TbkExtensions masks;
};

using Masks = std::vector<std::string>;

TEST_F(ScanTest, FirstSpellingWinsAndSubtreesComeFirst) {
  for (const char* f : {"a.PAS", "b.pas", "readme", "sub/c.dfm", "sub/d.Pas", "z.txt"}) Touch(f);
  ScanDirectory(Root(), &masks);
  EXPECT_EQ(Exts(), (Masks{"*.PAS", "*.dfm", "*.txt"}));
  EXPECT_FALSE(masks.Items(0)->Active());
  EXPECT_EQ(masks.Items(0)->ProgramCaption(), "Pascal Source");
  EXPECT_EQ(masks.Items(1)->ProgramCaption(), "");
  EXPECT_EQ(masks.Items(0)->Category1(), ecExclude);
  EXPECT_EQ(masks.Items(0)->TotalSize(), 0);
}

TEST_F(ScanTest, NamesWithoutExtensionAndHiddenFiles) {
  for (const char* f :
       {"README", "notes.", ".profile", ".cache/x.tmp", "docs.old/inner.rtf", "archive.tar.gz"}) {
    Touch(f);
  }
  ScanDirectory(Root() + "\\", &masks);  // one trailing separator is dropped
  EXPECT_EQ(Exts(), (Masks{"*.tmp", "*.profile", "*.gz", "*.rtf"}));
}

TEST_F(ScanTest, ExistingMasksStayAsTheyAre) {
  TbkExtension* txt = masks.Add();
  txt->SetExt("*.txt");
  txt->SetProgramCaption("kept");
  Touch("REPORT.TXT");
  Touch("x.Doc");
  ScanDirectory(Root(), &masks);
  EXPECT_EQ(Exts(), (Masks{"*.txt", "*.Doc"}));
  EXPECT_TRUE(txt->Active());
  EXPECT_EQ(txt->ProgramCaption(), "kept");
  ScanDirectory(Root(), &masks);
  EXPECT_EQ(masks.Count(), 2) << "a second scan adds nothing";
}

TEST_F(ScanTest, CaseIsFoldedBeyondAscii) {
  Touch(Local8Bit("a.\xC3\x84x"));  // ".\u00C4x"
  Touch(Local8Bit("b.\xC3\xA4X"));
  ScanDirectory(Root(), &masks);
  EXPECT_EQ(Exts(), (Masks{Local8Bit("*.\xC3\x84x")}));
}

TEST_F(ScanTest, InThePosixStyleEachSpellingIsAMaskOfItsOwn) {
#ifdef _WIN32
  GTEST_SKIP() << "POSIX paths";
#else
  // 7-Zip on Linux matches letter case exactly: "*.doc" leaves "b.DOC" out.
  fakes::FixedPathStyle posix{TPathStyle::psPosix};
  const ScopedOverride<IPathStyle> usePosix(posix);
  masks.Add()->SetExt("*.Txt");
  for (const char* f : {"a.doc", "b.DOC", "sub/c.Doc", "d.doc", "e.txt", "f.Txt"}) Touch(f);
  ScanDirectory(Root(), &masks);
  Masks found = Exts();
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (Masks{"*.DOC", "*.Doc", "*.Txt", "*.doc", "*.txt"}));
#endif
}

TEST_F(ScanTest, MissingDirectoryGivesNothing) {
  ScanDirectory(ProgramPath(root / "missing"), &masks);
  EXPECT_EQ(masks.Count(), 0);
  EXPECT_EQ(windows.log,
            (std::vector<std::string>{
                "create", "show Scanning " + ProgramPath(root / "missing") + "...", "destroy"}));
}

TEST_F(ScanTest, UnlistableSubdirectoryIsSkipped) {
  fakes::FakeFileSystem files;
  files.listings["C:\\Src"] = {
      {"a.one", false}, {"locked", true}, {"open", true}, {"z.two", false}};
  files.listings["C:\\Src\\open"] = {{"b.three", false}};
  ScopedOverride<IFileSystem> use(files);
  ScanDirectory("C:\\Src\\", &masks);
  EXPECT_EQ(Exts(), (Masks{"*.one", "*.three", "*.two"}));
  EXPECT_EQ(windows.log[1], "show Scanning C:\\Src\\...");
}

TEST_F(ScanTest, LinksAreFollowedButNothingIsScannedTwice) {
  Touch("tree/a.one");
  Touch("tree/sub/b.two");
  Touch("other/c.three");
  if (UnderWine()) GTEST_SKIP() << "Wine cannot make symbolic links";
  fs::create_directory_symlink(root / "tree", root / "tree" / "sub" / "loop");
  fs::create_directory_symlink(root / "other", root / "tree" / "toOther");
  fs::create_directory_symlink(root / "other", root / "tree" / "toOtherAgain");
  CountingFileSystem counting;
  ScopedOverride<IFileSystem> use(counting);
  ScanDirectory(ProgramPath(root / "tree"), &masks);
  EXPECT_EQ(Exts(), (Masks{"*.one", "*.two", "*.three"}));
  // tree, sub, loop (refused: it is tree), toOther, toOtherAgain (refused).
  EXPECT_EQ(counting.listed.size(), 5u);
}

TEST_F(ScanTest, DescriptionErrorEndsTheScanAndClosesTheWindow) {
  registry.AddKey(TRegistryRoot::rrClassesRoot, ".bad", Value{"", false});
  for (const char* f : {"a.good", "b.bad", "c.later"}) Touch(f);
  EXPECT_THROW(ScanDirectory(Root(), &masks), ERegistryError);
  EXPECT_EQ(Exts(), (Masks{"*.good", "*.bad"}));
  EXPECT_EQ(windows.log.back(), "destroy");
  EXPECT_EQ(windows.log.size(), 3u);
}

TEST_F(ScanTest, AWindowPassedInIsUsedAndNotReplaced) {
  Touch("a.one");
  std::vector<std::string> log;
  {
    FakeWindow mine(log);
    ScanDirectory(Root(), &masks, &mine);
    EXPECT_EQ(log, (std::vector<std::string>{"create"}));
  }
  EXPECT_TRUE(windows.log.empty());
}

TEST(ExtensionMask, FromTheLastDot) {
  EXPECT_EQ(ExtensionMask("report.doc"), "*.doc");
  EXPECT_EQ(ExtensionMask("archive.tar.gz"), "*.gz");
  EXPECT_EQ(ExtensionMask(".profile"), "*.profile");
  EXPECT_EQ(ExtensionMask("README"), "*");
  EXPECT_EQ(ExtensionMask("notes."), "*.");
  EXPECT_EQ(ExtensionMask("C:\\dir.x\\file"), "*");
  EXPECT_EQ(ExtensionMask("C:x.y"), "*.y");
}

}  // namespace
}  // namespace pw
