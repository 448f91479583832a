// One directory's archive job, computed once as data: what runs, where, with
// which arguments, into which archive, and what forbids it. A run executes
// the job; the batch file and the shell script render it, each by its own
// quoting rules; the memo and the companion read it.
#pragma once

#include <string>
#include <vector>

#include "model/HoardkeeperClasses.h"

namespace pw {

// The archivers the program knows by their program's file name: the archive
// extension each adds, and how each treats an existing archive.
enum class TArchiverFamily { afOther, af7Zip, afRar, afWinZip };
TArchiverFamily ArchiverFamily(const std::string& exeFileName);
// ".7z", ".rar", ".zip", or "" for an archiver the program does not know.
const char* ArchiveExtension(TArchiverFamily family);

// One mask argument: the switch (empty for an include entry) and the entry.
struct TMaskEntry {
  std::string key;
  std::string entry;
  bool operator==(const TMaskEntry&) const = default;
};

struct TArchiveJob {
  int position = 0;       // from 1, in the document's order
  std::string directory;  // Path as stored
  std::string ruleName;   // RuleName as stored
  bool marked = false;    // NeedArchive: taken by "Run All" and the script for all
  std::string program;    // ArchiverExeFileName
  TArchiverFamily family = TArchiverFamily::afOther;
  // ArchiverParams as typed; with a password, then "-p" (which has 7-Zip
  // read it from its standard input) and for encrypted names "-mhe=on".
  std::string params;
  std::string workingDirectory;  // where the archiver runs: the path, "~/" expanded
  std::string archiveFolder;     // created by a run before the archiver starts
  // The archive name handed to the archiver: the temporary name when the
  // archive is made fresh, else the final name (with the archiver's extension
  // where a dot in the name would make the archiver choose another type).
  std::string archiveArgument;
  std::string archiveFile;  // the finished archive's full name
  std::string partialFile;  // the temporary archive; empty when not made fresh
  // Held locked by the archive's one writer: beside the archive, or in the
  // user's folder where the archive lies in the directory it takes in (and
  // would take a file beside it in too); empty for none.
  std::string lockFile;
  std::vector<TMaskEntry> excludes;
  std::vector<TMaskEntry> includes;
  // Why the job must not run (an impossible path, a clash); empty when it may.
  std::string error;
  bool clash = false;  // the error is a clash with another directory
  // A run that waits for the archiver has it test the new archive before the
  // job counts as a success (TbkManager::TestArchives).
  bool testArchive = false;
  // Where the archive's password is kept (TbkManager::Password), for a 7-Zip
  // job of a document that encrypts; none otherwise. The password itself is
  // fetched just before the archiver starts and handed to it on its
  // standard input only (PasswordInput, archiver/Password.h).
  TPasswordPlace password;

  bool MadeFresh() const { return !partialFile.empty(); }
};

// Why a directory path cannot be archived, or "" when it can: an empty path,
// a control character in it, and in the POSIX style a path that is not
// absolute once a leading "~/" is read as the home folder.
std::string PathProblem(const std::string& path);

// Why a mask cannot be handed to an archiver, or "" when it can: an empty
// mask, and one that leads out of the directory (an absolute path, a ".."
// step), which the archivers would follow.
std::string MaskProblem(const std::string& mask);

// Whether no mask of extensions but extension itself is ext, compared as
// the style's archivers match names: regardless of letter case in the
// Windows style, exactly in the POSIX style, where "*.doc" and "*.DOC" take
// different files.
bool MaskUniqueInRule(const std::string& ext, const TbkExtension* extension,
                      const TbkExtensions* extensions);

// Where a script's job names the dated subfolder that the script itself
// names when it runs (see TNightPlan::scriptDay).
inline constexpr char kRunDayMarker[] = "@@day@@";

// A text split at each end of line (after the last one, nothing more).
std::vector<std::string> SplitAt(const std::string& text, const std::string& end);

// A leading "~/" (or a lone "~") as the user's home folder, in the POSIX
// style; any other path as it is.
std::string ExpandHome(const std::string& path);

}  // namespace pw
