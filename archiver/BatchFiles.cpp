#include "archiver/BatchFiles.h"

#include "archiver/ArchiveCommands.h"
#include "archiver/ArchiveJob.h"
#include "archiver/BatchText.h"
#include "archiver/PosixScripts.h"
#include "platform/Errors.h"
#include "platform/PathStyle.h"
#include "platform/Programs.h"
#include "platform/SafeFile.h"
#include "platform/Services.h"
#include "platform/Shell.h"
#include "platform/TextCodec.h"

namespace pw {

std::string DefaultBatchFileName(const TbkDirectory& directory) {
  return "MakeArchiveOf_" + PathToFileName(directory.Path());
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2) {
    lines.push_back(text.substr(start, at - start));
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

const char* ScriptExtension() {
  return IsPosixStyle() ? "sh" : "bat";
}

const char* ScriptLineEnd() {
  return IsPosixStyle() ? "\n" : "\r\n";
}

namespace {

// A script never holds a job that must not run, nor one whose archiver
// would receive other arguments than a run hands it: cmd.exe doubles every
// caret of a "call" line, quoted or not, so "a^b" would reach the archiver
// as "a^^b".
std::vector<std::string> BatchBlock(const TArchiveJob& job) {
  if (!job.error.empty()) throw Exception(job.directory + ": " + job.error);
  std::vector<std::string> lines = SplitLines(BatchCommandText(job));
  for (const std::string& line : lines) {
    if (line.rfind("call ", 0) == 0 && line.find('^') != std::string::npos) {
      throw Exception(job.directory +
                      ": a caret (^) cannot be handed to the archiver through a batch file");
    }
  }
  return lines;
}

}  // namespace

std::vector<std::string> GetBatchLines(const TbkManager& manager, const TbkDirectory& directory) {
  if (IsPosixStyle()) return GetPosixScriptLines(manager, directory);
  return BatchBlock(JobOfDirectory(manager, directory, GetArchiveDirectory(manager, false)));
}

std::vector<std::string> GetBatchLinesForAll(const TbkManager& manager, bool includeUnmarked) {
  if (IsPosixStyle()) return GetPosixScriptLinesForAll(manager, includeUnmarked);
  const TbkDirectories& directories = *manager.Directories();
  if (directories.Count() == 0) throw Exception("Not found any directory to archive");
  const std::vector<TArchiveJob> jobs =
      MakeArchiveJobs(manager, GetArchiveDirectory(manager, false));
  std::vector<std::string> lines;
  for (int i = 0; i < directories.Count(); ++i) {
    const TbkDirectory& d = *directories.Items(i);
    if (!d.NeedArchive() && !includeUnmarked) continue;
    lines.push_back("rem");
    lines.push_back("rem Create " + d.Path() + " archive by using " + d.RuleName() + " rule");
    lines.push_back("rem");
    for (std::string& line : BatchBlock(jobs[static_cast<size_t>(i)])) {
      lines.push_back(std::move(line));
    }
  }
  return lines;
}

std::string BatchFileText(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + ScriptLineEnd();
  // cmd.exe reads a batch file in the console's code page.
  return IsPosixStyle() ? text : ToBatchCodePage(text);
}

void WriteBatchFile(const std::string& fileName, const std::vector<std::string>& lines) {
  const std::string text = BatchFileText(lines);
  TSafeFileWriter file(fileName);
  file.Stream().WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
  file.Commit();
  if (IsPosixStyle()) MakeExecutable(fileName);
}

void OpenContainingFolder(const std::string& fileName) {
  Get<IShell>().Execute("open", ExtractFilePath(fileName), "", "", TShowCommand::swShowNormal);
}

void CreateBatForDirectory(const TbkManager& manager, const TbkDirectory& directory,
                           const std::string& fileName) {
  WriteBatchFile(fileName, GetBatchLines(manager, directory));
  OpenContainingFolder(fileName);
}

void CreateBatForAll(const TbkManager& manager,
                     const std::function<bool(std::string& fileName)>& chooseFile) {
  const std::vector<std::string> lines = GetBatchLinesForAll(manager);
  std::string fileName;
  if (!chooseFile(fileName)) return;
  WriteBatchFile(fileName, lines);
  OpenContainingFolder(fileName);
}

}  // namespace pw
