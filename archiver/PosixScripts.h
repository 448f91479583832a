// The archiver command of a directory in the POSIX style: "/" paths, shell
// words quoted by the shell's rules, and scripts for /bin/sh.
#pragma once

#include <string>
#include <vector>

#include "model/HoardkeeperClasses.h"

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

// The mask arguments of one category, unquoted: the exclude switch glued to
// "Path/mask", or "Path/*" when an including rule gives none.
std::vector<std::string> GetPosixMaskWords(const TbkManager& manager, const TbkDirectory& directory,
                                           TExtensionCategory category);
// Everything the archiver receives after its name, one argument each.
std::vector<std::string> GetPosixArchiverArguments(const TbkManager& manager,
                                                   const TbkDirectory& directory, bool forceCreate);
// ArchiverParams as typed, then the quoted arguments, blank-separated.
std::string GetPosixArchiverParameters(const TbkManager& manager, const TbkDirectory& directory,
                                       bool forceCreate);
// "cd" with the quoted path and a line end; empty for an empty path.
std::string GetPosixChangeDirCommands(const std::string& path);
// The cd line and the archiver line, LF between them.
std::string GetPosixCommandText(const TbkManager& manager, const TbkDirectory& directory);

// The script lines: "#!/bin/sh", then the command text (one directory) or
// three "#" lines and the command text for each marked directory.
std::vector<std::string> GetPosixScriptLines(const TbkManager& manager,
                                             const TbkDirectory& directory);
std::vector<std::string> GetPosixScriptLinesForAll(const TbkManager& manager, bool includeUnmarked);

}  // namespace pw
