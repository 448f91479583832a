// The companion with the real 7-Zip and a password: an old document's -p
// switch moved into a password file, archives made through a waited run (the
// pool), a start nothing waits for and a written script that open with the
// password and not without it, names hidden; the password in no file the
// program writes nor anything it prints; the private files for their owner
// alone; a password that cannot be had failing its job in the journal.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "archiver/PosixScripts.h"
#include "platform/ProgramPath.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

namespace fs = std::filesystem;

#ifndef _WIN32

constexpr char kSecret[] = "Secret123";

struct TRan {
  int status;
  std::string out;
};

int Shell(const std::string& command) {
  const int raw = std::system(command.c_str());
  return raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

unsigned ModeOf(const fs::path& file) {
  struct stat st {};
  ::stat(file.c_str(), &st);
  return st.st_mode & 0777u;
}

class PasswordCli : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Shell("command -v 7zz >/dev/null") != 0) GTEST_SKIP() << "7zz is not installed";
    fs::create_directories(temp / "data");
    test::WriteFile(temp / "data" / "letter.txt", "the letter\n");
    earlierMask = ::umask(022);
  }
  void TearDown() override { ::umask(earlierMask); }

  TRan Cli(std::vector<std::string> arguments, const std::string& input = "") {
    arguments.insert(arguments.begin(), {"--settings", settings.string()});
    test::WriteFile(temp / "in", input);
    const int status = test::RunProgram(ProgramDirectory() + "../bin/packetwright-cli", arguments,
                                        temp / "in", temp / "out", temp / "err");
    return {status, test::ReadFile(temp / "out") + test::ReadFile(temp / "err")};
  }
  void Import(const std::string& params, const std::string& more = "") {
    test::WriteFile(temp / "doc.json",
                    "{\"ArchiverExeFileName\": \"7zz\", \"ArchiverParams\": \"" + params +
                        "\", \"OutputPath\": \"" + (temp / "out.d").string() +
                        "\", \"SubDirNamePattern\": \"\", " + more + "\"Directories\": [{\"Path\": \"" +
                        (temp / "data").string() + "\"}]}");
    test::WriteFile(temp / "in", test::ReadFile(temp / "doc.json"));
    ASSERT_EQ(test::RunProgram(ProgramDirectory() + "../bin/packetwright-cli",
                               {"import", settings.string()}, temp / "in", temp / "out",
                               temp / "err"),
              0)
        << test::ReadFile(temp / "err");
  }
  fs::path Archive() const { return temp / "out.d" / (PosixFlatName((temp / "data").string()) + ".7z"); }
  // 7-Zip's exit status for a test of the archive with input on its standard input.
  int SevenZip(const std::string& command, const std::string& input) {
    test::WriteFile(temp / "7in", input);
    return Shell("7zz " + command + " -bso0 -bse0 -bsp0 " + QuotePosixWord(Archive().string()) +
                 " <" + QuotePosixWord((temp / "7in").string()) + " >" +
                 QuotePosixWord((temp / "7out").string()));
  }

  test::TTempFolder temp{"pw-password-cli"};
  fs::path settings = temp / "Packetwright.dat";
  fs::path passwordFile = temp / "archive.pw";
  mode_t earlierMask = 022;
};

