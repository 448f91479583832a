// A job rendered in the Windows style: the parameter string a run hands the
// archiver, and the lines of a batch file, by cmd.exe's quoting rules.
#pragma once

#include <string>
#include <vector>

#include "archiver/ArchiveJob.h"

namespace pw {

// The drive of a path: up to and including its first ":"; "" without one.
std::string ExtractDrive(const std::string& path);
// A text split at its CR LF line ends.
std::vector<std::string> SplitLines(const std::string& text);

// The entries joined by blanks; one that holds a blank is quoted.
std::string BatchMaskList(const std::vector<TMaskEntry>& entries);
// ArchiverParams, the exclude entries, the quoted archive and the include
// entries, as a run passes them.
std::string BatchParameters(const TArchiveJob& job);
// The drive and "cd" lines, each with CR LF; empty for a path without a drive.
std::string BatchChangeDirCommands(const std::string& path);
// The drive and "cd" lines and the "call" line; a 7-Zip archive made fresh
// adds a line before the call that removes a leftover temporary archive and
// one after it that replaces the archive only when 7-Zip succeeded.
std::string BatchCommandText(const TArchiveJob& job);
// The same steps for a fresh 7-Zip archive as one cmd.exe command line, as a
// run starts it.
std::string BatchStartLine(const TArchiveJob& job);
// The batch file of the jobs: one directory's lines, or for all, three
// "rem" lines before each job. Fails, naming the directory, for a job that
// must not run and for one whose archiver would receive other arguments
// through the batch file than a run hands it.
std::vector<std::string> BatchScriptLines(const std::vector<TArchiveJob>& jobs, bool forAll);

}  // namespace pw
