// Starting the archiver for one or for every marked directory, and opening
// the archive folder or a batch file through the shell.
#pragma once

#include <string>
#include <vector>

#include "model/HoardkeeperClasses.h"

namespace pw {

// The first two steps of a run: makes the directory's path current (failing
// with an EInOutError) and returns the archiver's parameters, with the
// archive folder created.
std::string PrepareRun(const TbkManager& manager, const TbkDirectory& directory);

// The same in the POSIX style: the archiver's arguments one by one, the words
// of the script's archiver line.
std::vector<std::string> PreparePosixRun(const TbkManager& manager, const TbkDirectory& directory);

// Makes the directory's path current, creates the archive folder and starts
// the archiver; returns at once. Fails with an EInOutError when the path
// cannot be made current. In the Windows style the shell is asked to start
// the archiver minimized and what became of it is not known; in the POSIX
// style the archiver is started directly, and one that cannot be started is
// an error.
void RunDirectory(const TbkManager& manager, const TbkDirectory& directory);
// Like RunDirectory, but always starts the archiver directly, so that one
// that cannot be started is an error in either style.
void StartDirectory(const TbkManager& manager, const TbkDirectory& directory);
// Runs the archiver directly and returns its exit status.
int RunDirectoryAndWait(const TbkManager& manager, const TbkDirectory& directory);
// Runs every marked directory in order; the first failure ends the loop and
// the jobs already started keep running.
void RunAllDirectories(const TbkManager& manager);
void OpenArchiveDirectory(const TbkManager& manager);
void EditBatchFile(const std::string& fileName);

}  // namespace pw