TEST_F(PasswordCli, AnOldSwitchMovesToAFileAndEveryWayOfRunningEncryptsWithIt) {
  Import(std::string("a -p") + kSecret + " -mhe=on");
  EXPECT_EQ(ModeOf(settings), 0600u) << "a new settings file is the owner's alone";
  EXPECT_NE(Cli({"show"}).out.find("Warning:            The archiver switches hold a password"),
            std::string::npos);

  const TRan moved = Cli({"password", "set", "--file", passwordFile.string()});
  ASSERT_EQ(moved.status, 0) << moved.out;
  EXPECT_EQ(moved.out, "Moved the password out of the archiver switches into the password file " +
                           passwordFile.string() + "\n");
  EXPECT_EQ(ModeOf(passwordFile), 0600u);
  EXPECT_EQ(Cli({"password", "where"}).out, "the password file " + passwordFile.string() + "\n");

  // A waited run goes through the pool, and tests the archive with the password.
  const TRan waited = Cli({"run", "--wait"});
  ASSERT_EQ(waited.status, 0) << waited.out;
  EXPECT_EQ(SevenZip("t", std::string(kSecret) + "\n"), 0);
  EXPECT_NE(SevenZip("t", "Wrong\n"), 0);
  EXPECT_EQ(SevenZip("t", ""), 255) << "no password, no archive";
  EXPECT_EQ(SevenZip("l", ""), 255) << "the names are encrypted too";
  EXPECT_EQ(test::ReadFile(temp / "7out").find("letter.txt"), std::string::npos);
  EXPECT_EQ(test::ReadFile(Archive()).find("the letter"), std::string::npos);

  // A start that nothing waits for: its pipe was filled before 7-Zip read it.
  fs::remove(Archive());
  ASSERT_EQ(Cli({"run"}).status, 0);
  ASSERT_TRUE(test::WaitForFile(Archive()));
  EXPECT_EQ(SevenZip("t", std::string(kSecret) + "\n"), 0);

  // A script reads the password file when it runs.
  const fs::path script = temp / "all.sh";
  ASSERT_EQ(Cli({"bat", script.string()}).status, 0);
  EXPECT_EQ(ModeOf(script), 0700u);
  fs::remove(Archive());
  ASSERT_EQ(Shell(QuotePosixWord(script.string()) + " >/dev/null 2>&1"), 0);
  EXPECT_EQ(SevenZip("t", std::string(kSecret) + "\n"), 0);
  EXPECT_NE(SevenZip("t", "Wrong\n"), 0);

  const fs::path journal = temp / "Packetwright.journal";
  EXPECT_EQ(ModeOf(journal), 0600u);
  ASSERT_EQ(Cli({"export", (temp / "export.json").string()}).status, 0);
  for (const std::string& printed : {Cli({"show"}).out, Cli({"commands"}).out,
                                     Cli({"schedule", "show"}).out}) {
    EXPECT_EQ(printed.find(kSecret), std::string::npos) << printed;
  }
  for (const fs::path& file : {settings, journal, script, temp / "export.json"}) {
    EXPECT_EQ(test::ReadFile(file).find(kSecret), std::string::npos) << file;
  }
  EXPECT_NE(test::ReadFile(temp / "export.json").find("\"EncryptNames\": true"),
            std::string::npos);
}

TEST_F(PasswordCli, APasswordThatCannotBeHadFailsItsJobInTheJournal) {
  Import("a", "\"Password\": {\"KeptIn\": \"file\", \"File\": \"" + passwordFile.string() +
                  "\"}, ");
  ASSERT_EQ(Cli({"password", "set", "--file", passwordFile.string()}, "Secret 123\nmore\n").status,
            0);
  EXPECT_EQ(test::ReadFile(passwordFile), "Secret 123\n") << "the first line only";
  ::chmod(passwordFile.c_str(), 0640);
  const TRan refused = Cli({"run", "--wait"});
  EXPECT_NE(refused.status, 0);
  EXPECT_NE(refused.out.find("may be read or written by others (mode 640)"), std::string::npos)
      << refused.out;
  EXPECT_FALSE(fs::exists(Archive())) << "nothing archived without the encryption asked for";
  EXPECT_NE(test::ReadFile(temp / "Packetwright.journal").find("may be read or written by others"),
            std::string::npos);
  EXPECT_NE(Cli({"password", "where"}).status, 0) << "where says a run would refuse it";

  // Only the keyring: the scripts refuse, saying what to do.
  ASSERT_EQ(Cli({"password", "clear"}).status, 0);
  EXPECT_EQ(Cli({"password", "where"}).out, "none\n");
  Import("a", "\"Password\": {\"KeptIn\": \"keyring\"}, ");
  for (const std::vector<std::string>& script : {std::vector<std::string>{"commands"},
                                                 std::vector<std::string>{"bat", "-"}}) {
    const TRan ran = Cli(script);
    EXPECT_NE(ran.status, 0);
    EXPECT_NE(ran.out.find("choose a password file for scripts"), std::string::npos) << ran.out;
  }
  EXPECT_NE(Cli({"schedule", "show"}).out.find("Password:       read from the keyring"),
            std::string::npos);
  // A keyring nobody answers for, as for a run without a session.
  const char* earlier = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  const std::string kept = earlier ? earlier : "";
  ::setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + (temp / "no-bus").string()).c_str(), 1);
  const TRan unreached = Cli({"run", "--wait"});
  if (earlier) {
    ::setenv("DBUS_SESSION_BUS_ADDRESS", kept.c_str(), 1);
  } else {
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
  }
  EXPECT_NE(unreached.status, 0);
  EXPECT_NE(unreached.out.find("keyring"), std::string::npos) << unreached.out;
  EXPECT_FALSE(fs::exists(Archive()));
}

#endif

}  // namespace
}  // namespace pw
