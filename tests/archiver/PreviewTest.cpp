// The preview of a job: the matcher of each dialect, the walk, and the
// preview against what the real 7-Zip puts in the archive.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <tuple>

#include "archiver/ArchiveCommands.h"
#include "archiver/ArchiveJob.h"
#include "archiver/ArchiveJobs.h"
#include "archiver/ArchiverDetection.h"
#include "archiver/NightPlan.h"
#include "archiver/PosixScripts.h"
#include "archiver/Preview.h"
#include "platform/FileSystem.h"
#include "platform/TextCodec.h"
#include "platform/fakes/Fakes.h"
#include "tests/archiver/PosixDay.h"
#include "tests/archiver/SevenZipListing.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

namespace fs = std::filesystem;
using Files = std::set<std::string>;

bool Matches7Zip(const std::string& mask, const std::string& name, bool caseSensitive = true) {
  return MaskMatchesName(mask, name, TMaskDialect::md7Zip, caseSensitive);
}
bool MatchesWindows(const std::string& mask, const std::string& name) {
  return MaskMatchesName(mask, name, TMaskDialect::mdWindows, false);
}

// ---- The matchers ---------------------------------------------------------------

TEST(PreviewMatcherTest, SevenZipHasStarAndQuestionMarkOnly) {
  EXPECT_TRUE(Matches7Zip("*", "README"));
  EXPECT_TRUE(Matches7Zip("*", ".hidden"));
  EXPECT_TRUE(Matches7Zip("*.txt", "a.txt"));
  EXPECT_TRUE(Matches7Zip("*.txt", "a.b.txt"));
  EXPECT_TRUE(Matches7Zip("*.txt", ".txt"));
  EXPECT_FALSE(Matches7Zip("*.txt", "a.txt.bak"));
  EXPECT_FALSE(Matches7Zip("*.txt", "atxt"));
  // "*.*" is no special case: it wants a dot.
  EXPECT_TRUE(Matches7Zip("*.*", "a.txt"));
  EXPECT_TRUE(Matches7Zip("*.*", "name."));
  EXPECT_FALSE(Matches7Zip("*.*", "README"));
  // "?" is exactly one character, a character of several bytes too.
  EXPECT_TRUE(Matches7Zip("?.txt", "a.txt"));
#ifdef _WIN32
  EXPECT_TRUE(Matches7Zip("?.txt", "\xF1.txt"));  // the ANSI code page's n with tilde
#else
  EXPECT_TRUE(Matches7Zip("?.txt", "\xC3\xB1.txt"));
  EXPECT_TRUE(Matches7Zip("?.txt", "\xE6\x97\xA5.txt"));
#endif
  EXPECT_FALSE(Matches7Zip("?.txt", ".txt"));
  EXPECT_FALSE(Matches7Zip("?.txt", "ab.txt"));
  EXPECT_TRUE(Matches7Zip("a?c", "abc"));
  EXPECT_FALSE(Matches7Zip("a?c", "ac"));
  // Brackets and the rest are plain characters.
  EXPECT_TRUE(Matches7Zip("[ab].txt", "[ab].txt"));
  EXPECT_FALSE(Matches7Zip("[ab].txt", "a.txt"));
  EXPECT_TRUE(Matches7Zip("* *", "a b"));
  EXPECT_FALSE(Matches7Zip("* *", "ab"));
  EXPECT_TRUE(Matches7Zip("*a*b*", "xxaxxbxx"));
  EXPECT_FALSE(Matches7Zip("*a*b*", "xxbxxaxx"));
  EXPECT_TRUE(Matches7Zip("**.c", "x.c"));
}

TEST(PreviewMatcherTest, SevenZipCaseMattersOnlyWhenAskedTo) {
  EXPECT_FALSE(Matches7Zip("*.txt", "B.TXT"));
  EXPECT_FALSE(Matches7Zip("readme", "README"));
  EXPECT_TRUE(Matches7Zip("*.txt", "B.TXT", false));
  EXPECT_TRUE(Matches7Zip("readme", "README", false));
#ifdef _WIN32
  const std::string small = "\xFC", capital = "\xDC";  // in the ANSI code page
#else
  const std::string small = "\xC3\xBC", capital = "\xC3\x9C";
#endif
  EXPECT_TRUE(Matches7Zip(small + "*", capital + "ber", false));
  EXPECT_FALSE(Matches7Zip(small + "*", capital + "ber", true));
}

TEST(PreviewMatcherTest, WindowsWildcardsFollowFindFirstFile) {
  // "*.*" is every name, with or without a dot; "*." the names without one.
  for (const char* name : {"README", "a.txt", ".hidden", "a.b.c", "x y"}) {
    EXPECT_TRUE(MatchesWindows("*.*", name)) << name;
    EXPECT_TRUE(MatchesWindows("*", name)) << name;
  }
  EXPECT_TRUE(MatchesWindows("*.", "README"));
  EXPECT_FALSE(MatchesWindows("*.", "a.txt"));
  // Letter case never matters.
  EXPECT_TRUE(MatchesWindows("*.TXT", "a.txt"));
  EXPECT_TRUE(MatchesWindows("readme", "ReadMe"));
  // "?" before a dot or at the end also stands for no character.
  EXPECT_TRUE(MatchesWindows("a?", "a"));
  EXPECT_TRUE(MatchesWindows("a?", "ab"));
  EXPECT_FALSE(MatchesWindows("a?", "abc"));
  EXPECT_TRUE(MatchesWindows("???.txt", "ab.txt"));
  EXPECT_FALSE(MatchesWindows("???.txt", "abcd.txt"));
  EXPECT_TRUE(MatchesWindows("*.tx?", "a.tx"));
  EXPECT_TRUE(MatchesWindows("*.tx?", "a.txt"));
  EXPECT_FALSE(MatchesWindows("?.txt", ".txt") && !MatchesWindows("?.txt", "a.txt"));
  // A dot before "*" at the end also matches the end of the name.
  EXPECT_TRUE(MatchesWindows("readme.*", "readme"));
  EXPECT_TRUE(MatchesWindows("readme.*", "readme.md"));
  EXPECT_FALSE(MatchesWindows("readme.*", "readme2"));
  // "*.txt" ends at the last dot.
  EXPECT_TRUE(MatchesWindows("*.txt", "a.b.txt"));
  EXPECT_FALSE(MatchesWindows("*.txt", "a.txt.bak"));
  EXPECT_FALSE(MatchesWindows("*.doc", "a.docx"));
}

