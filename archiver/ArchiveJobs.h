// Starting the archiver for one or for every marked directory, and opening
// the archive folder or a batch file through the shell.
#pragma once

#include <string>

#include "model/HoardkeeperClasses.h"

namespace pw {

// The first two steps of a run: makes the directory's path current (failing
// with an EInOutError) and returns the archiver's parameters, with the
// archive folder created.
std::string PrepareRun(const TbkManager& manager, const TbkDirectory& directory);

// Makes the directory's path current, creates the archive folder and asks the
// shell to start the archiver minimized; returns as soon as it has asked.
// Fails with an EInOutError when the path cannot be made current.
void RunDirectory(const TbkManager& manager, const TbkDirectory& directory);
// Runs every marked directory in order; the first failure ends the loop and
// the jobs already started keep running.
void RunAllDirectories(const TbkManager& manager);
void OpenArchiveDirectory(const TbkManager& manager);
void EditBatchFile(const std::string& fileName);

}  // namespace pw
