// The real 7-Zip on real trees, started as a run starts it and from the
// written script, in the POSIX style; every archive made anew is compared
// with the preview of its job.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

#include "archiver/ArchiveCommands.h"
#include "archiver/ArchiveJob.h"
#include "archiver/ArchiveJobs.h"
#include "archiver/ArchiverReport.h"
#include "archiver/ArchiverDetection.h"
#include "archiver/BatchFiles.h"
#include "archiver/NightPlan.h"
#include "archiver/PosixScripts.h"
#include "archiver/Preview.h"
#include "platform/Errors.h"
#include "platform/Services.h"
#include "platform/fakes/Fakes.h"
#include "tests/archiver/PosixDay.h"
#include "tests/archiver/SevenZipListing.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

// Runs the directory's job in the plan of now and waits for it: its exit
// status, or its failure as an Exception.
int RunDirectoryAndWait(const TbkManager& manager, const TbkDirectory& directory) {
  const TJobOutcome outcome =
      RunJobAndWait(MakeNightPlan(manager).Job(PositionOf(manager, directory)));
  if (!outcome.error.empty()) throw Exception(outcome.error);
  return *outcome.status;
}

namespace fs = std::filesystem;
using Files = std::set<std::string>;

// The exit status of a shell command; -1 when it did not end by itself.
int Status(const std::string& command) {
  const int raw = std::system(command.c_str());
#ifdef _WIN32
  return raw;
#else
  return raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
}

// The archive under a name 7-Zip takes as it is: 7-Zip reads a "*" or "?"
// in the name of an archive to list or test as a pattern and opens every
// archive it matches.
std::string Openable(const fs::path& archive) {
  const std::string name = archive.filename().string();
  if (name.find_first_of("*?") == std::string::npos) return archive.string();
  static const test::TTempFolder copies("7z-open");
  const fs::path copy = copies / "archive.7z";
  std::error_code missing;
  fs::remove(copy, missing);
  fs::copy_file(archive, copy, missing);
  return copy.string();
}

std::string PasswordSwitch(const std::string& password) {
  return password.empty() ? std::string() : " " + QuotePosixWord("-p" + password);
}

// The files (not the folders) that "7zz l -slt" lists in an archive, opened
// with the password when one is given.
Files Listing(const std::string& archive, const std::string& password = {}) {
  return test::ListedFiles(test::CommandOutput("7zz l -slt" + PasswordSwitch(password) + " " +
                                               QuotePosixWord(Openable(archive)) +
                                               " 2>&1 </dev/null"));
}

// The type 7-Zip reads the archive as ("7z", "tar", ...), from its contents.
std::string ArchiveType(const fs::path& archive) {
  std::istringstream lines(
      test::CommandOutput("7zz l -slt " + QuotePosixWord(Openable(archive)) + " 2>&1 </dev/null"));
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("Type = ", 0) == 0) return line.substr(7);
  }
  return {};
}

// 7-Zip's own check of an archive with a password: 0 when it opens and
// every file in it is sound.
int TestWithPassword(const fs::path& archive, const std::string& password) {
  return Status("7zz t" + PasswordSwitch(password) + " " + QuotePosixWord(Openable(archive)) +
                " >/dev/null 2>&1 </dev/null");
}

// The names of the files directly in a folder.
Files FilesIn(const fs::path& folder) {
  Files names;
  std::error_code missing;
  for (const auto& entry : fs::directory_iterator(folder, missing)) {
    if (entry.is_regular_file()) names.insert(entry.path().filename().string());
  }
  return names;
}

// The archive's flat name: the path without its leading "/" and a trailing
// one, each other "/" as "_".
std::string Flat(const fs::path& path) {
  std::string name = path.string().substr(1);
  if (!name.empty() && name.back() == '/') name.pop_back();
  std::replace(name.begin(), name.end(), '/', '_');
  return name;
}

