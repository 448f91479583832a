// The command-line companion under faults: limits, special files and hostile
// input. Each failure is one line on standard error and exit status 1.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "archiver/BatchFiles.h"
#include "archiver/Journal.h"
#include "model/HoardkeeperClasses.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

namespace fs = std::filesystem;

using test::ReadFile;
using test::WriteFile;

struct Outcome {
  bool signalled;
  int status;
  std::string out, err;
};

class CliFaultsTest : public ::testing::Test {
 protected:
  CliFaultsTest() {
    root = fs::temp_directory_path() / ("pw-clif-" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "work");
    settings = (root / "Packetwright.dat").string();
  }
  ~CliFaultsTest() override { fs::remove_all(root); }

  // Runs the program through sh, after the shell commands in setup; standard
  // output goes to the file stdout unless output redirects it elsewhere.
  Outcome Run(const std::string& setup, const std::string& args, const std::string& input = "",
              const std::string& output = "") {
    WriteFile(root / "stdin", input);
    fs::remove(root / "stdout");
    const std::string command =
        setup + "; exec '" + PW_CLI_PATH + "' " + args + " < '" + (root / "stdin").string() + "' " +
        (output.empty() ? "> '" + (root / "stdout").string() + "'" : output) + " 2> '" +
        (root / "stderr").string() + "'";
    const int raw = std::system(command.c_str());
    if (WIFSIGNALED(raw)) return {true, 128 + WTERMSIG(raw), "", ""};
    return {false, WEXITSTATUS(raw), ReadFile(root / "stdout"), ReadFile(root / "stderr")};
  }

  std::vector<std::string> WorkFiles() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(root / "work")) {
      names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  // Two directories that /bin/true archives: a run of them always succeeds.
  void TwoDirectories() {
    TbkManager m;
    m.SetArchiverExeFileName("/bin/true");
    m.SetOutputPath((root / "out").string());
    for (const char* name : {"a", "b"}) {
      fs::create_directories(root / "data" / name);
      m.Directories()->Add()->SetPath((root / "data" / name).string());
    }
    m.SaveToFile(settings, true);
  }
  std::string Succeeded() const {
    return "[1] " + (root / "data" / "a").string() + ": exit status 0\n[2] " +
           (root / "data" / "b").string() + ": exit status 0\n";
  }

  fs::path root;
  std::string settings;
};

TEST_F(CliFaultsTest, AFileSizeLimitGivesAMessageAndLeavesNothing) {
  const fs::path out = root / "work" / "big.dat";
  WriteFile(out, "old");
  const std::string json = "{\"ArchiverParams\": \"" + std::string(4000, 'p') +
                           "\", \"Directories\": [{\"Path\": \"/" + std::string(4000, 'd') +
                           "\"}]}";
  const Outcome r = Run("ulimit -f 2", "import '" + out.string() + "'", json);
  EXPECT_FALSE(r.signalled) << "status " << r.status;
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "packetwright-cli: Cannot write " + out.string() + ": Stream write error\n");
  EXPECT_EQ(ReadFile(out), "old");
  EXPECT_EQ(WorkFiles(), std::vector<std::string>{"big.dat"});
}

// Every job still runs, but a scheduler must see that the journal missed them.
TEST_F(CliFaultsTest, AJournalThatCannotBeWrittenFailsARunThatRunsEveryJob) {
  TwoDirectories();
  const std::string journal = JournalFileName(settings);
  // Beyond the file-size limit below already: no record fits.
  WriteFile(journal, std::string(8192, 'x') + "\n");
  const Outcome r = Run("ulimit -f 4", "--settings '" + settings + "' run --wait --jobs 1");
  EXPECT_FALSE(r.signalled);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, Succeeded());
  EXPECT_EQ(r.err, "packetwright-cli: Cannot write the journal " + journal + "\n");
}

// No thread for the pool (a tight memory limit for its stacks, or the user's
// limit of processes): one line, a record of each job, status 1.
TEST_F(CliFaultsTest, ARunThatCannotStartAThreadJournalsEveryJobAndFails) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer cannot start under a memory limit";
#endif
  TwoDirectories();
  const Outcome r = Run("ulimit -s 2000000; ulimit -v 400000",
                        "--settings '" + settings + "' run --wait --notify never");
  EXPECT_FALSE(r.signalled) << "status " << r.status;
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  const std::string error = "Cannot start a thread: ";
  EXPECT_EQ(r.err.rfind("packetwright-cli: " + error, 0), 0u) << r.err;
  const std::vector<TJournalRecord> records = ReadJournal(JournalFileName(settings));
  ASSERT_EQ(records.size(), 2u);
  for (const TJournalRecord& record : records) {
    EXPECT_FALSE(record.status);
    EXPECT_EQ(record.error.value_or("").rfind(error, 0), 0u);
  }
}

