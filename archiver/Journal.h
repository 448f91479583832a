// The journal: one record for every archive job that a run started or could
// not start, kept beside the settings file for as long as the file lives.
//
// The file is JSON Lines in UTF-8, one object a line with the members
// directory, position, archive, started, ended, status, error and bytes (null
// where a value is absent), then warning, tested and kind where the record
// has them. A job's record leaves out kind; a prune's deletion of an archive
// is a record of the kind "pruned". It is only ever appended to, one whole line with
// one write, each forced onto the disk before the run goes on; a power loss
// can at worst tear the last line, which the reader then skips.
//
// What a record says became of its job is archiver/JournalResult.h's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pw {

// What the archiver's test of a new archive found.
enum class TArchiveTest {
  atNotTested,  // no test was made (the job did not get that far, or tests are off): left out
  atNoTest,     // the archiver has no test the program knows: null
  atPassed,     // true
  atFailed,     // false; the record's error says what the archiver reported
};

enum class TRecordKind {
  rkJob,     // an archive job that a run started or could not start
  rkPruned,  // a prune deleted the archive (bytes: its size; error: why it could not)
};

struct TJournalRecord {
  std::string directory;  // the directory's path as the settings file stores it
  int position = 0;       // from 1, as `show` counts
  std::string archive;    // the archive's full name
  // ISO 8601 with the UTC offset, e.g. "2026-12-08T02:30:00+01:00"; an empty
  // ended is written as null.
  std::string started, ended;
  std::optional<int> status;         // the archiver's exit status, if it ran and was awaited
  std::optional<std::string> error;  // why it could not start or was not run
  std::optional<int64_t> bytes;      // the archive's size once it is in place
  // What the archiver warned of (a new archive of no file, the archiver's own
  // lines), lines parted by "\n"; left out of the line where there is none.
  std::optional<std::string> warning;
  TArchiveTest tested = TArchiveTest::atNotTested;
  TRecordKind kind = TRecordKind::rkJob;

  bool IsJob() const { return kind == TRecordKind::rkJob; }
  bool operator==(const TJournalRecord&) const = default;
};

// The record a line holds, read as the journal's readers read it (without
// its line end); none for a line that is no complete record.
std::optional<TJournalRecord> JournalRecordOfLine(std::string_view line);

// "Packetwright.journal" in the settings file's folder.
std::string JournalFileName(const std::string& settingsFileName);

// The most bytes that a text of a record takes in its line, as a JSON string
// with its quotes and escapes: 128 KiB. A path that Windows allows (32,767
// UTF-16 units, at most 3 bytes of UTF-8 each) or Linux (PATH_MAX, 4,096
// bytes, even with every byte escaped) fits whole; only a message far
// longer than any error or a few of the archiver's warning lines is cut.
constexpr size_t kJournalTextMost = size_t{128} << 10;
// The most bytes of one line of the journal, its line end not counted: 1 MiB,
// room for eight such texts and the numbers. No record this program writes
// is longer; a longer line (edited by hand, written by another tool) is
// passed over by the readers without being read whole.
constexpr size_t kJournalLineMost = size_t{1} << 20;

// A text of a record as its line holds it: converted from the program's
// 8-bit text to UTF-8 and, where its JSON string would be longer than
// kJournalTextMost, cut at the start of a character and ended with "...".
std::string JournalText(const std::string& text);

// The record's line as AppendJournalRecord writes it, line end included. The
// texts are each JournalText's. Fails with an Exception for a position below
// 1 or a negative size, which no reader would take back.
std::string JournalLine(const TJournalRecord& record);

// Appends the record's line with one write, on a line of its own even after a
// torn last line, and forces it onto the disk; appenders in this process and
// others take turns. Creates the journal when there is none. Fails with an
// Exception naming the journal when it cannot, or when it is no regular file
// (a FIFO, a device); callers report that and go on, since a journal that
// cannot be written never stops a run.
void AppendJournalRecord(const std::string& journalFile, const TJournalRecord& record);

// Every well-formed record in file order, texts back in the program's 8-bit
// form. A line that is not a complete, valid record (a torn last line,
// garbage, a value of the wrong kind, a kind this program does not know) is
// skipped; members it does not know are ignored. A line longer than kJournalLineMost is passed over, read in
// pieces and never held whole, and counted in tooLong. A missing journal has
// no records; one that exists but cannot be opened, or is no regular file,
// fails with an Exception at once.
std::vector<TJournalRecord> ReadJournal(const std::string& journalFile);
std::vector<TJournalRecord> ReadJournal(const std::string& journalFile, size_t& tooLong);

// The same one record at a time, with the line as the journal holds it (its
// line end left out), for a reader that keeps only a few records of a large
// journal. The record may be moved from. Says how many lines were passed
// over as longer than kJournalLineMost.
size_t ForEachJournalRecord(
    const std::string& journalFile,
    const std::function<void(TJournalRecord& record, std::string_view line)>& each);

// What a reader says of the lines it passed over as too long, as a sentence
// without its full stop: "1 record of the journal was passed over: longer
// than 1 MiB".
std::string TooLongRecordsNote(size_t tooLong);

// A text as a record read back from the journal holds it: unchanged where
// the journal's UTF-8 maps back to the same bytes; a Windows-1252 text on a
// UTF-8 system comes back as UTF-8. The form to compare a record's directory
// with a path of the settings file.
std::string AsReadFromJournal(const std::string& text);

// The local time now, to the second, with its UTC offset:
// "2026-12-08T02:30:00+01:00".
std::string JournalTimeNow();

// A journal time as JournalTimeNow writes it (or with "Z" for UTC) as seconds
// since 1970 UTC, or none for a text that is no such time. Read by hand, not
// by a general date parser: a history of a million records sorts by it.
std::optional<int64_t> JournalSeconds(const std::string& text);

}  // namespace pw