#ifdef _WIN32
// The Windows matcher against the system's own on the same names. The names
// are valid 8.3 names, so that no short name of another form can match in
// their place. Wine leaves out the rules of "?" before a dot or at the end
// and of "*." and ".?": those masks are compared on Windows only.
TEST(PreviewMatcherTest, WindowsMatcherAgreesWithFindFirstFile) {
  const test::TTempFolder temp("preview-win");
  const std::vector<std::string> names = {"README", "a.txt", "B.TXT",   "ab.txt", "abcd.txt",
                                          "a.tx",   "a.doc", "x_y.doc", "name",   "ab",
                                          "a",      "b.c",   "ABC.D"};
  for (const std::string& name : names) test::WriteFile(temp / name, "x");
  struct Case {
    std::string mask;
    bool dosRules;
  };
  const std::vector<Case> cases = {
      {"*", false},     {"*.*", false},   {"*.txt", false},  {"*.TXT", false},
      {"?.txt", false}, {"a*", false},    {"*b*", false},    {"*.doc", false},
      {"name", false},  {"x?y.*", false}, {"???.txt", true}, {"a?", true},
      {"*.", true},     {"*.tx?", true},  {"*.?", true},     {"abc.?", true}};
  const bool wine = test::UnderWine();
  for (const Case& c : cases) {
    if (wine && c.dosRules) continue;
    std::set<std::string> found;
    WIN32_FIND_DATAW data;
    const std::wstring pattern = (temp.Path() / c.mask).wstring();
    HANDLE find = FindFirstFileW(pattern.c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..") found.insert(fs::path(name).string());
      } while (FindNextFileW(find, &data));
      FindClose(find);
    }
    std::set<std::string> ours;
    for (const std::string& name : names) {
      if (MatchesWindows(c.mask, name)) ours.insert(name);
    }
    EXPECT_EQ(ours, found) << c.mask;
  }
}
#endif

// ---- The walk ------------------------------------------------------------------------

class PreviewWalkTest : public ::testing::Test {
 protected:
  void SetUp() override {
#ifdef _WIN32
    GTEST_SKIP() << "the walk's links are tried in the POSIX style";
#endif
    m.SetArchiverExeFileName("/usr/bin/7zz");
    m.SetArchiverParams("a -r");
    m.SetExcludeKey("-x!");
    m.SetOutputPath((temp / "out").string());
    m.SetSubDirNamePattern("");
  }

  static void Put(const fs::path& file, const std::string& text = "x") {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
  }

  TbkRule* Rule(const std::string& name, TExtensionCategory category,
                std::initializer_list<const char*> masks) {
    TbkRule* rule = m.Rules()->Add();
    rule->SetName(name);
    rule->SetCategory(category);
    for (const char* mask : masks) rule->Extensions()->Add()->SetExt(mask);
    return rule;
  }

  TPreviewRequest RequestOf(const fs::path& dir, const std::string& rule) {
    m.Directories()->Clear();
    TbkDirectory* d = m.Directories()->Add();
    d->SetPath(dir.string());
    d->SetRuleName(rule);
    return MakePreviewRequest(m, JobOfDirectory(m, *d, GetArchiveDirectory(m, false)));
  }
  TPreview Of(const fs::path& dir, const std::string& rule, const TPreviewProgress& progress = {}) {
    return Preview(RequestOf(dir, rule), progress);
  }

  static Files Paths(const TPreview& p) {
    Files files;
    for (const TPreviewFile& f : p.files) files.insert(f.path);
    EXPECT_EQ(files.size(), p.files.size()) << "a file listed twice";
    return files;
  }

  test::TPosixDay day;
  test::TTempFolder temp{"preview"};
  TbkManager m;
};

