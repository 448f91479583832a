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
#include "platform/ProgramPath.h"
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
  // A fresh 7-Zip archive: made under a temporary name, put in place only
  // when 7-Zip succeeded; the masks relative to the directory.
  EXPECT_EQ(
      GetCommandText(manager, *Add("/home/user/src", "source")),
      "if cd /home/user/src; then\n"
      "  rm -f /home/user/out/2026-12-08/home_user_src.incomplete.7z\n"
      "  7zz a -r '-x!*.tmp' /home/user/out/2026-12-08/home_user_src.incomplete.7z '*'\n"
      "  code=$?\n"
      "  if [ $code -le 1 ]; then mv -f /home/user/out/2026-12-08/home_user_src.incomplete.7z "
      "/home/user/out/2026-12-08/home_user_src.7z || code=2; "
      "else rm -f /home/user/out/2026-12-08/home_user_src.incomplete.7z; fi\n"
      "  [ $code -eq 0 ] || { echo 'Archiving /home/user/src ended with exit status' \"$code\" "
      ">&2; status=1; }\n"
      "else\n"
      "  echo 'Cannot enter /home/user/src: not archived' >&2\n"
      "  status=1\n"
      "fi\n");
  // Any other archiver: its line and the status check only.
  manager.SetArchiverExeFileName("/opt/my tools/pack");
  EXPECT_EQ(
      GetCommandText(manager, *Add("/srv/my notes/", "Texts")),
      "if cd '/srv/my notes/'; then\n"
      "  '/opt/my tools/pack' a -r '/home/user/out/2026-12-08/srv_my notes' '*.txt' '*.doc'\n"
      "  code=$?\n"
      "  [ $code -eq 0 ] || { echo 'Archiving /srv/my notes/ ended with exit status' \"$code\" "
      ">&2; status=1; }\n"
      "else\n"
      "  echo 'Cannot enter /srv/my notes/: not archived' >&2\n"
      "  status=1\n"
      "fi\n");
  manager.SetSubDirNamePattern("");
  manager.SetArchiverParams("");
  // The archive folder lies inside "/": it is excluded.
  const std::string root = GetCommandText(manager, *Add("/", "Gone"));
  EXPECT_NE(root.find("\n  '/opt/my tools/pack' -x!home/user/out /home/user/out/_ '*'\n"),
            std::string::npos)
      << root;
  EXPECT_EQ(GetArchiveDirectory(manager, false), "/home/user/out");
  // A job that cannot run says why instead.
  EXPECT_EQ(GetCommandText(manager, *Add("relative/dir", "")),
            "# relative/dir: The directory's path is not absolute\n");
}

TEST_F(PosixTest, ScriptsStartWithTheInterpreterAndComment) {
  manager.SetArchiverExeFileName("/usr/bin/pack");
  Add("/home/user/src", "Source");
  Add("/srv/skip", "Texts", false);
  Add("/srv/it's", "");
  const std::vector<std::string> lines = GetBatchLinesForAll(manager);
  // The script names the night's folder when it runs, as date spells the
  // pattern, and makes it.
  const std::vector<std::string> head(lines.begin(), lines.begin() + 10);
  EXPECT_EQ(head, (std::vector<std::string>{
                      "#!/bin/sh", "status=0", "# The dated subfolder of the night this script runs",
                      "day=$(date +%Y-%m-%d) || exit 1",
                      "mkdir -p -- /home/user/out/\"$day\" || status=1", "#",
                      "# Create /home/user/src archive by using Source rule", "#",
                      "if cd /home/user/src; then",
                      "  /usr/bin/pack a -r '-x!*.tmp' /home/user/out/\"$day\"/home_user_src '*'"}));
  EXPECT_EQ(lines[17], "# Create /srv/it's archive by using  rule");
  EXPECT_EQ(lines[19], "if cd '/srv/it'\\''s'; then");
  EXPECT_EQ(lines.back(), "exit $status");
  EXPECT_EQ(lines.size(), 2u + 3 + 2 * 11 + 1);
  const std::vector<std::string> one = GetBatchLines(manager, *manager.Directories()->Items(1));
  EXPECT_EQ(one[0], "#!/bin/sh");
  EXPECT_EQ(one.back(), "exit $status");
  EXPECT_EQ(GetBatchLinesForAll(manager, true).size(), lines.size() + 11);

  // A path holding a line end is refused, naming it, and so is the script.
  Add("/srv/two\nlines", "");
  try {
    GetBatchLinesForAll(manager);
    ADD_FAILURE() << "a script with a line end in a path";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "/srv/two\nlines: The directory's path holds a control character");
  }
}

