// Getting files back out of an archive a night's job left: what would be
// written where, and the extraction itself, through a temporary folder
// beside the target so that no half-written file ever has a final name.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "archiver/ArchiveIndex.h"
#include "archiver/ArchiveJob.h"
#include "platform/Process.h"

namespace pw {

// What a restore does with a file that is already there.
enum class TExisting {
  exAsk,        // nothing is written while one is there (the plan shows them)
  exSkip,       // it is left as it is, the others are restored
  exOverwrite,  // the restored copy replaces it
  exKeepBoth,   // the restored copy goes beside it, the night in its name
};

// A path inside an archive as a user names it, made plain: separators as
// the archive's, no "./" steps, no separator at either end. Empty for a path
// that could leave the target (an absolute path, a ".." step) or is empty.
std::string InsideArchivePath(const std::string& path);

// Whether an entry's path is the path or lies below it, compared as the
// style's file system compares names.
std::function<bool(std::string_view entryPath)> UnderPath(const std::string& path);

// The entries of a listing that the path names: the entry itself, and for a
// folder everything below it.
std::vector<TListedEntry> EntriesUnder(const std::vector<TListedEntry>& listing,
                                       const std::string& path);

// The entries of one archive that a restore takes, into one folder.
struct TRestoreSource {
  TIndexedArchive archive;
  std::vector<TListedEntry> entries;  // files and folders
  // The paths named, as InsideArchivePath gives them, handed to the
  // archiver (a folder once, not each of its files); none: each file's own.
  std::vector<std::string> paths;
  std::string targetFolder;           // full name; the entries' paths go below it
};

enum class TRestoreState {
  rsCreate,     // nothing is there: written
  rsExists,     // a file is there: left alone (exAsk, exSkip)
  rsOverwrite,  // a file is there: replaced
  rsBeside,     // a file is there: the copy goes beside it, under target
  rsRefused,    // the entry's path could leave the target folder: never written
};

struct TRestoreItem {
  size_t source = 0;  // its TRestoreSource
  TListedEntry entry;
  std::string target;  // the final full name
  TRestoreState state = TRestoreState::rsCreate;
};

struct TRestorePlan {
  std::vector<TRestoreSource> sources;
  std::vector<TRestoreItem> items;  // files only; folders are made as needed
  // Files already there that nothing is done with yet (exAsk).
  int Conflicts() const;
  int ToWrite() const;
};

// What would be written where, looked at now; nothing is written.
TRestorePlan PlanRestore(std::vector<TRestoreSource> sources, TExisting existing);

// The name beside an existing file for a copy of the night:
// "file3.odt" -> "file3 (2026-12-08).odt", then "file3 (2026-12-08, 2).odt"
// where that is taken too.
std::string BesideName(const std::string& target, const std::string& night);

// The plan's lines, "\n" ended, as the companion prints them:
//   From /out/2026-12-08/data_src.7z (night 2026-12-08, /data/src):
//     create     /restore/Letters/file3.odt
//     exists     /restore/Letters/file4.odt
std::string RestorePlanText(const TRestorePlan& plan);

// The archiver a restore extracts with: the document's, which must be 7-Zip.
struct TExtractor {
  std::string program;
  TArchiverFamily family = TArchiverFamily::afOther;
  std::string params;  // its parameters, whose old password switch is used
  // Where a restore gets an encrypted archive's password: called once per
  // archive before it is listed or extracted, and handed to 7-Zip on its
  // standard input; none (or no hook) leaves the password to a -p switch of
  // the parameters, as an older document's job used it. Throws
  // EPasswordUnavailable where the password cannot be had.
  std::function<std::optional<std::string>(const std::string& archive)> password;
};

// The document's 7-Zip, its parameters and its password, for restores and
// listings.
TExtractor ExtractorOf(const TbkManager& manager);

// Why the extractor cannot restore from the archive ("" when it can): only
// 7-Zip's archives, with the 7-Zip of the options.
std::string ExtractProblem(const TExtractor& extractor, const std::string& archive);

// The archiver's listing of the archive (SevenZipEntries, with the
// extractor's password on standard input), where the extractor can give it;
// none, with the reason in error, where it cannot.
std::optional<std::vector<TListedEntry>> ListArchive(const TExtractor& extractor,
                                                     const std::string& archive,
                                                     const TRunOptions& options,
                                                     std::string& error);

struct TRestoreResult {
  int restored = 0;  // files now under their final names
  int skipped = 0;   // left alone
  std::string error;  // why the restore failed; files already moved stay
  bool stopped = false;
};

// Extracts each source's entries into a temporary folder inside its target
// folder, checks every file written against the listing (its size and,
// where given, its CRC), and only when every source passed puts each file
// under its final name, never over a file unless the plan says to
// overwrite; the temporary folders are removed on every path. progress gets
// the files done and their count; the options' stop stops it (before
// anything moved, nothing was written).
TRestoreResult ExecuteRestore(const TRestorePlan& plan, const TExtractor& extractor,
                              const TRunOptions& options = {},
                              const std::function<void(int done, int count)>& progress = {});

// The CRC-32 of a file's bytes (that of 7-Zip's listing); none when it
// cannot be read.
std::optional<uint32_t> FileCrc32(const std::string& fileName);

}  // namespace pw