// A folder whose name a mask matches is taken, or left out, with everything
// in it, at any depth; the counts go to the first mask that matched.
TEST_F(PreviewWalkTest, MasksMatchNamesAndFoldersAtAnyDepth) {
  const fs::path dir = temp / "tree";
  Put(dir / "a.txt", "12345");
  Put(dir / "B.TXT");
  Put(dir / "README");
  Put(dir / "docs.txt" / "inner.bin", "123");
  Put(dir / "sub" / "deep" / "c.txt", "1234567");
  Put(dir / "sub" / "deep" / "d.log");
  Put(dir / ".hidden.txt");
  Rule("Texts", ecInclude, {"*.txt", "*.log"});
  Rule("NoTexts", ecExclude, {"*.log", "*.txt"});

  TPreview p = Of(dir, "Texts");
  EXPECT_EQ(Paths(p), (Files{".hidden.txt", "a.txt", "docs.txt/inner.bin", "sub/deep/c.txt",
                             "sub/deep/d.log"}));
  EXPECT_FALSE(p.excluding);
  ASSERT_EQ(p.masks.size(), 2u);
  EXPECT_EQ(p.masks[0].mask, "*.txt");
  EXPECT_EQ(p.masks[0].files, 4);
  EXPECT_EQ(p.masks[0].bytes, 1 + 5 + 3 + 7);
  EXPECT_EQ(p.masks[1].files, 1);
  EXPECT_EQ(p.totalFiles, 5);
  EXPECT_EQ(p.totalBytes, 1 + 5 + 3 + 7 + 1);
  for (const TPreviewFile& f : p.files) EXPECT_EQ(f.mask, f.path == "sub/deep/d.log" ? 1 : 0);

  p = Of(dir, "NoTexts");
  EXPECT_TRUE(p.excluding);
  EXPECT_EQ(Paths(p), (Files{"B.TXT", "README"}));
  EXPECT_EQ(p.masks[0].files, 1);  // d.log
  EXPECT_EQ(p.masks[1].files, 4);  // the texts and docs.txt's file
  EXPECT_EQ(p.masks[1].bytes, 1 + 5 + 3 + 7);
  for (const TPreviewFile& f : p.files) EXPECT_EQ(f.mask, -1);

  // No rule, a missing one, and one without an active mask take everything.
  const Files everything = {".hidden.txt",        "B.TXT",          "README",        "a.txt",
                            "docs.txt/inner.bin", "sub/deep/c.txt", "sub/deep/d.log"};
  EXPECT_EQ(Paths(Of(dir, "")), everything);
  EXPECT_EQ(Paths(Of(dir, "Gone")), everything);
  TbkRule* idle = Rule("Idle", ecInclude, {"*.txt"});
  idle->Extensions()->Items(0)->SetActive(false);
  p = Of(dir, "Idle");
  EXPECT_EQ(Paths(p), everything);
  EXPECT_TRUE(p.masks.empty());
  EXPECT_EQ(p.totalFiles, 7);
}

// Without "-r" 7-Zip matches in the directory itself only, with "-r0" only
// masks with wildcards reach further down; its own switches count too.
TEST_F(PreviewWalkTest, TheParametersDecideRecursionCaseAndMore) {
  const fs::path dir = temp / "tree";
  for (const char* name :
       {"a.txt", "A.TXT", "sub/b.txt", "sub/README", "README", "x.tmp", "sub/y.tmp"}) {
    Put(dir / name);
  }
  Rule("Texts", ecInclude, {"*.txt", "README"});
  m.SetArchiverParams("a");
  EXPECT_EQ(Paths(Of(dir, "Texts")), (Files{"README", "a.txt"}));
  m.SetArchiverParams("a -r0");
  EXPECT_EQ(Paths(Of(dir, "Texts")), (Files{"README", "a.txt", "sub/b.txt"}));
  m.SetArchiverParams("a -r -ssc-");
  const TPreview folded = Of(dir, "Texts");
  EXPECT_EQ(Paths(folded), (Files{"A.TXT", "README", "a.txt", "sub/README", "sub/b.txt"}));
  // Compared without case, "A.TXT" and "a.txt" are one name to 7-Zip, which
  // then refuses to make the archive.
  ASSERT_EQ(folded.warnings.size(), 1u);
  EXPECT_EQ(folded.warnings[0].substr(0, folded.warnings[0].find(':')), "A.TXT and a.txt");
  m.SetArchiverParams("a -r");
  EXPECT_TRUE(Of(dir, "Texts").warnings.empty());
  m.SetArchiverParams("a -r '-x!sub/*.txt' -xr-!README");
  EXPECT_EQ(Paths(Of(dir, "Texts")), (Files{"a.txt", "sub/README"}));
  m.SetArchiverParams("a -r -x@list.txt");
  EXPECT_TRUE(Of(dir, "Texts").approximate);
  m.SetArchiverParams("a -r");
  EXPECT_FALSE(Of(dir, "Texts").approximate);
  m.SetArchiverExeFileName("/usr/bin/mystery");
  EXPECT_TRUE(Of(dir, "Texts").approximate);
}

// The archive folder inside the directory stays out, and what is in it
// counts for no mask.
TEST_F(PreviewWalkTest, ArchiveFolderInsideIsLeftOut) {
  const fs::path dir = temp / "tree";
  Put(dir / "a.tmp");
  Put(dir / "b.txt");
  Put(dir / "MyArchives" / "old.tmp");
  Put(dir / "sub" / "MyArchives" / "kept.tmp");
  Rule("NoTemp", ecExclude, {"*.tmp"});
  m.SetOutputPath((dir / "MyArchives").string());
  const TPreview p = Of(dir, "NoTemp");
  EXPECT_EQ(Paths(p), (Files{"b.txt"}));
  EXPECT_EQ(p.masks[0].files, 2);  // a.tmp and sub/MyArchives/kept.tmp
}

