// A job rendered in the Windows style: the parameter string a run hands the
// archiver, and the lines of a batch file, by cmd.exe's quoting rules.
#pragma once

#include <string>
#include <vector>

#include "archiver/ArchiveJob.h"

namespace pw {

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

}  // namespace pw