bool WaitForFile(const fs::path& file) {
  for (int i = 0; i < 1200 && !fs::exists(file); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return fs::exists(file);
}

TDateTime December(int day) {
  TDateTime t = test::December8();
  t.Day = day;
  return t;
}

// The dated folder's name for that day, as the pattern "yyyy-mm-dd" makes it.
std::string DecemberFolder(int day) {
  return "2026-12-" + std::string(day < 10 ? "0" : "") + std::to_string(day);
}

// HOME pointed elsewhere for as long as the object lives.
class THome {
 public:
  explicit THome(const fs::path& home) {
    if (const char* value = std::getenv("HOME")) previous_ = value;
    Set(home.string().c_str());
  }
  ~THome() { Set(previous_ ? previous_->c_str() : nullptr); }
  THome(const THome&) = delete;
  THome& operator=(const THome&) = delete;

 private:
  static void Set(const char* value) {
#ifdef _WIN32
    _putenv_s("HOME", value ? value : "");
#else
    if (value) {
      ::setenv("HOME", value, 1);
    } else {
      ::unsetenv("HOME");
    }
#endif
  }

  std::optional<std::string> previous_;
};

// Every job is made twice: once as a run, once from a written script.
enum class How { kRun, kScript };
const How kBothWays[] = {How::kRun, How::kScript};
std::string Name(How how) {
  return how == How::kRun ? "run" : "script";
}

class SevenZipTest : public ::testing::Test {
 protected:
  void SetUp() override {
#ifdef _WIN32
    GTEST_SKIP() << "the POSIX style's runs need a POSIX system";
#endif
    if (!Apply7ZipOptions(m)) GTEST_SKIP() << "7zz is not installed (scripts/setup installs it)";
    sevenZip = m.ArchiverExeFileName();
  }
  // The runs change into the folders; the folder cannot go while it is the current one.
  ~SevenZipTest() override {
    fs::current_path(fs::temp_directory_path());
  }
  void TearDown() override {
    if (!IsSkipped()) {
      EXPECT_GT(previewsCompared, 0) << "no archive was compared with its preview";
    }
  }

  // The same tree in every directory: files with and without extensions, in
  // subfolders too.
  void Tree(const fs::path& dir) {
    for (const char* name :
         {"a.txt", "b.doc", "c.tmp", "d.log", "README", "Makefile", "sub/e.txt", "sub/f.tmp",
          "sub/deeper/g.log", "sub/deeper/NOTES", "sub/deeper/h.tmp", "odd name's $x & y.txt"}) {
      Put(dir / name);
    }
  }

  static void Put(const fs::path& file, const std::string& text = "x") {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text << file.filename().string();
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

  TbkDirectory* AddDirectory(const std::string& path, const std::string& rule = {}) {
    TbkDirectory* d = m.Directories()->Add();
    d->SetPath(path);
    d->SetRuleName(rule);
    return d;
  }

  TbkRule* AddRule(const std::string& name, TExtensionCategory category,
                   std::initializer_list<const char*> masks) {
    TbkRule* rule = m.Rules()->Add();
    rule->SetName(name);
    rule->SetCategory(category);
    for (const char* mask : masks) rule->Extensions()->Add()->SetExt(mask);
    return rule;
  }

  // Runs a written script as the user would, on the night the test's clock
  // says (the script asks date for it); its standard error is kept in
  // scriptErrors.
  int RunScript(const fs::path& script) {
    const fs::path errors = root / "script.err";
    const TDateTime now = Get<IClock>().Now();
    char moment[32];
    std::snprintf(moment, sizeof moment, "%04d-%02d-%02d %02d:%02d:%02d", now.Year, now.Month,
                  now.Day, now.Hour, now.Minute, now.Second);
    // A date first on PATH that tells that moment (a preloaded clock would
    // not go with the sanitizers' runtime of the stand-in archivers).
    const fs::path clock = root / "clock";
    fs::create_directories(clock);
    std::ofstream(clock / "date") << "#!/bin/sh\nexec /bin/date -d " << QuotePosixWord(moment)
                                  << " \"$@\"\n";
    fs::permissions(clock / "date", fs::perms::owner_all);
    const int status = Status("PATH=" + QuotePosixWord(clock.string()) + ":\"$PATH\" /bin/sh " +
                              QuotePosixWord(script.string()) + " >/dev/null 2>" +
                              QuotePosixWord(errors.string()));
    scriptErrors = test::ReadFile(errors);
    return status;
  }

  // The jobs of the directories as they are now, each with its archive's
  // bytes ("" when there is none).
  using Snapshot = std::vector<std::pair<TArchiveJob, std::string>>;
  Snapshot Archives(const std::vector<const TbkDirectory*>& directories) {
    Snapshot jobs;
    for (const TbkDirectory* d : directories) {
      TArchiveJob job = JobOfDirectory(m, *d, GetArchiveDirectory(m, false));
      if (!job.error.empty()) continue;
      std::error_code missing;
      const std::string bytes =
          fs::exists(job.archiveFile, missing) ? test::ReadFile(job.archiveFile) : std::string();
      jobs.emplace_back(std::move(job), bytes);
    }
    return jobs;
  }
  std::vector<const TbkDirectory*> Marked() const {
    std::vector<const TbkDirectory*> marked;
    for (int i = 0; i < m.Directories()->Count(); ++i) {
      if (m.Directories()->Items(i)->NeedArchive()) marked.push_back(m.Directories()->Items(i));
    }
    return marked;
  }

  // Every archive that 7-Zip made anew holds exactly the files the preview
  // of its job lists, no more, no fewer.
  void ExpectPreviewsMatch(const Snapshot& before) {
    for (const auto& [job, bytes] : before) {
      std::error_code missing;
      if (!fs::exists(job.archiveFile, missing)) continue;
      if (test::ReadFile(job.archiveFile) == bytes) continue;  // not made this time
      ExpectPreviewMatches(job);
    }
  }
  void ExpectPreviewMatches(const TArchiveJob& job) {
    std::string password;
    for (const std::string& word : SplitPosixWords(job.params)) {
      if (word.rfind("-p", 0) == 0) password = word.substr(2);
    }
    const TPreview preview = Preview(MakePreviewRequest(m, job));
    Files previewed;
    for (const TPreviewFile& file : preview.files) previewed.insert(file.path);
    EXPECT_EQ(previewed.size(), preview.files.size()) << job.directory;
    EXPECT_EQ(previewed, Listing(job.archiveFile, password)) << "preview of " << job.directory;
    ++previewsCompared;
  }

  int Run(const TbkDirectory& d) {
    const Snapshot before = Archives({&d});
    const int status = RunDirectoryAndWait(m, d);
    ExpectPreviewsMatch(before);
    return status;
  }

  // One directory's archive, made by a run or by its script.
  int Archive(const TbkDirectory& d, How how) {
    if (how == How::kRun) return Run(d);
    const Snapshot before = Archives({&d});
    const fs::path script = root / "one.sh";
    WriteBatchFile(script.string(), GetBatchLines(m, d));
    const int status = RunScript(script);
    ExpectPreviewsMatch(before);
    return status;
  }

  // Every marked directory's archive, by runs one after another or by the
  // script of them all; the worst status.
  int ArchiveAll(How how) {
    if (how == How::kScript) {
      const Snapshot before = Archives(Marked());
      const fs::path script = root / "all.sh";
      WriteBatchFile(script.string(), GetBatchLinesForAll(m));
      const int status = RunScript(script);
      ExpectPreviewsMatch(before);
      return status;
    }
    int worst = 0;
    for (int i = 0; i < m.Directories()->Count(); ++i) {
      worst = std::max(worst, Run(*m.Directories()->Items(i)));
    }
    return worst;
  }

  // A "7zz" that does its work with the real 7-Zip between two pieces of
  // shell text; the second may set the status it ends with in "code".
  fs::path SevenZipThat(const std::string& before, const std::string& after = {}) {
    const fs::path program = root / "bin" / "7zz";
    fs::create_directories(program.parent_path());
    test::WriteFile(program, "#!/bin/sh\n" + before + "\n" + QuotePosixWord(sevenZip) +
                                 " \"$@\"\ncode=$?\n" + after + "\nexit $code\n");
    fs::permissions(program, fs::perms::owner_exec, fs::perm_options::add);
    return program;
  }

  test::TPosixDay day;
  test::TTempFolder temp{"7z"};
  const fs::path& root = temp.Path();
  TbkManager m;
  std::string sevenZip;
  std::string scriptErrors;
  int previewsCompared = 0;
};

// ---- What the archives hold -------------------------------------------------

TEST_F(SevenZipTest, ArchivesHoldExactlyWhatTheRulesSelect) {
  m.SetOutputPath((root / "out").string());
  m.SetSubDirNamePattern("yyyy-mm-dd");
  AddRule("Texts", ecInclude, {"*.txt", "*.doc"});
  TbkRule* source = AddRule("Source", ecExclude, {"*.tmp"});
  TbkExtension* inactive = source->Extensions()->Add();
  inactive->SetExt("*.log");
  inactive->SetActive(false);

  struct Case {
    std::string dir, rule;
    Files expected;
  };
  std::vector<Case> cases = {{"include", "Texts", {}},
                             {"exclude", "SOURCE", {}},
                             {"missing rule", "Gone", {}},
                             {"it's \"odd\" $HOME & B\xC3\xBC"
                              "cher",
                              "",
                              {}}};
  for (Case& c : cases) {
    const fs::path dir = root / "trees" / c.dir;
    Tree(dir);
    c.expected = c.rule == "Texts"    ? Expected(dir, {".txt", ".doc"}, {})
                 : c.rule == "SOURCE" ? Expected(dir, {}, {".tmp"})
                                      : Expected(dir, {}, {});
    AddDirectory(dir.string(), c.rule);
  }
  // The rules really select: no case is the whole tree by accident.
  EXPECT_EQ(cases[0].expected.size(), 4u);
  EXPECT_EQ(cases[1].expected.size(), 9u);
  EXPECT_EQ(cases[2].expected.size(), 12u);

  for (int i = 0; i < m.Directories()->Count(); ++i) {
    EXPECT_EQ(Run(*m.Directories()->Items(i)), 0) << cases[i].dir;
  }
  const fs::path dated = root / "out" / "2026-12-08";
  for (size_t i = 0; i < cases.size(); ++i) {
    const std::string name = Flat(root / "trees" / cases[i].dir) + ".7z";
    EXPECT_EQ(Listing((dated / name).string()), cases[i].expected) << cases[i].dir;
  }

  // The script does the same into another folder, given relative to each
  // directory.
  m.SetOutputPath("../../scripted");
  ASSERT_EQ(ArchiveAll(How::kScript), 0) << scriptErrors;
  for (size_t i = 0; i < cases.size(); ++i) {
    const std::string name = Flat(root / "trees" / cases[i].dir) + ".7z";
    EXPECT_EQ(Listing((root / "scripted" / "2026-12-08" / name).string()), cases[i].expected)
        << "script, " << cases[i].dir;
  }
}

TEST_F(SevenZipTest, RelativeOutputPathIsTakenFromTheDirectory) {
  m.SetOutputPath("../archives");
  const fs::path dir = root / "tree";
  Tree(dir);
  TbkDirectory* d = AddDirectory(dir.string());
  EXPECT_EQ(Run(*d), 0);
  EXPECT_EQ(Listing((root / "archives" / (Flat(dir) + ".7z")).string()), Expected(dir, {}, {}));
}

// A dot in the flat name would make 7-Zip pick the type from it (a tar for
// "photos.tar", a zip for "backup.zip", nothing at all for ".gz" or ".zst");
// the finished archive is a 7z archive named "<flat name>.7z" all the same.
TEST_F(SevenZipTest, DottedNamesStillMakeSevenZipArchives) {
  const std::vector<std::string> paths = {
      "src/photos.tar", "home/john.doe/src", "backup.zip", "logs.gz",
      "conf.d",         "mail.wim",          "x.zst"};
  for (const std::string& path : paths) {
    Tree(root / "dotted" / path);
    AddDirectory((root / "dotted" / path).string());
  }
  for (const How how : kBothWays) {
    SCOPED_TRACE(Name(how));
    const fs::path out = root / ("out-" + Name(how));
    m.SetOutputPath(out.string());
    ASSERT_EQ(ArchiveAll(how), 0) << scriptErrors;
    Files names;
    for (const std::string& path : paths) {
      const fs::path dir = root / "dotted" / path;
      const fs::path archive = out / (Flat(dir) + ".7z");
      names.insert(archive.filename().string());
      EXPECT_EQ(ArchiveType(archive), "7z") << archive;
      EXPECT_EQ(Listing(archive.string()), Expected(dir, {}, {})) << archive;
    }
    EXPECT_TRUE(names.count(Flat(root) + "_dotted_src_photos.tar.7z"));
    EXPECT_TRUE(names.count(Flat(root) + "_dotted_home_john.doe_src.7z"));
    // Nothing else: no archive under the bare flat name, no temporary one.
    EXPECT_EQ(FilesIn(out), names);
  }
}

// A "*" or "?" in the directory's own path is an ordinary character: the
// masks 7-Zip receives start at the directory, so a neighbour that the path
// would match as a pattern is never taken.
TEST_F(SevenZipTest, MasksDoNotReadTheDirectorysPathAsPatterns) {
  AddRule("Texts", ecInclude, {"*.txt", "*.doc"});
  AddRule("Source", ecExclude, {"*.tmp"});
  const fs::path star = root / "x" / "proj*", question = root / "x" / "proj?";
  Tree(star);
  Tree(question);
  Put(root / "x" / "projX" / "secret.txt");
  Put(root / "x" / "projX" / "secret.doc");
  AddDirectory(star.string(), "Texts");
  AddDirectory(question.string(), "Source");
  for (const How how : kBothWays) {
    SCOPED_TRACE(Name(how));
    const fs::path out = root / ("out-" + Name(how));
    m.SetOutputPath(out.string());
    ASSERT_EQ(ArchiveAll(how), 0) << scriptErrors;
    EXPECT_EQ(Listing((out / (Flat(star) + ".7z")).string()), Expected(star, {".txt", ".doc"}, {}));
    EXPECT_EQ(Listing((out / (Flat(question) + ".7z")).string()), Expected(question, {}, {".tmp"}));
  }
}

// ---- Archives made fresh ------------------------------------------------------

// Each run makes the archive anew under a temporary name, so a second run on
// the same day leaves out what was deleted or newly excluded since, and a
// temporary archive left behind by an interrupted run is not taken for the
// old archive.
TEST_F(SevenZipTest, ReRunOnTheSameDayHoldsOnlyWhatTheRuleSelectsNow) {
  m.SetSubDirNamePattern("yyyy-mm-dd");
  TbkRule* source = AddRule("Source", ecExclude, {"*.tmp"});
  TbkExtension* logs = source->Extensions()->Add();
  logs->SetExt("*.log");
  logs->SetActive(false);
  for (const How how : kBothWays) {
    SCOPED_TRACE(Name(how));
    const fs::path dir = root / Name(how) / "tree";
    const fs::path dated = root / Name(how) / "out" / "2026-12-08";
    const fs::path archive = dated / (Flat(dir) + ".7z");
    const fs::path partial = dated / (Flat(dir) + ".incomplete.7z");
    Tree(dir);
    m.SetOutputPath((root / Name(how) / "out").string());
    logs->SetActive(false);
    TbkDirectory* d = AddDirectory(dir.string(), "Source");
    // What an interrupted run leaves: not an archive 7-Zip could add to.
    Put(partial, "not an archive");

    ASSERT_EQ(Archive(*d, how), 0) << scriptErrors;
    EXPECT_EQ(Listing(archive.string()), Expected(dir, {}, {".tmp"}));
    EXPECT_TRUE(Listing(archive.string()).count("a.txt"));
    EXPECT_FALSE(fs::exists(partial));

    fs::remove(dir / "a.txt");
    fs::remove(dir / "sub" / "e.txt");
    Put(dir / "new.txt");
    logs->SetActive(true);
    ASSERT_EQ(Archive(*d, how), 0) << scriptErrors;
    const Files now = Listing(archive.string());
    EXPECT_EQ(now, Expected(dir, {}, {".tmp", ".log"}));
    EXPECT_FALSE(now.count("a.txt"));
    EXPECT_FALSE(now.count("sub/deeper/g.log"));
    EXPECT_TRUE(now.count("new.txt"));
    EXPECT_EQ(FilesIn(dated), Files{archive.filename().string()});
    m.Directories()->Clear();
  }
}

// The old archive is replaced when 7-Zip ends with 0 or with a warning (1);
// after a failure (2 and more) the temporary archive goes and the old one
// stays as it was.
TEST_F(SevenZipTest, ArchiveIsReplacedOnlyWhenSevenZipSucceedsOrWarns) {
  for (const How how : kBothWays) {
    SCOPED_TRACE(Name(how));
    const fs::path dir = root / Name(how) / "tree";
    const fs::path out = root / Name(how) / "out";
    const fs::path archive = out / (Flat(dir) + ".7z");
    const fs::path partial = out / (Flat(dir) + ".incomplete.7z");
    Tree(dir);
    m.SetOutputPath(out.string());
    m.SetArchiverExeFileName(sevenZip);
    m.SetArchiverParams("a -r");
    // The stand-ins below end every call with their status, a test too.
    m.SetTestArchives(false);
    TbkDirectory* d = AddDirectory(dir.string());
    ASSERT_EQ(Archive(*d, how), 0) << scriptErrors;
    const std::string first = test::ReadFile(archive);
    const Files before = Expected(dir, {}, {});
    ASSERT_EQ(Listing(archive.string()), before);
    Put(dir / "later.txt");

    // 7-Zip refuses a switch: it writes nothing.
    m.SetArchiverParams("a -r -mx=bogus");
    EXPECT_EQ(Archive(*d, how), how == How::kRun ? 2 : 1);
    EXPECT_EQ(test::ReadFile(archive), first);
    EXPECT_FALSE(fs::exists(partial));

    // 7-Zip writes the whole archive and then reports a failure.
    m.SetArchiverParams("a -r");
    m.SetArchiverExeFileName(SevenZipThat("", "code=2").string());
    EXPECT_EQ(Archive(*d, how), how == How::kRun ? 2 : 1);
    EXPECT_EQ(test::ReadFile(archive), first);
    EXPECT_FALSE(fs::exists(partial));
    if (how == How::kScript) {
      EXPECT_NE(scriptErrors.find("exit status 2"), std::string::npos) << scriptErrors;
    }

    // A warning: the new archive is kept.
    m.SetArchiverExeFileName(SevenZipThat("", "code=1").string());
    EXPECT_EQ(Archive(*d, how), 1);
    EXPECT_EQ(Listing(archive.string()), Expected(dir, {}, {}));
    EXPECT_TRUE(Listing(archive.string()).count("later.txt"));
    EXPECT_FALSE(fs::exists(partial));
    m.Directories()->Clear();
  }
}

// What the real 7-Zip says is what the record keeps: a new archive of no
// file is a warning, and a link to nothing gives status 1, the archive of
// the rest with its size, and 7-Zip's own lines naming the link.
TEST_F(SevenZipTest, SevenZipsOwnWordsBecomeTheRecordsWarning) {
  const fs::path dir = root / "tree";
  Put(dir / "a.txt");
  m.SetOutputPath((root / "out").string());
  m.SetArchiverExeFileName(sevenZip);
  m.SetArchiverParams("a -r");
  AddRule("Nothing", ecInclude, {"*.nomatch"});
  TbkDirectory* d = AddDirectory(dir.string(), "Nothing");
  Snapshot before = Archives({d});
  TJobOutcome outcome = RunJobAndWait(MakeNightPlan(m).jobs[0]);
  ExpectPreviewsMatch(before);
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.warning, kNoFileTaken);
  EXPECT_TRUE(outcome.bytes);

  d->SetRuleName("");
  fs::create_symlink(root / "nowhere", dir / "dangling");
  before = Archives({d});
  outcome = RunJobAndWait(MakeNightPlan(m).jobs[0]);
  ExpectPreviewsMatch(before);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_TRUE(outcome.bytes);
  EXPECT_NE(outcome.warning.find("WARNING:"), std::string::npos) << outcome.warning;
  EXPECT_NE(outcome.warning.find("dangling"), std::string::npos) << outcome.warning;
  EXPECT_EQ(outcome.warning.find(kNoFileTaken), std::string::npos) << outcome.warning;
}

// ---- The archive folder inside the directory ---------------------------------

// Wherever the archive folder lies inside the directory, neither today's
// archive (on a second run) nor those of earlier days are archived; a folder
// of the same name deeper in the tree is.
TEST_F(SevenZipTest, ArchiveFolderInsideTheDirectoryIsNeverArchived) {
  struct Case {
    std::string name;
    std::string output;  // "<dir>" stands for the directory's path
    std::string pattern;
    fs::path folder;             // the archive's folder below the directory, dated or not
    std::string path = "<dir>";  // the directory's path as typed
  };
  const std::vector<Case> cases = {
      {"absolute", "<dir>/MyArchives", "yyyy-mm-dd", "MyArchives"},
      {"relative", "Archives", "yyyy-mm-dd", "Archives"},
      {"relative with a dot and a slash", "./Archives/", "", "Archives"},
      {"relative through the parent", "../tree/MyArchives", "yyyy-mm-dd", "MyArchives"},
      {"with steps back", "<dir>/sub/../MyArchives", "yyyy-mm-dd", "MyArchives"},
      {"the directory itself", "<dir>", "", ""},
      {"directory with steps back", "<dir>/MyArchives", "", "MyArchives", "<dir>/sub/../"},
  };
  const auto typed = [](std::string text, const fs::path& dir) {
    return text.rfind("<dir>", 0) == 0 ? dir.string() + text.substr(5) : text;
  };
  for (const How how : kBothWays) {
    for (const Case& c : cases) {
      SCOPED_TRACE(Name(how) + ", " + c.name);
      const fs::path dir = root / Name(how) / c.name / "tree";
      Tree(dir);
      Put(dir / "sub" / "MyArchives" / "keep.txt");
      Put(dir / "sub" / "Archives" / "keep.txt");
      // Bears the archive's own name, but deeper down than a day's folder.
      const std::string flat = Flat(typed(c.path, dir));
      Put(dir / "sub" / "deeper" / (flat + ".7z"));
      const Files expected = Expected(dir, {}, {});
      m.SetOutputPath(typed(c.output, dir));
      m.SetSubDirNamePattern(c.pattern);
      TbkDirectory* d = AddDirectory(typed(c.path, dir));
      for (int date = 8; date <= 10; ++date) {
        day.clock.Set(December(date));
        const fs::path folder = dir / c.folder / (c.pattern.empty() ? "" : DecemberFolder(date));
        const fs::path archive = folder / (flat + ".7z");
        for (int again = 0; again < 2; ++again) {
          ASSERT_EQ(Archive(*d, how), 0) << scriptErrors;
          EXPECT_EQ(Listing(archive.string()), expected)
              << "December " << date << ", run " << again;
        }
      }
      m.Directories()->Clear();
    }
  }
}

// The output folder two levels down is left out alone: folders of its name
// elsewhere in the tree, deeper or beside it, are archived.
TEST_F(SevenZipTest, OnlyTheOutputFolderIsLeftOutNotOthersOfItsName) {
  for (const How how : kBothWays) {
    SCOPED_TRACE(Name(how));
    const fs::path dir = root / Name(how) / "tree";
    for (const char* name : {"a.txt", "out/top.doc", "s1/f.txt", "s1/sub/out/keep.doc",
                             "s1/x/y/out/keep2.doc", "t/s1/out/deep.doc"}) {
      Put(dir / name);
    }
    const Files expected = Expected(dir, {}, {});
    m.SetOutputPath((dir / "s1" / "out").string());
    m.SetSubDirNamePattern("yyyy-mm-dd");
    TbkDirectory* d = AddDirectory(dir.string());
    for (int date = 8; date <= 9; ++date) {
      day.clock.Set(December(date));
      ASSERT_EQ(Archive(*d, how), 0) << scriptErrors;
      EXPECT_EQ(Listing((dir / "s1" / "out" / DecemberFolder(date) / (Flat(dir) + ".7z")).string()),
                expected)
          << "December " << date;
    }
    m.Directories()->Clear();
  }
}

// A directory named through a link, with the output folder inside it under
// its real name: the next night's archive holds neither the earlier archives
// nor another job's temporary one.
TEST_F(SevenZipTest, AnOutputFolderReachedThroughALinkIsNotArchived) {
  const fs::path home = root / "real" / "home";
  Tree(home);
  const Files expected = Expected(home, {}, {});
  fs::create_directories(root / "links");
  fs::create_directory_symlink(home, root / "links" / "viaHome");
  m.SetOutputPath((home / "Archives").string());
  m.SetSubDirNamePattern("yyyy-mm-dd");
  TbkDirectory* d = AddDirectory((root / "links" / "viaHome").string());
  for (int date = 8; date <= 9; ++date) {
    day.clock.Set(December(date));
    // Another job's archive being made in the same folder.
    Put(home / "Archives" / DecemberFolder(date) / "other.incomplete.7z");
    ASSERT_EQ(Run(*d), 0);
    EXPECT_EQ(Listing((home / "Archives" / DecemberFolder(date) /
                       (Flat(root / "links" / "viaHome") + ".7z"))
                          .string()),
              expected)
        << "December " << date;
  }
}

// Masks beginning with "@" are masks, not list files for 7-Zip to read.
TEST_F(SevenZipTest, MasksBeginningWithAnAtSignAreMasks) {
  const fs::path dir = root / "tree";
  Put(dir / "@x");
  Put(dir / "s" / "@y");
  Put(dir / "norm");
  test::WriteFile(dir / "list", "/etc/hostname\n");
  test::WriteFile(dir / "@list", "/etc/hostname\n");
  AddRule("At", ecInclude, {"@*", "@list"});
  AddRule("NoAt", ecExclude, {"@*"});
  TbkDirectory* d = AddDirectory(dir.string(), "At");
  m.SetOutputPath((root / "out").string());
  m.SetSubDirNamePattern("");
  for (const How how : kBothWays) {
    SCOPED_TRACE(Name(how));
    d->SetRuleName("At");
    ASSERT_EQ(Archive(*d, how), 0) << scriptErrors;
    EXPECT_EQ(Listing((root / "out" / (Flat(dir) + ".7z")).string()),
              (Files{"@list", "@x", "s/@y"}));
    d->SetRuleName("NoAt");
    ASSERT_EQ(Archive(*d, how), 0) << scriptErrors;
    EXPECT_EQ(Listing((root / "out" / (Flat(dir) + ".7z")).string()), (Files{"list", "norm"}));
  }
}

// The preview and the archive agree on a pipe, an exclude with a "." step, a
// name that is no UTF-8 under "?" and a path too long for the system.
TEST_F(SevenZipTest, PreviewAgreesOnPipesDotStepsOddNamesAndLongPaths) {
#ifndef _WIN32
  m.SetOutputPath((root / "out").string());
  m.SetSubDirNamePattern("");
  const fs::path dir = root / "tree";
  Put(dir / "a.txt");
  Put(dir / "sub" / "x.txt");
  Put(dir / "\xC0\xAF.txt");
  Put(dir / "\xC3\xA9.txt");
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0644), 0);
  const fs::path archive = root / "out" / (Flat(dir) + ".7z");
  AddRule("DotOut", ecExclude, {"./sub"});
  AddRule("One", ecInclude, {"?.txt"});
  TbkDirectory* d = AddDirectory(dir.string(), "DotOut");
  ASSERT_EQ(Run(*d), 0);
  EXPECT_EQ(Listing(archive.string()),
            (Files{"a.txt", "pipe", "sub/x.txt", "\xC0\xAF.txt", "\xC3\xA9.txt"}));
  d->SetRuleName("One");
  ASSERT_EQ(Run(*d), 0);
  EXPECT_EQ(Listing(archive.string()), (Files{"a.txt", "sub/x.txt", "\xC3\xA9.txt"}));

  std::string relative;
  for (int i = 0; i < 20; ++i) relative += std::string(200, 'd') + "/";
  const std::string shorter(4095 - relative.size(), 'a');
  const std::string longer(4096 - relative.size(), 'b');
  ASSERT_EQ(Status("cd '" + dir.string() + "' && mkdir -p " + relative + " && cd " + relative +
                   " && echo > " + shorter + " && echo > " + longer),
            0);
  d->SetRuleName("");
  EXPECT_EQ(Run(*d), 1) << "7-Zip warns of the path it cannot open";
  EXPECT_TRUE(Listing(archive.string()).count(relative + shorter));
