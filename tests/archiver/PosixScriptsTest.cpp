// The POSIX style: paths, quoting, scripts, direct starts and the archivers
// found on PATH. Every case picks the style itself.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "archiver/ArchiveCommands.h"
#include "archiver/ArchiveJobs.h"
#include "archiver/ArchiverDetection.h"
#include "archiver/BatchFiles.h"
#include "archiver/PosixScripts.h"
#include "platform/Errors.h"
#include "platform/fakes/FakeProcesses.h"
#include "platform/fakes/Fakes.h"
#include "tests/archiver/PosixDay.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

namespace fs = std::filesystem;

const std::string kAppPaths = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

// Words that each hold something the shell would otherwise act on.
const std::vector<std::string> kNastyWords = {
    "plain",     "with blank", "tab\there", "it's",  "say \"hi\"",  "$HOME", "`id`",
    "back\\",    "*.tmp",      "a?",        "[ab]",  "x&y",         "x;y",   "x|y",
    "<in",       ">out",       "(x)",       "#note", "~user",       "{a,b}", "A=B",
    "new\nline", "",           "Bücher",    "'''",   "-x!/s/*.tmp", "50%"};

class PosixTest : public ::testing::Test {
 protected:
  PosixTest() : d(files), e(current), f(processes), g(registry), h(search) {
    manager.SetArchiverExeFileName("7zz");
    manager.SetArchiverParams("a -r");
    manager.SetExcludeKey("-x!");
    manager.SetOutputPath("/home/user/out/");
    manager.SetSubDirNamePattern("yyyy-mm-dd");
    TbkRule* source = manager.Rules()->Add();
    source->SetName("Source");
    source->SetCategory(ecExclude);
    source->Extensions()->Add()->SetExt("*.tmp");
    TbkExtension* log = source->Extensions()->Add();
    log->SetExt("*.log");
    log->SetActive(false);
    TbkRule* texts = manager.Rules()->Add();
    texts->SetName("Texts");
    texts->SetCategory(ecInclude);
    texts->Extensions()->Add()->SetExt("*.txt");
    texts->Extensions()->Add()->SetExt("*.doc");
  }

  TbkDirectory* Add(const std::string& path, const std::string& rule, bool marked = true) {
    TbkDirectory* dir = manager.Directories()->Add();
    dir->SetPath(path);
    dir->SetRuleName(rule);
    dir->SetNeedArchive(marked);
    current.existing.insert(path);
    return dir;
  }

  test::TPosixDay day;
  fakes::FakeFileSystem files;
  fakes::FakeCurrentDirectory current;
  fakes::FakeProcessRunner processes;
  fakes::FakeRegistry registry;
  fakes::FakeProgramSearch search;
  ScopedOverride<IFileSystem> d;
  ScopedOverride<ICurrentDirectory> e;
  ScopedOverride<IProcessRunner> f;
  ScopedOverride<IRegistry> g;
  ScopedOverride<IProgramSearch> h;
  TbkManager manager;
};

TEST_F(PosixTest, QuotedWordsComeBackWhole) {
  std::string line;
  for (const std::string& word : kNastyWords) line += QuotePosixWord(word) + " ";
  EXPECT_EQ(SplitPosixWords(line), kNastyWords);
  EXPECT_EQ(QuotePosixWord("/home/user/out/2026-12-08/home_user_src"),
            "/home/user/out/2026-12-08/home_user_src");
  EXPECT_EQ(QuotePosixWord("it's"), "'it'\\''s'");
  EXPECT_EQ(QuotePosixWord(""), "''");
  EXPECT_EQ(SplitPosixWords("a  -r \"x \\$y\" 'q'\\'' z' \\ b"),
            (std::vector<std::string>{"a", "-r", "x $y", "q' z", " b"}));
}

TEST_F(PosixTest, TheShellReadsTheQuotedWordsUnchanged) {
#ifdef _WIN32
  GTEST_SKIP() << "needs /bin/sh and execute permissions";
#endif
  const test::TTempFolder folder("words");
  const fs::path out = folder / "words";
  std::string command = "cd / && for w in";
  for (const std::string& word : kNastyWords) command += " " + QuotePosixWord(word);
  command += "; do printf '%s\\0' \"$w\"; done > '" + out.string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::ifstream in(out, std::ios::binary);
  std::vector<std::string> read;
  for (std::string word; std::getline(in, word, '\0');) read.push_back(word);
  EXPECT_EQ(read, kNastyWords);
}

