// Scripts holding the jobs of one or of all marked directories of a night's
// plan: Windows batch files, or shell scripts in the POSIX style.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "archiver/BatchText.h"
#include "archiver/NightPlan.h"
#include "model/HoardkeeperClasses.h"

namespace pw {

// The extension of the scripts this style writes: "bat" or "sh".
const char* ScriptExtension();
// What ends every line of a script: CR LF, or LF in the POSIX style.
const char* ScriptLineEnd();

// "MakeArchiveOf_" followed by the directory's path as a file name.
std::string DefaultBatchFileName(const TbkDirectory& directory);

// The command text of one directory, line by line.
std::vector<std::string> GetBatchLines(const TbkManager& manager, const TbkDirectory& directory);
// Three comment lines and the command text for every marked directory (or
// every directory, with includeUnmarked); fails with "Not found any directory
// to archive" when the document has none.
std::vector<std::string> GetBatchLinesForAll(const TbkManager& manager,
                                             bool includeUnmarked = false);
// The same from a plan made already.
std::vector<std::string> ScriptLinesForAll(const TNightPlan& plan, bool includeUnmarked);

// The bytes of a script: every line followed by the style's line end, no
// byte-order mark; a batch file in the code page in which cmd.exe reads it
// (see ToBatchCodePage).
std::string BatchFileText(const std::vector<std::string>& lines);
// Writes BatchFileText; a POSIX script is made executable. Fails with "Cannot
// create file %s".
void WriteBatchFile(const std::string& fileName, const std::vector<std::string>& lines);
// Opens the folder holding fileName through the shell.
void OpenContainingFolder(const std::string& fileName);

void CreateBatForDirectory(const TbkManager& manager, const TbkDirectory& directory,
                           const std::string& fileName);
// Builds the lines first, then asks chooseFile for the file name (false means
// cancelled), then writes the file and opens its folder.
void CreateBatForAll(const TbkManager& manager,
                     const std::function<bool(std::string& fileName)>& chooseFile);

}  // namespace pw