#endif
}

// With the directory itself as the output folder and a dated subfolder, the
// archives of earlier days lie in the directory too and must stay out.
TEST_F(SevenZipTest, EarlierDaysInTheDirectoryItselfAreNotArchived) {
  for (const How how : kBothWays) {
    SCOPED_TRACE(Name(how));
    const fs::path dir = root / Name(how) / "tree";
    Tree(dir);
    const Files expected = Expected(dir, {}, {});
    m.SetOutputPath(dir.string());
    m.SetSubDirNamePattern("yyyy-mm-dd");
    TbkDirectory* d = AddDirectory(dir.string());
    for (int date = 8; date <= 10; ++date) {
      day.clock.Set(December(date));
      ASSERT_EQ(Archive(*d, how), 0) << scriptErrors;
      const fs::path archive = dir / DecemberFolder(date) / (Flat(dir) + ".7z");
      EXPECT_EQ(Listing(archive.string()), expected) << "December " << date;
    }
    m.Directories()->Clear();
  }
}

// ---- What the script hands 7-Zip ------------------------------------------------

// The script quotes every word of the parameters so that 7-Zip receives from
// it what it receives from a run: nothing in them is expanded, globbed, taken
// for a comment or ends the command.
TEST_F(SevenZipTest, ScriptHandsSevenZipTheParametersARunHandsIt) {
  struct Case {
    std::string params, password;
  };
  const std::vector<Case> cases = {
      {"a -r -mhe=on -pPa$$w0rd", "Pa$$w0rd"},
      {"a -r -mhe=on \"-p$HOME #1; rm -rf *\"", "$HOME #1; rm -rf *"},
      {"a -r -mhe=on '-p`id`|x>y&(z)'", "`id`|x>y&(z)"},
      {"a -r -mhe=on -p*.txt", "*.txt"},
      {"a -r -mhe=on -p~/[ab]{c,d}?\\ it\\'s", "~/[ab]{c,d}? it's"},
  };
  const fs::path dir = root / "tree";
  Tree(dir);
  // What "-p*.txt" would become if the shell globbed it in the directory.
  Put(dir / "-pglob.txt");
  const Files expected = Expected(dir, {}, {});
  TbkDirectory* d = AddDirectory(dir.string());
  m.SetOutputPath((root / "out").string());
  m.SetArchiverExeFileName(SevenZipThat(QuotePosixWord(test::RecorderPath()) + " \"$@\"").string());
  const fs::path archive = root / "out" / (Flat(dir) + ".7z");
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    m.SetArchiverParams(c.params);
    std::vector<std::string> received[2];
    for (const How how : kBothWays) {
      SCOPED_TRACE(Name(how) + ", " + c.params);
      fs::remove(archive);
      const fs::path record = root / ("record-" + std::to_string(i) + Name(how));
      {
        test::TRecording recording(record);
        ASSERT_EQ(Archive(*d, how), 0) << scriptErrors;
      }
      received[how == How::kScript] = test::RecordedLines(record);
      EXPECT_EQ(Listing(archive.string(), c.password), expected);
      EXPECT_EQ(TestWithPassword(archive, c.password), 0);
      EXPECT_NE(TestWithPassword(archive, c.password + "x"), 0);
      EXPECT_NE(TestWithPassword(archive, "Pa"), 0);
    }
    // The run then has 7-Zip test the new archive, with the same password.
    const std::vector<std::string>& script = received[1];
    ASSERT_GE(received[0].size(), script.size()) << c.params;
    const auto archived = received[0].begin() + static_cast<std::ptrdiff_t>(script.size());
    EXPECT_EQ(std::vector<std::string>(received[0].begin(), archived), script) << c.params;
    EXPECT_EQ(std::vector<std::string>(archived, received[0].end()),
              (std::vector<std::string>{(root / "out").string(), "t", "-p" + c.password,
                                        (root / "out" / (Flat(dir) + ".incomplete.7z")).string()}))
        << c.params;
    EXPECT_EQ(std::count(script.begin(), script.end(), "-p" + c.password), 1) << c.params;
  }
}