// 7-Zip follows every link to a folder, as often as it is met; the preview
// walks each folder once, in the walk's order after the folders themselves,
// and says where the archive holds a folder once more or without end.
TEST_F(PreviewWalkTest, LinksAreFollowedAndEachFolderIsWalkedOnce) {
  const fs::path dir = temp / "tree";
  Put(dir / "real" / "f.txt", "123");
  Put(dir / "g.txt", "12345");
  Put(dir / "b" / "h.txt");
  Put(temp / "outside" / "x.txt");
  fs::create_directory_symlink("real", dir / "again");      // reached twice
  fs::create_symlink("g.txt", dir / "link.txt");            // a file through a link
  fs::create_symlink("nowhere", dir / "dangling.txt");      // leads nowhere
  fs::create_directory_symlink("..", dir / "real" / "up");  // back into its parent
  // A web: folders that lead to each other, and twice out of the tree to a
  // folder that leads back into it.
  fs::create_directory_symlink("../b", dir / "real" / "toB");
  fs::create_directory_symlink("../real", dir / "b" / "toReal");
  fs::create_directory_symlink("../../outside", dir / "b" / "toOut");
  fs::create_directory_symlink("../outside", dir / "out");
  fs::create_directory_symlink("../tree", temp / "outside" / "back");
  TPreview p = Of(dir, "");
  EXPECT_EQ(Paths(p), (Files{"b/h.txt", "b/toOut/x.txt", "g.txt", "link.txt", "real/f.txt"}));
  for (const TPreviewFile& f : p.files) {
    if (f.path == "link.txt") {
      EXPECT_EQ(f.bytes, 5);
    }
  }
  const std::string again = ": a link to a folder the preview has taken already, at ";
  const std::string loop =
      ": a link back into a folder above it; the archiver would follow it without end";
  EXPECT_EQ(p.warnings,
            (std::vector<std::string>{
                "again" + again + "real; the archiver takes it once more", "b/toOut/back" + loop,
                "b/toReal" + again + "real; the archiver takes it once more",
                "dangling.txt: a link that leads nowhere; the archiver leaves it out",
                "out" + again + "b/toOut; the archiver takes it once more",
                "real/toB" + again + "b; the archiver takes it once more", "real/up" + loop}));

  // With -snl 7-Zip keeps links as links: each is a file of its own.
  m.SetArchiverParams("a -r -snl");
  p = Of(dir, "");
  EXPECT_EQ(Paths(p), (Files{"again", "b/h.txt", "b/toOut", "b/toReal", "dangling.txt", "g.txt",
                             "link.txt", "out", "real/f.txt", "real/toB", "real/up"}));
  EXPECT_TRUE(p.warnings.empty());
}

// A folder or a file that cannot be read contributes nothing and is named
// in a warning, as 7-Zip warns of it and leaves it out. The superuser reads every folder, so there
// the preview runs in a child process as the user nobody.
// What 7-Zip does with what is no plain file or no plain mask: a pipe is
// stored with no size, an exclude with a "." step leaves nothing out, a name
// that is no UTF-8 is matched in 7-Zip's own way, and a path longer than the
// system opens is left out.
TEST_F(PreviewWalkTest, PipesDotStepsOddNamesAndLongPathsAsTheArchiverTakesThem) {
#ifndef _WIN32
  const fs::path dir = temp / "tree";
  Put(dir / "a.txt");
  Put(dir / "sub" / "x.txt");
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0644), 0);
  TPreview p = Of(dir, "");
  EXPECT_EQ(Paths(p), (Files{"a.txt", "pipe", "sub/x.txt"}));
  EXPECT_EQ(p.totalBytes, 2);

  Rule("DotOut", ecExclude, {"./sub", "*.none"});
  p = Of(dir, "DotOut");
  EXPECT_EQ(Paths(p), (Files{"a.txt", "pipe", "sub/x.txt"}));
  EXPECT_EQ(p.masks.at(0).files, 0);
  EXPECT_EQ(p.warnings, (std::vector<std::string>{
                            "The exclude mask './sub' has a '.' step, which 7-Zip ignores: "
                            "write it without"}));

  const fs::path odd = temp / "odd";
  Put(odd / "\xC0\xAF.txt");
  Put(odd / "\xC3\xA9.txt");
  Rule("One", ecInclude, {"?.txt"});
  p = Of(odd, "One");
  EXPECT_EQ(Paths(p), (Files{"\xC3\xA9.txt"}));
  EXPECT_EQ(p.warnings, (std::vector<std::string>{
                            "\xC0\xAF.txt: its name is no UTF-8; the archiver may match the "
                            "masks otherwise"}));

  // Relative paths of 4,095 and 4,096 bytes.
  // (Made from inside, where no name the system is given is too long.)
  const fs::path deep = temp / "deep";
  fs::create_directories(deep);
  std::string relative;
  for (int i = 0; i < 20; ++i) relative += std::string(200, 'd') + "/";
  const std::string shorter(4095 - relative.size(), 'a');
  const std::string longer(4096 - relative.size(), 'b');
  ASSERT_EQ(std::system(("cd '" + deep.string() + "' && mkdir -p " + relative + " && cd " +
                         relative + " && echo > " + shorter + " && echo > " + longer)
                            .c_str()),
            0);
  p = Of(deep, "");
  EXPECT_EQ(Paths(p), (Files{relative + shorter}));
  ASSERT_EQ(p.warnings.size(), 1u);
  EXPECT_NE(p.warnings[0].find("its path is too long for the system"), std::string::npos);
#endif
}

