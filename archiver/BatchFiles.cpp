#include "archiver/BatchFiles.h"

#include "archiver/ArchiveCommands.h"
#include "archiver/Dialect.h"
#include "platform/Errors.h"
#include "platform/SafeFile.h"
#include "platform/Services.h"
#include "platform/Shell.h"

namespace pw {

std::string DefaultBatchFileName(const TbkDirectory& directory) {
  return "MakeArchiveOf_" + PathToFileName(directory.Path());
}

const char* ScriptExtension() {
  return Dialect().ScriptExtension();
}

const char* ScriptLineEnd() {
  return Dialect().ScriptLineEnd();
}

namespace {

// A script never holds a job that must not run; every such job of it is
// named, one a line, as a run names its clashes.
std::vector<std::string> ScriptLines(const std::vector<TArchiveJob>& jobs, bool forAll,
                                     const std::string& scriptDay) {
  std::string refused;
  for (const TArchiveJob& job : jobs) {
    if (job.error.empty()) continue;
    refused += (refused.empty() ? "" : "\n") + job.directory + ": " + job.error;
  }
  if (!refused.empty()) throw Exception(refused);
  return Dialect().ScriptLines(jobs, forAll, scriptDay);
}

}  // namespace

std::vector<std::string> GetBatchLines(const TbkManager& manager, const TbkDirectory& directory) {
  const TNightPlan plan = MakeScriptPlan(manager);
  return ScriptLines({plan.Job(PositionOf(manager, directory))}, false, plan.scriptDay);
}

std::vector<std::string> ScriptLinesForAll(const TNightPlan& plan, bool includeUnmarked) {
  if (plan.jobs.empty()) throw Exception("Not found any directory to archive");
  return ScriptLines(includeUnmarked ? plan.jobs : plan.Marked(), true, plan.scriptDay);
}

std::vector<std::string> GetBatchLinesForAll(const TbkManager& manager, bool includeUnmarked) {
  return ScriptLinesForAll(MakeScriptPlan(manager), includeUnmarked);
}

std::string BatchFileText(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + ScriptLineEnd();
  return Dialect().ScriptBytes(text);
}

void WriteBatchFile(const std::string& fileName, const std::vector<std::string>& lines) {
  const std::string text = BatchFileText(lines);
  // The owner's alone, and then runnable by the owner (700 on POSIX).
  TSafeFileWriter file(fileName, true);
  file.Stream().WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
  file.Commit();
  Dialect().ScriptWritten(fileName);
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