// ---- Directories that cannot be archived ------------------------------------------

// Two directories whose archives would have the same name (or one directory
// listed twice) would overwrite each other's archive: neither is archived, by
// a run or by a script, and the others are.
TEST_F(SevenZipTest, ClashingDirectoriesAreNeitherRunNorScripted) {
  const fs::path data = root / "data";
  const std::vector<std::pair<fs::path, fs::path>> clashes = {
      {data / "a" / "b_c", data / "a_b" / "c"},  // both data_a_b_c
      {data / "twice", data / "twice"},
      {data / "p", data / "p.incomplete"},  // the one's temporary archive is the other's
  };
  const fs::path alone = data / "alone";
  for (const auto& [first, second] : clashes) {
    Tree(first);
    Tree(second);
    AddDirectory(first.string());
  }
  for (const auto& [first, second] : clashes) AddDirectory(second.string());
  AddDirectory(alone.string());
  Tree(alone);
  const fs::path out = root / "out";
  m.SetOutputPath(out.string());
  const fs::path record = root / "record";
  test::TRecording recording(record);
  m.SetArchiverExeFileName(SevenZipThat(QuotePosixWord(test::RecorderPath()) + " \"$@\"").string());

  // The jobs started by RunAllDirectories are not waited for.
  std::string message;
  try {
    RunAllDirectories(m);
  } catch (const Exception& e) {
    message = e.Message();
  }
  for (const auto& [first, second] : clashes) {
    EXPECT_NE(message.find(first.string() + ":"), std::string::npos) << message;
    EXPECT_NE(message.find(", " + second.string() + ";"), std::string::npos) << message;
  }
  const fs::path made = out / (Flat(alone) + ".7z");
  ASSERT_TRUE(WaitForFile(made));
  EXPECT_EQ(Listing(made.string()), Expected(alone, {}, {}));
  ExpectPreviewMatches(JobOfDirectory(m, *m.Directories()->Items(m.Directories()->Count() - 1),
                                      GetArchiveDirectory(m, false)));
  const std::vector<std::string> calls = test::RecordedLines(record);
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.front(), alone.string());
  for (const auto& [first, second] : clashes) {
    EXPECT_EQ(std::count(calls.begin(), calls.end(), first.string()), 0) << first;
    EXPECT_EQ(std::count(calls.begin(), calls.end(), second.string()), 0) << second;
  }
  EXPECT_EQ(FilesIn(out), Files{made.filename().string()});

  TbkDirectory& bc = *m.Directories()->Items(0);
  try {
    RunDirectoryAndWait(m, bc);
    ADD_FAILURE() << "a clashing directory was run";
  } catch (const Exception& e) {
    EXPECT_NE(e.Message().find((data / "a_b" / "c").string()), std::string::npos) << e.Message();
  }
  EXPECT_EQ(FilesIn(out), Files{made.filename().string()});

  // No script is written that holds a clash: not for all, not for one.
  fakes::FakeShell shell;
  ScopedOverride<IShell> useShell(shell);
  for (const bool unmarked : {false, true}) {
    try {
      GetBatchLinesForAll(m, unmarked);
      ADD_FAILURE() << "a script of all holds a clash";
    } catch (const Exception& e) {
      EXPECT_NE(e.Message().find((data / "a" / "b_c").string()), std::string::npos);
      EXPECT_NE(e.Message().find((data / "a_b" / "c").string()), std::string::npos);
    }
  }
  bool chosen = false;
  EXPECT_THROW(CreateBatForAll(m,
                               [&](std::string& name) {
                                 chosen = true;
                                 name = (root / "all.sh").string();
                                 return true;
                               }),
               Exception);
  EXPECT_FALSE(chosen);
  EXPECT_THROW(CreateBatForDirectory(m, bc, (root / "one.sh").string()), Exception);
  EXPECT_FALSE(fs::exists(root / "all.sh"));
  EXPECT_FALSE(fs::exists(root / "one.sh"));
  EXPECT_TRUE(shell.calls.empty());
}

