// The journal as the windows show it: what a record's result reads as, the
// latest record of each directory, and a watch on the journal file that says
// when a run elsewhere (the companion at night, another window) added to it.
#pragma once

#include <QDateTime>
#include <QFileSystemWatcher>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

#include "archiver/Journal.h"
#include "archiver/JournalResult.h"
#include "archiver/NightSchedule.h"

namespace pw {

// What a record's result reads as in the windows, as archiver/JournalResult.h
// tells it: "OK", "Exit 2", "Cancelled", "Failed", "Not started", "Started".
QString RunResultText(const TJournalRecord& record);
// The record's error, or what its exit status means for the archiver that
// made the archive; empty for OK.
QString RunResultExplanation(const TJournalRecord& record);
// Every result but OK and a run not waited for.
bool RunFailed(const TJournalRecord& record);

// A journal time (see JournalSeconds) in the local time zone; an invalid
// QDateTime for no time.
QDateTime JournalTime(const std::string& text);
// The same in the user's short date and time form; the text as it is when it
// is no time.
QString JournalTimeText(const std::string& text);

// The latest record of every directory, keyed by the directory as the journal
// holds it (compare with AsReadFromJournal of a settings file's path). Only
// one record a directory is kept while reading, so a journal of years costs
// no more memory than the list. A journal that cannot be read has none.
std::unordered_map<std::string, TJournalRecord> LatestRuns(const std::string& journalFile);

// The main window's line about the last nights goes once the user has
// looked, and stays away for the nights it told of. What it said then is
// kept in Packetwright.seen in the settings file's folder, beside the
// journal and the registry stand-in: the window's own, not a setting.
std::string SeenNightsFileName(const std::string& settingsFileName);
// Which nights the report's line tells of: the line itself and the start of
// the journal's latest record, so that the next failed or missed night
// gives another mark. Empty when there is no line.
std::string NightsMark(const TNightsReport& report);
// The mark last seen; empty when there is none or it cannot be read.
std::string SeenNights(const std::string& settingsFileName);
// Keeps the mark; false when it could not be written, and the line then
// comes back at the next start.
bool RememberSeenNights(const std::string& settingsFileName, const std::string& mark);

// Says Changed once after the journal file was created, appended to,
// replaced or removed: the file and its folder are both watched, since the
// file may not exist yet or may be replaced by a new one, which a watch on
// the file alone would not see; a folder that does not exist yet is waited
// for in the nearest one above it. Bursts of changes (a run writes a line per
// job) are told once, a moment after the last.
class TJournalWatcher final : public QObject {
  Q_OBJECT
 public:
  TJournalWatcher(const std::string& journalFile, QObject* parent = nullptr);
  const std::string& FileName() const { return file_; }

 signals:
  void Changed();

 private:
  void Watch();
  void Noticed();

  std::string file_;
  QString path_;
  QFileSystemWatcher watcher_;
  QTimer settle_;
  // The file's size and time when last told, so that a change of the folder
  // that leaves the journal alone is not told.
  qint64 size_ = -1;
  QDateTime modified_;
};

}  // namespace pw
