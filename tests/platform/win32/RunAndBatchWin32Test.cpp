// A run through ShellExecuteA and the batch file for the same directory, read
// by cmd.exe, must hand the archiver the same arguments.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "archiver/ArchiveCommands.h"
#include "archiver/ArchiveJobs.h"
#include "archiver/BatchFiles.h"
#include "platform/CommandLine.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

using namespace pw::test;

std::vector<std::string> WaitForRecord(const fs::path& record) {
  for (int i = 0; i < 300 && !fs::exists(record); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return RecordedLines(record);
}

std::string SystemFolder() {
  char buffer[MAX_PATH];
  const UINT n = GetSystemDirectoryA(buffer, MAX_PATH);
  return std::string(buffer, n);
}

class RunAndBatch : public ::testing::TestWithParam<std::string> {
 protected:
  RunAndBatch() : temp_("runbat") {
    char buffer[MAX_PATH];
    previous_ = std::string(buffer, GetCurrentDirectoryA(MAX_PATH, buffer));
  }
  ~RunAndBatch() override { SetCurrentDirectoryA(previous_.c_str()); }

  TTempFolder temp_;
  std::string previous_;
};

TEST_P(RunAndBatch, TheArchiverGetsTheSameArguments) {
  // A folder name with a blank, "&", "%", "(" and "ü" in the ANSI code page.
  const std::string name = Local8Bit("a&b 50% (B\xC3\xBCro)");
  const fs::path tree = temp_.Path() / FromProgramPath(name);
  fs::create_directories(tree);

  TbkManager manager;
  manager.SetArchiverExeFileName(RecorderPath());
  manager.SetArchiverParams("a -r");
  manager.SetExcludeKey(GetParam());
  manager.SetOutputPath(ProgramPath(temp_ / "out"));
  TbkRule* rule = manager.Rules()->Add();
  rule->SetName("Tmp");
  rule->Extensions()->Add()->SetExt("*.tmp");
  TbkDirectory* dir = manager.Directories()->Add();
  dir->SetPath(ProgramPath(tree));
  dir->SetRuleName("Tmp");

  const fs::path ran = temp_ / "ran.txt";
  {
    TRecording recording(ran);
    RunDirectory(manager, *dir);
  }
  const std::vector<std::string> fromRun = WaitForRecord(ran);
  std::vector<std::string> expected = {dir->Path()};
  for (const std::string& arg : SplitCommandLine(GetArchiverParameters(manager, *dir, false))) {
    expected.push_back(arg);
  }
  EXPECT_EQ(fromRun, expected);

  const fs::path bat = temp_ / "job.bat";
  WriteBatchFile(ProgramPath(bat), GetBatchLines(manager, *dir));
  const fs::path batched = temp_ / "batched.txt";
  {
    TRecording recording(batched);
    const int status = RunProgram(SystemFolder() + "\\cmd.exe", {"/c", ProgramPath(bat)},
                                  temp_ / "in", temp_ / "out.txt", temp_ / "err.txt");
    EXPECT_EQ(status, 0) << ReadFile(temp_ / "out.txt") << ReadFile(temp_ / "err.txt");
  }
  std::vector<std::string> want = fromRun;
  if (UnderWine()) {
    // Windows expands the percent signs of a "call" line twice. Wine's cmd
    // skips the second round when the call starts a program, so there the
    // arguments keep every "%" doubled; the "cd" line is read once by both.
    for (size_t i = 1; i < want.size(); ++i) {
      for (size_t at = 0; (at = want[i].find('%', at)) != std::string::npos; at += 2) {
        want[i].insert(at, "%");
      }
    }
  }
  EXPECT_EQ(WaitForRecord(batched), want) << ReadFile(bat);
}

TEST_F(RunAndBatch, AFresh7ZipArchiveThroughCmdGetsEveryOperatorQuoted) {
  // A 7-Zip job is started through cmd.exe, which puts the archive in place:
  // the recorder stands in under 7-Zip's name.
  const fs::path sevenZip = temp_ / "7z.exe";
  fs::copy_file(FromProgramPath(RecorderPath()), sevenZip);
  for (const std::string folder : {"R&D (1) ^2", "a&b"}) {
    const fs::path tree = temp_ / folder;
    fs::create_directories(tree);
    TbkManager manager;
    manager.SetArchiverExeFileName(ProgramPath(sevenZip));
    manager.SetArchiverParams("a -r");
    manager.SetOutputPath(ProgramPath(temp_ / "out"));
    TbkDirectory* dir = manager.Directories()->Add();
    dir->SetPath(ProgramPath(tree));
    const fs::path ran = temp_ / (folder.substr(0, 1) + "ran.txt");
    {
      TRecording recording(ran);
      RunDirectory(manager, *dir);
    }
    std::vector<std::string> expected = {dir->Path()};
    for (const std::string& arg : SplitCommandLine(GetArchiverParameters(manager, *dir, false))) {
      expected.push_back(arg);
    }
    EXPECT_EQ(WaitForRecord(ran), expected) << folder;
  }
}

// "-x" is glued to its entry; "-x " stays a word of its own.
INSTANTIATE_TEST_SUITE_P(ExcludeKeys, RunAndBatch, ::testing::Values("-x", "-x "));

}  // namespace
}  // namespace pw