// A directory that is gone fails on its own: the script says so on standard
// error, archives the directories after it and ends with a failure; a run of
// it fails.
TEST_F(SevenZipTest, MissingDirectoryFailsAloneAndTheOthersAreArchived) {
  const fs::path first = root / "first", missing = root / "missing", last = root / "last";
  Tree(first);
  Tree(last);
  for (const fs::path& dir : {first, missing, last}) AddDirectory(dir.string());
  for (const How how : kBothWays) {
    SCOPED_TRACE(Name(how));
    const fs::path out = root / ("out-" + Name(how));
    m.SetOutputPath(out.string());
    if (how == How::kScript) {
      EXPECT_EQ(ArchiveAll(how), 1);
      EXPECT_NE(scriptErrors.find("Cannot enter " + missing.string()), std::string::npos)
          << scriptErrors;
    } else {
      EXPECT_EQ(Run(*m.Directories()->Items(0)), 0);
      EXPECT_THROW(RunDirectoryAndWait(m, *m.Directories()->Items(1)), Exception);
      const TJobOutcome outcome = RunJobAndWait(
          JobOfDirectory(m, *m.Directories()->Items(1), GetArchiveDirectory(m, false)));
      EXPECT_FALSE(outcome.error.empty());
      EXPECT_FALSE(outcome.status.has_value());
      EXPECT_EQ(Run(*m.Directories()->Items(2)), 0);
    }
    EXPECT_EQ(Listing((out / (Flat(first) + ".7z")).string()), Expected(first, {}, {}));
    EXPECT_EQ(Listing((out / (Flat(last) + ".7z")).string()), Expected(last, {}, {}));
    EXPECT_EQ(FilesIn(out), (Files{Flat(first) + ".7z", Flat(last) + ".7z"}));
    EXPECT_FALSE(fs::exists(missing));
  }
}

