// What a journal record says became of its job: the one reading that the
// companion's run and history and the window's Last Run column and run
// history all give, and what each archiver's exit statuses mean.
//
// The texts are the program's 8-bit texts; the window converts them.
#pragma once

#include <string>

#include "archiver/ArchiveJob.h"
#include "archiver/Journal.h"

namespace pw {

// In the order the run history sorts them by.
enum class TJobResult {
  jrOk,          // the archiver ended with 0 and the archive is in place
  jrWarning,     // as OK, but the record warns (a new archive that took no file)
  jrExitStatus,  // the archiver ended with another status (with an error: what ended it)
  jrStopped,     // a stop was asked for while the archiver ran (Cancel, a signal); its status
  jrFailed,      // the archiver ended with 0, but what followed failed (the error says what)
  jrNotStarted,  // the job could not start or was not run (an error, no status)
  jrNotAwaited,  // started without waiting: what became of it is not known
  // Not a job's: a prune's record of an archive it deleted (bytes: what that
  // freed), or could not delete (the error says why).
  jrPruned,
  jrNotPruned,
};
TJobResult JobResultOf(const TJournalRecord& record);
// Every result of a job but OK, a warning and a run not waited for; a
// prune's record is no failed job, even where it could not delete.
bool JobFailed(const TJournalRecord& record);
// Whether the record's job left a new archive of its directory: OK, or a
// warning.
bool JobArchived(const TJournalRecord& record);
// The error of a job that an ending signal stopped: "Ended by signal 15
// (Terminated)".
std::string EndedBySignal(int signal);

// The archiver that made an archive, told by the archive's extension (in any
// letter case): ".7z" 7-Zip, ".rar" RAR, ".zip" WinZip, anything else none the
// program knows. The journal keeps only the archive's name.
TArchiverFamily FamilyOfArchive(const std::string& archive);

// What an exit status means for an archiver of the family, as its manual
// says; "The archiver ended with exit status N" where the family gives that
// status no meaning of its own (WinZip's all read this way).
std::string ExitStatusMeaning(TArchiverFamily family, int status);

// The window's words for the result: "OK", "Warning", "Exit 2", "Cancelled"
// (for an archiver that Cancel stopped; "Stopped" for one that a signal
// stopped), "Failed", "Not started", "Started"; "Pruned", "Not pruned".
std::string JobResultText(const TJournalRecord& record);
// The record's error, or what its exit status means for the archiver that
// made its archive, followed by the record's warning on lines of their own;
// empty for OK.
std::string JobResultExplanation(const TJournalRecord& record);

// A record's warning on one line: its lines parted by "; ".
std::string WarningOnOneLine(const std::string& warning);

// The companion's words for the result, in its run's lines and its history:
// "OK", "warning", "exit status 2", "stopped (exit status 143)", "failed",
// "not run", "not awaited"; "pruned", "not pruned". The error, where there is one, follows them.
std::string CompanionResultText(const TJournalRecord& record);

}  // namespace pw
