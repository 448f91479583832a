#include "archiver/ArchiveJobs.h"

#include "archiver/ArchiveCommands.h"
#include "platform/CurrentDirectory.h"
#include "platform/Services.h"
#include "platform/Shell.h"

namespace pw {

std::string PrepareRun(const TbkManager& manager, const TbkDirectory& directory) {
  Get<ICurrentDirectory>().Set(directory.Path());
  return GetArchiverParameters(manager, directory, true);
}

void RunDirectory(const TbkManager& manager, const TbkDirectory& directory) {
  const std::string parameters = PrepareRun(manager, directory);
  Get<IShell>().Execute("open", manager.ArchiverExeFileName(), parameters, "",
                        TShowCommand::swShowMinimized);
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