TEST_F(PreviewWalkTest, UnreadableFoldersAreWarnedAbout) {
#ifndef _WIN32
  const fs::path dir = temp / "tree";
  Put(dir / "a.txt");
  Put(dir / "locked" / "b.txt");
  Put(dir / "open" / "c.txt");
  Put(dir / "unsearchable" / "d.txt");
  for (const fs::path& p : {temp.Path(), dir, dir / "open"}) {
    fs::permissions(p, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                           fs::perms::others_read | fs::perms::others_exec);
  }
  fs::permissions(dir / "locked", fs::perms::none);
  // Its names can be listed, but nothing in it looked at.
  fs::permissions(dir / "unsearchable", fs::perms::owner_all | fs::perms::others_read);
  Put(dir / "secret.txt");
  fs::permissions(dir / "secret.txt", fs::perms::none);
  m.Directories()->Clear();
  TbkDirectory* d = m.Directories()->Add();
  d->SetPath(dir.string());
  const TPreviewRequest request =
      MakePreviewRequest(m, JobOfDirectory(m, *d, GetArchiveDirectory(m, false)));
  const TPreviewRequest top = RequestOf(dir / "unsearchable", "");

  const bool root = ::geteuid() == 0;
  int pipe[2];
  ASSERT_EQ(::pipe(pipe), 0);
  const pid_t child = root ? ::fork() : 0;
  if (child == 0) {
    ::close(pipe[0]);
    if (root && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
    const TPreview p = Preview(request);
    std::string text;
    for (const TPreviewFile& f : p.files) text += "file " + f.path + "\n";
    for (const std::string& w : p.warnings) text += "warning " + w + "\n";
    text += "error " + Preview(top).error + "\n";
    const bool written =
        ::write(pipe[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(pipe[1]);
    if (root) ::_exit(written ? 0 : 3);
  }
  ::close(pipe[1]);
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = ::read(pipe[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  ::close(pipe[0]);
  if (root) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  fs::permissions(dir / "locked", fs::perms::owner_all);
  fs::permissions(dir / "unsearchable", fs::perms::owner_all);
  EXPECT_EQ(text,
            "file a.txt\nfile open/c.txt\nwarning locked: cannot be read\n"
            "warning secret.txt: cannot be read; the archiver leaves it out\n"
            "warning unsearchable: cannot be entered\n"
            "error Cannot enter the directory " +
                (dir / "unsearchable").string() + "\n");
#endif
}

// A tree deeper than the stack of calls could walk, with fewer descriptors
// than levels: as far as 7-Zip goes, where the path grows too long for the
// system. (Made in memory where it can be: a disk takes a minute to take
// such a tree apart.)
TEST_F(PreviewWalkTest, ADeepTreeIsWalkedWithAFewDescriptors) {
#ifndef _WIN32
  char memory[] = "/dev/shm/pw-deep-XXXXXX";
  const fs::path dir = ::mkdtemp(memory) ? fs::path(memory) : temp / "deep";
  fs::create_directories(dir);
  Put(dir / "top.txt");
  constexpr int kLevels = 20000;
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  for (int i = 0; i < kLevels && fd >= 0; ++i) {
    const int below = ::mkdirat(fd, "d", 0755) == 0 ? ::openat(fd, "d", O_RDONLY) : -1;
    ::close(fd);
    fd = below;
  }
  ASSERT_GE(fd, 0);
  const TPreviewRequest request = RequestOf(dir, "");
  ASSERT_EQ(request.longestPath, 4095u);
  struct rlimit limit;
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
  struct rlimit few = limit;
  few.rlim_cur = 64;
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &few), 0);
  const TPreview p = Preview(request);
  ::setrlimit(RLIMIT_NOFILE, &limit);
  EXPECT_EQ(Paths(p), (Files{"top.txt"}));
  ASSERT_EQ(p.warnings.size(), 1u);
  EXPECT_EQ(p.warnings[0].substr(0, 8), "d/d/d/d/");
  EXPECT_NE(p.warnings[0].find("its path is too long for the system"), std::string::npos);

  // Taken apart from below, as deep as it is.
  for (int i = 0; i < kLevels; ++i) {
    const int up = ::openat(fd, "..", O_RDONLY | O_DIRECTORY);
    ::close(fd);
    ASSERT_GE(up, 0);
    ASSERT_EQ(::unlinkat(up, "d", AT_REMOVEDIR), 0);
    fd = up;
  }
  ::close(fd);
  fs::remove_all(dir);
#endif
}

// Each reason why a folder gives nothing is named: the folder may not be
// entered, the process has no more room for open files, the path is too
// long.
TEST(PreviewFailures, TheCauseIsNamed) {
  fakes::FakeFileSystem files;
  files.listings["C:\\d"] = {{"a", true}, {"b", true}, {"c", true}, {"x.txt", false}};
  for (const char* sub : {"a", "b", "c"}) {
    files.listings[std::string("C:\\d\\") + sub] = {{"in.txt", false}};
  }
  files.folderFailures = {{"C:\\d\\a", TFolderFailure::ffNotEntered},
                          {"C:\\d\\b", TFolderFailure::ffTooManyOpen},
                          {"C:\\d\\c", TFolderFailure::ffPathTooLong}};
  const ScopedOverride<IFileSystem> fake(files);
  TPreviewRequest request;
  request.root = "C:\\d";
  request.separator = '\\';
  request.includes.push_back({{}, {"*"}});
  TPreview p = Preview(request);
  EXPECT_EQ(p.files.size(), 1u);
  EXPECT_EQ(p.warnings,
            (std::vector<std::string>{
                "a: cannot be entered", "b: cannot be opened: too many files are open",
                "c...: its path is too long for the system; the archiver leaves it out"}));

  files.folderFailures = {{"C:\\d", TFolderFailure::ffNotEntered}};
  request.job.workingDirectory = "C:\\d";
  p = Preview(request);
  EXPECT_EQ(p.error, "Cannot enter the directory C:\\d");
  files.folderFailures = {{"C:\\d", TFolderFailure::ffUnreadable}};
  EXPECT_EQ(Preview(request).error, "Cannot read the directory C:\\d");
}

TEST_F(PreviewWalkTest, ProgressIsReportedAndCanStopTheWalk) {
  const fs::path dir = temp / "tree";
  for (int d = 0; d < 15; ++d) fs::create_directories(dir / std::to_string(d));
  for (int i = 0; i < 1500; ++i) {
    std::ofstream(dir / std::to_string(i / 100) / (std::to_string(i) + ".txt")) << "x";
  }
  int calls = 0;
  int64_t last = 0;
  TPreview p = Of(dir, "", [&](int64_t files, const std::string&) {
    ++calls;
    EXPECT_GT(files, last);
    last = files;
    return true;
  });
  EXPECT_FALSE(p.cancelled);
  EXPECT_EQ(p.totalFiles, 1500);
  EXPECT_GE(calls, 2);
  EXPECT_LE(calls, 15);

  p = Of(dir, "", [&](int64_t files, const std::string&) { return files < 500; });
  EXPECT_TRUE(p.cancelled);
  EXPECT_GE(p.totalFiles, 500);
  EXPECT_LT(p.totalFiles, 1100);
}

// A tree of several folders is walked on every core, and still the files
// and warnings come in the one walk's order: depth first, names in order.
TEST_F(PreviewWalkTest, FilesAndWarningsComeInWalkOrder) {
  const fs::path dir = temp / "tree";
  Put(dir / "0.txt");
  Put(dir / "z.txt");
  std::vector<std::string> order = {"0.txt"};
  for (const char* top : {"a", "b", "c", "d"}) {
    for (const char* file : {"2.txt", "x/1.txt", "x/y/3.txt"}) {
      Put(dir / top / file);
      order.push_back(std::string(top) + "/" + file);
    }
  }
  order.push_back("z.txt");
  fs::create_symlink(dir / "nowhere", dir / "b" / "gone");
  fs::create_symlink(dir / "nowhere", dir / "d" / "gone");
  for (int round = 0; round < 3; ++round) {
    const TPreview p = Of(dir, "");
    std::vector<std::string> walked;
    for (const TPreviewFile& f : p.files) walked.push_back(f.path);
    EXPECT_EQ(walked, order);
    EXPECT_EQ(p.totalFiles, static_cast<int64_t>(order.size()));
    ASSERT_EQ(p.warnings.size(), 2u);
    EXPECT_EQ(p.warnings[0].rfind("b/gone:", 0), 0u) << p.warnings[0];
    EXPECT_EQ(p.warnings[1].rfind("d/gone:", 0), 0u) << p.warnings[1];
  }
}

TEST_F(PreviewWalkTest, AJobThatCannotRunIsNotWalked) {
  const fs::path dir = temp / "tree";
  Put(dir / "a.txt");
  m.Directories()->Clear();
  for (int i = 0; i < 2; ++i) m.Directories()->Add()->SetPath(dir.string());
  const std::vector<TArchiveJob> jobs = MakeArchiveJobs(m, GetArchiveDirectory(m, false));
  const TPreview p = Preview(MakePreviewRequest(m, jobs[0]));
  EXPECT_NE(p.error.find("neither is archived"), std::string::npos) << p.error;
  EXPECT_TRUE(p.files.empty());

  m.Directories()->Clear();
  m.Directories()->Add()->SetPath("relative/path");
  const TPreview q =
      Preview(MakePreviewRequest(m, MakeArchiveJobs(m, GetArchiveDirectory(m, false))[0]));
  EXPECT_EQ(q.error, "The directory's path is not absolute");

  const TPreview gone = Of(temp / "missing", "");
  EXPECT_NE(gone.error.find("Cannot read"), std::string::npos);
}

// The Windows style hands WinRAR the masks with the directory's path; the
// names of files are matched, without regard to case, and "*.*" is all. Runs
// on Windows too, where the walk is the system's own.
TEST(PreviewWindowsTest, WindowsDialectMatchesFileNamesOnly) {
  fakes::FixedPathStyle windows{TPathStyle::psWindows};
  const ScopedOverride<IPathStyle> useWindows(windows);
  const test::TTempFolder temp("preview-rar");
  const fs::path dir = temp / "tree";
  for (const char* name : {"a.TXT", "b.txt", "README", "docs.txt/inner.bin", "sub/c.Txt"}) {
    fs::create_directories((dir / name).parent_path());
    test::WriteFile(dir / name, "x");
  }
  TbkManager m;
  m.SetArchiverExeFileName("C:\\Program Files\\WinRAR\\WinRAR.exe");
  m.SetArchiverParams("a -r");
  m.SetExcludeKey("-x");
  m.SetOutputPath("D:\\Archives");
  for (const auto& [name, category, mask] : {std::tuple{"Texts", ecInclude, "*.txt"},
                                             {"All", ecInclude, "*.*"},
                                             {"NoTexts", ecExclude, "*.txt"}}) {
    TbkRule* rule = m.Rules()->Add();
    rule->SetName(name);
    rule->SetCategory(category);
    rule->Extensions()->Add()->SetExt(mask);
  }
  TbkDirectory* d = m.Directories()->Add();
  d->SetPath(dir.string());
  const auto of = [&](const char* rule) {
    d->SetRuleName(rule);
    const TPreview p = Preview(MakePreviewRequest(m, JobOfDirectory(m, *d, "D:\\Archives")));
    EXPECT_EQ(p.dialect, TMaskDialect::mdWindows);
    EXPECT_FALSE(p.approximate);
    Files files;
    for (const TPreviewFile& f : p.files) files.insert(f.path);
    return files;
  };
  EXPECT_EQ(of("Texts"), (Files{"a.TXT", "b.txt", "sub\\c.Txt"}));
  EXPECT_EQ(of("All").size(), 5u);
  EXPECT_EQ(of("NoTexts"), (Files{"README", "docs.txt\\inner.bin"}));

  // The archive folder inside the directory is left out; a folder of that
  // name further down is not.
  test::WriteFile(dir / "sub" / "Archives", "x");
  fs::create_directories(dir / "Archives");
  test::WriteFile(dir / "Archives" / "old.rar", "x");
  m.SetOutputPath(d->Path() + "\\Archives");
  d->SetRuleName("");
  const TArchiveJob job = JobOfDirectory(m, *d, m.OutputPath());
  ASSERT_EQ(job.excludes.size(), 1u);
  const TPreview p = Preview(MakePreviewRequest(m, job));
  Files files;
  for (const TPreviewFile& f : p.files) files.insert(f.path);
  EXPECT_EQ(files, (Files{"README", "a.TXT", "b.txt", "docs.txt\\inner.bin", "sub\\Archives",
                          "sub\\c.Txt"}));
}

#ifdef _WIN32
// The archiver reads names in Unicode: a folder or a file whose name the ANSI
// code page cannot spell is taken like any other, shown with "?" for what it
// cannot spell, and such names are not taken for names alike but for case.
TEST(PreviewWindowsTest, NamesBeyondTheAnsiCodePageAreWalked) {
  fakes::FixedPathStyle windows{TPathStyle::psWindows};
  const ScopedOverride<IPathStyle> useWindows(windows);
  const test::TTempFolder temp("preview-unicode");
  const fs::path dir = temp / "tree";
  // Japanese and Polish, which no Western code page spells.
  const std::u16string japan = u"\u65E5\u672C", lodz = u"\u0141\u00F3d\u017A";
  const fs::path sub = dir / japan / lodz;
  fs::create_directories(sub);
  test::WriteFile(dir / japan / "a.txt", "123");
  test::WriteFile(sub / "b.txt", "12345");
  const std::u16string one = japan.substr(0, 1) + u"a.txt", other = japan.substr(1, 1) + u"A.txt";
  test::WriteFile(dir / one, "1234567");
  test::WriteFile(dir / other, "1");
  TbkManager m;
  m.SetArchiverExeFileName("C:\\Program Files\\7-Zip\\7z.exe");
  m.SetArchiverParams("a -r");
  m.SetOutputPath(test::ProgramPath(temp / "out"));
  TbkDirectory* d = m.Directories()->Add();
  d->SetPath(test::ProgramPath(dir));
  const TPreview p = Preview(MakePreviewRequest(m, JobOfDirectory(m, *d, m.OutputPath())));
  std::string warnings;
  for (const std::string& w : p.warnings) warnings += w + "\n";
  EXPECT_EQ(warnings, "");
  Files files;
  for (const TPreviewFile& f : p.files) files.insert(f.path);
  const auto shown = [](const std::u16string& path) { return Utf16ToLocal8Bit(path); };
  // In a Western code page the last two show as "?a.txt" and "?A.txt".
  EXPECT_EQ(files, (Files{shown(japan + u"\\a.txt"), shown(japan + u"\\" + lodz + u"\\b.txt"),
                          shown(one), shown(other)}));
  EXPECT_EQ(p.totalFiles, 4);
  EXPECT_EQ(p.totalBytes, 3 + 5 + 7 + 1);
}
#endif

// ---- The preview against the archive ------------------------------------------------

// The files (not the folders) that 7-Zip lists in an archive.
Files Listing(const fs::path& archive) {
  return test::ListedFiles(
      test::CommandOutput("7zz l -slt " + QuotePosixWord(archive.string()) + " 2>&1 </dev/null"));
}

// Random small trees and rules, each archived by the real 7-Zip from the
// job's own arguments and compared with its preview.
TEST_F(PreviewWalkTest, PreviewEqualsWhatSevenZipArchivesOnRandomTrees) {
  if (!Apply7ZipOptions(m)) GTEST_SKIP() << "7zz is not installed (scripts/setup installs it)";
  uint32_t seed = 20261208;
  if (const char* given = std::getenv("PW_PREVIEW_SEED"))
    seed = static_cast<uint32_t>(std::stoul(given));
  const std::vector<std::string> names = {"a.txt",
                                          "B.TXT",
                                          "c.Txt",
                                          "README",
                                          "readme",
                                          "Makefile",
                                          ".hidden",
                                          ".config.txt",
                                          "notes.",
                                          "x y.txt",
                                          " lead.log",
                                          "trail .log",
                                          "\xC3\x9C"
                                          "ber.txt",
                                          "\xC3\xB1.txt",
                                          "\xE6\x97\xA5\xE6\x9C\xAC.TXT",
                                          "data.tmp",
                                          "data",
                                          "docs.txt",
                                          "a.b.c",
                                          "z.log",
                                          "q.tmp",
                                          "ab",
                                          "a",
                                          "[x].txt"};
  const std::vector<std::string> masks = {
      "*.txt", "*.TXT", "*.*", "*", "?.txt", "a*", "*b*", "*.", "data*", "\xC3\x9C*", "* *", ".*",
      "README", "*.tmp", "*.log", "?", "??", "docs.txt", "*.?", "[x].txt", "*.T?T",
      // Masks with folders: fixed leading folders, wildcards in folders, a
      // mask for folders only.
      "data/*.txt", "*/a.txt", "docs.txt/", "a*/*", "README/?", "-x*"};
  const std::vector<std::string> params = {"a -r",
                                           "a -r",
                                           "a -r",
                                           "a -r",
                                           "a -r -snl",
                                           "a",
                                           "a -r0",
                                           "a -r -ssc-",
                                           "a -r -x!*.log",
                                           "a -r -xr-!data -i!*.tmp",
                                           "a -r -x!*/README"};
  const fs::path trees = temp / "random";
  int compared = 0, caseTwins = 0;
  for (int i = 0; i < 120; ++i) {
    std::seed_seq seeds{seed, static_cast<uint32_t>(i)};
    std::mt19937 random(seeds);
    const auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
    const fs::path dir = trees / ("t" + std::to_string(i));
    // Folders first, then files and links among them.
    std::vector<fs::path> folders = {dir};
    for (int f = 0, n = static_cast<int>(pick(5)); f < n; ++f) {
      const fs::path folder = folders[pick(folders.size())] / names[pick(names.size())];
      if (fs::exists(folder)) continue;
      fs::create_directories(folder);
      folders.push_back(folder);
    }
    std::vector<fs::path> files;
    for (int f = 0, n = 1 + static_cast<int>(pick(12)); f < n; ++f) {
      const fs::path file = folders[pick(folders.size())] / names[pick(names.size())];
      if (fs::exists(file)) continue;
      Put(file, std::string(pick(50), 'x'));
      files.push_back(file);
    }
    if (pick(3) == 0 && !files.empty()) {
      const fs::path link = dir / ("l" + names[pick(names.size())]);
      if (!fs::exists(fs::symlink_status(link)))
        fs::create_symlink(files[pick(files.size())], link);
    }
    if (pick(3) == 0 && folders.size() > 1) {
      // Only from the top, so no link leads back into a folder above it.
      const fs::path link = dir / ("d" + names[pick(names.size())]);
      if (!fs::exists(fs::symlink_status(link))) {
        fs::create_directory_symlink(folders[1 + pick(folders.size() - 1)], link);
      }
    }
    if (pick(6) == 0) fs::create_symlink("missing", dir / "dangling");
    // Sometimes the archive folder lies inside the directory.
    m.SetOutputPath(pick(5) == 0 ? (dir / "MyArchives").string() : (temp / "out").string());
    m.SetArchiverParams(params[pick(params.size())]);

    m.Rules()->Clear();
    const std::string rule = "R";
    const int kind = static_cast<int>(pick(6));
    if (kind < 5) {
      TbkRule* r = Rule(rule, kind < 3 ? ecInclude : ecExclude, {});
      for (int k = 0, n = 1 + static_cast<int>(pick(3)); k < n; ++k) {
        TbkExtension* e = r->Extensions()->Add();
        e->SetExt(masks[pick(masks.size())]);
        e->SetActive(pick(6) != 0);
      }
    }
    m.Directories()->Clear();
    TbkDirectory* d = m.Directories()->Add();
    d->SetPath(dir.string());
    d->SetRuleName(kind < 5 ? rule : "Gone");
    const TArchiveJob job = JobOfDirectory(m, *d, GetArchiveDirectory(m, false));
    ASSERT_TRUE(job.error.empty()) << job.error;
    const TPreview p = Preview(MakePreviewRequest(m, job));
    const Files previewed = Paths(p);

    std::error_code gone;
    fs::remove(job.archiveFile, gone);
    const TJobOutcome outcome = RunJobAndWait(job);
    // Two names that differ only in case make 7-Zip fail when it compares
    // without case; the preview says so.
    bool twins = false;
    for (const std::string& w : p.warnings) twins = twins || w.find("letter case") != w.npos;
    if (twins) {
      EXPECT_EQ(outcome.status, 2) << "seed " << seed << ", tree " << i;
      ++caseTwins;
      continue;
    }
    ASSERT_TRUE(outcome.status && *outcome.status <= 1)
        << "seed " << seed << ", tree " << i << ": " << outcome.error;
    // What the archive holds once more through a link to a folder taken
    // already, the preview names in a warning instead.
    Files archived = Listing(job.archiveFile);
    for (const std::string& w : p.warnings) {
      const size_t end = w.find(": a link to a folder the preview has taken already");
      if (end == std::string::npos) continue;
      const std::string below = w.substr(0, end) + "/";
      std::erase_if(archived, [&](const std::string& a) { return a.rfind(below, 0) == 0; });
    }
    std::string rules;
    for (const TMaskEntry& e : job.excludes) rules += " " + e.key + e.entry;
    for (const TMaskEntry& e : job.includes) rules += " " + e.entry;
    ASSERT_EQ(previewed, archived)
        << "seed " << seed << " (PW_PREVIEW_SEED), tree " << i << ": " << job.params << rules;
    if (!archived.empty()) ++compared;
    fs::remove(job.archiveFile, gone);
  }
  EXPECT_GE(compared, 60);  // most trees take something
  std::printf("%d trees compared, %d refused for names that differ only in case\n", compared,
              caseTwins);
}

}  // namespace
}  // namespace pw