// ---- The home folder ---------------------------------------------------------------

// "~/" at the start of the directory's path and of the output folder is the
// home folder of $HOME, in a run and in a script; the archive folder is
// recognised inside the directory through it, and the same directory written
// both ways clashes.
TEST_F(SevenZipTest, LeadingTildeIsTheHomeFolder) {
  const fs::path home = root / "home";
  const THome useHome(home);
  const fs::path dir = home / "docs";
  Tree(dir);
  const Files expected = Expected(dir, {}, {});
  m.SetSubDirNamePattern("yyyy-mm-dd");
  TbkDirectory* d = AddDirectory("~/docs");
  for (const How how : kBothWays) {
    SCOPED_TRACE(Name(how));
    m.SetOutputPath("~/out-" + Name(how));
    ASSERT_EQ(Archive(*d, how), 0) << scriptErrors;
    EXPECT_EQ(Listing((home / ("out-" + Name(how)) / "2026-12-08" / (Flat(dir) + ".7z")).string()),
              expected);

    const fs::path inside = dir / "MyArchives" / "2026-12-08" / (Flat(dir) + ".7z");
    m.SetOutputPath("~/docs/MyArchives");
    ASSERT_EQ(Archive(*d, how), 0) << scriptErrors;
    ASSERT_EQ(Archive(*d, how), 0) << scriptErrors;
    EXPECT_EQ(Listing(inside.string()), expected);
    fs::remove_all(dir / "MyArchives");
  }

  AddDirectory(dir.string());
  EXPECT_THROW(RunDirectoryAndWait(m, *d), Exception);
  EXPECT_THROW(GetBatchLinesForAll(m), Exception);
}

}  // namespace
}  // namespace pw
