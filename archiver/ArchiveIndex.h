// What each archive that a job left holds, kept beside the journal, so that
// a file is found across every night without opening an archive.
//
// The index is the folder "Packetwright.index" beside the journal, with one
// file for each directory that has archives in it. The file names each of
// the directory's archives (its name, size, job start and position) by a
// number, each path once, and each version of an entry (its path, kind,
// size, time and CRC) with the runs of archive numbers that hold it: a file
// that stays as it was from night to night is one line however many nights
// hold it, so the index grows with what changes, not with the nights. A
// find reads each path once per directory, and only the versions of the
// paths it takes.
// Each file is replaced in one step, so a reader sees an old or a new one,
// never half of one; writers take turns through a lock file. A file that is
// missing or damaged is dropped, and its directory's archives are listed
// again at the next refresh; an archive pruned, or no longer there as the
// journal recorded it, drops out at the next refresh.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "archiver/ArchiveJob.h"
#include "archiver/ArchiveTest.h"
#include "archiver/Journal.h"
#include "platform/Process.h"

namespace pw {

// One archive a job left, as the journal says.
struct TIndexedArchive {
  std::string archive;    // its full name
  std::string directory;  // as the journal holds it
  int position = 0;       // the directory's, from 1, when the job ran
  std::string started;    // the job's start, as journalled
  int64_t bytes = 0;      // the archive's size as journalled
  // The night: the date of the job's start, "2026-12-08".
  std::string Night() const { return started.substr(0, 10); }
  // What tells this archive from another of the same name.
  std::string Key() const;
  bool operator==(const TIndexedArchive&) const = default;
};

// The archives the journal's jobs left that are still there: for each
// archive name the latest job that archived it (OK or a warning), unless a
// prune deleted it afterwards, and only where a file of the journalled size
// is there now (a later job that failed to replace it left it as it was). Newest first (by the
// job's start). Fails as ReadJournal fails.
std::vector<TIndexedArchive> LiveArchives(const std::string& journalFile);

// "Packetwright.index" beside the journal.
std::string IndexFolderName(const std::string& journalFile);

// Lists one archive with the archiver; none, with the reason in error, when
// it cannot.
using TArchiveLister = std::function<std::optional<std::vector<TListedEntry>>(
    const TIndexedArchive& archive, std::string& error)>;

// The archiver's listing (`7zz l -slt`, with the password switches of its
// parameters) of the archive, run as the archiver is, with the options'
// stop; none, with the reason in error, when it cannot be listed.
std::optional<std::vector<TListedEntry>> SevenZipEntries(const std::string& program,
                                                         const std::string& params,
                                                         const std::string& archive,
                                                         const TRunOptions& options,
                                                         std::string& error);

// One copy of a file that a find found.
struct TFoundCopy {
  TIndexedArchive archive;
  TListedEntry entry;
};

// What a refresh did.
struct TIndexRefresh {
  int listed = 0;   // archives listed with the archiver now
  int dropped = 0;  // listings of archives gone
  // The archives that could not be listed, each "ARCHIVE: why".
  std::vector<std::string> problems;
  bool stopped = false;
};

class TArchiveIndex {
 public:
  explicit TArchiveIndex(const std::string& journalFile);

  // Brings the index in line with the journal's live archives: drops what
  // is gone, keeps what its files still hold, and lists each other live
  // archive with the lister, newest first, until stop says so
  // (what was listed by then is kept). progress gets the archives done and
  // their count. Fails with an Exception when the index folder cannot be
  // made or written, or as ReadJournal fails.
  TIndexRefresh Refresh(const TArchiveLister& lister, const std::function<bool()>& stop = {},
                        const std::function<void(int done, int count)>& progress = {});

  // Adds (or replaces) one archive's listing, as a waited run does after the
  // archive's test. Fails with an Exception when it cannot be written.
  void Add(const TIndexedArchive& archive, const std::vector<TListedEntry>& entries);

  // The archives the index holds, newest first.
  std::vector<TIndexedArchive> Archives() const;

  // One archive's listing, by path; none where the index holds none or its
  // directory's file is damaged.
  std::optional<std::vector<TListedEntry>> Listing(const TIndexedArchive& archive) const;

  // Every file (no folder) whose name (a pattern without a separator) or
  // path (one with) matches the pattern, "*" and "?" as wildcards that do
  // not cross a separator, in letter case as the style's file system
  // compares it; of the directory only where one is given (as the journal
  // holds it). Newest night first, then by directory and path. The archives
  // of a directory's file that cannot be read are named in damaged, and the
  // file is dropped, to be listed again at the next refresh.
  std::vector<TFoundCopy> Find(const std::string& pattern, const std::string& directory,
                               std::vector<std::string>* damaged = nullptr);

  // The newest archive (of the directory, where one is given) that holds an
  // entry whose path takes says it takes, with those entries by path; none
  // where no archive the index holds has one. Each directory's file is read
  // once, and only the versions of the paths taken.
  struct TNewest {
    TIndexedArchive archive;
    std::vector<TListedEntry> entries;
  };
  std::optional<TNewest> Newest(const std::function<bool(std::string_view path)>& takes,
                                const std::string& directory) const;

 private:
  std::string folder_;
  std::string journal_;
};

// After a waited run's job whose new archive passed its test: lists the
// archive with the job's archiver and adds it to the index beside the
// journal. Does nothing for any other record. Returns why it could not (""
// once added); the archive is then listed at the next refresh.
std::string IndexNewArchive(const std::string& journalFile, const TArchiveJob& job,
                            const TJournalRecord& record);

// Whether the text matches the pattern: "*" any run of characters but a
// separator, "?" one such character, in letter case or not.
bool PatternMatches(std::string_view pattern, std::string_view text, bool ignoreCase);

}  // namespace pw
