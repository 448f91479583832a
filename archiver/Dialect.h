// Everything that differs between the Windows and the POSIX way of doing a
// job: how paths are written, compared and made into a flat name, which
// entries a job hands the archiver, how its command is quoted for a batch
// file or for the shell, the shape of a script, and how an archiver is
// started. One implementation of each; Dialect() answers with the one for
// the path style in force (the build's own, or a test's ScopedOverride of
// IPathStyle), and no other code asks which style that is.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "archiver/ArchiveJob.h"
#include "platform/Process.h"

namespace pw {

class TDialect {
 public:
  virtual ~TDialect() = default;

  // ---- Paths ----
  virtual char Separator() const = 0;
  virtual bool IsSeparator(char c) const = 0;
  virtual bool IsAbsolute(const std::string& path) const = 0;
  // The path a relative name means when resolved against folder.
  virtual std::string Resolved(const std::string& path, const std::string& folder) const = 0;
  // The path with "." and ".." steps and doubled separators taken out, as
  // written: links are not followed.
  virtual std::string Normal(const std::string& path) const = 0;
  // A name as the file system compares it.
  virtual std::string CompareKey(const std::string& path) const = 0;
  // A key that keeps the text's order, for prefix tests: case folded where
  // the file system ignores it, by the ASCII letters only.
  virtual std::string PrefixKey(const std::string& path) const = 0;
  // A path made into a flat file name (PathToFileName).
  virtual std::string FlatName(const std::string& path) const = 0;
  // A leading "~/" (or a lone "~") as the user's home folder where the style
  // has one; any other path as it is.
  virtual std::string ExpandHome(const std::string& path) const = 0;
  // Why a directory path that is neither empty nor holds a control
  // character still cannot be archived, or "".
  virtual std::string PathFormProblem(const std::string& path) const = 0;
  // Whether a mask names a place outside the directory it is applied in: an
  // absolute path (in the Windows style also one from a drive or the drive's
  // root) or a ".." step.
  virtual bool MaskLeavesDirectory(const std::string& mask) const = 0;
  // The folder part of a path: up to and including its last separator.
  virtual std::string FolderOf(const std::string& path) const = 0;
  // Names shorter than this are a drive or the root, which always exist.
  virtual size_t ShortestFolder() const = 0;
  // Names compare without regard to letter case.
  virtual bool NamesIgnoreCase() const = 0;

  // ---- What a job hands the archiver ----
  // The flat name of a directory's archive.
  virtual std::string ArchiveFlatName(const std::string& path) const = 0;
  // The folder part of the archive name handed to the archiver: the folder
  // as typed or as resolved (each with its separator).
  virtual std::string HandedFolder(const std::string& typed, const std::string& full) const = 0;
  // The entry of one active mask of a directory's rule.
  virtual std::string MaskEntry(const std::string& path, const std::string& mask,
                                bool exclude) const = 0;
  // The include entry that takes every file of a directory.
  virtual std::string EveryFile(const std::string& path) const = 0;
  // An exclude entry that keeps name (relative to the directory, possibly
  // below the dated subfolders' mask) out of the archive.
  virtual TMaskEntry FolderExclude(const std::string& key, TArchiverFamily family,
                                   const std::string& directory, const std::string& name) const = 0;
  // The part of such a name that stands for the dated subfolder rest (the
  // day's own, or every day's).
  virtual std::string DayFolder(const std::string& rest) const = 0;

  // The words ArchiverParams hold, as the archiver receives them.
  virtual std::vector<std::string> SplitParameters(const std::string& params) const = 0;
  // An entry that names the directory in full made relative to it; false,
  // the entry left alone, where it does not.
  virtual bool EntryBelowDirectory(std::string& entry, const std::string& directory) const = 0;

  // ---- Renderings ----
  // The entries quoted and joined by blanks.
  virtual std::string MaskList(const std::vector<TMaskEntry>& entries) const = 0;
  // Everything the archiver receives after its name, as one text.
  virtual std::string Parameters(const TArchiveJob& job) const = 0;
  // The lines that enter a folder, each with its line end.
  virtual std::string ChangeDirCommands(const std::string& path) const = 0;
  // The job as the memo and `show` show it; a job that must not run says why.
  virtual std::string CommandText(const TArchiveJob& job) const = 0;
  // The script of the given jobs: one directory's (forAll false, with one
  // job), or the script for all with three comment lines before each job.
  // Fails, naming the directory, for a job that must not run. scriptDay, when
  // not empty, is a plan's (MakeScriptPlan): the script names the day then,
  // by that command.
  virtual std::vector<std::string> ScriptLines(const std::vector<TArchiveJob>& jobs, bool forAll,
                                               const std::string& scriptDay = {}) const = 0;
  // Whether this style's scripts name the dated subfolder when they run.
  virtual bool ScriptsNameTheDayWhenTheyRun() const = 0;
  virtual const char* ScriptExtension() const = 0;  // "bat" or "sh"
  virtual const char* ScriptLineEnd() const = 0;    // CR LF or LF
  virtual const char* ScriptFilter() const = 0;     // for the file dialogs
  virtual const char* ProgramFilter() const = 0;    // the archiver's file dialog
  // The bytes of a script's text as the system's shell reads them.
  virtual std::string ScriptBytes(const std::string& text) const = 0;
  // What a written script needs to be run (POSIX: the execute bits).
  virtual void ScriptWritten(const std::string& fileName) const = 0;

  // ---- Starting ----
  // Starts the archiver of a job whose folder is made and returns at once;
  // asShell: as the window starts it, through the desktop's shell where the
  // style has one for that. The archiver starts in the job's working
  // directory by itself. lock, when given, is the archive's: the POSIX style
  // hands it to the archiver, which holds it until it ends; a Windows start
  // cannot take it over, and lock stays as it was. whenEnded, with a lock, is
  // what the POSIX style starts once the archiver has ended, with its exit
  // status as the last argument (IProcessRunner::Start); Windows starts
  // nothing afterwards.
  // input, when given, is the archiver's standard input (its password): a
  // start with one never goes through the desktop's shell, which cannot
  // hand it over.
  virtual void Start(const TArchiveJob& job, bool asShell, IFileLock* lock,
                     const std::vector<std::string>& whenEnded = {},
                     const std::optional<std::string>& input = std::nullopt) const = 0;
  // Runs the archiver with the options (their working directory is the
  // job's) and returns its exit status.
  virtual int RunAndWait(const TArchiveJob& job, const TRunOptions& options) const = 0;
  // Runs an archiver with the words given (such as a test of an archive),
  // each reaching it as one argument, and returns its exit status: on POSIX
  // one by one, in the Windows style as one command line quoted for the
  // program's start-up code.
  virtual int RunWordsAndWait(const std::string& program, const std::vector<std::string>& words,
                              const TRunOptions& options) const = 0;

  // ---- Elsewhere ----
  // The pattern a document never saved gets for its dated subfolders.
  virtual const char* FirstStartPattern() const = 0;
  // Archivers are found on PATH, since the system has no App Paths.
  virtual bool FindsArchiversOnPath() const = 0;
  // The 7-Zip console program's file name.
  virtual const char* SevenZipConsole() const = 0;
  // The longest path below its folder that an archiver started there can
  // open; 0 where the preview knows no limit.
  virtual size_t LongestRelativePath() const = 0;
  // RAR and WinZip match masks here as they do on Windows.
  virtual bool WindowsMatchingIsNative() const = 0;
};

// The dialect of the path style in force.
const TDialect& Dialect();

}  // namespace pw
