#include "archiver/ArchiveJobs.h"

#include "archiver/ArchiveCommands.h"
#include "archiver/PosixScripts.h"
#include "platform/CurrentDirectory.h"
#include "platform/PathStyle.h"
#include "platform/Process.h"
#include "platform/Services.h"
#include "platform/Shell.h"

namespace pw {

std::string PrepareRun(const TbkManager& manager, const TbkDirectory& directory) {
  Get<ICurrentDirectory>().Set(directory.Path());
  return GetArchiverParameters(manager, directory, true);
}

std::vector<std::string> PreparePosixRun(const TbkManager& manager, const TbkDirectory& directory) {
  Get<ICurrentDirectory>().Set(directory.Path());
  return GetPosixArchiverArguments(manager, directory, true);
}

void RunDirectory(const TbkManager& manager, const TbkDirectory& directory) {
  if (IsPosixStyle()) return StartDirectory(manager, directory);
  const std::string parameters = PrepareRun(manager, directory);
  Get<IShell>().Execute("open", manager.ArchiverExeFileName(), parameters, "",
                        TShowCommand::swShowMinimized);
}

void StartDirectory(const TbkManager& manager, const TbkDirectory& directory) {
  IProcessRunner& processes = Get<IProcessRunner>();
  if (IsPosixStyle()) {
    processes.Start(manager.ArchiverExeFileName(), PreparePosixRun(manager, directory));
  } else {
    processes.Start(manager.ArchiverExeFileName(), PrepareRun(manager, directory));
  }
}

int RunDirectoryAndWait(const TbkManager& manager, const TbkDirectory& directory) {
  IProcessRunner& processes = Get<IProcessRunner>();
  if (IsPosixStyle()) {
    return processes.RunAndWait(manager.ArchiverExeFileName(), PreparePosixRun(manager, directory));
  }
  return processes.RunAndWait(manager.ArchiverExeFileName(), PrepareRun(manager, directory));
}

void RunAllDirectories(const TbkManager& manager) {
  const TbkDirectories& directories = *manager.Directories();
  for (int i = 0; i < directories.Count(); ++i) {
    if (directories.Items(i)->NeedArchive()) RunDirectory(manager, *directories.Items(i));
  }
}

void OpenArchiveDirectory(const TbkManager& manager) {
  Get<IShell>().Execute("open", GetArchiveDirectory(manager, false), "", "",
                        TShowCommand::swShowNormal);
}

void EditBatchFile(const std::string& fileName) {
  Get<IShell>().Execute("edit", fileName, "", "", TShowCommand::swShowNormal);
}

}  // namespace pw