TEST_F(PosixTest, APatternThatDateCannotSpellIsNamedByTheCompanionWhenTheScriptRuns) {
  manager.SetArchiverExeFileName("/usr/bin/pack");
  Add("/home/user/src", "Source");
  manager.SetSubDirNamePattern("dddd d mmmm yyyy");
  std::vector<std::string> lines = GetBatchLinesForAll(manager);
  ASSERT_GT(lines.size(), 10u);
  EXPECT_EQ(lines[3], "day=$(" + QuotePosixWord(CompanionProgram()) +
                          " subfolder 'dddd d mmmm yyyy') || exit 1");
  EXPECT_EQ(lines[4], "mkdir -p -- /home/user/out/\"$day\" || status=1");
  EXPECT_EQ(lines[9],
            "  /usr/bin/pack a -r '-x!*.tmp' /home/user/out/\"$day\"/home_user_src '*'");
  // What the shell would take for itself stays the pattern's own text.
  manager.SetSubDirNamePattern("dddd \"$(x)\" 'it''s'");
  lines = GetBatchLinesForAll(manager);
  EXPECT_EQ(SplitPosixWords(lines[3].substr(6, lines[3].size() - 6 - 11)),
            (std::vector<std::string>{CompanionProgram(), "subfolder",
                                      "dddd \"$(x)\" 'it''s'"}));
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
  EXPECT_EQ(text.rfind("#!/bin/sh\nstatus=0\n# The dated subfolder", 0), 0u) << text;
  EXPECT_EQ(text.find('\r'), std::string::npos);
  EXPECT_EQ(text.back(), '\n');
  struct stat st;
  ASSERT_EQ(::stat(script.string().c_str(), &st), 0);
  EXPECT_TRUE(st.st_mode & S_IXUSR);
  ASSERT_EQ(shell.calls.size(), 1u);
  EXPECT_EQ(shell.calls[0].file, folder.string() + "/");
}

TEST_F(PosixTest, RunStartsTheArchiverWithTheWordsOfTheScriptLine) {
  manager.SetArchiverParams("a -r '-p my secret' -pPa$$w0rd #x *.c");
  manager.SetArchiverExeFileName("/usr/bin/pack");
  TbkDirectory* dir = Add("/srv/it's here", "Source");
  RunDirectory(manager, *dir);
  ASSERT_EQ(processes.calls.size(), 1u);
  const auto& call = processes.calls[0];
  EXPECT_EQ(call.program, "/usr/bin/pack");
  EXPECT_FALSE(call.waited);
  EXPECT_EQ(call.arguments,
            (std::vector<std::string>{"a", "-r", "-p my secret", "-pPa$$w0rd", "#x", "*.c",
                                      "-x!*.tmp", "/home/user/out/2026-12-08/srv_it's here", "*"}));
  // The script's archiver line hands over the same words.
  const std::string text = GetCommandText(manager, *dir);
  const size_t start = text.find('\n') + 1;
  const std::vector<std::string> words =
      SplitPosixWords(text.substr(start, text.find('\n', start) - start));
  EXPECT_EQ(std::vector<std::string>(words.begin() + 1, words.end()), call.arguments);
  EXPECT_EQ(call.workingDirectory, "/srv/it's here");
  EXPECT_EQ(files.created, (std::vector<std::string>{"/home", "/home/user", "/home/user/out",
                                                     "/home/user/out/2026-12-08"}));
}

TEST_F(PosixTest, ADetachedSevenZipRunReplacesTheArchiveThroughTheShell) {
  search.programs["7zz"] = "/usr/bin/7zz";
  TbkDirectory* dir = Add("/srv/site", "");
  RunDirectory(manager, *dir);
  ASSERT_EQ(processes.calls.size(), 1u);
  const auto& call = processes.calls[0];
  EXPECT_EQ(call.program, "/bin/sh");
  ASSERT_EQ(call.arguments.size(), 10u);
  EXPECT_EQ(call.arguments[0], "-c");
  const std::vector<std::string> tail(call.arguments.begin() + 2, call.arguments.end());
  EXPECT_EQ(tail, (std::vector<std::string>{
                      "sh", "/home/user/out/2026-12-08/srv_site.7z",
                      "/home/user/out/2026-12-08/srv_site.incomplete.7z", "7zz", "a", "-r",
                      "/home/user/out/2026-12-08/srv_site.incomplete.7z", "*"}));
  // One that cannot be found is reported before anything starts.
  search.programs.clear();
  EXPECT_THROW(RunDirectory(manager, *dir), Exception);
  EXPECT_EQ(processes.calls.size(), 1u);
}

TEST_F(PosixTest, AnArchiverThatCannotStartIsAnErrorAndEndsRunAll) {
  manager.SetArchiverExeFileName("/no/such/7zz");
  processes.missing.insert("/no/such/7zz");
  Add("/a", "");
  Add("/b", "");
  std::string failed;
  EXPECT_THROW(RunAllDirectories(manager, &failed), Exception);
  EXPECT_EQ(failed, "/a") << "the loop ends at the first";
  EXPECT_THROW(RunDirectory(manager, *manager.Directories()->Items(1)), Exception);
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