// A FIFO in the journal's place is neither waited for nor written into.
TEST_F(CliFaultsTest, AJournalThatIsAPipeIsRefusedWithoutWaiting) {
  TwoDirectories();
  const std::string journal = JournalFileName(settings);
  ASSERT_EQ(::mkfifo(journal.c_str(), 0600), 0);
  // A reader that waited for a writer gets one after ten seconds, and then
  // an empty journal.
  const std::string watchdog =
      "(sleep 10; timeout 5 sh -c \": > '" + journal + "'\") >/dev/null 2>&1 & true";
  const std::string refused =
      "packetwright-cli: The journal " + journal + " is not a regular file\n";
  Outcome r = Run(watchdog, "--settings '" + settings + "' history");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, refused);
  r = Run(watchdog, "--settings '" + settings + "' run --wait --jobs 1");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, Succeeded());
  EXPECT_EQ(r.err, refused);
}

TEST_F(CliFaultsTest, ABatchFileCanGoToStandardOutput) {
  TbkManager m;
  m.SetArchiverExeFileName("C:\\Tools\\rar.exe");
  m.Directories()->Add()->SetPath("/data");
  m.SaveToFile(settings, true);
  std::string expected;
  for (const std::string& line : GetBatchLinesForAll(m)) expected += line + ScriptLineEnd();
  const Outcome r = Run("true", "--settings '" + settings + "' bat /dev/stdout");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, expected);
  EXPECT_TRUE(fs::is_symlink("/dev/stdout") || fs::is_character_file("/dev/stdout"));
}

TEST_F(CliFaultsTest, ABatchFileGoesThroughTheDescriptorAsTheShellOpenedIt) {
  TbkManager m;
  m.SetArchiverExeFileName("C:\\Tools\\packer.exe");
  m.Directories()->Add()->SetPath("/data");
  m.SaveToFile(settings, true);
  std::string expected;
  for (const std::string& line : GetBatchLinesForAll(m)) expected += line + ScriptLineEnd();
  const fs::path out = root / "o.txt";
  for (const std::string name : {"/dev/fd/1", "/dev/stdout", "/proc/self/fd/1"}) {
    WriteFile(out, "earlier\n");
    const Outcome r =
        Run("true", "--settings '" + settings + "' bat " + name, "", ">> '" + out.string() + "'");
    EXPECT_EQ(r.status, 0) << name << ": " << r.err;
    EXPECT_EQ(ReadFile(out), "earlier\n" + expected) << name;

    const std::string command =
        std::string("'") + PW_CLI_PATH + "' --settings '" + settings + "' bat " + name + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string piped;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) piped.append(buffer, n);
    const int status = ::pclose(pipe);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << name << ": " << piped;
    EXPECT_EQ(piped, expected) << name;
  }
}

TEST_F(CliFaultsTest, AnImportThroughProcReplacesTheFileItLeadsTo) {
  const fs::path plain = root / "work" / "plain.dat", viaProc = root / "work" / "y.dat";
  TbkManager old;
  old.Directories()->Add()->SetPath("/old");
  old.SaveToFile(viaProc.string(), true);
  const std::string json = "{\"Directories\": [{\"Path\": \"/new\"}]}";
  Outcome r = Run("true", "import '" + plain.string() + "'", json);
  ASSERT_EQ(r.status, 0) << r.err;
  r = Run("cd '" + (root / "work").string() + "'", "import /proc/self/cwd/y.dat", json);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile(viaProc), ReadFile(plain));
  EXPECT_EQ(WorkFiles(), (std::vector<std::string>{"plain.dat", "y.dat"}));
}

TEST_F(CliFaultsTest, EveryImportFailureIsOneLineAndWritesNothing) {
  const fs::path out = root / "work" / "x.dat";
  for (const std::string& json :
       {std::string("{\"Tag\":1e999}"), "{\"Tag\":" + std::string(10001, '7') + "}",
        std::string("{\"Rules\":[{\"Extensions\":[{\"TotalSize\":18446744073709551615}]}]}"),
        std::string(100000, '[')}) {
    const Outcome r = Run("true", "import '" + out.string() + "'", json);
    EXPECT_FALSE(r.signalled) << json.substr(0, 40);
    EXPECT_EQ(r.status, 1) << json.substr(0, 40);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.err.rfind("packetwright-cli: Invalid settings JSON", 0), 0u) << r.err;
    EXPECT_LT(r.err.size(), 400u);
  }
  EXPECT_TRUE(WorkFiles().empty());
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer cannot start under a memory limit";
#endif
  // Memory runs out while the input is read.
  const Outcome r = Run("ulimit -v 150000", "import '" + out.string() + "'",
                        "[\"" + std::string(60 << 20, 'm') + "\"]");
  EXPECT_FALSE(r.signalled) << "status " << r.status;
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  EXPECT_TRUE(WorkFiles().empty());
}

