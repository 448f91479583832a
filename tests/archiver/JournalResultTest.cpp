// What a journal record says became of its job, in the words of the window
// and of the companion, and what each archiver's exit statuses mean.
#include "archiver/JournalResult.h"

#include "archiver/JobPool.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace pw {
namespace {

TJournalRecord Record(std::optional<int> status, std::optional<std::string> error = {},
                      const std::string& archive = "/out/data.7z") {
  TJournalRecord r;
  r.directory = "/data";
  r.position = 1;
  r.archive = archive;
  r.started = "2026-12-08T02:30:00+01:00";
  r.status = status;
  r.error = std::move(error);
  return r;
}

// Every kind of record reads as one result everywhere: the window's text and
// tip, the companion's words, and whether it counts as a failure.
TEST(JournalResult, EachRecordReadsAsOneResultInTheWindowAndTheCompanion) {
  struct TCase {
    TJournalRecord record;
    TJobResult result;
    const char* window;
    const char* explanation;
    const char* companion;
    bool failed;
  };
  const std::string putBack = "Cannot put /out/data.incomplete.7z in place of /out/data.7z";
  const TCase cases[] = {
      {Record(0), TJobResult::jrOk, "OK", "", "OK", false},
      {Record(2), TJobResult::jrExitStatus, "Exit 2", "Fatal error", "exit status 2", true},
      // A signal stopped the archiver: stopped, with its status, even where
      // it ended with 0 before the signal reached it.
      {Record(143, "Ended by signal 15 (Terminated)"), TJobResult::jrStopped, "Stopped",
       "Ended by signal 15 (Terminated)", "stopped (exit status 143)", true},
      {Record(0, "Ended by signal 15 (Terminated)"), TJobResult::jrStopped, "Stopped",
       "Ended by signal 15 (Terminated)", "stopped (exit status 0)", true},
      // Stopped by Cancel, with the status the stop gave it.
      {Record(255, kStoppedCancelled), TJobResult::jrStopped, "Cancelled", kStoppedCancelled,
       "stopped (exit status 255)", true},
      // The archiver succeeded, what followed did not.
      {Record(0, putBack), TJobResult::jrFailed, "Failed", putBack.c_str(), "failed", true},
      {Record({}, "File not found"), TJobResult::jrNotStarted, "Not started", "File not found",
       "not run", true},
      {Record({}), TJobResult::jrNotAwaited, "Started",
       "Started without waiting: the result is not known", "not awaited", false},
  };
  // A new archive that took no file is a warning, not OK and not a failure;
  // the warning follows what the status means.
  TJournalRecord empty = Record(0);
  empty.warning = "The archive holds no file";
  TJournalRecord warned = Record(1);
  warned.warning = "WARNING: errno=2 : No such file or directory\ndangle";
  const TCase warnings[] = {
      {empty, TJobResult::jrWarning, "Warning", "The archive holds no file", "warning", false},
      {warned, TJobResult::jrExitStatus, "Exit 1",
       "Warning: some files could not be read (7-Zip's own lines say which, and why)\n"
       "WARNING: errno=2 : No such file or directory\ndangle",
       "exit status 1", true},
  };
  std::vector<TCase> all(std::begin(cases), std::end(cases));
  all.insert(all.end(), std::begin(warnings), std::end(warnings));
  for (const TCase& c : all) {
    const std::string what = c.window;
    EXPECT_EQ(JobResultOf(c.record), c.result) << what;
    EXPECT_EQ(JobResultText(c.record), c.window);
    EXPECT_EQ(JobResultExplanation(c.record), c.explanation) << what;
    EXPECT_EQ(CompanionResultText(c.record), c.companion) << what;
    EXPECT_EQ(JobFailed(c.record), c.failed) << what;
  }
}

TEST(JournalResult, TheArchiveTellsTheArchiverThatMadeIt) {
  EXPECT_EQ(FamilyOfArchive("/out/2026-12-08/data_src.7z"), TArchiverFamily::af7Zip);
  EXPECT_EQ(FamilyOfArchive("C:\\MyArchives\\D_Work.RAR"), TArchiverFamily::afRar);
  EXPECT_EQ(FamilyOfArchive("C:\\MyArchives\\D_Work.Zip"), TArchiverFamily::afWinZip);
  for (const char* other : {"/out/data_src", "/out/data.7z.tar", "/out/7z", "/out/rar", ""}) {
    EXPECT_EQ(FamilyOfArchive(other), TArchiverFamily::afOther) << other;
  }
}

TEST(JournalResult, ExitStatusesMeanWhatEachArchiversManualSays) {
  EXPECT_EQ(ExitStatusMeaning(TArchiverFamily::af7Zip, 2), "Fatal error");
  EXPECT_EQ(ExitStatusMeaning(TArchiverFamily::af7Zip, 1),
            "Warning: some files could not be read (7-Zip's own lines say which, and why)");
  EXPECT_EQ(ExitStatusMeaning(TArchiverFamily::afRar, 3), "Invalid checksum: the data are damaged");
  EXPECT_EQ(ExitStatusMeaning(TArchiverFamily::afRar, 1), "Warning: non-fatal errors");
  EXPECT_EQ(ExitStatusMeaning(TArchiverFamily::afRar, 10), "No file matched the masks");
  // A status that 7-Zip gives no meaning, and archivers with no meanings known.
  EXPECT_EQ(ExitStatusMeaning(TArchiverFamily::af7Zip, 3), "The archiver ended with exit status 3");
  EXPECT_EQ(ExitStatusMeaning(TArchiverFamily::afOther, 2),
            "The archiver ended with exit status 2");
  EXPECT_EQ(ExitStatusMeaning(TArchiverFamily::afWinZip, 11),
            "The archiver ended with exit status 11");

  // A record's status is read for the archiver its archive names.
  EXPECT_EQ(JobResultExplanation(Record(3, {}, "/out/data.rar")),
            "Invalid checksum: the data are damaged");
  EXPECT_EQ(JobResultExplanation(Record(3, {}, "/out/data.7z")),
            "The archiver ended with exit status 3");
  EXPECT_EQ(JobResultExplanation(Record(2, {}, "/out/data.tgz")),
            "The archiver ended with exit status 2");
}

}  // namespace
}  // namespace pw
