// The command-line companion, run as a program on settings files made by the model.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "archiver/ArchiveCommands.h"
#include "archiver/BatchFiles.h"
#include "archiver/DateTimeFormat.h"
#include "model/HoardkeeperClasses.h"
#include "platform/NativePath.h"

namespace pw {
namespace {

namespace fs = std::filesystem;

struct Result {
  int status;
  std::string out, err;
};

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Write(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

int Lines(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

class CliTest : public ::testing::Test {
 protected:
  CliTest() {
    root = fs::temp_directory_path() / ("pw-cli-" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root);
    settings = (root / "Packetwright.dat").string();
  }
  ~CliTest() override { fs::remove_all(root); }

  Result Cli(const std::string& args, const std::string& input = "") {
    Write(root / "stdin", input);
    const std::string command = std::string("'") + PW_CLI_PATH + "' " + args + " < '" +
                                (root / "stdin").string() + "' > '" + (root / "stdout").string() +
                                "' 2> '" + (root / "stderr").string() + "'";
    const int raw = std::system(command.c_str());
    return {WEXITSTATUS(raw), Read(root / "stdout"), Read(root / "stderr")};
  }
  Result Cli(const std::string& args, const std::string& input, bool withSettings) {
    return withSettings ? Cli("--settings '" + settings + "' " + args, input) : Cli(args, input);
  }
  Result With(const std::string& args, const std::string& input = "") {
    return Cli(args, input, true);
  }

  // An archiver that records its working directory and arguments, then exits
  // with the given status.
  std::string Archiver(int status) {
    const fs::path script = root / ("archiver" + std::to_string(status) + ".sh");
    Write(script, "#!/bin/sh\n{ pwd; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } >> '" +
                      (root / "record.txt").string() + "'\nexit " + std::to_string(status) + "\n");
    fs::permissions(script, fs::perms::owner_all);
    return script.string();
  }

  void Example(TbkManager& m, const std::string& archiver) {
    m.SetArchiverExeFileName(archiver);
    m.SetArchiverParams("a -r");
    m.SetExcludeKey("-x");
    m.SetOutputPath((root / "out").string());
    m.SetSubDirNamePattern("yyyy-mm-dd");
    TbkRule* texts = m.Rules()->Add();
    texts->SetName("Texts");
    texts->SetCategory(ecInclude);
    texts->Extensions()->Add()->SetExt("*.txt");
    for (const char* name : {"one", "two", "three"}) {
      fs::create_directories(root / name);
      TbkDirectory* d = m.Directories()->Add();
      d->SetPath((root / name).string());
      d->SetRuleName("Texts");
    }
    m.Directories()->Items(1)->SetNeedArchive(false);
    m.Directories()->Items(2)->SetRuleName("Gone");
    m.SaveToFile(settings, true);
  }

  fs::path root;
  std::string settings;
};

TEST_F(CliTest, ShowListsOptionsDirectoriesAndCommands) {
  TbkManager m;
  Example(m, "/usr/bin/true");
  const Result r = With("show");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Archiver:           /usr/bin/true\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("[1] [x] " + (root / "one").string() + "\n    Rule: Texts\n"),
            std::string::npos);
  EXPECT_NE(r.out.find("[2] [ ] " + (root / "two").string()), std::string::npos);
  EXPECT_NE(r.out.find("Rule: Gone (missing"), std::string::npos);
  EXPECT_NE(r.out.find("      cd " + (root / "one").string() + "\n      /usr/bin/true a -r "),
            std::string::npos)
      << r.out;
}

TEST_F(CliTest, CommandsAndBatchFileMatchTheWindowsOwn) {
  TbkManager m;
  Example(m, "C:\\Tools\\rar.exe");
  std::string marked, all;
  for (const std::string& line : GetBatchLinesForAll(m)) marked += line + ScriptLineEnd();
  for (const std::string& line : GetBatchLinesForAll(m, true)) all += line + ScriptLineEnd();
  EXPECT_EQ(With("commands").out, marked);
  EXPECT_EQ(With("commands --all").out, all);
  EXPECT_NE(marked, all);

  const fs::path bat = root / "all.bat";
  const Result r = With("bat '" + bat.string() + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Read(bat), marked);
}

TEST_F(CliTest, RunWaitsAndPassesTheArchiversStatusOn) {
  TbkManager m;
  Example(m, Archiver(3));
  const Result r = With("run --wait 1 2");
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_EQ(Lines(r.out), 2);
  EXPECT_NE(r.out.find("[1] " + (root / "one").string() + ": exit status 3"), std::string::npos);
  // Each run saw its own directory and the parameters of its call line.
  const std::string record = Read(root / "record.txt");
  EXPECT_EQ(record.rfind((root / "one").string() + "\na\n-r\n", 0), 0u) << record;
  EXPECT_NE(record.find((root / "two").string() + "\n"), std::string::npos);
  EXPECT_TRUE(fs::is_directory(NativePath(GetArchiveDirectory(m, false))));

  m.SetArchiverExeFileName(Archiver(0));
  m.SaveToFile(settings, true);
  const Result ok = With("run --wait");
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_EQ(Lines(ok.out), 2) << "the two marked directories";
}

TEST_F(CliTest, RunStopsAtADirectoryThatCannotBeEntered) {
  TbkManager m;
  Example(m, Archiver(0));
  fs::remove_all(root / "one");
  const Result r = With("run --wait 1 3");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "packetwright-cli: " + (root / "one").string() + ": File not found\n");
  EXPECT_FALSE(fs::exists(root / "record.txt")) << "nothing after the failure was started";
  EXPECT_EQ(With("run 9").err, "packetwright-cli: No directory 9 in the settings file\n");
}

TEST_F(CliTest, RunWithoutWaitReturnsAtOnce) {
  TbkManager m;
  // The archiver finishes only once the test releases it, and gives up after
  // a minute; a run that waited for it would find "done" already there.
  const fs::path slow = root / "slow.sh";
  const std::string release = (root / "release").string(), done = (root / "done").string();
  Write(slow, "#!/bin/sh\ni=0\nwhile [ ! -e '" + release + "' ] && [ $i -lt 600 ]; do\n" +
                  "  sleep 0.1; i=$((i+1))\ndone\n[ -e '" + release + "' ] || exit 1\ntouch '" +
                  done + "'\n");
  fs::permissions(slow, fs::perms::owner_all);
  Example(m, slow.string());
  const Result r = With("run 1");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(fs::exists(done)) << "the run waited for the archiver";
  Write(release, "x");
  for (int i = 0; i < 600 && !fs::exists(done); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_TRUE(fs::exists(done));
}

TEST_F(CliTest, UsageErrorsAreOneLineAndStatusTwo) {
  for (const char* args : {"", "frobnicate", "run abc", "run --bogus", "--settings", "show x"}) {
    const Result r = Cli(args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_EQ(Lines(r.err), 1) << args << ": " << r.err;
    EXPECT_EQ(r.err.rfind("packetwright-cli: ", 0), 0u) << r.err;
  }
  EXPECT_EQ(Cli("frobnicate").err,
            "packetwright-cli: unknown command \"frobnicate\" (see --help)\n");
  const Result help = Cli("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Exit status: 0 "), std::string::npos) << help.out;
  EXPECT_NE(help.out.find("3 run --wait"), std::string::npos);
}

TEST_F(CliTest, RunWithoutWaitReportsAnArchiverThatCannotStart) {
  TbkManager m;
  Example(m, (root / "missing-archiver").string());
  const Result r = With("run 1");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("packetwright-cli: " + (root / "one").string() + ": Cannot start ", 0), 0u)
      << r.err;
  EXPECT_EQ(Lines(r.err), 1);
}

TEST_F(CliTest, OneRunUsesOneMomentForEveryDirectory) {
  TbkManager m;
  const fs::path slow = root / "slow.sh";
  // Records the archive path and takes longer than a second, so that the
  // second directory would otherwise fall into the next second's folder.
  Write(slow, "#!/bin/sh\nprintf '%s\\n' \"$3\" >> '" + (root / "archives.txt").string() +
                  "'\nsleep 1.2\n");
  fs::permissions(slow, fs::perms::owner_all);
  Example(m, slow.string());
  m.SetSubDirNamePattern("yyyy-mm-dd-hh-nn-ss");
  m.SaveToFile(settings, true);
  const Result r = With("run --wait 1 2");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string archives = Read(root / "archives.txt");
  const std::string first = archives.substr(0, archives.find('\n'));
  const std::string folder = first.substr(0, first.rfind('/') + 1);
  EXPECT_EQ(archives, folder + PathToFileName((root / "one").string()) + "\n" + folder +
                          PathToFileName((root / "two").string()) + "\n");
}

TEST_F(CliTest, ExportImportKeepEveryByte) {
  std::mt19937 random(99);
  auto text = [&](size_t n) {
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(random() % 256);
    return s;
  };
  for (int round = 0; round < 3; ++round) {
    TbkManager m;
    m.SetOutputPath(round == 0 ? "" : text(20));
    m.SetArchiverExeFileName("C:\\Program Files\\\xC3\xA4rchiver.exe");
    m.SetArchiverParams(text(300));
    for (int i = 0; i < 4; ++i) {
      TbkDirectory* d = m.Directories()->Add();
      d->SetPath(text(static_cast<size_t>(i * 90)));
      d->SetNeedArchive(i % 2 == 0);
      TbkRule* r = m.Rules()->Add();
      r->SetName(std::string(1, static_cast<char>(i + 1)) + "\x80\xFF");
      r->SetCategory(i % 2 ? ecInclude : ecExclude);
      TbkExtension* e = r->Extensions()->Add();
      e->SetExt(text(5));
      e->SetTotalSize(i * -70000);
      e->SetActive(i == 1);
    }
    std::string every;
    for (int b = 0; b < 256; ++b) every += static_cast<char>(b);
    m.Directories()->Items(0)->SetArchiveFileName(every);
    m.SaveToFile(settings, true);

    const Result exported = With("export");
    ASSERT_EQ(exported.status, 0) << exported.err;
    const fs::path copy = root / "copy.dat";
    const Result imported = Cli("import '" + copy.string() + "'", exported.out);
    ASSERT_EQ(imported.status, 0) << imported.err;
    EXPECT_EQ(Read(copy), Read(settings)) << "round " << round;
    const Result again = Cli("--settings '" + copy.string() + "' export");
    EXPECT_EQ(again.out, exported.out);
  }
}

TEST_F(CliTest, ReadableTextsStayReadableInJson) {
  TbkManager m;
  m.SetExcludeKey("-x");
  m.Directories()->Add()->SetPath("D:\\B\xC3\xBCro");
  m.Directories()->Add()->SetPath("D:\\B\xFCro");
  m.SaveToFile(settings, true);
  const std::string json = With("export").out;
  EXPECT_NE(json.find("\"Path\": \"D:\\\\B\xC3\xBCro\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"hex\": \"443a5c42fc726f\""), std::string::npos) << json;
}

TEST_F(CliTest, BadInputGivesOneLineAndAFailure) {
  Result r = Cli("import '" + (root / "x.dat").string() + "'", "{\"Rules\": [");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Lines(r.err), 1);
  EXPECT_EQ(r.err.rfind("packetwright-cli: Invalid settings JSON", 0), 0u) << r.err;
  EXPECT_FALSE(fs::exists(root / "x.dat"));

  r = Cli("import '" + (root / "x.dat").string() + "'", "{\"Rules\": [{\"Colour\": 1}]}");
  EXPECT_EQ(r.err,
            "packetwright-cli: Invalid settings JSON at $.Rules[0]: unknown member "
            "\"Colour\"\n");

  Write(settings, std::string("TPF0\x0ATbkManager\x00\x05"
                              "Bogus\x08",
                              23));
  r = With("show");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "packetwright-cli: Error reading TbkManager.Bogus: Property does not exist\n");

  fs::remove(settings);
  r = With("commands");
  EXPECT_EQ(r.err, "packetwright-cli: Settings file not found: " + settings + "\n");
  EXPECT_NE(Cli("").status, 0) << "a command is required";
  EXPECT_EQ(Cli("run --help").status, 0);
}

}  // namespace
}  // namespace pw
