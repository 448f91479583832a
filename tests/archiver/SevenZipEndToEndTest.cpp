// The real 7-Zip on real trees, started as a run starts it and from the
// written script, in the POSIX style.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

#include "archiver/ArchiveCommands.h"
#include "archiver/ArchiveJobs.h"
#include "archiver/ArchiverDetection.h"
#include "archiver/BatchFiles.h"
#include "archiver/PosixScripts.h"
#include "tests/archiver/PosixDay.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

namespace fs = std::filesystem;
using Files = std::set<std::string>;

std::string Output(const std::string& command) {
  std::string text;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
    ::pclose(pipe);
  }
  return text;
}

// The files (not the folders) that "7zz l -slt" lists in an archive.
Files Listing(const std::string& archive) {
  const std::string text = Output("7zz l -slt " + QuotePosixWord(archive) + " 2>&1");
  Files files;
  std::string path;
  bool entries = false;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line == "----------") entries = true;
    if (!entries) continue;
    if (line.rfind("Path = ", 0) == 0) path = line.substr(7);
    if (line.rfind("Attributes = ", 0) == 0 && line.substr(13, 1) != "D") {
      files.insert(path);
    }
  }
  return files;
}

class SevenZipTest : public ::testing::Test {
 protected:
  void SetUp() override {
#ifdef _WIN32
    GTEST_SKIP() << "the POSIX style's runs need a POSIX system";
#endif
  }
  // The runs change into the folders; the folder cannot go while it is the current one.
  ~SevenZipTest() override { fs::current_path(fs::temp_directory_path()); }

  // The same tree in every directory: files with and without extensions, in
  // subfolders too.
  void Tree(const fs::path& dir) {
    for (const char* name :
         {"a.txt", "b.doc", "c.tmp", "d.log", "README", "Makefile", "sub/e.txt", "sub/f.tmp",
          "sub/deeper/g.log", "sub/deeper/NOTES", "sub/deeper/h.tmp", "odd name's $x & y.txt"}) {
      fs::create_directories((dir / name).parent_path());
      std::ofstream(dir / name) << name;
    }
  }

  static Files Expected(const fs::path& dir, const std::set<std::string>& only,
                        const std::set<std::string>& without) {
    Files files;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
      if (!entry.is_regular_file()) continue;
      const std::string ext = entry.path().extension().string();
      if (!only.empty() && !only.count(ext)) continue;
      if (without.count(ext)) continue;
      files.insert(fs::relative(entry.path(), dir).string());
    }
    return files;
  }

  test::TPosixDay day;
  test::TTempFolder temp{"7z"};
  const fs::path& root = temp.Path();
};

TEST_F(SevenZipTest, ArchivesHoldExactlyWhatTheRulesSelect) {
  TbkManager m;
  if (!Apply7ZipOptions(m)) GTEST_SKIP() << "7zz is not installed (scripts/setup installs it)";
  m.SetOutputPath((root / "out").string());
  m.SetSubDirNamePattern("yyyy-mm-dd");
  TbkRule* texts = m.Rules()->Add();
  texts->SetName("Texts");
  texts->SetCategory(ecInclude);
  texts->Extensions()->Add()->SetExt("*.txt");
  texts->Extensions()->Add()->SetExt("*.doc");
  TbkRule* source = m.Rules()->Add();
  source->SetName("Source");
  source->SetCategory(ecExclude);
  source->Extensions()->Add()->SetExt("*.tmp");
  TbkExtension* inactive = source->Extensions()->Add();
  inactive->SetExt("*.log");
  inactive->SetActive(false);

  struct Case {
    std::string dir, rule;
    Files expected;
  };
  std::vector<Case> cases = {{"include", "Texts"},
                             {"exclude", "SOURCE"},
                             {"missing rule", "Gone"},
                             {"it's \"odd\" $HOME & B\xC3\xBC"
                              "cher",
                              ""}};
  for (Case& c : cases) {
    const fs::path dir = root / "trees" / c.dir;
    Tree(dir);
    c.expected = c.rule == "Texts"    ? Expected(dir, {".txt", ".doc"}, {})
                 : c.rule == "SOURCE" ? Expected(dir, {}, {".tmp"})
                                      : Expected(dir, {}, {});
    TbkDirectory* d = m.Directories()->Add();
    d->SetPath(dir.string());
    d->SetRuleName(c.rule);
  }
  // The rules really select: no case is the whole tree by accident.
  EXPECT_EQ(cases[0].expected.size(), 4u);
  EXPECT_EQ(cases[1].expected.size(), 9u);
  EXPECT_EQ(cases[2].expected.size(), 12u);

  for (int i = 0; i < m.Directories()->Count(); ++i) {
    EXPECT_EQ(RunDirectoryAndWait(m, *m.Directories()->Items(i)), 0) << cases[i].dir;
  }
  const fs::path dated = root / "out" / "2026-12-08";
  for (size_t i = 0; i < cases.size(); ++i) {
    const std::string name = PathToFileName((root / "trees" / cases[i].dir).string()) + ".7z";
    EXPECT_EQ(Listing((dated / name).string()), cases[i].expected) << cases[i].dir;
  }

  // The script does the same into another folder, given relative to each
  // directory.
  m.SetOutputPath("../../scripted");
  const fs::path script = root / "all.sh";
  WriteBatchFile(script.string(), GetBatchLinesForAll(m));
  ASSERT_EQ(std::system(("/bin/sh '" + script.string() + "' > /dev/null").c_str()), 0);
  for (size_t i = 0; i < cases.size(); ++i) {
    const std::string name = PathToFileName((root / "trees" / cases[i].dir).string()) + ".7z";
    EXPECT_EQ(Listing((root / "scripted" / "2026-12-08" / name).string()), cases[i].expected)
        << "script, " << cases[i].dir;
  }
}

TEST_F(SevenZipTest, RelativeOutputPathIsTakenFromTheDirectory) {
  TbkManager m;
  if (!Apply7ZipOptions(m)) GTEST_SKIP() << "7zz is not installed (scripts/setup installs it)";
  m.SetOutputPath("../archives");
  const fs::path dir = root / "tree";
  Tree(dir);
  TbkDirectory* d = m.Directories()->Add();
  d->SetPath(dir.string());
  EXPECT_EQ(RunDirectoryAndWait(m, *d), 0);
  EXPECT_EQ(Listing((root / "archives" / (PathToFileName(dir.string()) + ".7z")).string()),
            Expected(dir, {}, {}));
}

}  // namespace
}  // namespace pw