TEST_F(PosixTest, FlatNames) {
  EXPECT_EQ(PathToFileName("/home/user/Documents"), "home_user_Documents");
  EXPECT_EQ(PathToFileName("/home/user/src/"), "home_user_src_");
  EXPECT_EQ(PathToFileName("/"), "_");
  EXPECT_EQ(PathToFileName(""), "_");
  EXPECT_EQ(PathToFileName("rel/C:\\x"), "rel_C:\\x");
  EXPECT_EQ(DefaultBatchFileName(*Add("/srv/site", "")), "MakeArchiveOf_srv_site");
  EXPECT_EQ(ExtractFilePath("/a:b/c.sh"), "/a:b/");
}

TEST_F(PosixTest, CommandTextOfTheThreeKindsOfRule) {
  EXPECT_EQ(GetCommandText(manager, *Add("/home/user/src", "source")),
            "cd /home/user/src\n"
            "7zz a -r '-x!/home/user/src/*.tmp' /home/user/out/2026-12-08/home_user_src "
            "'/home/user/src/*'");
  EXPECT_EQ(GetCommandText(manager, *Add("/srv/my notes/", "Texts")),
            "cd '/srv/my notes/'\n"
            "7zz a -r '/home/user/out/2026-12-08/srv_my notes_' '/srv/my notes/*.txt' "
            "'/srv/my notes/*.doc'");
  manager.SetSubDirNamePattern("");
  manager.SetArchiverParams("");
  manager.SetArchiverExeFileName("/opt/my tools/7zz");
  EXPECT_EQ(GetCommandText(manager, *Add("/", "Gone")),
            "cd /\n'/opt/my tools/7zz' /home/user/out/_ '/*'");
  EXPECT_EQ(GetArchiveDirectory(manager, false), "/home/user/out");
}

TEST_F(PosixTest, ScriptsStartWithTheInterpreterAndComment) {
  Add("/home/user/src", "Source");
  Add("/srv/skip", "Texts", false);
  Add("/srv/it's", "");
  const std::vector<std::string> lines = GetBatchLinesForAll(manager);
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "#!/bin/sh", "#", "# Create /home/user/src archive by using Source rule",
                       "#", "cd /home/user/src",
                       "7zz a -r '-x!/home/user/src/*.tmp' /home/user/out/2026-12-08/home_user_src "
                       "'/home/user/src/*'",
                       "#", "# Create /srv/it's archive by using  rule", "#", "cd '/srv/it'\\''s'",
                       "7zz a -r '/home/user/out/2026-12-08/srv_it'\\''s' '/srv/it'\\''s/*'"}));
  EXPECT_EQ(GetBatchLines(manager, *manager.Directories()->Items(1))[0], "#!/bin/sh");
  EXPECT_EQ(GetBatchLinesForAll(manager, true).size(), lines.size() + 5);

  // A line end inside a path stays inside the comment.
  Add("/srv/two\nlines", "");
  const std::vector<std::string> more = GetBatchLinesForAll(manager);
  EXPECT_EQ(more[12], "# Create /srv/two lines archive by using  rule");
}

TEST_F(PosixTest, ScriptFileIsExecutableWithLineFeedsOnly) {
#ifdef _WIN32
  GTEST_SKIP() << "needs /bin/sh and execute permissions";
#endif
  const test::TTempFolder temp("sh");
  const fs::path& folder = temp.Path();
  const fs::path script = folder / "all.sh";
  fakes::FakeShell shell;
  ScopedOverride<IShell> useShell(shell);
  Add("/home/user/src", "Source");
  CreateBatForAll(manager, [&](std::string& name) { return name = script.string(), true; });
  std::ifstream in(script, std::ios::binary);
  const std::string text(std::istreambuf_iterator<char>(in), {});
  EXPECT_EQ(text.rfind("#!/bin/sh\n#\n# Create /home/user/src", 0), 0u) << text;
  EXPECT_EQ(text.find('\r'), std::string::npos);
  EXPECT_EQ(text.back(), '\n');
  struct stat st;
  ASSERT_EQ(::stat(script.string().c_str(), &st), 0);
  EXPECT_TRUE(st.st_mode & S_IXUSR);
  ASSERT_EQ(shell.calls.size(), 1u);
  EXPECT_EQ(shell.calls[0].file, folder.string() + "/");
}

