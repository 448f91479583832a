// The archiver command of a directory in the POSIX style: "/" paths, shell
// words quoted by the shell's rules, and scripts for /bin/sh.
#pragma once

#include <string>
#include <vector>

#include "archiver/ArchiveJob.h"

namespace pw {

// The word as the shell must read it to pass it on unchanged: as it is when
// no character of it means anything to the shell, else in single quotes.
std::string QuotePosixWord(const std::string& word);
// The words the shell makes of text, without expanding anything: blanks
// separate, quotes and backslashes are removed as the shell removes them.
std::vector<std::string> SplitPosixWords(const std::string& text);

// The path with its leading "/" dropped and every other "/" made "_"; "_"
// where nothing would remain.
std::string PosixFlatName(const std::string& path);

// The mask entries quoted and joined by blanks.
std::string PosixMaskList(const std::vector<TMaskEntry>& entries);
// Everything the archiver receives after its name, one argument each: the
// words of ArchiverParams as the shell would split them (nothing expanded),
// the exclude entries, the archive and the include entries.
std::vector<std::string> PosixArguments(const TArchiveJob& job);
// Those arguments quoted for the shell and joined by blanks.
std::string PosixParameters(const TArchiveJob& job);
// "cd" with the quoted path and a line end; empty for an empty path.
std::string PosixChangeDirCommands(const std::string& path);
// The job's lines in a script: into the directory or, when that fails, a
// message and the next directory; the archiver; a 7-Zip archive made fresh
// replaced only when 7-Zip succeeded; any failure sets the script's status.
// A job that must not run is a comment saying why.
std::string PosixCommandText(const TArchiveJob& job);

// The script lines: "#!/bin/sh", then the job of one directory, or for all
// three "#" lines before each job; the script ends with a non-zero status
// when any directory failed. Fails, naming the directory, when a job must
// not run (a clash, an impossible path).
// With scriptDay (a shell command that prints the dated subfolder's name),
// the script first names it, in place of kRunDayMarker in the jobs' paths,
// and creates the folder.
std::vector<std::string> PosixScriptLines(const std::vector<TArchiveJob>& jobs, bool forAll,
                                          const std::string& scriptDay = {});

}  // namespace pw