// Two hundred thousand directories in 16 MB of JSON. Read as a tree of the
// whole text they needed some 190 MB, and memory that ran out while the tree
// grew ended the program with an abort: freeing the tree needs memory too.
// Read straight into the document, they fit in 150 MB with the program
// itself; where even the document does not fit, the failure is one line.
TEST_F(CliFaultsTest, AnImportOfManyDirectoriesNeedsLittleMoreThanTheDocument) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer cannot start under a memory limit";
#endif
  constexpr int kDirectories = 200000;
  std::string json = "{\"Directories\": [";
  char item[160];
  for (int i = 0; i < kDirectories; ++i) {
    std::snprintf(item, sizeof item,
                  "%s\n    {\n      \"RuleName\": \"\",\n      \"Path\": \"/data/d%07d\",\n"
                  "      \"NeedArchive\": true,\n      \"ArchiveFileName\": \"\"\n    }",
                  i ? "," : "", i);
    json += item;
  }
  json += "\n  ]\n}\n";
  const fs::path out = root / "work" / "many.dat";
  Outcome r = Run("ulimit -v 80000", "import '" + out.string() + "'", json);
  EXPECT_FALSE(r.signalled) << "status " << r.status;
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "packetwright-cli: Not enough memory to read the settings JSON\n");
  EXPECT_TRUE(WorkFiles().empty());

  r = Run("ulimit -v 150000", "import '" + out.string() + "'", json);
  EXPECT_FALSE(r.signalled) << "status " << r.status;
  ASSERT_EQ(r.status, 0) << r.err;
  TbkManager m;
  m.LoadFromFile(out.string());
  ASSERT_EQ(m.Directories()->Count(), kDirectories);
  EXPECT_EQ(m.Directories()->Items(kDirectories - 1)->Path(), "/data/d0199999");
}

TEST_F(CliFaultsTest, AnImportedPathNoJobCouldArchiveIsNamedEscapedAndWritesNothing) {
  const fs::path out = root / "work" / "x.dat";
  WriteFile(out, "old");
  const std::pair<const char*, const char*> cases[] = {
      {"\"/a\\u0000\\u001b[2J\"",
       "2 \"/a\\x00\\x1B[2J\": The directory's path holds a control character"},
      {"\"/a\\r\\nb\"", "2 \"/a\\x0D\\x0Ab\": The directory's path holds a control character"},
      {"\"docs\"", "2 \"docs\": The directory's path is not absolute"},
      {"\"C:\\\\Data\"", "2 \"C:\\Data\": The directory's path is not absolute"},
      {"\"\"", "2 \"\": The directory's path is empty"},
  };
  for (const auto& [path, message] : cases) {
    const Outcome r =
        Run("true", "import '" + out.string() + "'",
            "{\"Directories\": [{\"Path\": \"/data\"}, {\"Path\": " + std::string(path) + "}]}");
    EXPECT_EQ(r.status, 1) << path;
    EXPECT_EQ(r.err, "packetwright-cli: Cannot import directory " + std::string(message) + "\n");
  }
  EXPECT_EQ(ReadFile(out), "old");
  EXPECT_EQ(WorkFiles(), std::vector<std::string>{"x.dat"});
}

TEST_F(CliFaultsTest, ControlBytesFromTheFileReachTheTerminalEscaped) {
  // A property name that clears the screen, and a path that does in show.
  WriteFile(settings, std::string("TPF0\x0ATbkManager\x00\x04\x1B[2J\x08", 22));
  Outcome r = Run("true", "--settings '" + settings + "' show");
  EXPECT_EQ(r.err,
            "packetwright-cli: Error reading TbkManager.\\x1B[2J: Property does not exist\n");
  TbkManager m;
  m.Directories()->Add()->SetPath("C:\\\x1B]0;owned\x07");
  m.SaveToFile(settings, true);
  r = Run("true", "--settings '" + settings + "' show");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("[1] [x] C:\\\\x1B]0;owned\\x07\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find('\x1B'), std::string::npos);
}

TEST_F(CliFaultsTest, OutputThatCannotBeWrittenIsAFailure) {
  TbkManager().SaveToFile(settings, true);
  TJournalRecord record;
  record.directory = "/data/src";
  record.position = 1;
  record.started = "2026-12-08T02:30:00+01:00";
  record.status = 0;
  AppendJournalRecord(JournalFileName(settings), record);
  for (const char* args : {"history", "history --json"}) {
    const std::string command = std::string("'") + PW_CLI_PATH + "' --settings '" + settings +
                                "' " + args + " > /dev/full 2> '" + (root / "stderr").string() +
                                "'";
    const int raw = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(raw)) << args;
    EXPECT_EQ(WEXITSTATUS(raw), 1) << args;
    EXPECT_EQ(ReadFile(root / "stderr"), "packetwright-cli: Cannot write to standard output\n")
        << args;
  }
}

}  // namespace
}  // namespace pw