TEST_F(PosixTest, RunStartsTheArchiverWithTheWordsOfTheScriptLine) {
  manager.SetArchiverParams("a -r '-p my secret'");
  TbkDirectory* dir = Add("/srv/it's here", "Source");
  RunDirectory(manager, *dir);
  ASSERT_EQ(processes.calls.size(), 1u);
  const auto& call = processes.calls[0];
  EXPECT_EQ(call.program, "7zz");
  EXPECT_FALSE(call.waited);
  EXPECT_EQ(call.arguments, (std::vector<std::string>{
                                "a", "-r", "-p my secret", "-x!/srv/it's here/*.tmp",
                                "/home/user/out/2026-12-08/srv_it's here", "/srv/it's here/*"}));
  const std::string text = GetCommandText(manager, *dir);
  const std::vector<std::string> words = SplitPosixWords(text.substr(text.find('\n') + 1));
  EXPECT_EQ(std::vector<std::string>(words.begin() + 1, words.end()), call.arguments);
  EXPECT_EQ(current.current, "/srv/it's here");
  EXPECT_EQ(files.created, (std::vector<std::string>{"/home", "/home/user", "/home/user/out",
                                                     "/home/user/out/2026-12-08"}));
}

TEST_F(PosixTest, AnArchiverThatCannotStartIsAnErrorAndEndsRunAll) {
  manager.SetArchiverExeFileName("/no/such/7zz");
  processes.missing.insert("/no/such/7zz");
  Add("/a", "");
  Add("/b", "");
  EXPECT_THROW(RunAllDirectories(manager), Exception);
  EXPECT_EQ(current.history, (std::vector<std::string>{"/a"}));
  EXPECT_THROW(StartDirectory(manager, *manager.Directories()->Items(1)), Exception);
}

TEST_F(PosixTest, ArchiversAreFoundOnPathAfterTheRegistryFile) {
  std::string path, params, key;
  EXPECT_FALSE(Find7Zip(path));
  EXPECT_FALSE(FindWinRar(path));
  search.programs = {{"rar", "/usr/bin/rar"}, {"7z", "/usr/bin/7z"}};
  EXPECT_TRUE(Find7Zip(path));
  EXPECT_EQ(path, "/usr/bin/7z");
  search.programs["7zz"] = "/usr/bin/7zz";
  ASSERT_TRUE(Get7ZipOptions(path, params, key));
  EXPECT_EQ(path + "|" + params + "|" + key, "/usr/bin/7zz|a -r|-x!");
  EXPECT_TRUE(FindWinRar(path));
  EXPECT_EQ(path, "/usr/bin/rar");

  registry.AddKey(TRegistryRoot::rrLocalMachine, kAppPaths + "WinRAR.exe",
                  fakes::FakeRegistry::Value{"/opt/rar/rar"});
  registry.AddKey(TRegistryRoot::rrLocalMachine, kAppPaths + "7zFM.exe",
                  fakes::FakeRegistry::Value{"/opt/7zip/7zFM"});
  EXPECT_TRUE(FindWinRar(path));
  EXPECT_EQ(path, "/opt/rar/rar");
  EXPECT_TRUE(Apply7ZipOptions(manager));
  EXPECT_EQ(manager.ArchiverExeFileName(), "/opt/7zip/7zz");
  EXPECT_TRUE(ApplyArchiverOptions(manager, akWinRar));
  EXPECT_EQ(manager.ExcludeKey(), "-x");
}

TEST(WindowsStyle7Zip, FoundBesideTheFileManagerOnlyThroughTheRegistry) {
  fakes::FakeRegistry registry;
  fakes::FakeProgramSearch search;
  search.programs = {{"7zz", "/usr/bin/7zz"}, {"rar", "/usr/bin/rar"}};
  ScopedOverride<IRegistry> useRegistry(registry);
  ScopedOverride<IProgramSearch> useSearch(search);
  std::string path;
  EXPECT_FALSE(Find7Zip(path));
  EXPECT_FALSE(FindWinRar(path));
  registry.AddKey(TRegistryRoot::rrLocalMachine, kAppPaths + "7zFM.exe",
                  fakes::FakeRegistry::Value{"\"C:\\Program Files\\7-Zip\\7zFM.exe\""});
  ASSERT_TRUE(Find7Zip(path));
  EXPECT_EQ(path, "C:\\Program Files\\7-Zip\\7z.exe");
}

}  // namespace
}  // namespace pw
