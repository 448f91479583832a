// The companion's find and restore after real nights of the real 7-Zip
// under faketime, as a user meets them.
#include <gtest/gtest.h>

#include <filesystem>

#include "archiver/ArchiverDetection.h"
#include "archiver/PosixScripts.h"
#include "model/HoardkeeperClasses.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

namespace fs = std::filesystem;
using test::CommandOutput;
using test::ReadFile;
using test::WriteFile;

class RestoreCliTest : public ::testing::Test {
 protected:
  RestoreCliTest()
      : temp("restore-cli"), root(temp.Path()), data(root / "data"),
        settings((root / "Packetwright.dat").string()) {
    fs::create_directories(data / "Letters");
    TbkManager m;
    m.SetArchiverExeFileName("7zz");
    m.SetArchiverParams("a -r");
    m.SetExcludeKey("-x!");
    m.SetOutputPath((root / "out").string());
    m.SetSubDirNamePattern("yyyy-mm-dd");
    TbkDirectory* d = m.Directories()->Add();
    d->SetPath(data.string());
    d->SetNeedArchive(true);
    m.SaveToFile(settings, true);
  }

  // The companion's standard output and status; its standard error in err.
  std::string Cli(const std::string& args, const std::string& prefix = "") {
    const std::string out =
        CommandOutput("cd " + QuotePosixWord(root.string()) + " && " + prefix + " " +
                      QuotePosixWord(PW_CLI_PATH) + " --settings " + QuotePosixWord(settings) +
                      " " + args + " 2>" + QuotePosixWord((root / "stderr").string()) +
                      "; echo \"status $?\"");
    err = ReadFile(root / "stderr");
    return out;
  }
  void Night(const std::string& day) {
    // faketime's library comes before the sanitizers' runtime, which then
    // is told not to mind.
    ASSERT_NE(Cli("run --wait", "ASAN_OPTIONS=\"$ASAN_OPTIONS:verify_asan_link_order=0\" faketime '" +
                                    day + " 02:30:00'")
                  .find("status 0"),
              std::string::npos)
        << err;
  }
  // The night's one archive.
  std::string Archive(const std::string& day) {
    for (const auto& e : fs::directory_iterator(root / "out" / day)) {
      if (e.path().extension() == ".7z") return e.path().string();
    }
    return "";
  }

  test::TTempFolder temp;
  fs::path root, data;
  std::string settings, err;
};

TEST_F(RestoreCliTest, FindsTheNightsThatHoldAFileAndGetsTheRightOneBack) {
  WriteFile(data / "Letters" / "file3.odt", "monday");
  Night("2026-12-07");
  fs::remove(data / "Letters" / "file3.odt");
  WriteFile(data / "-lead", "dash");
  Night("2026-12-08");
  fs::remove(data / "-lead");
  WriteFile(data / "Letters" / "file3.odt", "wednesday");
  Night("2026-12-09");
  int indexed = 0;
  for (const auto& e : fs::directory_iterator(root / "Packetwright.index")) {
    indexed += e.path().extension() == ".dir" && ReadFile(e.path()).find("\nA\t3\t") != std::string::npos;
  }
  ASSERT_EQ(indexed, 1) << "the waited run indexed its three new archives";

  const std::string found = Cli("find file3.odt");
  EXPECT_EQ(found.substr(0, 10), "2026-12-09") << found;
  EXPECT_NE(found.find("\n2026-12-07  [1] " + data.string() + "  Letters/file3.odt  6 bytes  "),
            std::string::npos)
      << found;
  EXPECT_EQ(found.find("2026-12-08"), std::string::npos) << "the night it was gone";
  EXPECT_EQ(Cli("find nothing.txt"), "status 1\n");

  // --latest takes the newest night that holds each path.
  fs::remove(data / "Letters" / "file3.odt");
  EXPECT_EQ(Cli("restore --latest --to-original -- Letters/file3.odt -lead"),
            "From " + Archive("2026-12-09") + " (night 2026-12-09, " + data.string() +
                "):\n  create     " + (data / "Letters" / "file3.odt").string() +
                "\nFrom " + Archive("2026-12-08") + " (night 2026-12-08, " + data.string() +
                "):\n  create     " + (data / "-lead").string() + "\nRestored 2 files\nstatus 0\n")
      << err;
  EXPECT_EQ(ReadFile(data / "Letters" / "file3.odt"), "wednesday");
  EXPECT_EQ(ReadFile(data / "-lead"), "dash");

  // Monday's copy: asked first, then beside the file that is there.
  const std::string monday = "restore --night 2026-12-07 --dir 1 Letters --to-original";
  EXPECT_NE(Cli(monday + " --dry-run").find("  exists     "), std::string::npos);
  EXPECT_NE(Cli(monday).find("status 1"), std::string::npos);
  EXPECT_NE(err.find("1 file is already there; nothing was restored"), std::string::npos) << err;
  EXPECT_EQ(ReadFile(data / "Letters" / "file3.odt"), "wednesday");
  EXPECT_NE(Cli(monday + " --keep-both").find("status 0"), std::string::npos) << err;
  EXPECT_EQ(ReadFile(data / "Letters" / "file3 (2026-12-07).odt"), "monday");
  EXPECT_EQ(ReadFile(data / "Letters" / "file3.odt"), "wednesday");
}

TEST_F(RestoreCliTest, AskingForWhatCannotBeIsAUsageError) {
  for (const char* args : {"restore a.txt --to x", "restore --latest a.txt",
                           "restore --latest a.txt --to x --overwrite --keep-both",
                           "restore --night 8.12.2026 --dir 1 a.txt --to x",
                           "restore --latest ../a.txt --to x", "restore --night 2026-12-08 a --to x"}) {
    EXPECT_EQ(Cli(args), "status 2\n") << args;
  }
  EXPECT_EQ(Cli("restore --latest a.txt --to x"), "status 1\n");
  EXPECT_NE(err.find("No archive that is still there holds a.txt"), std::string::npos) << err;
}

// An encrypted night, its names hidden too, is found and brought back with
// the password of the password file, both from the listing the waited run
// made and from one made anew.
TEST_F(RestoreCliTest, AnEncryptedNightIsFoundAndRestoredWithItsPassword) {
  const std::string passwordFile = (root / "archive-password").string();
  ASSERT_NE(Cli("password set --encrypt-names --file " + QuotePosixWord(passwordFile),
                "printf 'Secret 123\\n' |")
                .find("status 0"),
            std::string::npos)
      << err;
  WriteFile(data / "Letters" / "file3.odt", "monday");
  Night("2026-12-07");
  const std::string archive = Archive("2026-12-07");
  EXPECT_EQ(CommandOutput("7zz l -slt " + QuotePosixWord(archive) + " </dev/null 2>&1 | grep -c file3"),
            "0\n")
      << "the names are hidden without the password";
  for (int round = 0; round < 2; ++round) {
    const std::string found = Cli("find file3.odt");
    EXPECT_NE(found.find("Letters/file3.odt"), std::string::npos) << round << ": " << found << err;
    fs::remove_all(root / "Packetwright.index");  // listed anew the second time
  }
  EXPECT_NE(Cli("restore --latest Letters/file3.odt --to back").find("status 0"), std::string::npos)
      << err;
  EXPECT_EQ(ReadFile(root / "back" / "Letters" / "file3.odt"), "monday");
}

}  // namespace
}  // namespace pw
